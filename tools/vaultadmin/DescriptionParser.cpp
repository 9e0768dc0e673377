#include "DescriptionParser.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "NameGuid.h"
#include "VaultFiles.h"

namespace VaultAdmin {

DescriptionError::DescriptionError(const std::string& path, const std::string& message)
    : std::runtime_error(path.empty() ? message : path + ": " + message), path_(path) {}

namespace {

using Json = nlohmann::json;

// Tracks where the parser is while it reads, so that a key given twice in one
// object (which the JSON library would silently collapse) is reported with its
// path.
class DuplicateKeyGuard final {
public:
    bool operator()(int, Json::parse_event_t event, Json& parsed) {
        switch (event) {
        case Json::parse_event_t::object_start:
        case Json::parse_event_t::array_start:
            frames_.push_back(Frame{event == Json::parse_event_t::array_start, 0, std::string(), {}});
            break;
        case Json::parse_event_t::key: {
            Frame& frame = frames_.back();
            const std::string key = parsed.get<std::string>();
            if (!frame.keys.insert(key).second) throw DescriptionError(pathTo(key), "key given twice");
            frame.key = key;
            break;
        }
        case Json::parse_event_t::object_end:
        case Json::parse_event_t::array_end:
            frames_.pop_back();
            elementDone();
            break;
        case Json::parse_event_t::value:
            elementDone();
            break;
        }
        return true;
    }

private:
    struct Frame {
        bool isArray;
        size_t index;
        std::string key;
        std::set<std::string> keys;
    };
    void elementDone() {
        if (!frames_.empty() && frames_.back().isArray) ++frames_.back().index;
    }
    std::string pathTo(const std::string& key) const {
        std::string path;
        for (size_t i = 0; i + 1 < frames_.size(); ++i) {
            const Frame& frame = frames_[i];
            if (frame.isArray) path += "[" + std::to_string(frame.index) + "]";
            else path += (path.empty() ? "" : ".") + frame.key;
        }
        return path + (path.empty() ? "" : ".") + key;
    }
    std::vector<Frame> frames_;
};

std::string describeType(const Json& value) {
    if (value.is_null()) return "null";
    if (value.is_boolean()) return "a boolean";
    if (value.is_number_float()) return "a fractional number";
    if (value.is_number()) return "a number";
    if (value.is_string()) return "a text";
    if (value.is_array()) return "an array";
    return "an object";
}

[[noreturn]] void wrongType(const std::string& path, const Json& value, const char* expected) {
    throw DescriptionError(path, std::string("must be ") + expected + ", not " + describeType(value));
}

// An object whose keys are taken one by one; finish() reports any key nobody
// asked for.
class ObjectReader final {
public:
    ObjectReader(const Json& value, std::string path) : value_(value), path_(std::move(path)) {
        if (!value.is_object()) wrongType(path_.empty() ? "(document)" : path_, value, "an object");
    }
    std::string pathOf(const std::string& key) const { return path_.empty() ? key : path_ + "." + key; }
    const std::string& path() const { return path_; }
    const Json* optional(const std::string& key) {
        taken_.insert(key);
        auto found = value_.find(key);
        return found == value_.end() ? nullptr : &*found;
    }
    const Json& required(const std::string& key) {
        const Json* value = optional(key);
        if (!value) throw DescriptionError(pathOf(key), "is required");
        return *value;
    }
    void finish() const {
        for (auto item = value_.begin(); item != value_.end(); ++item) {
            if (!taken_.count(item.key())) throw DescriptionError(pathOf(item.key()), "unknown key");
        }
    }

private:
    const Json& value_;
    std::string path_;
    std::set<std::string> taken_;
};

bool hasControlCharacter(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const unsigned char byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f;
    });
}

struct TextRules {
    bool allowEmpty = false;
    bool trimmed = false;  // no blank at either end (values of INI-style files)
};

std::string readText(const Json& value, const std::string& path, TextRules rules) {
    if (!value.is_string()) wrongType(path, value, "a text");
    std::string text = value.get<std::string>();
    if (text.empty() && !rules.allowEmpty) throw DescriptionError(path, "must not be empty");
    if (text.size() > kMaxTextBytes)
        throw DescriptionError(path, "is longer than " + std::to_string(kMaxTextBytes) + " bytes");
    if (hasControlCharacter(text)) throw DescriptionError(path, "must not contain control characters");
    if (rules.trimmed && !text.empty() &&
        (std::isspace(static_cast<unsigned char>(text.front())) ||
         std::isspace(static_cast<unsigned char>(text.back()))))
        throw DescriptionError(path, "must not begin or end with a blank");
    return text;
}

