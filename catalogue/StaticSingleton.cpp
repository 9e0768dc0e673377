#include "Catalogue/StaticSingleton.h"

namespace StaticSingleton {

CLockable& CLockable::creationLock() {
    // Never destroyed: a caller or the refresh thread may still run while the
    // process tears down its statics.
    static CLockable* lock = new CLockable;
    return *lock;
}

}  // namespace StaticSingleton
