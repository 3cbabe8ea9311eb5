// Attach/detach state rules, service-manager names and handle forgetting.

#include "service_test_support.h"

namespace {

class ConnectionTest : public FakeClientTest {};

TEST_F(ConnectionTest, ServiceManagerNamesByProtocol) {
  const std::tuple<TProtocol, std::string, std::string> cases[] = {
      {TProtocol::TCP, "srv", "srv:service_mgr"},
      {TProtocol::SPX, "srv", "srv@service_mgr"},
      {TProtocol::NamedPipe, "srv", "\\\\srv\\service_mgr"},
      {TProtocol::Local, "", "service_mgr"},
      {static_cast<TProtocol>(255), "srv", ""},
  };
  for (const auto& [protocol, server, expected] : cases) {
    fake.Reset();
    TIBBackupService service;
    service.SetProtocol(protocol);
    service.SetServerName(server);
    service.LoginPrompt = false;
    service.SetActive(true);
    ASSERT_EQ(fake.AttachNames().size(), 1u);
    EXPECT_EQ(fake.AttachNames()[0], expected);
    service.SetActive(false);
  }
}

TEST_F(ConnectionTest, ServerNameRules) {
  TIBBackupService service;
  service.LoginPrompt = false;
  EXPECT_EQ(service.Protocol(), TProtocol::TCP);
  for (TProtocol p : {TProtocol::TCP, TProtocol::SPX, TProtocol::NamedPipe, static_cast<TProtocol>(255)}) {
    service.SetProtocol(p);
    EXPECT_EQ(Catch<EIBClientError>([&] { service.SetActive(true); }).SqlErrorCode, 92);
  }
  service.SetServerName("srv");
  service.SetProtocol(TProtocol::Local);
  EXPECT_EQ(service.ServerName(), "");
  service.SetActive(true);
  EXPECT_EQ(fake.AttachNames(), std::vector<std::string>{"service_mgr"});
  EXPECT_TRUE(fake.CallCount("isc_service_attach") == 1);
}

TEST_F(ConnectionTest, AttachedStateRefusesChanges) {
  TIBBackupService service;
  Prepare(service);
  service.SetActive(true);
  EXPECT_TRUE(service.Active());
  const std::vector<std::function<void()>> refused = {
      [&] { service.SetActive(true); },
      [&] { service.SetServerName("other"); },
      [&] { service.SetProtocol(TProtocol::TCP); },
      [&] { service.Params().Add("Password=x"); },
      [&] { service.Params().Clear(); },
      [&] { service.SetParams({"User_Name=x"}); },
  };
  for (const auto& change : refused) EXPECT_EQ(Catch<EIBClientError>(change).SqlErrorCode, 91);
  EXPECT_EQ(service.Params().Count(), 2u);
  // The same value again changes nothing and is allowed.
  EXPECT_NO_THROW(service.SetProtocol(TProtocol::Local));
  EXPECT_NO_THROW(service.SetServerName(""));
  service.SetActive(false);
  EXPECT_FALSE(service.Active());
  EXPECT_EQ(Catch<EIBClientError>([&] { service.SetActive(false); }).SqlErrorCode, 90);
  EXPECT_EQ(Catch<EIBClientError>([&] { service.ServiceStart(); }).SqlErrorCode, 90);
  EXPECT_EQ(fake.OpenHandles(), 0);
}

TEST_F(ConnectionTest, AttachBlockIsReusedUntilParamsChange) {
  TIBBackupService service;
  Prepare(service);
  service.SetActive(true);
  service.SetActive(false);
  service.SetActive(true);
  service.SetActive(false);
  service.Params().Put(1, "Password=other");
  service.SetActive(true);
  const auto blocks = fake.AttachBlocks();
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[0], blocks[1]);
  EXPECT_EQ(blocks[2], Bytes({2, 2, 28, 6}) + "SYSDBA" + Bytes({29, 5}) + "other");
}

