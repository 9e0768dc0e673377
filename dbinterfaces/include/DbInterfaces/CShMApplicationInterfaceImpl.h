// The application interface of the Quenlith plug-in, answered from the
// in-memory catalogue (CShMDBHelper).
//
// Every operation is one of three kinds: a catalogue read (copies what it
// needs from one catalogue generation and fills the caller's records), a
// fixed answer (constants, no catalogue), or a stub inherited from
// ApplicationStubs that raises std::runtime_error("Not implemented") before
// touching any argument. Which operation is which is listed in
// docs/quenlith.md.
//
// The object has no state: constructing it makes sure the process-wide
// catalogue exists (starting its first scan), and every instance reads that
// one catalogue, so instances may be copied and used from any thread at
// once. Catalogue reads wait for the catalogue's first pass.
//
// Records an operation builds start default-constructed and only the fields
// named in docs/quenlith.md are set; lists are appended to, except where an
// operation says it empties them. Look-ups that find nothing do not raise.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DatabaseInterfaces/NotImplementedInterfaces.h"

class CShMDBHelper;

// The vault GUID every vault record of this plug-in carries.
extern const char* const kQuenlithVaultGuid;  // "a69171a3-953c-4c4d-a02e-dd329993dab0"

class CShMApplicationInterfaceImpl
    : public DatabaseInterfaces::ApplicationStubs<DatabaseInterfaces::ApplicationInterface> {
public:
    CShMApplicationInterfaceImpl();
    CShMApplicationInterfaceImpl(const CShMApplicationInterfaceImpl&);
    CShMApplicationInterfaceImpl& operator=(const CShMApplicationInterfaceImpl&) = default;
    ~CShMApplicationInterfaceImpl() override;

    DatabaseInterfaces::ConfigSourceType _getGlobalSetting(const std::string& key, std::string& value,
                                                           const std::string& defaultValue) override;

    bool getVault(const std::string& vaultName, DataObjects::VaultDataObject& vault) override;
    bool getVault(uint32_t vaultId, DataObjects::VaultDataObject& vault) override;
    void getAllNodes(std::vector<DataObjects::NodeDataObject>& nodes) override;
    bool getNodeByTaskId(uint32_t taskId, DataObjects::NodeDataObject& node) override;
    void getAllNodesByObjectId(uint32_t objectId, DatabaseInterfaces::CopyObjectType objectType,
                               std::vector<DataObjects::NodeDataObject>& nodes) override;
    bool getCustomer(uint32_t customerId, DataObjects::CustomerDataObject& customer) override;
    bool getCustomerByShortName(std::string shortName, DataObjects::CustomerDataObject& customer) override;
    bool getLocation(uint32_t locationId, DataObjects::LocationDataObject& location) override;
    bool getAccount(const std::string& accountName, DataObjects::VaultAccountDataObject& account) override;
    bool getAccount(uint32_t accountId, DataObjects::VaultAccountDataObject& account) override;
    bool getUser(uint32_t userId, DataObjects::UserDataObject& user) override;
    bool getUser(uint32_t accountId, const std::string& userName, DataObjects::UserDataObject& user) override;
    bool getComputer(const std::string& computerGuid, DataObjects::ComputerDataObject& computer) override;
    bool getComputer(uint32_t computerId, DataObjects::ComputerDataObject& computer) override;
    void getLocationComputers(uint32_t locationId, std::vector<DataObjects::ComputerDataObject>& computers) override;
    bool getAnyComputeruserByUserIdAgentVersion(uint32_t userId, const std::string& agentVersion,
                                                DataObjects::ComputerUserDataObject& computerUser) override;
    bool getTask(const std::string& taskGuid, DataObjects::TaskDataObject& task) override;
    bool getTask(uint32_t taskId, DataObjects::TaskDataObject& task) override;
    void getComputerTasks(uint32_t computerId, std::vector<DataObjects::TaskDataObject>& tasks) override;
    void recordTaskActivity(uint32_t taskId, DatabaseInterfaces::VActivityEntry entry) override;
    void recordTaskActivity(uint32_t taskId, const std::vector<DatabaseInterfaces::VActivityEntry>& entries) override;
    void getTasksAssociatedToNode(uint32_t nodeId, std::vector<DataObjects::TaskAssociationDataObject>& tasks) override;
    void getMoveReadyTasksAssociatedToNode(uint32_t nodeId, uint32_t maxCount,
                                           std::vector<DataObjects::TaskAssociationDataObject>& tasks) override;
    void releaseTaskNodeAssociation(uint32_t taskId) override;
    void touchTaskNodeAssociationTimestamp(uint32_t taskId) override;
    bool getSecondaryStoragesByPoolGuid(const std::string& poolGuid,
                                        DataObjects::SecondaryStorageDataObject& storage) override;
    std::string getTaskHierarchy(std::string taskGuid) override;
    std::string getTaskHierarchy(uint32_t taskId) override;
    bool validateUserForTask(uint32_t userId, uint32_t taskId) override;
    bool getPoolByGuid(const std::string& poolGuid, DataObjects::PoolDataObject& pool) override;
    void getTaskPools(uint32_t taskId, std::vector<DataObjects::PoolDataObject>& pools) override;
    void getFileCacheConfiguration(std::vector<DatabaseInterfaces::FileCacheConfigurationObject>& configuration) override;

protected:
    static CShMDBHelper& catalogue();
};
