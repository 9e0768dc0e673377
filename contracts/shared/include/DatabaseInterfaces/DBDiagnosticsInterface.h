// The database diagnostics interface. Slot order: the virtual destructor,
// then runDiagnostics.
#pragma once

#include <cstdint>

#include "SharedApi.h"

namespace DatabaseInterfaces {

class SHARED_API DBDiagnosticsInterface {
public:
    virtual ~DBDiagnosticsInterface();
    // Checks the catalogue database; 0 means no fault found. `options` is
    // reserved for the plug-in (pass 0).
    virtual int32_t runDiagnostics(uint32_t options) = 0;
};

}  // namespace DatabaseInterfaces
