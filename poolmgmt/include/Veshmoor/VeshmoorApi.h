// Export macro of the pool-management library: its symbols are hidden unless
// marked, so libVeshmoor.so exports its classes and tables and nothing else.
#pragma once
#define VESHMOOR_API __attribute__((visibility("default")))
