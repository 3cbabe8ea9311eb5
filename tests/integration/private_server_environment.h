#pragma once
// One private server for a test process, set up before anything loads the
// client library: jobs address this computer by name, and the client's
// configuration sends them to the private server's port. A test file
// registers it once:
//
//   const auto* const Environment =
//       ::testing::AddGlobalTestEnvironment(new fbtest::TPrivateServerEnvironment);

#include <gtest/gtest.h>

#include <memory>

#include "integration/private_server.h"

namespace fbtest {

class TPrivateServerEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    Server = std::make_unique<TPrivateServer>();
    Server->UseForThisProcess();
  }
  void TearDown() override { Server.reset(); }
  static inline std::unique_ptr<TPrivateServer> Server;
};

}  // namespace fbtest