uint64_t readUnsigned(const Json& value, const std::string& path, uint64_t low, uint64_t high) {
    const std::string range = "an integer from " + std::to_string(low) + " to " + std::to_string(high);
    if (!value.is_number_integer()) wrongType(path, value, range.c_str());
    if (value.is_number_unsigned()) {
        const uint64_t number = value.get<uint64_t>();
        if (number >= low && number <= high) return number;
    } else {
        const int64_t number = value.get<int64_t>();
        if (number >= 0 && uint64_t(number) >= low && uint64_t(number) <= high) return uint64_t(number);
    }
    throw DescriptionError(path, "must be " + range + ", not " + value.dump());
}

const Json& readArray(const Json& value, const std::string& path) {
    if (!value.is_array()) wrongType(path, value, "an array");
    return value;
}

std::string lowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Remembers the first path of every name in one scope, to report duplicates
// with both places.
class UniqueNames final {
public:
    explicit UniqueNames(const char* what) : what_(what) {}
    void add(const std::string& key, const std::string& path) {
        auto inserted = seen_.emplace(key, path);
        if (!inserted.second)
            throw DescriptionError(path, std::string(what_) + " '" + key + "' is already used at " +
                                             inserted.first->second);
    }

private:
    const char* what_;
    std::map<std::string, std::string> seen_;
};

class Parser final {
public:
    VaultDescription parse(const Json& document) {
        ObjectReader root(document, "");
        VaultDescription vault;
        readVault(root, vault);
        readNodes(root, vault);
        {
            const std::string path = root.pathOf("thisNode");
            const std::string name = readText(root.required("thisNode"), path, {false, true});
            vault.thisNode = knownNode(vault, name, path);
        }
        const std::string customersPath = root.pathOf("customers");
        const Json& customers = readArray(root.required("customers"), customersPath);
        UniqueNames customerNames("customer name");
        for (size_t i = 0; i < customers.size(); ++i) {
            const std::string path = customersPath + "[" + std::to_string(i) + "]";
            vault.customers.push_back(readCustomer(customers[i], path, vault, customerNames));
        }
        root.finish();
        return vault;
    }

private:
    void readVault(ObjectReader& root, VaultDescription& vault) {
        ObjectReader reader(root.required("vault"), root.pathOf("vault"));
        vault.id = readText(reader.required("id"), reader.pathOf("id"), {false, true});
        vault.version = readText(reader.required("version"), reader.pathOf("version"), {false, true});
        reader.finish();
        vault.guid = nameGuid({"vault", vault.id});
    }

    void readNodes(ObjectReader& root, VaultDescription& vault) {
        const std::string nodesPath = root.pathOf("nodes");
        const Json& nodes = readArray(root.required("nodes"), nodesPath);
        if (nodes.empty()) throw DescriptionError(nodesPath, "must list at least one node");
        UniqueNames hostNames("host name (ignoring case)");
        for (size_t i = 0; i < nodes.size(); ++i) {
            ObjectReader node(nodes[i], nodesPath + "[" + std::to_string(i) + "]");
            const std::string hostName = readText(node.required("hostName"), node.pathOf("hostName"), {false, true});
            hostNames.add(lowerCase(hostName), node.pathOf("hostName"));
            node.finish();
            vault.nodes.push_back(hostName);
        }
    }

    // The spelling of `name` in the node list (host names compare ignoring case).
    static std::string knownNode(const VaultDescription& vault, const std::string& name, const std::string& path) {
        for (const std::string& node : vault.nodes) {
            if (lowerCase(node) == lowerCase(name)) return node;
        }
        std::string known;
        for (const std::string& node : vault.nodes) known += (known.empty() ? "" : ", ") + node;
        throw DescriptionError(path, "unknown node '" + name + "' (nodes: " + known + ")");
    }

