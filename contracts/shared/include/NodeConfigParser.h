// The node configuration's text format, parsed without touching any file.
//
// Rules (see VaultSettings.h for what the keys mean):
// - Lines end at '\n'; one trailing '\r' is dropped.
// - Blank lines and lines whose first non-blank character is '#' or ';' are
//   comments.
// - "[name]" (blanks around it allowed) opens one of the sections node,
//   database, local, numbers. Any other header is a problem; the lines up to
//   the next known header are skipped with it.
// - Every other line is KEY=VALUE: the key is the text before the first '='
//   exactly as it stands (so write no blanks around '='), the value everything
//   after it. The first of two equal keys in a section wins.
// - Problems, each reported by line number and skipped: a line without '=',
//   an empty key, a key line before any section, a line of more than 64 KiB,
//   a line holding a NUL byte, an unknown section header.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "SharedApi.h"

namespace NodeConfig {

// The longest line accepted, in bytes (without its line end).
constexpr size_t kMaxLineLength = 64 * 1024;

struct ParseProblem {
    size_t line = 0;  // 1-based
    std::string reason;
};

struct ParsedConfig {
    // section name -> key -> value
    std::map<std::string, std::map<std::string, std::string>> sections;
    std::vector<ParseProblem> problems;
};

SHARED_API ParsedConfig parse(const std::string& text);

// True for the four section names the file may hold.
SHARED_API bool isKnownSection(const std::string& name);

}  // namespace NodeConfig
