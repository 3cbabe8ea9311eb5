// The replaceable seam for calls that wait on the server.

#include <atomic>
#include <thread>

#include "service_test_support.h"

namespace {

class BlockingCallTest : public FakeClientTest {};

TEST_F(BlockingCallTest, EveryWaitingCallPassesTheSeam) {
  std::vector<std::thread::id> threads;
  SetBlockingCallRunner([&](const TBlockingCall& call) {
    RunOnHelperThread(
        [&] {
          threads.push_back(std::this_thread::get_id());
          call();
        },
        {});
  });
  fake.AddLine("line");
  TIBBackupService service;
  Prepare(service);
  service.DatabaseName = "db";
  service.SetActive(true);
  service.ServiceStart();
  EXPECT_EQ(service.NextOutputLine(), "line");
  service.SetActive(false);
  ASSERT_EQ(threads.size(), 4u);  // attach, start, query, detach
  for (const auto& id : threads) EXPECT_NE(id, std::this_thread::get_id());
}

TEST_F(BlockingCallTest, ErrorOnHelperThreadReachesCallerUnchanged) {
  std::atomic<int> pumped{0};
  SetBlockingCallRunner([&](const TBlockingCall& call) { RunOnHelperThread(call, [&] { ++pumped; }); });
  fake.SetQueryDelayMs(50);
  fake.FailCall("isc_service_query", 0, -902, 335544721, {"Unable to complete network request to host \"x\"",
                                                          "Error reading data from the connection."});
  TIBBackupService service;
  Prepare(service);
  service.DatabaseName = "db";
  service.SetActive(true);
  service.ServiceStart();
  try {
    service.NextOutputLine();
    ADD_FAILURE() << "no exception";
  } catch (const EIBClientError&) {
    ADD_FAILURE() << "wrong class";
  } catch (const EIBInterBaseError& e) {
    EXPECT_EQ(typeid(e), typeid(EIBInterBaseError));
    EXPECT_EQ(e.SqlErrorCode, -902);
    EXPECT_EQ(e.LibraryErrorCode, 335544721);
    EXPECT_EQ(e.Message,
              "Unable to complete network request to host \"x\"\r\nError reading data from the connection");
  }
  EXPECT_GT(pumped.load(), 0);
  EXPECT_FALSE(service.Active());
  // Client errors raised inside the seam travel the same way.
  SetClientLibraryCandidates({FakeClient::Generation5Path()});
  FakeClient gen5(FakeClient::Generation5Path());
  TIBBackupService old;
  Prepare(old);
  auto e = Catch<EIBClientError>([&] { old.SetActive(true); });
  EXPECT_EQ(e.SqlErrorCode, 3);
}

// The caller waits for the helper rather than spinning: a call that takes a
// while turns the waiting loop a few times per slice, not as often as the
// processor allows.
TEST(RunOnHelperThreadTest, WaitsForTheCallWithoutSpinning) {
  long turns = 0;
  bool ran = false;
  RunOnHelperThread(
      [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ran = true;
      },
      [&] { ++turns; });
  EXPECT_TRUE(ran);
  EXPECT_GE(turns, 1);
  EXPECT_LT(turns, 1000);
  // Without a waiting body the call runs the same.
  ran = false;
  RunOnHelperThread([&] { ran = true; }, {});
  EXPECT_TRUE(ran);
}

}  // namespace