// A failed start or query is detached quietly (the server would otherwise
// keep the connection), then forgotten; the error reported is the call's own,
// also when the quiet detach fails as well.
TEST_F(ConnectionTest, FailedCallsDetachQuietlyAndForgetTheHandle) {
  struct Case {
    std::string entry;
    std::function<void(TIBBackupService&)> call;
    bool detachFailsToo;
  };
  const auto startThenRead = [](TIBBackupService& s) {
    s.ServiceStart();
    s.NextOutputLine();
  };
  const std::vector<Case> cases = {
      {"isc_service_start", [](TIBBackupService& s) { s.ServiceStart(); }, false},
      {"isc_service_start", [](TIBBackupService& s) { s.ServiceStart(); }, true},
      {"isc_service_query", startThenRead, false},
      {"isc_service_query", startThenRead, true},
      {"isc_service_detach", [](TIBBackupService& s) { s.SetActive(false); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry + (c.detachFailsToo ? " and detach" : ""));
    fake.Reset();
    fake.FailCall(c.entry, 0, -901, 335544344, {"I/O error during \"open\" operation", "No such file."});
    if (c.detachFailsToo) fake.FailCall("isc_service_detach", 0, -901, 335544721, {"Connection lost."});
    TIBBackupService service;
    Prepare(service);
    service.DatabaseName = "db";
    service.BackupFile.Add("b");
    service.SetActive(true);
    auto e = Catch<EIBInterBaseError>([&] { c.call(service); });
    EXPECT_EQ(e.Message, "I/O error during \"open\" operation\r\nNo such file") << c.entry;
    EXPECT_EQ(e.LibraryErrorCode, 335544344);
    EXPECT_EQ(e.SqlErrorCode, -901);
    EXPECT_FALSE(service.Active()) << c.entry;
    EXPECT_FALSE(service.OutputEnded());
    // One detach, the quiet one (or the failed one itself); forgotten
    // afterwards: a detach now is a client error, no library call.
    EXPECT_EQ(fake.CallCount("isc_service_detach"), 1);
    EXPECT_EQ(Catch<EIBClientError>([&] { service.SetActive(false); }).SqlErrorCode, 90);
    EXPECT_EQ(fake.CallCount("isc_service_detach"), 1);
  }
}

TEST_F(ConnectionTest, FailedAttachLeavesInactive) {
  fake.FailCall("isc_service_attach", 0, -902, 335544472,
                {"Your user name and password are not defined. Ask your database administrator to set up a "
                 "Firebird login."});
  TIBBackupService service;
  Prepare(service);
  bool attached = false;
  service.OnAttach = [&](TIBCustomService&) { attached = true; };
  EXPECT_THROW(service.SetActive(true), EIBInterBaseError);
  EXPECT_FALSE(service.Active());
  EXPECT_FALSE(attached);
  service.SetActive(true);  // the next attempt works
  EXPECT_TRUE(attached);
}

TEST_F(ConnectionTest, LoginStep) {
  {
    TIBBackupService service;
    service.SetProtocol(TProtocol::Local);
    // Without a handler and without a dialog the login counts as refused.
    EXPECT_EQ(Catch<EIBClientError>([&] { service.SetActive(true); }).SqlErrorCode, 10);
    EXPECT_EQ(fake.CallCount("isc_service_attach"), 0);
  }
  {
    TIBBackupService service;
    service.SetProtocol(TProtocol::Local);
    service.OnLogin = [](TIBCustomService&, TStringList& params) { params.Add("password=fromhandler"); };
    service.SetActive(true);
    EXPECT_EQ(service.Params().Lines(), std::vector<std::string>{"password=fromhandler"});
    service.SetActive(false);
  }
  {
    std::string seenServer;
    std::string seenUser;
    SetLoginDialog([&](const std::string& server, std::string& user, std::string& password) {
      seenServer = server;
      seenUser = user;
      user = "ALICE";
      password = "pw";
      return true;
    });
    TIBBackupService service;
    service.SetServerName("host");
    service.Params().Assign({"isc_spb_user_name=BOB", "isc_spb_password=old"});
    service.SetActive(true);
    SetLoginDialog({});
    EXPECT_EQ(seenServer, "host");
    EXPECT_EQ(seenUser, "BOB");
    EXPECT_EQ(service.Params().Lines(), (std::vector<std::string>{"user_name=ALICE", "password=pw"}));
  }
}

TEST_F(ConnectionTest, TraceHookSeesEachCall) {
  std::vector<std::string> lines;
  SetServiceTraceHook([&](const std::string& line) { lines.push_back(line); });
  {
    TIBBackupService service;
    service.Name = "svc";
    Prepare(service);
    service.DatabaseName = "d";
    service.SetActive(true);
    service.ServiceStart();
    service.NextOutputLine();
    service.SetActive(false);
  }
  SetServiceTraceHook({});
  EXPECT_EQ(lines, (std::vector<std::string>{"svc: [Attach]", "svc: [Start]", "svc: [Query]", "svc: [Detach]"}));
}

TEST_F(ConnectionTest, DestructorDetaches) {
  {
    TIBBackupService service;
    Prepare(service);
    service.SetActive(true);
    EXPECT_EQ(fake.OpenHandles(), 1);
  }
  EXPECT_EQ(fake.OpenHandles(), 0);
}

TEST_F(ConnectionTest, EmptyRequestsAreRefused) {
  TIBBackupService service;
  Prepare(service);
  service.SetActive(true);
  EXPECT_EQ(Catch<EIBClientError>([&] { service.SendQuery(); }).SqlErrorCode, 93);
  EXPECT_EQ(Catch<EIBClientError>([&] { service.SendStart(); }).SqlErrorCode, 94);
  EXPECT_EQ(fake.CallCount("isc_service_query") + fake.CallCount("isc_service_start"), 0);
  EXPECT_TRUE(service.Active());
}

TEST_F(ConnectionTest, ConfigRequestOnDetachedObjectIsRefusedByTheLibrary) {
  TIBConfigService service;
  Prepare(service);
  service.DatabaseName = "x.fdb";
  auto e = Catch<EIBInterBaseError>([&] { service.RequestOnline(); });
  EXPECT_EQ(e.Message, "invalid service handle");
  EXPECT_EQ(fake.StartAttachIndexes(), std::vector<int>{-1});
}

}  // namespace
