#pragma once
#define POOL_API __attribute__((visibility("default")))
