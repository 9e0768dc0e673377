// A temporary vault node for the plug-in tests: node.conf selecting Quenlith
// (VAULT_NODE_CONFIG points at it), one storage root per task folder so that
// the scan order is the mount order, and a log file the tests can read.
//
//   Mount_0  T-1 "Docs"   of C-1 "desk"    pool P-1
//   Mount_1  T-2 "Mail"   of C-1           pool P-2
//   Mount_2  T-3 "Photos" of C-2 "laptop"  pool P-3
#pragma once

#include <string>

#include <gtest/gtest.h>

namespace QuenlithTest {

class PluginFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string taskFolder(int n) const;  // 1..3, ending in '/'
    std::string labelPath(int n) const;
    std::string logText() const;
    std::string pluginPath() const;

    std::string root_;
};

}  // namespace QuenlithTest
