// The test program's own sockets (busy ports, checks for a listener) need Windows Sockets.

#include "platform/Network.h"

#include <gtest/gtest.h>

namespace {

class CNetworkEnvironment : public ::testing::Environment
{
public:
    void SetUp() override { ASSERT_TRUE(platform::StartNetwork()); }
    void TearDown() override { platform::StopNetwork(); }
};

const ::testing::Environment* const g_network =
    ::testing::AddGlobalTestEnvironment(new CNetworkEnvironment);

} // namespace
