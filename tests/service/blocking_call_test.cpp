// The replaceable seam for calls that wait on the server.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "service_test_support.h"

namespace {

class BlockingCallTest : public FakeClientTest {};

TEST_F(BlockingCallTest, EveryWaitingCallPassesTheSeam) {
  std::vector<std::thread::id> threads;
  TBlockingCallThread helper;
  SetBlockingCallRunner([&](const TBlockingCall& call) {
    helper.Run(
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
  TBlockingCallThread helper;
  SetBlockingCallRunner([&](const TBlockingCall& call) { helper.Run(call, {.Turn = [&] { ++pumped; }}); });
  fake.SetQueryDelayMs(50);
  fake.FailCall("isc_service_query", 0, -902, 335544721,
                {"Unable to complete network request to host \"x\"", "Error reading data from the connection."});
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
    EXPECT_EQ(e.Message, "Unable to complete network request to host \"x\"\r\nError reading data from the connection");
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
TEST(BlockingCallThreadTest, WaitsForTheCallWithoutSpinning) {
  TBlockingCallThread helper;
  long turns = 0;
  bool ran = false;
  helper.Run(
      [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ran = true;
      },
      {.Turn = [&] { ++turns; }});
  EXPECT_TRUE(ran);
  EXPECT_GE(turns, 1);
  EXPECT_LT(turns, 1000);
  // Without a waiting body the call runs the same.
  ran = false;
  helper.Run([&] { ran = true; }, {});
  EXPECT_TRUE(ran);
}

// A turn that blocks (as an event loop does) is woken by the helper when the
// call ends; a call that ends within the grace costs no turn at all; a call
// the helper makes itself runs at once.
TEST(BlockingCallThreadTest, BlockingTurnsAreWokenAndQuickCallsCostNone) {
  TBlockingCallThread helper;
  std::mutex mutex;
  std::condition_variable woken;
  bool wake = false;
  int turns = 0;
  TBlockingCallThread::TWaiting waiting;
  waiting.Grace = std::chrono::milliseconds(1000);
  waiting.Turn = [&] {
    ++turns;
    std::unique_lock<std::mutex> lock(mutex);
    woken.wait(lock, [&] { return wake; });
    wake = false;
  };
  waiting.Wake = [&] {
    std::lock_guard<std::mutex> guard(mutex);
    wake = true;
    woken.notify_all();
  };
  helper.Run([] {}, waiting);
  EXPECT_EQ(turns, 0);
  waiting.Grace = std::chrono::milliseconds(0);
  std::thread::id inner;
  helper.Run(
      [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        helper.Run([&] { inner = std::this_thread::get_id(); }, waiting);
      },
      waiting);
  EXPECT_EQ(turns, 1);
  EXPECT_FALSE(helper.IsHelperThread());
  EXPECT_NE(inner, std::this_thread::get_id());
  EXPECT_NE(inner, std::thread::id());
}

}  // namespace
