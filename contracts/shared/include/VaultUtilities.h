// Formatted texts, the vault's numbered error, and KEY=VALUE configuration files.
#pragma once

#include <cstdarg>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "SharedApi.h"
#include "VaultFiles.h"

struct LogOptions;

namespace VaultUtilities {

// printf-style formatting into a string of any length ("" for a null format
// or an encoding error).
SHARED_API std::string formatMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
SHARED_API std::string formatMessageV(const char* format, va_list args);

// A numbered error carrying a message identifier of the catalogue; what()
// gives the formatted text.
class SHARED_API Error : public std::runtime_error {
public:
    Error(int number, unsigned messageId, const char* format, ...) __attribute__((format(printf, 4, 5)));
    Error(int number, unsigned messageId, const std::string& text);
    ~Error() override;

    int getNumber() const { return number_; }
    unsigned getMessageId() const { return messageId_; }
    // Writes the error to the log through its message identifier's template.
    void logShow(const LogOptions* options = nullptr) const;

private:
    int number_;
    unsigned messageId_;
};

class SHARED_API ConfigValue {
public:
    explicit ConfigValue(std::string text = std::string()) : text_(std::move(text)) {}
    const std::string& svalue() const { return text_; }

private:
    std::string text_;
};

// The values of one configuration file, keyed by name (exact, case-sensitive).
class SHARED_API ConfigGroup {
public:
    bool valueExists(const std::string& key) const;
    // The value of `key`; an empty value when it does not exist.
    ConfigValue value(const std::string& key) const;
    void set(const std::string& key, const std::string& value);
    const std::map<std::string, std::string>& entries() const { return values_; }

private:
    std::map<std::string, std::string> values_;
};

// Reads a KEY=VALUE file: one pair per line, split at the first '=', key and
// value taken as stored (a trailing '\r' is dropped); lines without '=', lines
// with an empty key and lines starting with '#' are ignored; the first of two
// equal keys wins. A missing file gives an empty group silently; a file larger
// than 1 MiB, one that is not a regular file, or one that cannot be read gives
// an empty group and one warning line (4098) naming the file.
class SHARED_API ConfigFilePersistManager {
public:
    explicit ConfigFilePersistManager(const std::string& path);
    ~ConfigFilePersistManager();
    const ConfigGroup& getConfigReadOnly() const { return group_; }
    // Parses text in the same format (used by the reader and the fuzzer).
    static ConfigGroup parse(const std::string& text);
    // Writes `group` to `path` atomically (temporary file, sync, rename),
    // creating missing folders; a reader sees the old file or the new one.
    // Throws std::invalid_argument naming the file for a key that the format
    // cannot hold (empty, starting with '#', holding '=' or a line break), a
    // value with a line break or ending in '\r', or more than 1 MiB of text;
    // std::runtime_error naming the file when it cannot be written. Written
    // through `files` (the real file system unless the caller passes its own).
    static void write(const std::string& path, const ConfigGroup& group,
                      VaultFiles::FileSystem& files = VaultFiles::FileSystem::real());

private:
    ConfigGroup group_;
};

}  // namespace VaultUtilities
