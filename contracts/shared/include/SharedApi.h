// Export macro of the Shared library: symbols are hidden unless marked.
#pragma once
#if defined(SHARED_BUILDING)
#define SHARED_API __attribute__((visibility("default")))
#else
#define SHARED_API __attribute__((visibility("default")))
#endif
