// The shared library's own translation unit; everything else comes whole
// from VeshmoorCore.
#include "Veshmoor/VeshmoorApi.h"
