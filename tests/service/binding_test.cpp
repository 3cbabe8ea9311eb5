// Loading and binding of the client library, and error message assembly.

#include <dlfcn.h>

#include <thread>

#include "platform/shared_library.h"

#include "service_test_support.h"

namespace {

class BindingTest : public FakeClientTest {};

TEST_F(BindingTest, MissingLibraryRaisesClientError1AndLaterCreationRetries) {
  SetClientLibraryCandidates({"/nonexistent/libfbclient.so.2", "/nonexistent/libfbclient.so"});
  auto e = Catch<EIBClientError>([] { TIBBackupService service; });
  EXPECT_EQ(e.SqlErrorCode, 1);
  EXPECT_EQ(e.LibraryErrorCode, 0);
  EXPECT_EQ(e.Message,
            "InterBase library /nonexistent/libfbclient.so.2 or /nonexistent/libfbclient.so not found in the path. "
            "Please install InterBase to use this functionality");
  EXPECT_EQ(ClientGeneration(), 0);
  // Nothing remains of the failure: pointing at a usable library works.
  SetClientLibraryCandidates({"/nonexistent/libfbclient.so.2", FakeClient::Path()});
  EXPECT_NO_THROW(TIBBackupService{});
  EXPECT_EQ(ClientGeneration(), 6);
}

TEST_F(BindingTest, ProductNamesAreTheClientLibrarySonames) {
  SetClientLibraryCandidates({});
  EXPECT_EQ(ClientLibraryCandidates(), (std::vector<std::string>{"libfbclient.so.2", "libfbclient.so"}));
}

TEST_F(BindingTest, Generation5LibraryLoadsButServiceCallsRaiseClientError3) {
  FakeClient gen5(FakeClient::Generation5Path());
  SetClientLibraryCandidates({FakeClient::Generation5Path()});
  TIBBackupService service;
  EXPECT_EQ(ClientGeneration(), 5);
  Prepare(service);
  auto e = Catch<EIBClientError>([&] { service.SetActive(true); });
  EXPECT_EQ(e.SqlErrorCode, 3);
  EXPECT_EQ(e.Message,
            "isc_service_attach is an InterBase6 function. Please upgrade to InterBase6 to use this functonality");
  EXPECT_FALSE(service.Active());
  // Every stand-by routine names its own entry point.
  const TClientEntryPoints& api = ClientEntryPoints();
  isc_svc_handle h = 0;
  ISC_STATUS* sv = ThreadStatusVector();
  const std::pair<std::string, std::function<void()>> calls[] = {
      {"isc_service_detach", [&] { api.isc_service_detach(sv, &h); }},
      {"isc_service_query", [&] { api.isc_service_query(sv, &h, nullptr, 0, nullptr, 0, nullptr, 0, nullptr); }},
      {"isc_service_start", [&] { api.isc_service_start(sv, &h, nullptr, 0, nullptr); }},
      {"isc_rollback_retaining", [&] { api.isc_rollback_retaining(sv, nullptr); }},
  };
  for (const auto& [name, call] : calls) {
    auto c = Catch<EIBClientError>(call);
    EXPECT_EQ(c.Message.substr(0, name.size() + 1), name + " ") << name;
  }
}

TEST_F(BindingTest, MissingEntryPointRaisesSystemErrorAndLeavesNothingBound) {
  FakeClient missing(FakeClient::MissingEntryPath());
  SetClientLibraryCandidates({FakeClient::MissingEntryPath()});
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      TIBBackupService service;
      ADD_FAILURE() << "binding should fail";
    } catch (const EIBError&) {
      ADD_FAILURE() << "a system error is expected, not a client error";
    } catch (const EOSError& e) {
      EXPECT_EQ(e.Message.rfind("System Error.\n", 0), 0u) << e.Message;
      EXPECT_NE(e.Message.find(FakeClient::MissingEntryName()), std::string::npos) << e.Message;
    }
    // The failed binding is released: the next load retries from scratch and
    // no slot of the table is left for a call to pass through.
    EXPECT_EQ(ClientGeneration(), 0);
    EXPECT_EQ(ClientEntryPoints().isc_service_attach, nullptr);
  }
}

struct MessageCase {
  const char* name;
  std::vector<std::string> texts;
  std::string expected;
};

