// The billing-code interface: billing codes and the customers and locations
// that carry them. Nine slots in fixed order, the virtual destructor last.
// Lists are appended to; unserved operations raise "Not implemented".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DataObjects/DataObjects.h"
#include "SharedApi.h"

namespace DatabaseInterfaces {

class SHARED_API BillingCodeInterface {
public:
    virtual bool getAllBillingCodes(std::vector<DataObjects::BillingDataObject>& codes) = 0;
    virtual bool getBillingCode(uint32_t codeId, DataObjects::BillingDataObject& code) = 0;
    virtual uint32_t addBillingCode(const DataObjects::BillingDataObject& code) = 0;
    virtual void removeBillingCode(uint32_t codeId) = 0;
    virtual bool updateBillingCode(const DataObjects::BillingDataObject& code) = 0;
    virtual bool getCustomerLocationsByBillingCodeID(uint32_t codeId,
                                                     std::vector<DataObjects::LocationDataObject>& locations) = 0;
    virtual bool getBillingCodesByCustomerID(uint32_t customerId, std::vector<DataObjects::BillingDataObject>& codes) = 0;
    virtual uint32_t findBillingCodeID(const std::string& code) = 0;
    virtual ~BillingCodeInterface();
};

}  // namespace DatabaseInterfaces
