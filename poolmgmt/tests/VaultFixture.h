// A vault built by vaultadmin for each test, with this process pointed at it:
// the node configuration (VAULT_NODE_CONFIG), the vault log and a command
// session writing into the test's folder, and a spool folder of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <gtest/gtest.h>

#include "DataObjects/DataObjects.h"
#include "Harness.h"

class VaultCommandSession;

namespace Veshmoor {
namespace testing {

// Tasks of the fixture's vault: Customer A / pc-1 / "Daily" and "Weekly",
// Customer B / pc-2 / "Archive".
class VaultFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The task record as the catalogue holds it.
    DataObjects::TaskDataObject task(const std::string& name) const;
    uint32_t taskId(const std::string& name) const;
    // Sets [section] key=value in the vault's node configuration.
    void setConfig(const std::string& section, const std::string& key, const std::string& value) const;
    // Lines of the vault log and of the session's maintenance log, without
    // their time stamps ("TEST-I-0001 text").
    std::vector<std::string> logLines() const;
    std::vector<std::string> maintenanceLines() const;
    // Lines of the vault log that contain `part`.
    std::vector<std::string> logLinesWith(const std::string& part) const;
    // Runs SQL on the catalogue file directly.
    void sql(const std::string& statements) const;

    std::string root() const { return vault_->root(); }
    std::string vaultFolder() const { return vault_->root() + "/vault"; }
    const Trevalon::Testing::TestVault& vault() const { return *vault_; }
    boost::shared_ptr<VaultCommandSession> session_;

private:
    std::unique_ptr<Trevalon::Testing::TestVault> vault_;
};

// Drops the "YYYY-MM-DD HH:MM:SS.mmm " stamp of each line of `path`.
std::vector<std::string> unstampedLines(const std::string& path);

}  // namespace testing
}  // namespace Veshmoor
