// The simple-backup interface: backs up, restores and shrinks the catalogue
// database. Slot order: the virtual destructor, makeBackup, restore, shrink.
#pragma once

#include "SharedApi.h"

namespace DatabaseInterfaces {

class SHARED_API SimpleBackupInterface {
public:
    virtual ~SimpleBackupInterface();
    // Writes a backup of the catalogue to the file `path`.
    virtual void makeBackup(const char* path) = 0;
    // Replaces the catalogue by the backup in the file `path`.
    virtual void restore(const char* path) = 0;
    // Gives unused space of the catalogue database back.
    virtual void shrink() = 0;
};

}  // namespace DatabaseInterfaces
