#include "DataObjects/DataObjects.h"

#include "VaultSettings.h"

namespace DataObjects {

PoolDataObject::PoolDataObject() {
    unsigned long configured = 50;
    poolVersion = static_cast<uint32_t>(sys_getconfignum("PoolVersion", &configured, 50));
}

}  // namespace DataObjects
