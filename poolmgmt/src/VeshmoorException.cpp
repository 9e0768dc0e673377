#include "Veshmoor/VeshmoorException.h"

VeshmoorException::VeshmoorException(const std::string& message) : std::runtime_error(message) {}

// Out of line, so the type information lives in this library only.
VeshmoorException::~VeshmoorException() = default;
