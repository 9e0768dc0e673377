// Database plug-ins with one fault each, built three times with a different
// definition, so the interface manager's error paths can be exercised.
#include "DatabaseInterfaces/Factories.h"

#define BAD_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

BAD_PLUGIN_EXPORT void initLibrary() {}

#if defined(BAD_PLUGIN_NULL_FACTORY)

BAD_PLUGIN_EXPORT DatabaseInterfaces::VaultInfoFactory* getDatabaseFactory(const char*, const char*, const char*,
                                                                           const char*, const char*) {
    return nullptr;
}

#elif defined(BAD_PLUGIN_NULL_INTERFACE)

namespace {

// Gives no interface at all.
class EmptyFactory final : public DatabaseInterfaces::VaultInfoFactory {
public:
    DatabaseInterfaces::AuthenticationInterface* createAuthenticationInterface() override { return nullptr; }
    DatabaseInterfaces::ApplicationInterface* createApplicationInterface() override { return nullptr; }
    DatabaseInterfaces::AdministratorInterface* createAdministratorInterface() override { return nullptr; }
    DatabaseInterfaces::BillingCodeInterface* createBillingCodeInterface() override { return nullptr; }
    DatabaseInterfaces::TestInterface* createTestInterface() override { return nullptr; }
    DatabaseInterfaces::ReplicationInterface* createReplicationInterface() override { return nullptr; }
};

}  // namespace

BAD_PLUGIN_EXPORT DatabaseInterfaces::VaultInfoFactory* getDatabaseFactory(const char*, const char*, const char*,
                                                                           const char*, const char*) {
    return new EmptyFactory;
}

#endif  // BAD_PLUGIN_NO_FACTORY_EXPORT exports initLibrary alone
