// The replication interface: tokens, replication nodes, channels, events,
// packages, sessions and satellites of a replicating vault.
//
// 152 virtual slots in fixed order (the virtual destructor is the last):
// find (0-24) and getToken (25-49) have one overload per record type in the
// order given; then the replication operations. Lists are appended to unless
// an operation says otherwise; unserved operations raise std::runtime_error
// "Not implemented".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DataObjects/DataObjects.h"
#include "DataObjects/ReplicationObjects.h"
#include "DatabaseInterfaces/Types.h"
#include "SharedApi.h"

namespace DatabaseInterfaces {

class SHARED_API ReplicationInterface {
public:
    // 0-24: find a record by its replication token.
    virtual bool find(const std::string& token, DataObjects::SatelliteStatisticsRequestDataObject& record) = 0;
    virtual bool find(const std::string& token, DataObjects::RemoteSatelliteCmd& record) = 0;
    virtual bool find(const std::string& token, DataObjects::SatelliteReportRequest& record) = 0;
    virtual bool find(const std::string& token, DataObjects::ReplicationNode& record) = 0;
    virtual bool find(const std::string& token, DataObjects::ReplicationChannel& record) = 0;
    virtual bool find(const std::string& token, DataObjects::ReplicationPackage& record) = 0;
    virtual bool find(const std::string& token, DataObjects::SafesetObject& record) = 0;
    virtual bool find(const std::string& token, DataObjects::TaskDataObject& record) = 0;
    virtual bool find(const std::string& token, DataObjects::TaskAliasDataObject& record) = 0;
    virtual bool find(const std::string& token, DataObjects::FileObject& record) = 0;
    virtual bool find(const std::string& token, DataObjects::ComputerFileObject& record) = 0;
    virtual bool find(const std::string& token, DataObjects::ComputerAliasDataObject& record) = 0;
    virtual bool find(const std::string& token, DataObjects::ComputerDataObject& record) = 0;
    virtual bool find(const std::string& token, DataObjects::UserDataObject& record) = 0;
    virtual bool find(const std::string& token, DataObjects::VaultAccountDataObject& record) = 0;
    virtual bool find(const std::string& token, DataObjects::BillingDataObject& record) = 0;
    virtual bool find(const std::string& token, DataObjects::CustomerQuotaDataObject& record) = 0;
    virtual bool find(const std::string& token, DataObjects::ComputerBackupTypeDataObject& record) = 0;
    virtual bool find(const std::string& token, DataObjects::LocationDataObject& record) = 0;
    virtual bool find(const std::string& token, DataObjects::CustomerDataObject& record) = 0;
    virtual bool find(const std::string& token, DataObjects::VaultAliasDataObject& record) = 0;
    virtual bool find(const std::string& token, DataObjects::ComputerUserDataObject& record) = 0;
    virtual bool find(const std::string& token, DataObjects::ReplicationConfigurationDataObject& record) = 0;
    virtual bool find(const std::string& token, DataObjects::ReplicationSatelliteDataObject& record) = 0;
    virtual bool find(const std::string& token, DataObjects::VaultDataObject& record) = 0;
    // 25-49: the replication token of a record.
    virtual std::string getToken(const DataObjects::SatelliteStatisticsRequestDataObject& record) = 0;
    virtual std::string getToken(const DataObjects::RemoteSatelliteCmd& record) = 0;
    virtual std::string getToken(const DataObjects::SatelliteReportRequest& record) = 0;
    virtual std::string getToken(const DataObjects::ReplicationNode& record) = 0;
    virtual std::string getToken(const DataObjects::ReplicationChannel& record) = 0;
    virtual std::string getToken(const DataObjects::ReplicationPackage& record) = 0;
    virtual std::string getToken(const DataObjects::SafesetObject& record, bool withTask) = 0;
    virtual std::string getToken(const DataObjects::TaskAliasDataObject& record) = 0;
    virtual std::string getToken(const DataObjects::TaskDataObject& record) = 0;
    virtual std::string getToken(const DataObjects::FileObject& record) = 0;
    virtual std::string getToken(const DataObjects::ComputerFileObject& record) = 0;
    virtual std::string getToken(const DataObjects::ComputerAliasDataObject& record) = 0;
    virtual std::string getToken(const DataObjects::ComputerDataObject& record) = 0;
    virtual std::string getToken(const DataObjects::UserDataObject& record) = 0;
    virtual std::string getToken(const DataObjects::VaultAccountDataObject& record) = 0;
    virtual std::string getToken(const DataObjects::BillingDataObject& record) = 0;
    virtual std::string getToken(const DataObjects::CustomerQuotaDataObject& record) = 0;
    virtual std::string getToken(const DataObjects::ComputerBackupTypeDataObject& record) = 0;
    virtual std::string getToken(const DataObjects::LocationDataObject& record) = 0;
    virtual std::string getToken(const DataObjects::CustomerDataObject& record) = 0;
    virtual std::string getToken(const DataObjects::VaultAliasDataObject& record) = 0;
    virtual std::string getToken(const DataObjects::ReplicationConfigurationDataObject& record) = 0;
    virtual std::string getToken(const DataObjects::ComputerUserDataObject& record) = 0;
    virtual std::string getToken(const DataObjects::ReplicationSatelliteDataObject& record) = 0;
    virtual std::string getToken(const DataObjects::VaultDataObject& record) = 0;
    // 50-83: tokens, replication nodes, channels and events.
    virtual DBReplicationTokenType getTokenType(const std::string& token) = 0;
    virtual bool isParentOf(const std::string& parentToken, const std::string& childToken, bool direct) = 0;
    virtual uint32_t addReplicationNode(const DataObjects::ReplicationNode& node) = 0;
    virtual void getReplicationNode(uint32_t nodeId, DataObjects::ReplicationNode& node) = 0;
    virtual void removeReplicationNode(uint32_t nodeId) = 0;
    virtual bool updateReplicationNode(const DataObjects::ReplicationNode& node) = 0;
    virtual void getReplicationNodes(std::vector<DataObjects::ReplicationNode>& nodes) = 0;
    virtual void getLocalReplicationNode(DataObjects::ReplicationNode& node) = 0;
    virtual void setLocalReplicationNode(const DataObjects::ReplicationNode& node) = 0;
    virtual void getLocalReplicationChannels(std::vector<DataObjects::LocalReplicationChannel>& channels) = 0;
    virtual uint32_t addLocalReplicationChannel(const DataObjects::LocalReplicationChannel& channel) = 0;
    virtual uint32_t addReplicationChannel(const DataObjects::ReplicationChannel& channel) = 0;
    virtual bool getReplicationChannel(uint32_t channelId, DataObjects::ReplicationChannel& channel) = 0;
    virtual void removeReplicationChannel(uint32_t channelId) = 0;
    virtual bool updateReplicationChannel(const DataObjects::ReplicationChannel& channel) = 0;
    virtual void getReplicationChannels(std::vector<DataObjects::ReplicationChannel>& channels) = 0;
    virtual bool getReplicationChannelByName(const std::string& name, DataObjects::ReplicationChannel& channel) = 0;
    virtual void setReplicationChannelThrottling(uint32_t channelId,
                                                 const std::vector<DataObjects::ReplicationThrottling>& throttling) = 0;
    virtual void getReplicationChannelThrottling(uint32_t channelId,
                                                 std::vector<DataObjects::ReplicationThrottling>& throttling) = 0;
    virtual uint32_t addReplicationEvent(int32_t channelId, const DataObjects::ReplicationEvent& event, bool pending) = 0;
    virtual void getReplicationEvent(uint32_t eventId, DataObjects::ReplicationEvent& event) = 0;
    virtual void getReplicationEvents(uint32_t channelId, std::vector<DataObjects::ReplicationEvent>& events) = 0;
    virtual void getReplicationEvents(const std::string& vaultGuid, std::vector<DataObjects::ReplicationEvent>& events) = 0;
    virtual void getReplicationEvents(std::vector<DataObjects::ReplicationEvent>& events) = 0;
    virtual uint32_t getPendingReplicationEventsCount(bool includeRunning) = 0;
    virtual uint32_t getPendingReplicationEventsCountByMode(ReplicationMode mode, bool includeRunning) = 0;
    virtual bool getNewReplicationEvents(const std::string& vaultGuid, std::vector<DataObjects::ReplicationEvent>& events,
                                         bool start) = 0;
    virtual bool getNewReplicationEvents(std::vector<DataObjects::ReplicationEvent>& events, bool start) = 0;
    virtual void getAllNewReplicationEvents(std::vector<DataObjects::ReplicationEvent>& events) = 0;
    virtual bool getAndStartPendingReplicationEvents(uint32_t maxCount, std::vector<DataObjects::ReplicationEvent>& events,
                                                     bool start) = 0;
    virtual void removeReplicationEvent(uint32_t eventId) = 0;
    virtual bool updateReplicationEvent(const DataObjects::ReplicationEvent& event) = 0;
    virtual void setProcessedReplicationEvents(const std::vector<DataObjects::ReplicationEvent>& events) = 0;
    virtual void getChannelIDByVaultGUID(const std::string& vaultGuid, uint32_t& channelId) = 0;
    // 84-104: raise a replication event for a record.
    virtual void raiseReplicationEvent(const DataObjects::SatelliteStatisticsRequestDataObject& record, ReplicationScopeMode scope,
                                       EventSubmitionMode submission, int32_t channelId) = 0;
    virtual void raiseReplicationEvent(const DataObjects::RemoteSatelliteCmd& record, ReplicationScopeMode scope,
                                       EventSubmitionMode submission, int32_t channelId) = 0;
    virtual void raiseReplicationEvent(const DataObjects::SatelliteReportRequest& record, ReplicationScopeMode scope,
                                       EventSubmitionMode submission, int32_t channelId) = 0;
    virtual void raiseReplicationEvent(const DataObjects::SafesetObject& record, ReplicationScopeMode scope,
                                       EventSubmitionMode submission, int32_t channelId,
                                       ReplicationDirection direction) = 0;
    virtual void raiseReplicationEvent(const DataObjects::TaskAliasDataObject& record, ReplicationScopeMode scope,
                                       EventSubmitionMode submission, int32_t channelId,
                                       ReplicationDirection direction) = 0;
    virtual void raiseReplicationEvent(const DataObjects::TaskDataObject& record, ReplicationScopeMode scope,
                                       EventSubmitionMode submission, int32_t channelId,
                                       ReplicationDirection direction) = 0;
    virtual void raiseReplicationEvent(const DataObjects::ComputerFileObject& record, ReplicationScopeMode scope,
                                       EventSubmitionMode submission, int32_t channelId,
                                       ReplicationDirection direction) = 0;
    virtual void raiseReplicationEvent(const DataObjects::ComputerAliasDataObject& record, ReplicationScopeMode scope,
                                       EventSubmitionMode submission, int32_t channelId,
                                       ReplicationDirection direction) = 0;
    virtual void raiseReplicationEvent(const DataObjects::ComputerDataObject& record, ReplicationScopeMode scope,
                                       EventSubmitionMode submission, int32_t channelId,
                                       ReplicationDirection direction) = 0;
    virtual void raiseReplicationEvent(const DataObjects::UserDataObject& record, ReplicationScopeMode scope,
                                       EventSubmitionMode submission, int32_t channelId,
                                       ReplicationDirection direction) = 0;
    virtual void raiseReplicationEvent(const DataObjects::VaultAccountDataObject& record, ReplicationScopeMode scope,
                                       EventSubmitionMode submission, int32_t channelId,
                                       ReplicationDirection direction) = 0;
    virtual void raiseReplicationEvent(const DataObjects::BillingDataObject& record, ReplicationScopeMode scope,
                                       EventSubmitionMode submission, int32_t channelId,
                                       ReplicationDirection direction) = 0;
    virtual void raiseReplicationEvent(const DataObjects::CustomerQuotaDataObject& record, ReplicationScopeMode scope,
                                       EventSubmitionMode submission, int32_t channelId,
                                       ReplicationDirection direction) = 0;
    virtual void raiseReplicationEvent(const DataObjects::ComputerBackupTypeDataObject& record, ReplicationScopeMode scope,
                                       EventSubmitionMode submission, int32_t channelId,
                                       ReplicationDirection direction) = 0;
    virtual void raiseReplicationEvent(const DataObjects::LocationDataObject& record, ReplicationScopeMode scope,
                                       EventSubmitionMode submission, int32_t channelId,
                                       ReplicationDirection direction) = 0;
    virtual void raiseReplicationEvent(const DataObjects::CustomerDataObject& record, ReplicationScopeMode scope,
                                       EventSubmitionMode submission, int32_t channelId,
                                       ReplicationDirection direction) = 0;
    virtual void raiseReplicationEvent(const DataObjects::VaultAliasDataObject& record, ReplicationScopeMode scope,
                                       EventSubmitionMode submission, int32_t channelId,
                                       ReplicationDirection direction) = 0;
    virtual void raiseReplicationEvent(const DataObjects::ReplicationConfigurationDataObject& record, ReplicationScopeMode scope,
                                       EventSubmitionMode submission, int32_t channelId,
                                       ReplicationDirection direction) = 0;
    virtual void raiseReplicationEvent(const DataObjects::ComputerUserDataObject& record, ReplicationScopeMode scope,
                                       EventSubmitionMode submission, int32_t channelId,
                                       ReplicationDirection direction) = 0;
    virtual void raiseReplicationEvent(const DataObjects::ReplicationSatelliteDataObject& record, ReplicationScopeMode scope,
                                       EventSubmitionMode submission, int32_t channelId,
                                       ReplicationDirection direction) = 0;
    virtual void raiseReplicationEvent(const DataObjects::VaultDataObject& record, ReplicationScopeMode scope,
                                       EventSubmitionMode submission, int32_t channelId,
                                       ReplicationDirection direction) = 0;
    // 105-151: packages, sessions, satellites, permissions and housekeeping.
    virtual uint32_t addReplicationPackage(const DataObjects::ReplicationPackage& package) = 0;
    virtual void getReplicationPackage(uint32_t packageId, DataObjects::ReplicationPackage& package) = 0;
    virtual void removeReplicationPackage(uint32_t packageId) = 0;
    virtual bool updateReplicationPackage(const DataObjects::ReplicationPackage& package) = 0;
    virtual void getReplicationPackages(std::vector<DataObjects::ReplicationPackage>& packages) = 0;
    virtual void getReplicationPackagesByVaultGUID(const std::string& vaultGuid,
                                                   std::vector<DataObjects::ReplicationPackage>& packages) = 0;
    virtual bool get1to1ReplicationPackage(DataObjects::ReplicationPackage& package) = 0;
    virtual bool getNto1ReplicationPackages(std::vector<DataObjects::ReplicationPackage>& packages) = 0;
    virtual bool getSourceReplicationPackage(DataObjects::ReplicationPackage& package) = 0;
    virtual void getSatellitePackage(const std::string& satelliteGuid, DataObjects::ReplicationPackage& package) = 0;
    virtual bool getPackagesByMode(ReplicationMode mode, std::vector<DataObjects::ReplicationPackage>& packages) = 0;
    virtual bool getPackagesByCustomerId(int32_t customerId, std::vector<DataObjects::ReplicationPackage>& packages) = 0;
    virtual std::vector<DataObjects::ReplicationPackage> getObjectPackages(const std::string& token,
                                                                           ReplicationDirection direction) = 0;
    virtual uint32_t addReplicationSession(const DataObjects::ReplicationSession& session) = 0;
    virtual void getReplicationSession(const std::string& sessionGuid, DataObjects::ReplicationSession& session) = 0;
    virtual void getReplicationSession(uint32_t sessionId, DataObjects::ReplicationSession& session) = 0;
    virtual void removeReplicationSession(uint32_t sessionId) = 0;
    virtual bool updateReplicationSession(const DataObjects::ReplicationSession& session) = 0;
    virtual bool updateReplicationSessionStatus(const DataObjects::ReplicationSession& session) = 0;
    virtual void getReplicationSessions(std::vector<DataObjects::ReplicationSession>& sessions) = 0;
    virtual void getReplicationSessionsByPackageID(uint32_t packageId,
                                                   std::vector<DataObjects::ReplicationSession>& sessions) = 0;
    virtual void getReplicationSessionsByStatus(ReplicationStatus status,
                                                std::vector<DataObjects::ReplicationSession>& sessions) = 0;
    virtual void removeReplicationSessionByStatus(ReplicationStatus status) = 0;
    virtual void getReplicationConfig(Replication::ReplicationConfigParam& config) = 0;
    virtual uint32_t addReplicationSatellite(const DataObjects::ReplicationSatelliteDataObject& satellite) = 0;
    virtual void getReplicationSatellite(const std::string& satelliteGuid,
                                         DataObjects::ReplicationSatelliteDataObject& satellite) = 0;
    virtual void getReplicationSatellite(uint32_t satelliteId, DataObjects::ReplicationSatelliteDataObject& satellite) = 0;
    virtual void getReplicationSatelliteByCustomer(uint32_t customerId,
                                                   DataObjects::ReplicationSatelliteDataObject& satellite) = 0;
    virtual void getReplicationSatelliteByComputer(uint32_t computerId,
                                                   DataObjects::ReplicationSatelliteDataObject& satellite) = 0;
    virtual void removeReplicationSatellite(uint32_t satelliteId) = 0;
    virtual bool updateReplicationSatellite(const DataObjects::ReplicationSatelliteDataObject& satellite) = 0;
    virtual void getReplicationSatellites(std::vector<DataObjects::ReplicationSatelliteDataObject>& satellites) = 0;
    virtual bool isBackupAllowed(const DataObjects::VaultAccountDataObject& account) = 0;
    virtual bool isBackupAllowed(const DataObjects::LocationDataObject& location) = 0;
    virtual bool isBackupAllowed(const DataObjects::ComputerDataObject& computer) = 0;
    virtual bool isBackupAllowed(const DataObjects::TaskDataObject& task) = 0;
    virtual bool isBackupAllowed(const DataObjects::CustomerDataObject& customer) = 0;
    virtual uint32_t addSatelliteStatistics(const DataObjects::SatelliteStatisticsDataObject& statistics) = 0;
    virtual void getSatelliteStatistics(uint32_t satelliteId, DataObjects::SatelliteStatisticsDataObject& statistics) = 0;
    virtual bool updateSatelliteStatistics(const DataObjects::SatelliteStatisticsDataObject& statistics) = 0;
    virtual bool isReplicationTarget() = 0;
    virtual void purgeObsoleteReplicationEntries(ReplicationEntryType type) = 0;
    virtual void purgePendingEvents() = 0;
    virtual void purgePendingModeEvents(ReplicationMode mode) = 0;
    virtual void getParentChain(const std::string& token, std::vector<std::string>& chain, bool includeSelf) = 0;
    // The interface does not take ownership of `info`.
    virtual void setReplicationInfo(Replication::IReplicationInfo* info) = 0;
    virtual ~ReplicationInterface();
};

}  // namespace DatabaseInterfaces
