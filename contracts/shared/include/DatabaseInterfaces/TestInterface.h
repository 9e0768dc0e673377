// The test interface: lets test tools reset a catalogue. Slot order: the
// virtual destructor, then clear.
#pragma once

#include "SharedApi.h"

namespace DatabaseInterfaces {

class SHARED_API TestInterface {
public:
    virtual ~TestInterface();
    // Removes every record of the catalogue.
    virtual void clear() = 0;
};

}  // namespace DatabaseInterfaces
