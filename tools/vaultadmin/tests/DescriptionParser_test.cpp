// Vault descriptions: what a valid one turns into, and that every kind of bad
// one is refused with the JSON path of the offending value.
#include <functional>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "DescriptionParser.h"
#include "NameGuid.h"

namespace VaultAdmin {
namespace {

using Json = nlohmann::json;

const char* const kTask0 = "customers[0].locations[0].computers[0].tasks[0]";

Json validDocument() {
    return Json::parse(R"({
      "vault": {"id": "v1", "version": "8.50.0000"},
      "nodes": [{"hostName": "node1"}, {"hostName": "node2"}],
      "thisNode": "node1",
      "customers": [{
        "name": "Acme", "reference": "ACME-1",
        "locations": [{
          "name": "HQ", "reference": "ACME-HQ",
          "computers": [{
            "name": "pc",
            "tasks": [
              {"name": "Docs", "node": "node1", "safesets": [
                {"number": 3, "version": "8.40", "records": 40, "marked": [30, 2]},
                {"number": 1, "version": "", "records": 0, "unavailable": true}]},
              {"name": "Mail", "node": "NODE2", "guid": "0A1B2C3D-0000-4000-8000-00000000abcd",
               "safesets": [{"number": 7, "version": "8.50", "records": 10, "markedShare": 0.5}]}
            ]
          }]
        }]
      }]
    })");
}

Json& task0(Json& doc) { return doc["customers"][0]["locations"][0]["computers"][0]["tasks"][0]; }
Json& safeset0(Json& doc) { return task0(doc)["safesets"][0]; }

TEST(DescriptionParser, ValidDescriptionGivesTheModel) {
    const VaultDescription vault = parseDescription(validDocument().dump());
    EXPECT_EQ(vault.id, "v1");
    EXPECT_EQ(vault.version, "8.50.0000");
    EXPECT_EQ(vault.thisNode, "node1");
    ASSERT_EQ(vault.customers.size(), 1u);
    const ComputerDescription& computer = vault.customers[0].locations[0].computers[0];
    EXPECT_TRUE(isCanonicalGuid(computer.guid));
    ASSERT_EQ(computer.tasks.size(), 2u);

    const TaskDescription& docs = computer.tasks[0];
    EXPECT_TRUE(isCanonicalGuid(docs.guid));
    EXPECT_TRUE(isCanonicalGuid(docs.poolGuid));
    EXPECT_NE(docs.guid, docs.poolGuid);
    ASSERT_EQ(docs.safesets.size(), 2u);
    EXPECT_EQ(docs.safesets[0].number, 3u);
    EXPECT_EQ(docs.safesets[0].marked.indices(), (std::vector<uint32_t>{2, 30}));  // sorted
    EXPECT_FALSE(docs.safesets[0].unavailable);
    EXPECT_EQ(docs.safesets[1].version, "");
    EXPECT_TRUE(docs.safesets[1].unavailable);

    const TaskDescription& mail = computer.tasks[1];
    EXPECT_EQ(mail.guid, "0A1B2C3D-0000-4000-8000-00000000abcd");  // given GUIDs are kept as written
    EXPECT_EQ(mail.node, "node2");                                  // the node list's spelling
    EXPECT_TRUE(mail.safesets[0].marked.usesShare());
    EXPECT_EQ(mail.safesets[0].marked.count(10), 5u);
}

TEST(DescriptionParser, GeneratedGuidsAreStableAndDependOnTheNamePath) {
    const VaultDescription first = parseDescription(validDocument().dump());
    const VaultDescription again = parseDescription(validDocument().dump());
    const TaskDescription& task = first.customers[0].locations[0].computers[0].tasks[0];
    EXPECT_EQ(task.guid, again.customers[0].locations[0].computers[0].tasks[0].guid);
    EXPECT_EQ(first.guid, again.guid);

    Json renamed = validDocument();
    renamed["customers"][0]["name"] = "Other";
    const VaultDescription other = parseDescription(renamed.dump());
    EXPECT_NE(other.customers[0].locations[0].computers[0].guid, first.customers[0].locations[0].computers[0].guid);
    EXPECT_NE(other.customers[0].locations[0].computers[0].tasks[0].guid, task.guid);
    EXPECT_NE(nameGuid({"a", "bc"}), nameGuid({"ab", "c"}));
}

struct BadCase {
    const char* what;
    std::function<void(Json&)> change;
    std::string expected;  // the error text starts with this
};

TEST(DescriptionParser, BadDescriptionsNameThePath) {
    const std::string t = kTask0;
    const std::string s = t + ".safesets[0]";
    const BadCase cases[] = {
        {"unknown key at the top", [](Json& d) { d["extra"] = 1; }, "extra: unknown key"},
        {"unknown key in a safeset", [](Json& d) { safeset0(d)["colour"] = "red"; }, s + ".colour: unknown key"},
        {"missing vault", [](Json& d) { d.erase("vault"); }, "vault: is required"},
        {"missing task name", [](Json& d) { task0(d).erase("name"); }, t + ".name: is required"},
        {"records as text", [](Json& d) { safeset0(d)["records"] = "40"; },
         s + ".records: must be an integer from 0 to 134217728, not a text"},
        {"negative records", [](Json& d) { safeset0(d)["records"] = -1; },
         s + ".records: must be an integer from 0 to 134217728, not -1"},
        {"huge records", [](Json& d) { safeset0(d)["records"] = 1000000000000ll; },
         s + ".records: must be an integer from 0 to 134217728, not 1000000000000"},
        {"fractional safeset number", [](Json& d) { safeset0(d)["number"] = 2.5; },
         s + ".number: must be an integer from 1 to 4294967295, not a fractional number"},
        {"safeset number zero", [](Json& d) { safeset0(d)["number"] = 0; }, s + ".number: must be an integer"},
        {"safeset number above 32 bits", [](Json& d) { safeset0(d)["number"] = 4294967296ll; },
         s + ".number: must be an integer"},
        {"duplicate safeset number", [](Json& d) { task0(d)["safesets"][1]["number"] = 3; },
         t + ".safesets[1].number: safeset number 3 is already used at " + t + ".safesets[0].number"},
        {"task on an unknown node", [](Json& d) { task0(d)["node"] = "elsewhere"; },
         t + ".node: unknown node 'elsewhere' (nodes: node1, node2)"},
        {"this node unknown", [](Json& d) { d["thisNode"] = "node9"; }, "thisNode: unknown node 'node9'"},
        {"no nodes", [](Json& d) { d["nodes"] = Json::array(); }, "nodes: must list at least one node"},
        {"host names equal ignoring case", [](Json& d) { d["nodes"][1]["hostName"] = "NODE1"; },
         "nodes[1].hostName: host name (ignoring case) 'node1' is already used at nodes[0].hostName"},
        {"zero byte in a name", [](Json& d) { task0(d)["name"] = std::string("a\0b", 3); },
         t + ".name: must not contain control characters"},
        {"line break in a computer name",
         [](Json& d) { d["customers"][0]["locations"][0]["computers"][0]["name"] = "pc\nTASK_GUID=x"; },
         "customers[0].locations[0].computers[0].name: must not contain control characters"},
        {"GUID that is a path", [](Json& d) { task0(d)["guid"] = "../../etc"; },
         t + ".guid: must have the form xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx"},
        {"GUID used twice (differing in case)",
         [](Json& d) { task0(d)["guid"] = "0a1b2c3d-0000-4000-8000-00000000ABCD"; },
         "customers[0].locations[0].computers[0].tasks[1].guid: task GUID"},
        {"two computers of one name",
         [](Json& d) {
             Json& computers = d["customers"][0]["locations"][0]["computers"];
             computers.push_back(computers[0]);
             computers[1]["tasks"] = Json::array();
         },
         "customers[0].locations[0].computers[1].name: computer name 'pc' is already used"},
        {"empty task name", [](Json& d) { task0(d)["name"] = ""; }, t + ".name: must not be empty"},
        {"version too long", [](Json& d) { safeset0(d)["version"] = std::string(256, '8'); },
         s + ".version: is longer than 255 bytes"},
        {"blank around the vault id", [](Json& d) { d["vault"]["id"] = " v1"; },
         "vault.id: must not begin or end with a blank"},
        {"marked index past the end", [](Json& d) { safeset0(d)["marked"] = {40}; },
         s + ".marked[0]: must be an integer from 0 to 39, not 40"},
        {"marked index twice", [](Json& d) { safeset0(d)["marked"] = {5, 5}; },
         s + ".marked[1]: record 5 is already marked at " + s + ".marked[0]"},
        {"marked and markedShare", [](Json& d) { safeset0(d)["markedShare"] = 0.5; },
         s + ".markedShare: cannot be given together with marked"},
        {"markedShare above one",
         [](Json& d) {
             safeset0(d).erase("marked");
             safeset0(d)["markedShare"] = 1.5;
         },
         s + ".markedShare: must be a number from 0 to 1"},
        {"unavailable as text", [](Json& d) { safeset0(d)["unavailable"] = "yes"; },
         s + ".unavailable: must be true or false, not a text"},
        {"safesets not an array", [](Json& d) { task0(d)["safesets"] = Json::object(); },
         t + ".safesets: must be an array, not an object"},
    };
    for (const BadCase& bad : cases) {
        Json doc = validDocument();
        bad.change(doc);
        try {
            parseDescription(doc.dump());
            ADD_FAILURE() << bad.what << ": accepted";
        } catch (const DescriptionError& error) {
            EXPECT_EQ(std::string(error.what()).substr(0, bad.expected.size()), bad.expected)
                << bad.what << ": got \"" << error.what() << "\"";
        }
    }
}

TEST(DescriptionParser, BadDocumentsAreRefused) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"", "invalid JSON: "},
        {"{\"vault\": ", "invalid JSON: "},
        {"[]", "(document): must be an object, not an array"},
        {R"({"vault": {"id": "a", "version": "1"}, "vault": {}})", "vault: key given twice"},
        {R"({"customers": [{"locations": [{"computers": [{"x": 1, "x": 2}]}]}]})",
         "customers[0].locations[0].computers[0].x: key given twice"},
        {R"({"nodes": [1, {"hostName": "a", "hostName": "b"}]})", "nodes[1].hostName: key given twice"},
    };
    for (const auto& bad : cases) {
        try {
            parseDescription(bad.text);
            ADD_FAILURE() << bad.text << ": accepted";
        } catch (const DescriptionError& error) {
            const std::string expected = bad.expected;
            EXPECT_EQ(std::string(error.what()).substr(0, expected.size()), expected) << error.what();
        }
    }
}

TEST(DescriptionParser, FileErrorsNameTheFile) {
    try {
        readDescriptionFile("/nonexistent/vault.json");
        FAIL() << "accepted";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "/nonexistent/vault.json: cannot be opened for reading");
    }
}

}  // namespace
}  // namespace VaultAdmin
