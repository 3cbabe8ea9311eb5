#pragma once
// Test-side handle on the stand-in client library (fake_client.cpp). It opens
// the same shared object the client layer loads, so both see one state.
//
//   FakeClient fake(FakeClient::Path());          // resets the fake
//   SetClientLibraryCandidates({FakeClient::Path()});
//   fake.AddLine("gbak: writing data"); fake.FailCall("isc_service_attach", 0, -902, 335544472, {"Your user name and
//   password are not defined"});
//   ... run the service code ...
//   fake.StartBlocks(), fake.AttachNames(), fake.AttachBlocks()

#include <string>
#include <vector>

class FakeClient {
 public:
  // The variants built by tests/fakeclient.
  static std::string Path();              // generation 6, every entry point
  static std::string Generation5Path();   // without isc_rollback_retaining
  static std::string MissingEntryPath();  // without isc_que_events
  static std::string MissingEntryName() { return "isc_que_events"; }

  explicit FakeClient(const std::string& path = Path());
  ~FakeClient();
  FakeClient(const FakeClient&) = delete;
  FakeClient& operator=(const FakeClient&) = delete;

  void Reset();
  // The call number after+1 (counted from now) of `entry` fails: the status
  // vector carries `code` once per text, isc_interprete yields the texts in
  // order and isc_sqlcode gives `sqlcode`.
  void FailCall(const std::string& entry, int after, long sqlcode, long code, const std::vector<std::string>& texts);
  // Output lines, one per line query; then the empty line that ends output.
  void AddLine(const std::string& line);
  void AddLines(const std::vector<std::string>& lines);
  // The next query answer is exactly these bytes.
  void AddRawAnswer(const std::string& bytes);
  // The next answer to a query whose request starts with `requestByte`
  // (63 for a streamed backup, 78 for a fed restore); goes before the others.
  void AddAnswerFor(int requestByte, const std::string& bytes);
  void SetQueryDelayMs(int ms);

  int CallCount(const std::string& entry) const;
  std::vector<std::string> AttachNames() const;
  std::vector<std::string> AttachBlocks() const;
  std::vector<std::string> StartBlocks() const;
  // For each start block, the index of the attach whose handle it used (-1:
  // none, the handle was not attached).
  std::vector<int> StartAttachIndexes() const;
  std::vector<std::string> QueryRequests() const;
  // The send items of each query (empty when none were sent).
  std::vector<std::string> QuerySends() const;
  std::vector<int> QueryBufferLengths() const;
  int OpenHandles() const;

 private:
  void* Fn(const char* name) const;
  void* handle_ = nullptr;
};
