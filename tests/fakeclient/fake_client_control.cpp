#include "fakeclient/fake_client.h"

#include <dlfcn.h>

#include <stdexcept>

namespace {

using CountFn = int (*)();
using CopyFn = int (*)(int, char*, int);
using IndexFn = int (*)(int);

std::vector<std::string> Collect(CountFn count, CopyFn copy) {
  std::vector<std::string> out;
  const int n = count();
  for (int i = 0; i < n; ++i) {
    std::string bytes(static_cast<size_t>(copy(i, nullptr, 0)), '\0');
    copy(i, bytes.data(), static_cast<int>(bytes.size()));
    out.push_back(bytes);
  }
  return out;
}

}  // namespace

std::string FakeClient::Path() { return QUORVIN_FAKE_CLIENT; }
std::string FakeClient::Generation5Path() { return QUORVIN_FAKE_CLIENT_GEN5; }
std::string FakeClient::MissingEntryPath() { return QUORVIN_FAKE_CLIENT_MISSING; }

FakeClient::FakeClient(const std::string& path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) throw std::runtime_error("cannot open fake client " + path);
  Reset();
}

FakeClient::~FakeClient() {
  if (handle_ != nullptr) dlclose(handle_);
}

void* FakeClient::Fn(const char* name) const {
  void* f = dlsym(handle_, name);
  if (f == nullptr) throw std::runtime_error(std::string("fake client lacks ") + name);
  return f;
}

void FakeClient::Reset() { reinterpret_cast<void (*)()>(Fn("fake_reset"))(); }

void FakeClient::FailCall(const std::string& entry, int after, long sqlcode, long code,
                          const std::vector<std::string>& texts) {
  std::vector<const char*> pointers;
  for (const std::string& t : texts) pointers.push_back(t.c_str());
  reinterpret_cast<void (*)(const char*, int, long, long, const char* const*, int)>(Fn("fake_fail_call"))(
      entry.c_str(), after, sqlcode, code, pointers.data(), static_cast<int>(pointers.size()));
}

void FakeClient::AddLine(const std::string& line) {
  reinterpret_cast<void (*)(const char*)>(Fn("fake_add_line"))(line.c_str());
}

void FakeClient::AddLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) AddLine(line);
}

void FakeClient::AddRawAnswer(const std::string& bytes) {
  reinterpret_cast<void (*)(const char*, int)>(Fn("fake_add_raw_answer"))(bytes.data(), static_cast<int>(bytes.size()));
}

void FakeClient::AddAnswerFor(int requestByte, const std::string& bytes) {
  reinterpret_cast<void (*)(int, const char*, int)>(Fn("fake_add_answer_for"))(requestByte, bytes.data(),
                                                                               static_cast<int>(bytes.size()));
}

void FakeClient::SetQueryDelayMs(int ms) { reinterpret_cast<void (*)(int)>(Fn("fake_set_query_delay_ms"))(ms); }

int FakeClient::CallCount(const std::string& entry) const {
  return reinterpret_cast<int (*)(const char*)>(Fn("fake_call_count"))(entry.c_str());
}

std::vector<std::string> FakeClient::AttachNames() const {
  return Collect(reinterpret_cast<CountFn>(Fn("fake_attach_count")), reinterpret_cast<CopyFn>(Fn("fake_attach_name")));
}

std::vector<std::string> FakeClient::AttachBlocks() const {
  return Collect(reinterpret_cast<CountFn>(Fn("fake_attach_count")), reinterpret_cast<CopyFn>(Fn("fake_attach_block")));
}

std::vector<std::string> FakeClient::StartBlocks() const {
  return Collect(reinterpret_cast<CountFn>(Fn("fake_start_count")), reinterpret_cast<CopyFn>(Fn("fake_start_block")));
}

std::vector<int> FakeClient::StartAttachIndexes() const {
  std::vector<int> out;
  const int n = reinterpret_cast<CountFn>(Fn("fake_start_count"))();
  for (int i = 0; i < n; ++i) out.push_back(reinterpret_cast<IndexFn>(Fn("fake_start_attach"))(i));
  return out;
}

std::vector<std::string> FakeClient::QueryRequests() const {
  return Collect(reinterpret_cast<CountFn>(Fn("fake_query_count")), reinterpret_cast<CopyFn>(Fn("fake_query_request")));
}

std::vector<std::string> FakeClient::QuerySends() const {
  return Collect(reinterpret_cast<CountFn>(Fn("fake_query_count")), reinterpret_cast<CopyFn>(Fn("fake_query_send")));
}

std::vector<int> FakeClient::QueryBufferLengths() const {
  std::vector<int> out;
  const int n = reinterpret_cast<CountFn>(Fn("fake_query_count"))();
  for (int i = 0; i < n; ++i) out.push_back(reinterpret_cast<IndexFn>(Fn("fake_query_buffer_length"))(i));
  return out;
}

int FakeClient::OpenHandles() const { return reinterpret_cast<CountFn>(Fn("fake_open_handles"))(); }
