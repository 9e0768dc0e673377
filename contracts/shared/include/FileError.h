// The error of the Shared file classes: a file that cannot be opened, read or
// written, or whose contents are damaged.
#pragma once

#include <stdexcept>
#include <string>

#include "SharedApi.h"

class SHARED_API FileError : public std::runtime_error {
public:
    // what() is "<path>: <problem>", so the text always starts with the path.
    FileError(const std::string& path, const std::string& problem);
    ~FileError() override;
    const std::string& getPath() const { return path_; }
    const std::string& getProblem() const { return problem_; }

private:
    std::string path_;
    std::string problem_;
};
