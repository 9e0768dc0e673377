// Verifying a task's synchronisation files and a single index file.
//
// verifyTask opens the task's synchronisation set; when exactly one of its
// two files (main, mirror) is missing it re-creates it from the other while
// holding the task lock, waited for at most the optimize-lock time-out
// ("OptimizeLockTimeout", 300000 ms, or "MaintenanceOptimizeLockTimeout",
// 30000 ms, while VaultCommandSession::isDllRun()). A set that cannot be
// opened at all (both files missing or damaged) fails with "Failed to open
// synch file.". It then lists the task's pools from the catalogue.
// verifyTaskFile opens a file as an index file, refuses one shorter than its
// 512-byte header and runs the index file's full verification; a damaged or
// unreadable file becomes a Pool::DisableTaskWritersError naming the task's
// GUID, for the pool error handler. Both are static and keep no state.
#pragma once

#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "DataObjects/DataObjects.h"
#include "Veshmoor/VeshmoorApi.h"
#include "Veshmoor/VeshmoorException.h"

class VaultCommandSession;

namespace DatabaseInterfaces {
class AdministratorInterface;
}

namespace Veshmoor {

class TaskCatalogue;  // library-internal: where a verification names tasks and finds pools

class VESHMOOR_API VerifyManager {
public:
    // Appends the paths of the main and mirror synchronisation files (none
    // for sets in the older format) and the GUIDs of the task's pools that
    // are not secondary; never clears either list. Every failure is logged
    // and thrown as VeshmoorException with the failure's text; what was
    // appended stays.
    static void verifyTask(boost::shared_ptr<VaultCommandSession> session, const DataObjects::TaskDataObject& task,
                           std::vector<std::string>& synchFiles, std::vector<std::string>& poolGuids);

    // The same with the caller's administrator interface naming the task and
    // listing its pools, for a caller that verifies many tasks: no interface
    // manager (and no database connection) is set up per task.
    static void verifyTask(boost::shared_ptr<VaultCommandSession> session, const DataObjects::TaskDataObject& task,
                           std::vector<std::string>& synchFiles, std::vector<std::string>& poolGuids,
                           DatabaseInterfaces::AdministratorInterface& catalogue);

    // Throws Pool::DisableTaskWritersError for a file that is short, cannot
    // be read or fails verification; Pool::PoolError unchanged;
    // VeshmoorException for other failures.
    static void verifyTaskFile(boost::shared_ptr<VaultCommandSession> session, const DataObjects::TaskDataObject& task,
                               const std::string& filePath);

protected:
    // Makes sure both synchronisation files exist in `directory` (ending in
    // a separator), re-creating one that is missing under the task lock.
    static void ensureSynchFiles(const DataObjects::TaskDataObject& task, const std::string& directory);
    // The lock time-out in milliseconds, read from configuration on each call.
    static unsigned long getOptimizeLockTimeout();

private:
    static void verifyTaskWith(boost::shared_ptr<VaultCommandSession> session, const DataObjects::TaskDataObject& task,
                               std::vector<std::string>& synchFiles, std::vector<std::string>& poolGuids,
                               TaskCatalogue& catalogue);
};

}  // namespace Veshmoor
