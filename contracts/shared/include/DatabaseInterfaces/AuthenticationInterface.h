// The authentication interface: checks a user's credentials against the
// catalogue. Slot order: authenticateUser, then the virtual destructor.
#pragma once

#include <cstdint>
#include <string>

#include "SharedApi.h"

namespace DatabaseInterfaces {

class SHARED_API AuthenticationInterface {
public:
    // True when the user of the account may log in with the password.
    virtual bool authenticateUser(uint32_t accountId, const std::string& userName, const std::string& password) = 0;
    virtual ~AuthenticationInterface();
};

}  // namespace DatabaseInterfaces
