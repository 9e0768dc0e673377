#include "FileError.h"

FileError::FileError(const std::string& path, const std::string& problem)
    : std::runtime_error(path + ": " + problem), path_(path), problem_(problem) {}

FileError::~FileError() = default;
