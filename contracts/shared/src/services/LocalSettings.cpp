// Per-task settings: a KEY=VALUE file in the task folder, changed only by a
// locked read-modify-write that replaces the file atomically.
#include "LocalSettings.h"

#include <strings.h>
#include <sys/stat.h>

#include <stdexcept>
#include <vector>

#include "ServiceFiles.h"
#include "VaultFiles.h"

namespace {

const char* const kFileName = "tasksettings.cfg";
constexpr size_t kMaximumFileSize = 64 * 1024;

// One line of the file; comments and blank lines are kept as they stand.
struct Line {
    std::string key;   // empty for a comment or a blank line
    std::string text;  // the value, or the whole comment line
};

struct SettingsFile {
    std::string path;
    std::vector<Line> lines;

    std::map<std::string, std::string> values() const {
        std::map<std::string, std::string> result;
        for (const Line& l : lines)
            if (!l.key.empty()) result[l.key] = l.text;
        return result;
    }
    std::string get(const std::string& key) const {
        for (const Line& l : lines)
            if (l.key == key) return l.text;
        return std::string();
    }
    void set(const std::string& key, const std::string& value) {
        for (Line& l : lines)
            if (l.key == key) {
                l.text = value;
                return;
            }
        lines.push_back(Line{key, value});
    }
    bool remove(const std::string& key) {
        for (auto it = lines.begin(); it != lines.end(); ++it)
            if (it->key == key) {
                lines.erase(it);
                return true;
            }
        return false;
    }
    std::string encode() const {
        std::string out;
        for (const Line& l : lines) out += l.key.empty() ? l.text + "\n" : l.key + "=" + l.text + "\n";
        return out;
    }
};

std::string taskText(const DataObjects::TaskDataObject& task) {
    return "task '" + task.name + "' (" + task.guid + ", #" + std::to_string(task.id) + ")";
}

// Refuses what the line format cannot hold.
void checkKeyAndValue(const std::string& path, const std::string& key, const std::string& value) {
    if (key.empty()) throw std::invalid_argument(path + ": empty setting name");
    if (key.find_first_of("=\r\n") != std::string::npos || key.find('\0') != std::string::npos || key[0] == '#' ||
        key.find_first_not_of(" \t") == std::string::npos)
        throw std::invalid_argument(path + ": setting name '" + key + "' cannot be stored (no '=', line break, NUL "
                                    "or leading '#')");
    if (value.find_first_of("\r\n") != std::string::npos || value.find('\0') != std::string::npos)
        throw std::invalid_argument(path + ": value of " + key + " holds a line break or NUL");
}

SettingsFile readSettings(const std::string& path) {
    SettingsFile file;
    file.path = path;
    std::string bytes;
    if (!VaultFiles::readWholeFile(path, kMaximumFileSize, bytes, VaultFiles::Links::Refuse)) return file;
    if (bytes.find('\0') != std::string::npos) throw std::runtime_error(path + ": holds a NUL byte (damaged)");
    size_t start = 0;
    unsigned number = 0;
    std::map<std::string, unsigned> seen;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string text = bytes.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        const std::string where = path + ": line " + std::to_string(number);
        if (text.find('\r') != std::string::npos) throw std::runtime_error(where + " holds a carriage return (damaged)");
        if (text.empty() || text[0] == '#' || text.find_first_not_of(" \t") == std::string::npos) {
            file.lines.push_back(Line{std::string(), text});
            continue;
        }
        const size_t equals = text.find('=');
        if (equals == std::string::npos) throw std::runtime_error(where + " is not KEY=VALUE: '" + text + "'");
        if (equals == 0) throw std::runtime_error(where + " has an empty key");
        const std::string key = text.substr(0, equals);
        const auto inserted = seen.emplace(key, number);
        if (!inserted.second)
            throw std::runtime_error(where + " sets " + key + " again (first at line " +
                                     std::to_string(inserted.first->second) + ")");
        file.lines.push_back(Line{key, text.substr(equals + 1)});
    }
    return file;
}

std::string requireSettingsPath(const DataObjects::TaskDataObject& task) {
    const std::string path = LocalSettings::settingsPath(task);
    if (path.empty()) throw std::runtime_error(taskText(task) + ": no task folder, so no task settings");
    const std::string folder = path.substr(0, path.rfind('/'));
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw std::runtime_error(taskText(task) + ": task folder " + folder + " does not exist");
    return path;
}

