// Naming a task by its place in the vault's catalogue.
#pragma once

#include <cstdint>
#include <string>

#include "SharedApi.h"

// The text that names task `taskId` within the vault's hierarchy, as the
// configured database plug-in gives it (ApplicationInterface::getTaskHierarchy;
// the catalogue plug-in answers "customer/location/computer/task"). Never
// throws: callers use it inside error handlers. Gives "" when the task is
// unknown, the id is not positive, or the plug-in cannot be loaded or fails;
// such a failure is written as one trace line (16385).
SHARED_API std::string getTaskHierarchy(int32_t taskId);
