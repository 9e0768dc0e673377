// Test helper: takes the lock of the task with the given GUID, prints
// "locked" or "refused" on its own line, then holds the lock for the given
// milliseconds and exits 0. Reads the node configuration named by
// VAULT_NODE_CONFIG, as the vault's programs do.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "Pool/Locking.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <task guid> <hold milliseconds>\n", argv[0]);
        return 2;
    }
    DataObjects::TaskDataObject task;
    task.guid = argv[1];
    const long holdMs = std::strtol(argv[2], nullptr, 10);
    Pool::Locking::PoolSystemLock systemLock(0);
    Pool::Locking::AutoUnlockManager manager(task, std::string());
    const bool locked = manager.lock(systemLock);
    std::printf("%s\n", locked ? "locked" : "refused");
    std::fflush(stdout);
    if (locked) std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
    return 0;
}
