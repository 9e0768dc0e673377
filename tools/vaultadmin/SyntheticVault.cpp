#include "SyntheticVault.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <stdexcept>

#include "DescriptionParser.h"
#include "NameGuid.h"

namespace VaultAdmin {
namespace {

constexpr uint64_t kMaxTasks = 10000000;
constexpr uint64_t kMaxSafesetsPerTask = 100000;
constexpr uint64_t kMaxNodes = 1000;

void requireRange(const char* option, uint64_t value, uint64_t low, uint64_t high) {
    if (value < low || value > high)
        throw std::invalid_argument(std::string(option) + " must be from " + std::to_string(low) + " to " +
                                    std::to_string(high) + ", not " + std::to_string(value));
}

void requireShare(const char* option, double value) {
    if (!std::isfinite(value) || value < 0.0 || value > 1.0)
        throw std::invalid_argument(std::string(option) + " must be a number from 0 to 1");
}

std::string numbered(const char* prefix, uint64_t number, int digits) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s%0*llu", prefix, digits, static_cast<unsigned long long>(number));
    return buffer;
}

}  // namespace

VaultDescription syntheticDescription(const SyntheticParameters& p) {
    requireRange("--tasks", p.tasks, 1, kMaxTasks);
    requireRange("--safesets-per-task", p.safesetsPerTask, 0, kMaxSafesetsPerTask);
    requireRange("--records-per-safeset", p.recordsPerSafeset, 0, kMaxRecordsPerSafeset);
    requireRange("--nodes", p.nodes, 1, kMaxNodes);
    requireRange("--computers-per-customer", p.computersPerCustomer, 1, kMaxTasks);
    requireShare("--affected-share", p.affectedShare);
    requireShare("--marked-share", p.markedShare);
    requireShare("--unavailable-share", p.unavailableShare);
    const uint64_t customers = p.customers ? p.customers : std::max<uint64_t>(1, p.tasks / 100);
    requireRange("--customers", customers, 1, kMaxTasks);

    VaultDescription vault;
    vault.id = "synthetic";
    vault.guid = nameGuid({"vault", vault.id});
    vault.version = "8.50.0000";
    for (uint64_t n = 1; n <= p.nodes; ++n) vault.nodes.push_back(numbered("node", n, 1));
    vault.thisNode = vault.nodes.front();

    std::mt19937_64 random(p.seed);
    std::uniform_real_distribution<double> draw(0.0, 1.0);
    const uint64_t computers = customers * p.computersPerCustomer;
    uint64_t taskNumber = 0;
    for (uint64_t c = 0; c < customers; ++c) {
        CustomerDescription customer;
        customer.name = numbered("Customer ", c + 1, 4);
        customer.reference = numbered("CUST-", c + 1, 4);
        LocationDescription location;
        location.name = "Head office";
        location.reference = customer.reference + "-HQ";
        for (uint64_t k = 0; k < p.computersPerCustomer; ++k) {
            const uint64_t computerIndex = c * p.computersPerCustomer + k;
            ComputerDescription computer;
            computer.name = numbered("pc-", computerIndex + 1, 5);
            computer.guid = nameGuid({"computer", vault.id, customer.name, location.name, computer.name});
            // Tasks [first, last) of the whole numbering go to this computer.
            const uint64_t last = (computerIndex + 1) * p.tasks / computers;
            for (; taskNumber < last; ++taskNumber) {
                TaskDescription task;
                task.name = numbered("Task ", taskNumber + 1, 7);
                task.guid = nameGuid({"task", computer.guid, task.name});
                task.poolGuid = nameGuid({"pool", task.guid});
                task.node = vault.nodes[taskNumber % p.nodes];
                for (uint64_t s = 1; s <= p.safesetsPerTask; ++s) {
                    SafesetDescription safeset;
                    safeset.number = static_cast<uint32_t>(s);
                    safeset.records = static_cast<uint32_t>(p.recordsPerSafeset);
                    const bool affected = draw(random) < p.affectedShare;
                    const bool marked = draw(random) < p.markedShare;
                    safeset.unavailable = draw(random) < p.unavailableShare;
                    safeset.version = affected ? "8.40" : "8.50";
                    if (affected && marked && safeset.records > 0)
                        safeset.marked = MarkedRecords::atIndices({safeset.records - 1u});
                    task.safesets.push_back(std::move(safeset));
                }
                computer.tasks.push_back(std::move(task));
            }
            location.computers.push_back(std::move(computer));
        }
        customer.locations.push_back(std::move(location));
        vault.customers.push_back(std::move(customer));
    }
    return vault;
}

}  // namespace VaultAdmin