    std::string readGuid(ObjectReader& reader, const std::vector<std::string>& nameParts, UniqueNames& guids) {
        const std::string path = reader.pathOf("guid");
        std::string guid;
        if (const Json* given = reader.optional("guid")) {
            guid = readText(*given, path, {false, false});
            if (!isCanonicalGuid(guid))
                throw DescriptionError(path, "must have the form xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx (hex digits)");
        } else {
            guid = nameGuid(nameParts);
        }
        // GUIDs name folders and lock files; compare ignoring case so that two
        // spellings of one GUID cannot share a folder on a case-folding copy.
        guids.add(lowerCase(guid), path);
        return guid;
    }

    CustomerDescription readCustomer(const Json& value, const std::string& path, const VaultDescription& vault,
                                     UniqueNames& names) {
        ObjectReader reader(value, path);
        CustomerDescription customer;
        customer.name = readText(reader.required("name"), reader.pathOf("name"), {});
        names.add(customer.name, reader.pathOf("name"));
        customer.reference = readText(reader.required("reference"), reader.pathOf("reference"), {true, false});
        const std::string locationsPath = reader.pathOf("locations");
        const Json& locations = readArray(reader.required("locations"), locationsPath);
        UniqueNames locationNames("location name");
        for (size_t i = 0; i < locations.size(); ++i) {
            ObjectReader location(locations[i], locationsPath + "[" + std::to_string(i) + "]");
            LocationDescription out;
            out.name = readText(location.required("name"), location.pathOf("name"), {});
            locationNames.add(out.name, location.pathOf("name"));
            out.reference = readText(location.required("reference"), location.pathOf("reference"), {true, false});
            const std::string computersPath = location.pathOf("computers");
            const Json& computers = readArray(location.required("computers"), computersPath);
            UniqueNames computerNames("computer name");
            for (size_t c = 0; c < computers.size(); ++c) {
                out.computers.push_back(readComputer(computers[c], computersPath + "[" + std::to_string(c) + "]",
                                                     vault, {vault.id, customer.name, out.name}, computerNames));
            }
            location.finish();
            customer.locations.push_back(std::move(out));
        }
        reader.finish();
        return customer;
    }

    ComputerDescription readComputer(const Json& value, const std::string& path, const VaultDescription& vault,
                                     const std::vector<std::string>& owner, UniqueNames& names) {
        ObjectReader reader(value, path);
        ComputerDescription computer;
        computer.name = readText(reader.required("name"), reader.pathOf("name"), {});
        names.add(computer.name, reader.pathOf("name"));
        computer.guid = readGuid(reader, {"computer", owner[0], owner[1], owner[2], computer.name}, computerGuids_);
        const std::string tasksPath = reader.pathOf("tasks");
        const Json& tasks = readArray(reader.required("tasks"), tasksPath);
        UniqueNames taskNames("task name");
        for (size_t t = 0; t < tasks.size(); ++t) {
            computer.tasks.push_back(
                readTask(tasks[t], tasksPath + "[" + std::to_string(t) + "]", vault, computer.guid, taskNames));
        }
        reader.finish();
        return computer;
    }

    TaskDescription readTask(const Json& value, const std::string& path, const VaultDescription& vault,
                             const std::string& computerGuid, UniqueNames& names) {
        ObjectReader reader(value, path);
        TaskDescription task;
        task.name = readText(reader.required("name"), reader.pathOf("name"), {});
        names.add(task.name, reader.pathOf("name"));
        task.guid = readGuid(reader, {"task", lowerCase(computerGuid), task.name}, taskGuids_);
        task.poolGuid = nameGuid({"pool", lowerCase(task.guid)});
        const std::string nodePath = reader.pathOf("node");
        task.node = knownNode(vault, readText(reader.required("node"), nodePath, {false, true}), nodePath);
        const std::string safesetsPath = reader.pathOf("safesets");
        const Json& safesets = readArray(reader.required("safesets"), safesetsPath);
        std::map<uint32_t, std::string> numbers;
        for (size_t s = 0; s < safesets.size(); ++s) {
            SafesetDescription safeset = readSafeset(safesets[s], safesetsPath + "[" + std::to_string(s) + "]");
            const std::string numberPath = safesetsPath + "[" + std::to_string(s) + "].number";
            auto inserted = numbers.emplace(safeset.number, numberPath);
            if (!inserted.second)
                throw DescriptionError(numberPath, "safeset number " + std::to_string(safeset.number) +
                                                       " is already used at " + inserted.first->second);
            task.safesets.push_back(std::move(safeset));
        }
        reader.finish();
        return task;
    }

