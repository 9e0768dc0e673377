// The plug-in's C entry points: the only symbols the library exports.
//
// termLibrary leaves the catalogue and its refresh thread running: a host
// that loads the plug-in, releases its interfaces and creates new ones keeps
// the catalogue it had. The library is linked so that it is never unmapped
// (-z nodelete): the refresh thread runs its code until the process ends, so
// a host that calls dlclose must not take that code away from under it.
#include "Factories.h"
#include "GlobalSettingHelperAdapter.h"

#define QUENLITH_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// On load, as the vault's plug-ins do: make sure the node-local settings can
// be reached (the adapter is created and released at once). A failure here
// shows again, with its reason, at the first read that needs the settings.
__attribute__((constructor)) void onLibraryLoad() {
    try {
        CGlobalSettingHelperAdapter<CRegFactoryRetriever> nodeLocal(CConfigAccessorFactory::EConfigAccessors(0));
    } catch (...) {
    }
}

}  // namespace

QUENLITH_EXPORT void initLibrary() {}

QUENLITH_EXPORT void termLibrary() {}

QUENLITH_EXPORT DatabaseInterfaces::VaultInfoFactory* getDatabaseFactory(const char* vaultId, const char* databaseFile,
                                                                         const char* reserved1, const char* reserved2,
                                                                         const char* reserved3) {
    return new CShMDatabaseFactory(vaultId, databaseFile, reserved1, reserved2, reserved3);
}

QUENLITH_EXPORT DatabaseInterfaces::VaultInfoFactory* getVaultInfoFactoryInstanceImpl(bool reload) {
    return new CShMDatabaseFactory(reload);
}

QUENLITH_EXPORT DatabaseInterfaces::IBackupFactory* getBackupFactory() { return new CShMBackupFactoryImpl; }

QUENLITH_EXPORT DatabaseInterfaces::IDBDiagnosticsFactory* getDBDiagnosticsFactory() {
    return new ShMDBDiagnosticsFactoryImpl;
}

QUENLITH_EXPORT void clearDbSchemaAlreadyVerified() {}
