#pragma once
// Shared set-up of the service client's unit tests: the client layer bound to
// the stand-in library, and byte-building helpers for expected blocks.

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "fakeclient/fake_client.h"
#include "service/ib_services.h"

inline std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v & 0xFF);
  return out;
}

// Text item: tag, 16-bit little-endian length, text.
inline std::string TextItem(int tag, const std::string& text) {
  return Bytes({tag, static_cast<int>(text.size() & 0xFF), static_cast<int>(text.size() >> 8)}) + text;
}

// Number item: tag, 32-bit little-endian value.
inline std::string NumberItem(int tag, uint32_t value) {
  return Bytes({tag, static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>((value >> 16) & 0xFF), static_cast<int>(value >> 24)});
}

class FakeClientTest : public ::testing::Test {
 protected:
  void SetUp() override { SetClientLibraryCandidates({FakeClient::Path()}); }
  void TearDown() override { SetClientLibraryCandidates({}); }

  // A service ready to attach to the local service manager.
  template <typename T>
  void Prepare(T& service) {
    service.SetProtocol(TProtocol::Local);
    service.Params().Add("User_Name=SYSDBA");
    service.Params().Add("Password=masterkey");
    service.LoginPrompt = false;
  }

  FakeClient fake;
};

// Runs `body`, expecting an exception of type E; returns it for inspection.
template <typename E, typename F>
E Catch(F&& body) {
  try {
    body();
  } catch (const E& e) {
    return e;
  }
  ADD_FAILURE() << "expected exception was not raised";
  return E(0, "none");
}
