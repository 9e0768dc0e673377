// vaultadmin with the catalogue on the PostgreSQL test server: the schema of
// an empty database, a vault built, shown, refused and replaced there, and
// tasks added to it.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PgTestServer.h"
#include "TestSupport.h"

namespace VaultAdmin {
namespace {

using namespace Testing;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

class PostgresCatalogue : public ::testing::Test {
protected:
    void SetUp() override {
        database_ = SqlCatalogueTest::createPgDatabase();
        connection_ = SqlCatalogueTest::pgServerConninfo() + " dbname=" + database_;
        name_ = "catalogue database '" + database_ + "' on server '" + SqlCatalogueTest::pgServerFolder() + ":5432'";
    }
    void TearDown() override { SqlCatalogueTest::dropPgDatabase(database_); }

    std::string database_, connection_, name_;
};

TEST_F(PostgresCatalogue, SchemaOfAnEmptyDatabaseAndOfANewerOne) {
    const Outcome created = vaultadmin({"create-schema", "--database-connection", connection_});
    ASSERT_EQ(created.exitCode, 0) << created.output;
    EXPECT_EQ(created.output, name_ + ": schema created at version 1\n");
    const Outcome again = vaultadmin({"create-schema", "--database-connection", connection_});
    EXPECT_EQ(again.exitCode, 0) << again.output;
    EXPECT_EQ(again.output, name_ + ": schema version 1 is there already (0 vault(s), 0 task(s))\n");

    SqlCatalogueTest::runPgSql(connection_, "UPDATE catalogue_schema SET version = 2");
    const Outcome newer = vaultadmin({"create-schema", "--database-connection", connection_});
    EXPECT_EQ(newer.exitCode, 1);
    EXPECT_TRUE(contains(newer.output, name_ + " has schema version 2; this plug-in knows versions 0 to 1"))
        << newer.output;
}

TEST_F(PostgresCatalogue, BuildShowRefuseReplaceAndAdd) {
    TempFolder temp;
    const std::string root = temp / "demo";
    const Outcome demo = vaultadmin({"demo", "--root", root, "--database-connection", connection_});
    ASSERT_EQ(demo.exitCode, 0) << demo.output;
    const std::string config = readFile(root + "/node.conf");
    EXPECT_TRUE(contains(config, "\nBackend=postgresql\nConnection=" + connection_ + "\n")) << config;
    EXPECT_FALSE(contains(config, "File=")) << config;
    EXPECT_FALSE(exists(root + "/catalogue.db"));

    const std::map<std::string, std::string> env = {{"VAULT_NODE_CONFIG", root + "/node.conf"}};
    const Outcome show = vaultadmin({"show"}, env);
    ASSERT_EQ(show.exitCode, 0) << show.output;
    EXPECT_EQ(show.output.rfind(name_ + "\nvault 1 'demo-vault' ", 0), 0u) << show.output;
    EXPECT_TRUE(contains(show.output, "customer 1 'Harbour Bakery'")) << show.output;
    EXPECT_EQ(occurrences(show.output, "\n      task "), 6u) << show.output;

    // A second vault in the same database is refused and writes nothing;
    // --force replaces the first one rather than adding to it.
    // (A password in the connection string draws a warning that does not
    // repeat it.)
    const std::string password = SqlCatalogueTest::pgServerPassword();
    const Outcome second = vaultadmin(
        {"demo", "--root", temp / "other", "--database-connection", connection_ + " password=" + password});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_TRUE(contains(second.output, "warning: the connection string holds a password")) << second.output;
    EXPECT_FALSE(contains(second.output, password)) << second.output;
    EXPECT_TRUE(contains(second.output, name_ + " holds a catalogue already (1 vault(s), 6 task(s)); use --force"))
        << second.output;
    EXPECT_FALSE(exists(temp / "other"));
    const Outcome replaced =
        vaultadmin({"demo", "--root", root, "--force", "--database-connection", connection_});
    ASSERT_EQ(replaced.exitCode, 0) << replaced.output;
    const Outcome tasks = vaultadmin({"tasks"}, env);
    ASSERT_EQ(tasks.exitCode, 0) << tasks.output;
    EXPECT_EQ(occurrences(tasks.output, "\n"), 6u) << tasks.output;
    EXPECT_TRUE(contains(tasks.output, "1\tDaily documents\tvault-node-1\t")) << tasks.output;

    writeFile(temp / "more.json", R"({
      "vault": {"id": "demo-vault", "version": "8.50.0000"},
      "nodes": [{"hostName": "vault-node-1"}, {"hostName": "vault-node-3"}], "thisNode": "vault-node-1",
      "customers": [{"name": "Late customer", "reference": "LATE", "locations": [{"name": "l", "reference": "",
        "computers": [{"name": "pc", "tasks": [
          {"name": "Late one", "node": "vault-node-1", "safesets": [{"number": 1, "version": "8.50", "records": 2}]},
          {"name": "Late two", "node": "vault-node-3", "safesets": []}]}]}]}]})");
    const Outcome added = vaultadmin({"add-tasks", "--description", temp / "more.json"}, env);
    ASSERT_EQ(added.exitCode, 0) << added.output;
    EXPECT_EQ(added.output, "added 2 tasks, 1 safesets\n");
    const Outcome after = vaultadmin({"show"}, env);
    ASSERT_EQ(after.exitCode, 0) << after.output;
    EXPECT_TRUE(contains(after.output, "nodes: vault-node-1 vault-node-2 vault-node-3\n")) << after.output;
    EXPECT_TRUE(contains(after.output, "customer 4 'Late customer' reference 'LATE'")) << after.output;
    EXPECT_TRUE(contains(after.output, "task 8 'Late two' node vault-node-3")) << after.output;
    EXPECT_TRUE(contains(after.output, "safeset 1 version '8.50' records 2 marked 0")) << after.output;

    // The same tasks again: their folders exist, so nothing is added.
    const Outcome twice = vaultadmin({"add-tasks", "--description", temp / "more.json"}, env);
    EXPECT_EQ(twice.exitCode, 1);
    EXPECT_TRUE(contains(twice.output, "task 'Late one': its folder")) << twice.output;
    EXPECT_EQ(occurrences(vaultadmin({"tasks"}, env).output, "\n"), 8u);
}

}  // namespace
}  // namespace VaultAdmin
