// The index file a build writes beside each pool's containers.
#pragma once

#include <string>

#include "VaultDescription.h"
#include "VaultFiles.h"

namespace VaultAdmin {

// Writes "<poolFolder>pool.vix" for the task's safesets from the records the
// build writes into their containers (Carrowen::makeRecord of each record id
// from kFirstRecordId on, marked as the description says), without reading
// the containers. Written through `files` (a build's file system syncs once at
// its end).
void writeBuiltPoolIndex(const std::string& poolFolder, const TaskDescription& task,
                         VaultFiles::FileSystem& files = VaultFiles::FileSystem::real());

}  // namespace VaultAdmin
