// The pool-management library's exception: a standard exception carrying the
// text of a failed command or verification.
#pragma once

#include <stdexcept>
#include <string>

#include "Veshmoor/VeshmoorApi.h"

class VESHMOOR_API VeshmoorException : public std::runtime_error {
public:
    explicit VeshmoorException(const std::string& message);
    ~VeshmoorException() override;
};