    static SafesetDescription readSafeset(const Json& value, const std::string& path) {
        ObjectReader reader(value, path);
        SafesetDescription safeset;
        safeset.number = static_cast<uint32_t>(
            readUnsigned(reader.required("number"), reader.pathOf("number"), 1, std::numeric_limits<uint32_t>::max()));
        safeset.version = readText(reader.required("version"), reader.pathOf("version"), {true, false});
        safeset.records = static_cast<uint32_t>(
            readUnsigned(reader.required("records"), reader.pathOf("records"), 0, kMaxRecordsPerSafeset));
        const Json* marked = reader.optional("marked");
        const Json* share = reader.optional("markedShare");
        if (marked && share)
            throw DescriptionError(reader.pathOf("markedShare"), "cannot be given together with marked");
        if (marked) {
            const std::string markedPath = reader.pathOf("marked");
            readArray(*marked, markedPath);
            std::vector<uint32_t> indices;
            std::map<uint64_t, size_t> seen;
            for (size_t i = 0; i < marked->size(); ++i) {
                const std::string indexPath = markedPath + "[" + std::to_string(i) + "]";
                if (safeset.records == 0)
                    throw DescriptionError(indexPath, "the safeset has no records to mark");
                const uint64_t index = readUnsigned((*marked)[i], indexPath, 0, safeset.records - 1u);
                if (!seen.emplace(index, i).second)
                    throw DescriptionError(indexPath, "record " + std::to_string(index) + " is already marked at " +
                                                          markedPath + "[" + std::to_string(seen[index]) + "]");
                indices.push_back(static_cast<uint32_t>(index));
            }
            std::sort(indices.begin(), indices.end());
            safeset.marked = MarkedRecords::atIndices(std::move(indices));
        } else if (share) {
            const std::string sharePath = reader.pathOf("markedShare");
            if (!share->is_number()) wrongType(sharePath, *share, "a number from 0 to 1");
            const double fraction = share->get<double>();
            if (!std::isfinite(fraction) || fraction < 0.0 || fraction > 1.0)
                throw DescriptionError(sharePath, "must be a number from 0 to 1, not " + share->dump());
            safeset.marked = MarkedRecords::byShare(fraction);
        }
        if (const Json* unavailable = reader.optional("unavailable")) {
            if (!unavailable->is_boolean()) wrongType(reader.pathOf("unavailable"), *unavailable, "true or false");
            safeset.unavailable = unavailable->get<bool>();
        }
        reader.finish();
        return safeset;
    }

    UniqueNames computerGuids_{"computer GUID"};
    UniqueNames taskGuids_{"task GUID"};
};

// The library's messages start with "[json.exception.parse_error.101] ".
std::string withoutExceptionTag(const std::string& text) {
    if (!text.empty() && text[0] == '[') {
        const size_t end = text.find("] ");
        if (end != std::string::npos) return text.substr(end + 2);
    }
    return text;
}

}  // namespace

VaultDescription parseDescription(const std::string& jsonText) {
    Json document;
    try {
        DuplicateKeyGuard guard;
        document = Json::parse(jsonText, std::ref(guard));
    } catch (const Json::exception& error) {
        throw DescriptionError("", "invalid JSON: " + withoutExceptionTag(error.what()));
    }
    return Parser().parse(document);
}

VaultDescription readDescriptionFile(const std::string& file) {
    std::error_code ignored;
    if (std::filesystem::is_directory(file, ignored)) throw std::runtime_error(file + ": is a folder, not a file");
    // Far beyond any description written by hand; a FIFO or device at the
    // name is refused rather than read (or waited on) forever.
    const size_t maxSize = size_t(256) << 20;
    std::string text;
    try {
        if (!VaultFiles::readWholeFile(file, maxSize, text))
            throw std::runtime_error(file + ": cannot be opened for reading");
    } catch (const VaultFiles::FileError& error) {
        throw std::runtime_error(file + ": cannot be read: " + error.reason());
    }
    try {
        return parseDescription(text);
    } catch (const DescriptionError& error) {
        throw std::runtime_error(file + ": " + error.what());
    }
}

}  // namespace VaultAdmin
