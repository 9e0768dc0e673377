// The record of the tasks the last initial pass of a working folder met.
//
// A re-check pass selects only the tasks its list names, so a task added to
// the vault after the initial pass walked past its place would never be
// checked by any later pass of the folder. The record lets a re-check pass
// tell such tasks apart and say so: an initial pass whose list was put in
// place writes the identifiers of every task its walk met (of any node), one
// per line after a comment line, into "InitialPassTasks.txt"; re-check passes
// read it and leave it alone.
//
// The file follows the rules of the other result files: it is replaced
// atomically (a temporary file of its own name, flushed, renamed, folder
// flushed), never written or read through a link, read only when it is a
// regular file, and written only by the run that holds the folder.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "VaultFiles.h"

namespace Trevalon {

extern const char* const kPassRecordFileName;  // "InitialPassTasks.txt"

class PassRecord {
public:
    enum class State {
        Missing,     // no record in the folder (a folder of an older version, or a removed file)
        Unreadable,  // a link, special file, read error, or not a record: not used
        Loaded,
    };

    // Reads the record at `path`; `problem` tells why it is Unreadable.
    static PassRecord load(const std::string& path, VaultFiles::FileSystem& files = VaultFiles::FileSystem::real());

    State state() const { return state_; }
    const std::string& problem() const { return problem_; }
    const std::string& initialRunStamp() const { return runStamp_; }
    bool met(uint32_t taskId) const { return ids_.count(taskId) != 0; }

    // Replaces the record at `path` with `ids`; throws VaultFiles::FileError
    // when it cannot be written completely (the old record is then unchanged).
    static void write(const std::string& path, const std::string& runStamp, const std::vector<uint32_t>& ids,
                      VaultFiles::FileSystem& files = VaultFiles::FileSystem::real());

    // The record's text, and its reading (exposed for tests).
    static std::string format(const std::string& runStamp, const std::vector<uint32_t>& ids);
    static PassRecord parse(const std::string& text);

private:
    State state_ = State::Missing;
    std::string problem_;
    std::string runStamp_;
    std::unordered_set<uint32_t> ids_;
};

}  // namespace Trevalon
