// KEY=VALUE configuration files (task label files and the like).
#include <stdexcept>

#include "VaultFiles.h"
#include "VaultLog.h"
#include "VaultUtilities.h"

namespace VaultUtilities {
namespace {

constexpr size_t kMaxConfigFileSize = 1024 * 1024;
constexpr unsigned kWarningId = 4098;

}  // namespace

bool ConfigGroup::valueExists(const std::string& key) const { return values_.count(key) != 0; }

ConfigValue ConfigGroup::value(const std::string& key) const {
    const auto it = values_.find(key);
    return it == values_.end() ? ConfigValue() : ConfigValue(it->second);
}

void ConfigGroup::set(const std::string& key, const std::string& value) { values_[key] = value; }

ConfigGroup ConfigFilePersistManager::parse(const std::string& text) {
    ConfigGroup group;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const auto equals = line.find('=');
        if (equals == std::string::npos || equals == 0) continue;
        const std::string key = line.substr(0, equals);
        if (!group.valueExists(key)) group.set(key, line.substr(equals + 1));
    }
    return group;
}

ConfigFilePersistManager::ConfigFilePersistManager(const std::string& path) {
    std::string text;
    try {
        if (VaultFiles::readWholeFile(path, kMaxConfigFileSize, text)) group_ = parse(text);
    } catch (const VaultFiles::FileError& error) {
        log_show(0, kWarningId, "configuration file %s cannot be read (%s); ignored", path.c_str(),
                 error.reason().c_str());
    }
}

ConfigFilePersistManager::~ConfigFilePersistManager() = default;

void ConfigFilePersistManager::write(const std::string& path, const ConfigGroup& group, VaultFiles::FileSystem& files) {
    std::string text;
    for (const auto& entry : group.entries()) {
        const std::string& key = entry.first;
        if (key.empty() || key[0] == '#' || key.find_first_of("=\r\n") != std::string::npos)
            throw std::invalid_argument("configuration file " + path + ": key '" + key + "' cannot be stored");
        if (entry.second.find('\n') != std::string::npos ||
            (!entry.second.empty() && entry.second.back() == '\r'))
            throw std::invalid_argument("configuration file " + path + ": value of " + key +
                                        " holds a line break");
        text += key;
        text += '=';
        text += entry.second;
        text += '\n';
    }
    if (text.size() > kMaxConfigFileSize)
        throw std::invalid_argument("configuration file " + path + " would be larger than " +
                                    std::to_string(kMaxConfigFileSize) + " bytes");
    VaultFiles::makeFolders(files, VaultFiles::folderOf(path));
    VaultFiles::replaceFile(files, path, text);
}

}  // namespace VaultUtilities
