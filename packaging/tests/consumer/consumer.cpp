// Writes a task's sync list into the task folder given as its argument, with
// the path from the Pool library's layout, the writer of Carrowen and a text
// formatted by Shared, and prints the path it wrote and the name the
// pool-management library gives a CRC error.
#include <cstdio>
#include <string>
#include <sys/stat.h>

#include "Carrowen/Writers.h"
#include "DataObjects/DataObjects.h"
#include "Pool/Layout.h"
#include "VaultUtilities.h"
#include "Veshmoor/PoolErrorHandler.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    DataObjects::TaskDataObject task;
    task.taskFolder = argv[1];
    ::mkdir(Pool::Layout::poolFolder(task).c_str(), 0755);
    const std::string path = Pool::Layout::syncListPath(task);
    Carrowen::writeSyncList(path, {{7, "8.40.0001", Pool::Layout::containerFileName(7)}});
    std::printf("%s\n", VaultUtilities::formatMessage("wrote %s", path.c_str()).c_str());
    // The pool-management library names pool errors from its own table.
    std::printf("%s\n", Veshmoor::PoolErrorHandler::getErrorStr(0x00320000).c_str());
    return 0;
}
