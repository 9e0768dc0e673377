// Turning a pool error into action on the vault's tasks.
//
// A handler is built for one error from the pool GUID and the task GUID the
// error names: it finds the task (or, without a task GUID, every task of the
// pool) and the pool in the vault catalogue, then runs the handler of the
// error's number:
//   0x00320000 "Carrowen CRC Error"        marks the first task suspect (to be
//                                         cleared by the repair) and submits
//                                         "pellatrix ssirepaircrcall task N"
//                                         unless the last repair submitted in
//                                         this process was for the same task
//   0x00320001/2, 0x00510000/1/2          marks every task suspect (to be
//                                         cleared by an administrator)
// The global setting "DisabledErrorHandlers" (decimal numbers separated by
// any punctuation or blanks) switches handlers off; "SubmitFileCrcRepair" 0
// marks without submitting. Nothing here throws out of handleError: every
// failure is a line in the vault log.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <boost/function.hpp>

#include "DataObjects/DataObjects.h"
#include "Veshmoor/VeshmoorApi.h"

namespace Pool {
class PoolError;
}

namespace Veshmoor {

class VESHMOOR_API PoolErrorHandler {
public:
    // Looks the task(s) and the pool up. A look-up that fails is logged and
    // leaves the handler without handlers (every error is then "Unhandled
    // error code"); only failures to create the interface manager or the
    // default pool record leave as exceptions.
    PoolErrorHandler(const std::string& poolGuid, const std::string& taskGuid);
    // A copy acts on its own pool and tasks.
    PoolErrorHandler(const PoolErrorHandler& other);
    PoolErrorHandler& operator=(const PoolErrorHandler& other);
    virtual ~PoolErrorHandler();

    // Handles error `errorCode`; `context` is handed to the handler unread.
    // Never throws.
    void handleError(int32_t errorCode, void* context);

    // Builds a handler from the error's pool and job (task) GUIDs and handles
    // its number. Never throws.
    static void handleError(const Pool::PoolError& error);

    // The error's name, or "Unknown error code 0x<hex>".
    static std::string getErrorStr(int32_t errorCode);

protected:
    void submitCrcRepair(void* context, const std::string& errorName);
    void markTasksAsSuspect(void* context, const std::string& errorName);

private:
    using Handler = boost::function<void(void*, const std::string&)>;

    void initErrorHandlers();
    bool isHandlerEnabled(int32_t errorCode);

    DataObjects::PoolDataObject pool_;
    std::vector<DataObjects::TaskDataObject> tasks_;
    std::map<int32_t, Handler> handlers_;

    static const std::map<int32_t, std::string> errorCodesStr_;
};

}  // namespace Veshmoor