class MessageAssemblyTest : public FakeClientTest, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(MessageAssemblyTest, InterpretedTextsOnePerLine) {
  const MessageCase& c = GetParam();
  fake.FailCall("isc_service_attach", 0, -902, 335544472, c.texts);
  TIBBackupService service;
  Prepare(service);
  auto e = Catch<EIBInterBaseError>([&] { service.SetActive(true); });
  EXPECT_EQ(e.Message, c.expected);
  EXPECT_EQ(e.SqlErrorCode, -902);
  EXPECT_EQ(e.LibraryErrorCode, 335544472);
  EXPECT_FALSE(service.Active());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MessageAssemblyTest,
    ::testing::Values(MessageCase{"TwoTextsSecondWithPeriod", {"first", "second."}, "first\r\nsecond"},
                      MessageCase{"TextEndingInLineFeed", {"first\n", "second"}, "first\nsecond"},
                      MessageCase{"TwoPeriodsLoseOne", {"only.."}, "only."},
                      MessageCase{"PeriodInsideKept", {"a.b", "c.d."}, "a.b\r\nc.d"},
                      MessageCase{"FourTexts", {"1", "2", "3", "4."}, "1\r\n2\r\n3\r\n4"},
                      MessageCase{"NoText", {}, "error code 335544472"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BindingTest, StatusVectorIsPerThreadAndPointerSized) {
  static_assert(sizeof(ISC_STATUS) == sizeof(void*));
  ISC_STATUS* mine = ThreadStatusVector();
  ISC_STATUS* other = nullptr;
  std::thread([&] { other = ThreadStatusVector(); }).join();
  EXPECT_NE(mine, other);
  EXPECT_EQ(mine, ThreadStatusVector());
}

TEST(ClientErrorTextTest, NumberedTexts) {
  const std::pair<int, const char*> table[] = {
      {0, "Unknown error"},
      {10, "Operation cancelled at user's request"},
      {88, "SPB Constant Not supported"},
      {89, "SPB Constant Unknown"},
      {90, "Cannot perform operation -- service is not attached"},
      {91, "Cannot perform operation -- service is attached"},
      {92, "Server Name Missing"},
      {93, "Query Parameters missing or incorrect"},
      {94, "start Parameters missing or incorrect"},
      {95, "Unexpected Output buffer value"},
      {96, "Generic ServiceStart not applicable: Use Specific Procedures to set configuration params"},
      {42, "Unknown error"},
  };
  for (const auto& [number, text] : table) {
    auto e = Catch<EIBClientError>([&] { RaiseClientError(number, "ignored"); });
    EXPECT_EQ(e.Message, text) << number;
    EXPECT_EQ(e.SqlErrorCode, number);
    EXPECT_EQ(e.LibraryErrorCode, 0);
  }
  EXPECT_EQ(FormatClientError(3, "isc_service_query"),
            "isc_service_query is an InterBase6 function. Please upgrade to InterBase6 to use this functonality");
}

TEST(ClientErrorTextTest, ExceptionTreeIsCaughtAsGeneralException) {
  try {
    RaiseClientError(ibceServerNameMissing);
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "Server Name Missing");
    EXPECT_NE(dynamic_cast<const EDatabaseError*>(&e), nullptr);
    EXPECT_EQ(dynamic_cast<const EIBError&>(e).SqlErrorCode, 92);
  }
}

// The objects a library loads after itself (the embedded engine's plug-ins)
// stay mapped when their loader closes them; objects loaded before it do not.
TEST(KeepLaterLibrariesTest, OnlyObjectsLoadedAfterTheAnchorStayMapped) {
  auto isLoaded = [](const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) dlclose(handle);
    return handle != nullptr;
  };
  const std::string before = QUORVIN_PLAIN_LIBRARY1;
  const std::string anchorPath = QUORVIN_PLAIN_LIBRARY2;
  const std::string after = QUORVIN_PLAIN_LIBRARY3;
  ASSERT_FALSE(isLoaded(before));
  ASSERT_FALSE(isLoaded(after));

  TSharedLibrary first;
  TSharedLibrary anchor;
  TSharedLibrary later;
  EXPECT_EQ(anchor.KeepLaterLibrariesLoaded(), 0);  // not loaded: nothing to do
  ASSERT_TRUE(first.Load(before));
  ASSERT_TRUE(anchor.Load(anchorPath));
  ASSERT_TRUE(later.Load(after));
  EXPECT_GE(anchor.KeepLaterLibrariesLoaded(), 1);
  first.Unload();
  later.Unload();
  EXPECT_FALSE(isLoaded(before));
  EXPECT_TRUE(isLoaded(after));
  // Closing the anchor itself still unloads it.
  anchor.Unload();
  EXPECT_FALSE(isLoaded(anchorPath));
}

}  // namespace
