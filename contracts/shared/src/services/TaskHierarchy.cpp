// Task naming through the configured database plug-in.
#include "TaskHierarchy.h"

#include "DatabaseInterfaces/ApplicationInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "VaultLog.h"

std::string getTaskHierarchy(int32_t taskId) {
    try {
        if (taskId <= 0) return std::string();
        DatabaseInterfaces::DbInterfaceManager manager;
        DatabaseInterfaces::ApplicationInterface* app = manager.applicationInterface(true);
        if (!app) throw std::runtime_error("the database plug-in gave no application interface");
        return app->getTaskHierarchy(static_cast<uint32_t>(taskId));
    } catch (const std::exception& e) {
        log_show(1, 16385, "getTaskHierarchy(%d) failed: %s", taskId, e.what());
    } catch (...) {
        log_show(1, 16385, "getTaskHierarchy(%d) failed", taskId);
    }
    return std::string();
}