// Runs `change` on the task's settings under their lock and replaces the file
// when `change` returns true.
template <typename Change>
bool changeSettings(const DataObjects::TaskDataObject& task, Change change) {
    const std::string path = requireSettingsPath(task);
    ServiceFiles::FileLock lock(path + ".lock");
    // What writers of this file killed midway left beside it (and nothing else
    // of the task folder).
    ServiceFiles::removeDeadWritersTemporaries(path.substr(0, path.rfind('/')),
                                               [](const std::string& name) { return name == kFileName; });
    SettingsFile file = readSettings(path);
    if (!change(file)) return false;
    const std::string contents = file.encode();
    if (contents.size() > kMaximumFileSize)
        throw std::runtime_error(path + ": would grow beyond " + std::to_string(kMaximumFileSize) + " bytes");
    VaultFiles::replaceFile(path, contents);
    return true;
}

// "0" or "1"; any other stored value is an error naming the file and key.
bool flagValue(const std::string& path, const std::string& key, const std::string& value) {
    if (value == "1") return true;
    if (value == "0") return false;
    throw std::runtime_error(path + ": " + key + " must be 0 or 1, not '" + value + "'");
}

const std::string* findIgnoringCase(const std::map<std::string, std::string>& values, const std::string& key) {
    for (const auto& entry : values)
        if (entry.first.size() == key.size() && ::strcasecmp(entry.first.c_str(), key.c_str()) == 0)
            return &entry.second;
    return nullptr;
}

}  // namespace

std::string LocalSettings::settingsPath(const DataObjects::TaskDataObject& task) {
    if (task.taskFolder.empty()) return std::string();
    return (task.taskFolder.back() == '/' ? task.taskFolder : task.taskFolder + "/") + kFileName;
}

LocalSettings::LocalSettings(const DataObjects::TaskDataObject& task) {
    const std::string path = settingsPath(task);
    if (!path.empty()) values_ = readSettings(path).values();
    path_ = path;
}

LocalSettings::~LocalSettings() = default;

bool LocalSettings::isRunnable(const std::string& program, const std::string& feature) const {
    if (const std::string* value = findIgnoringCase(values_, program + "." + feature))
        return flagValue(path_, program + "." + feature, *value);
    if (const std::string* value = findIgnoringCase(values_, program)) return flagValue(path_, program, *value);
    return true;
}

bool LocalSettings::isSuspect() const {
    const auto it = values_.find("SUSPECT");
    return it != values_.end() && it->second == "1";
}

void LocalSettings::markTaskAsSuspect(const DataObjects::TaskDataObject& task, const std::string& reason,
                                      bool needsAdministrator) {
    changeSettings(task, [&](SettingsFile& file) {
        unsigned long long count = 0;
        const std::string stored = file.get("SUSPECT_COUNT");
        if (!stored.empty()) {
            if (stored.find_first_not_of("0123456789") != std::string::npos || stored.size() > 18)
                throw std::runtime_error(file.path + ": SUSPECT_COUNT is not a number: '" + stored + "'");
            count = std::stoull(stored);
        }
        const bool wasManual = file.get("SUSPECT_MANUAL") == "1";
        file.set("SUSPECT", "1");
        file.set("SUSPECT_REASON", ServiceFiles::singleLine(std::string(reason.c_str())));
        file.set("SUSPECT_COUNT", std::to_string(count + 1));
        file.set("SUSPECT_MANUAL", wasManual || needsAdministrator ? "1" : "0");
        file.set("SUSPECT_TIME", ServiceFiles::localTimestamp(false));
        return true;
    });
}

void LocalSettings::clearSuspect(const DataObjects::TaskDataObject& task) {
    changeSettings(task, [](SettingsFile& file) {
        bool changed = false;
        for (const char* key : {"SUSPECT", "SUSPECT_REASON", "SUSPECT_COUNT", "SUSPECT_MANUAL", "SUSPECT_TIME"})
            changed = file.remove(key) || changed;
        return changed;
    });
}

void LocalSettings::setValue(const DataObjects::TaskDataObject& task, const std::string& key,
                             const std::string& value) {
    checkKeyAndValue(settingsPath(task), key, value);
    changeSettings(task, [&](SettingsFile& file) {
        file.set(key, value);
        return true;
    });
}

bool LocalSettings::removeValue(const DataObjects::TaskDataObject& task, const std::string& key) {
    return changeSettings(task, [&](SettingsFile& file) { return file.remove(key); });
}
