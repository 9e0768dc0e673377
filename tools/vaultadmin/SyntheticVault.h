// Large synthetic vaults for benchmarks: a description produced from a few
// numbers instead of a JSON file, built by the same builder.
//
// Layout: `customers` customers with one location each and
// `computersPerCustomer` computers each; the tasks are dealt out to the
// computers in order, as evenly as possible. Task i is bound to node
// "node<(i mod nodes) + 1>"; "node1" is this node. Each task has
// `safesetsPerTask` safesets numbered 1, 2, ... of `recordsPerSafeset` records.
// Drawn per safeset with a generator seeded by `seed` (same numbers, same
// vault): written by the affected version 8.40 with probability affectedShare
// (else 8.50); an affected safeset holds one marked record, its last, with
// probability markedShare (so checking it reads the whole container); any
// safeset is unavailable with probability unavailableShare.
#pragma once

#include <cstdint>
#include <string>

#include "VaultDescription.h"

namespace VaultAdmin {

struct SyntheticParameters {
    uint64_t tasks = 100;
    uint64_t safesetsPerTask = 3;
    uint64_t recordsPerSafeset = 100;
    double affectedShare = 0.5;
    double markedShare = 0.1;
    double unavailableShare = 0.0;
    uint64_t nodes = 1;
    uint64_t seed = 1;
    uint64_t customers = 0;             // 0: one customer per 100 tasks
    uint64_t computersPerCustomer = 10;
};

// Checks the numbers (std::invalid_argument naming the option) and produces
// the description.
VaultDescription syntheticDescription(const SyntheticParameters& parameters);

}  // namespace VaultAdmin
