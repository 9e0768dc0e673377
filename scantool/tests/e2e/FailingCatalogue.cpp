// A database plug-in for tests: it knows the vault and nothing else, so a
// walk over the catalogue fails at the customer listing with "Not implemented".
#include "DatabaseInterfaces/Factories.h"
#include "DatabaseInterfaces/NotImplementedInterfaces.h"

namespace {

using namespace DatabaseInterfaces;

class VaultOnlyAdministrator final : public NotImplementedAdministratorInterface {
public:
    bool getVault(const std::string& name, DataObjects::VaultDataObject& vault) override {
        vault.name = name;
        return getVault(1u, vault);
    }
    bool getVault(uint32_t, DataObjects::VaultDataObject& vault) override {
        vault.id = 1;
        vault.guid = "failing-catalogue-vault";
        return true;
    }
    void getAllTaskList(uint32_t, std::vector<DataObjects::TaskDataObject>&, bool) override {}
    ConfigSourceType _getGlobalSetting(const std::string&, std::string& value, const std::string& fallback) override {
        value = fallback;
        return CONFIG_SOURCE_DEFAULT;
    }
};

class VaultOnlyFactory final : public VaultInfoFactory {
public:
    AuthenticationInterface* createAuthenticationInterface() override { return nullptr; }
    ApplicationInterface* createApplicationInterface() override { return new VaultOnlyAdministrator; }
    AdministratorInterface* createAdministratorInterface() override { return new VaultOnlyAdministrator; }
    BillingCodeInterface* createBillingCodeInterface() override { return nullptr; }
    TestInterface* createTestInterface() override { return nullptr; }
    ReplicationInterface* createReplicationInterface() override { return nullptr; }
};

}  // namespace

extern "C" {
__attribute__((visibility("default"))) void initLibrary() {}
__attribute__((visibility("default"))) void termLibrary() {}
__attribute__((visibility("default"))) VaultInfoFactory* getDatabaseFactory(const char*, const char*, const char*,
                                                                             const char*, const char*) {
    return new VaultOnlyFactory;
}
}
