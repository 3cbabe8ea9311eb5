// A stand-in for libfbclient: exports the entry points the loader binds,
// records what the client layer sends and plays scripted answers and errors.
// Built in variants: FAKE_GENERATION5 (no isc_rollback_retaining and no
// service entry points) and FAKE_MISSING_ENTRY (one required entry point
// left out). The fake_* functions are the control interface for tests.

#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

using ISC_STATUS = intptr_t;
using ISC_LONG = int32_t;
using isc_svc_handle = unsigned int;

namespace {

constexpr ISC_STATUS kArgGds = 1;
constexpr ISC_STATUS kArgString = 2;
constexpr ISC_STATUS kBadServiceHandle = 335544559;  // isc_bad_svc_handle

struct Failure {
  int after = 0;  // calls to let pass first
  long sqlcode = 0;
  long code = 0;
  std::vector<std::string> texts;
};

struct Record {
  std::string bytes;
  std::string send;      // the query's send items
  int attachIndex = -1;  // which attach the handle came from
  int bufferLength = 0;
};

struct State {
  std::map<std::string, int> calls;
  std::map<std::string, std::deque<Failure>> failures;
  std::vector<std::string> attachNames;
  std::vector<std::string> attachBlocks;
  std::vector<Record> starts;
  std::vector<Record> queries;
  std::map<isc_svc_handle, int> openHandles;  // handle -> attach index
  isc_svc_handle nextHandle = 100;
  std::deque<std::string> lines;
  std::deque<std::string> rawAnswers;
  std::map<int, std::deque<std::string>> answersFor;  // by the request's first byte
  std::deque<std::string> heldTexts;                  // keeps status-vector text pointers valid
  long lastSqlcode = 0;
  int queryDelayMs = 0;
};

std::recursive_mutex stateMutex;
State& S() {
  static State state;
  return state;
}

[[maybe_unused]] void SetSuccess(ISC_STATUS* status) {
  status[0] = kArgGds;
  status[1] = 0;
  status[2] = 0;
}

ISC_STATUS Fail(ISC_STATUS* status, long sqlcode, long code, const std::vector<std::string>& texts) {
  State& s = S();
  s.lastSqlcode = sqlcode;
  for (int i = 0; i < 20; ++i) status[i] = 0;
  int at = 0;
  // One isc_arg_gds group per text: at most four fit with the terminator.
  for (size_t t = 0; t < texts.size() && t < 4; ++t) {
    s.heldTexts.push_back(texts[t]);
    status[at++] = kArgGds;
    status[at++] = static_cast<ISC_STATUS>(code);
    status[at++] = kArgString;
    status[at++] = reinterpret_cast<ISC_STATUS>(s.heldTexts.back().c_str());
  }
  if (texts.empty()) {
    status[at++] = kArgGds;
    status[at++] = static_cast<ISC_STATUS>(code);
  }
  return static_cast<ISC_STATUS>(code);
}

// A scripted failure due at this call of `entry`, if any.
[[maybe_unused]] bool TakeFailure(const std::string& entry, Failure& out) {
  State& s = S();
  ++s.calls[entry];
  auto it = s.failures.find(entry);
  if (it == s.failures.end() || it->second.empty()) return false;
  Failure& next = it->second.front();
  if (next.after > 0) {
    --next.after;
    return false;
  }
  out = next;
  it->second.pop_front();
  return true;
}

[[maybe_unused]] ISC_STATUS BadHandle(ISC_STATUS* status) {
  return Fail(status, -904, kBadServiceHandle, {"invalid service handle"});
}

int CopyOut(const std::string& bytes, char* buffer, int capacity) {
  if (buffer != nullptr && capacity > 0) {
    std::memcpy(buffer, bytes.data(), std::min<size_t>(bytes.size(), static_cast<size_t>(capacity)));
  }
  return static_cast<int>(bytes.size());
}

}  // namespace

// --- control interface ------------------------------------------------------

FAKE_EXPORT void fake_reset() {
  std::lock_guard<std::recursive_mutex> g(stateMutex);
  S() = State{};
}

// The call number after+1 (from now) of `entry` fails with these texts.
FAKE_EXPORT void fake_fail_call(const char* entry, int after, long sqlcode, long code, const char* const* texts,
                                int count) {
  std::lock_guard<std::recursive_mutex> g(stateMutex);
  Failure f;
  f.after = after;
  f.sqlcode = sqlcode;
  f.code = code;
  for (int i = 0; i < count; ++i) f.texts.emplace_back(texts[i]);
  S().failures[entry].push_back(f);
}

// Output lines answered one per line query; after the last, the empty line.
FAKE_EXPORT void fake_add_line(const char* line) {
  std::lock_guard<std::recursive_mutex> g(stateMutex);
  S().lines.emplace_back(line);
}

// The next query answer is exactly these bytes (copied up to the buffer
// length the caller gave); raw answers go before scripted lines.
FAKE_EXPORT void fake_add_raw_answer(const char* bytes, int length) {
  std::lock_guard<std::recursive_mutex> g(stateMutex);
  S().rawAnswers.emplace_back(bytes, static_cast<size_t>(length));
}

// The next answer to a query whose request starts with `requestByte`; such
// answers go before raw answers and scripted lines.
FAKE_EXPORT void fake_add_answer_for(int requestByte, const char* bytes, int length) {
  std::lock_guard<std::recursive_mutex> g(stateMutex);
  S().answersFor[requestByte].emplace_back(bytes, static_cast<size_t>(length));
}

FAKE_EXPORT void fake_set_query_delay_ms(int ms) {
  std::lock_guard<std::recursive_mutex> g(stateMutex);
  S().queryDelayMs = ms;
}

FAKE_EXPORT int fake_call_count(const char* entry) {
  std::lock_guard<std::recursive_mutex> g(stateMutex);
  auto it = S().calls.find(entry);
  return it == S().calls.end() ? 0 : it->second;
}

FAKE_EXPORT int fake_attach_count() {
  std::lock_guard<std::recursive_mutex> g(stateMutex);
  return static_cast<int>(S().attachNames.size());
}
FAKE_EXPORT int fake_attach_name(int i, char* buffer, int capacity) {
  std::lock_guard<std::recursive_mutex> g(stateMutex);
  return CopyOut(S().attachNames.at(static_cast<size_t>(i)), buffer, capacity);
}
FAKE_EXPORT int fake_attach_block(int i, char* buffer, int capacity) {
  std::lock_guard<std::recursive_mutex> g(stateMutex);
  return CopyOut(S().attachBlocks.at(static_cast<size_t>(i)), buffer, capacity);
}
FAKE_EXPORT int fake_start_count() {
  std::lock_guard<std::recursive_mutex> g(stateMutex);
  return static_cast<int>(S().starts.size());
}
FAKE_EXPORT int fake_start_block(int i, char* buffer, int capacity) {
  std::lock_guard<std::recursive_mutex> g(stateMutex);
  return CopyOut(S().starts.at(static_cast<size_t>(i)).bytes, buffer, capacity);
}
FAKE_EXPORT int fake_start_attach(int i) {
  std::lock_guard<std::recursive_mutex> g(stateMutex);
  return S().starts.at(static_cast<size_t>(i)).attachIndex;
}
FAKE_EXPORT int fake_query_count() {
  std::lock_guard<std::recursive_mutex> g(stateMutex);
  return static_cast<int>(S().queries.size());
}
FAKE_EXPORT int fake_query_request(int i, char* buffer, int capacity) {
  std::lock_guard<std::recursive_mutex> g(stateMutex);
  return CopyOut(S().queries.at(static_cast<size_t>(i)).bytes, buffer, capacity);
}
FAKE_EXPORT int fake_query_send(int i, char* buffer, int capacity) {
  std::lock_guard<std::recursive_mutex> g(stateMutex);
  return CopyOut(S().queries.at(static_cast<size_t>(i)).send, buffer, capacity);
}
FAKE_EXPORT int fake_query_buffer_length(int i) {
  std::lock_guard<std::recursive_mutex> g(stateMutex);
  return S().queries.at(static_cast<size_t>(i)).bufferLength;
}
FAKE_EXPORT int fake_open_handles() {
  std::lock_guard<std::recursive_mutex> g(stateMutex);
  return static_cast<int>(S().openHandles.size());
}

// --- entry points the service path calls ----------------------------------------

FAKE_EXPORT ISC_LONG isc_sqlcode(const ISC_STATUS*) {
  std::lock_guard<std::recursive_mutex> g(stateMutex);
  return static_cast<ISC_LONG>(S().lastSqlcode);
}

FAKE_EXPORT ISC_LONG isc_interprete(char* buffer, ISC_STATUS** cursor) {
  ISC_STATUS* v = *cursor;
  if (v == nullptr || v[0] != kArgGds || v[1] == 0) return 0;
  std::string text;
  if (v[2] == kArgString) {
    text = reinterpret_cast<const char*>(v[3]);
    *cursor = v + 4;
  } else {
    text = "error code " + std::to_string(v[1]);
    *cursor = v + 2;
  }
  if (text.size() > 20000) text.resize(20000);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<ISC_LONG>(text.size());
}

FAKE_EXPORT ISC_LONG isc_vax_integer(const char* bytes, short length) {
  ISC_LONG value = 0;
  int shift = 0;
  for (short i = 0; i < length && i < 4; ++i, shift += 8) {
    value += static_cast<ISC_LONG>(static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << shift);
  }
  return value;
}

#ifndef FAKE_GENERATION5
FAKE_EXPORT ISC_STATUS isc_rollback_retaining(ISC_STATUS* status, void*) {
  SetSuccess(status);
  return 0;
}

FAKE_EXPORT ISC_STATUS isc_service_attach(ISC_STATUS* status, unsigned short nameLength, const char* name,
                                          isc_svc_handle* handle, unsigned short spbLength, const char* spb) {
  std::lock_guard<std::recursive_mutex> g(stateMutex);
  State& s = S();
  const int index = static_cast<int>(s.attachNames.size());
  s.attachNames.emplace_back(name, nameLength);
  s.attachBlocks.emplace_back(spb, spbLength);
  Failure f;
  if (TakeFailure("isc_service_attach", f)) return Fail(status, f.sqlcode, f.code, f.texts);
  if (*handle != 0) return Fail(status, -904, 335544560, {"invalid handle: already in use"});
  *handle = s.nextHandle++;
  s.openHandles[*handle] = index;
  SetSuccess(status);
  return 0;
}

FAKE_EXPORT ISC_STATUS isc_service_detach(ISC_STATUS* status, isc_svc_handle* handle) {
  std::lock_guard<std::recursive_mutex> g(stateMutex);
  State& s = S();
  Failure f;
  if (TakeFailure("isc_service_detach", f)) return Fail(status, f.sqlcode, f.code, f.texts);
  if (s.openHandles.erase(*handle) == 0) return BadHandle(status);
  *handle = 0;
  SetSuccess(status);
  return 0;
}

FAKE_EXPORT ISC_STATUS isc_service_start(ISC_STATUS* status, isc_svc_handle* handle, ISC_LONG*,
                                         unsigned short spbLength, const char* spb) {
  std::lock_guard<std::recursive_mutex> g(stateMutex);
  State& s = S();
  Record r;
  r.bytes.assign(spb, spbLength);
  auto open = s.openHandles.find(*handle);
  r.attachIndex = open == s.openHandles.end() ? -1 : open->second;
  s.starts.push_back(r);
  Failure f;
  if (TakeFailure("isc_service_start", f)) return Fail(status, f.sqlcode, f.code, f.texts);
  if (open == s.openHandles.end()) return BadHandle(status);
  SetSuccess(status);
  return 0;
}

FAKE_EXPORT ISC_STATUS isc_service_query(ISC_STATUS* status, isc_svc_handle* handle, ISC_LONG*,
                                         unsigned short sendLength, const char* send, unsigned short requestLength,
                                         const char* request, unsigned short bufferLength, char* buffer) {
  int delay = 0;
  {
    std::lock_guard<std::recursive_mutex> g(stateMutex);
    delay = S().queryDelayMs;
  }
  if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  std::lock_guard<std::recursive_mutex> g(stateMutex);
  State& s = S();
  Record r;
  r.bytes.assign(request, requestLength);
  if (send != nullptr) r.send.assign(send, sendLength);
  r.bufferLength = bufferLength;
  auto open = s.openHandles.find(*handle);
  r.attachIndex = open == s.openHandles.end() ? -1 : open->second;
  s.queries.push_back(r);
  Failure f;
  if (TakeFailure("isc_service_query", f)) return Fail(status, f.sqlcode, f.code, f.texts);
  if (open == s.openHandles.end()) return BadHandle(status);
  std::string answer;
  auto keyed = requestLength > 0 ? s.answersFor.find(static_cast<unsigned char>(request[0])) : s.answersFor.end();
  if (keyed != s.answersFor.end() && !keyed->second.empty()) {
    answer = keyed->second.front();
    keyed->second.pop_front();
  } else if (!s.rawAnswers.empty()) {
    answer = s.rawAnswers.front();
    s.rawAnswers.pop_front();
  } else if (requestLength > 0 && request[0] == 62) {
    std::string line;
    if (!s.lines.empty()) {
      line = s.lines.front();
      s.lines.pop_front();
    }
    if (line.size() + 4 > bufferLength) {
      answer = std::string(1, '\x02');  // isc_info_truncated, as the server does
    } else {
      answer += '\x3e';
      answer += static_cast<char>(line.size() & 0xFF);
      answer += static_cast<char>((line.size() >> 8) & 0xFF);
      answer += line;
      answer += '\x01';
    }
  } else {
    answer = std::string(1, '\x01');
  }
  std::memcpy(buffer, answer.data(), std::min<size_t>(answer.size(), bufferLength));
  SetSuccess(status);
  return 0;
}

#define FAKE_STUB(name) \
  FAKE_EXPORT int name() { return 0; }
FAKE_STUB(isc_decode_sql_date)
FAKE_STUB(isc_decode_sql_time)
FAKE_STUB(isc_decode_timestamp)
FAKE_STUB(isc_encode_sql_date)
FAKE_STUB(isc_encode_sql_time)
FAKE_STUB(isc_encode_timestamp)
#else
#define FAKE_STUB(name) \
  FAKE_EXPORT int name() { return 0; }
#endif

// Data-access entry points: bound by the loader, never called.
FAKE_STUB(BLOB_get)
FAKE_STUB(BLOB_put)
FAKE_STUB(isc_sql_interprete)
FAKE_STUB(isc_blob_info)
FAKE_STUB(isc_open_blob2)
FAKE_STUB(isc_close_blob)
FAKE_STUB(isc_get_segment)
FAKE_STUB(isc_put_segment)
FAKE_STUB(isc_create_blob2)
FAKE_STUB(isc_decode_date)
FAKE_STUB(isc_encode_date)
FAKE_STUB(isc_dsql_free_statement)
FAKE_STUB(isc_dsql_execute2)
FAKE_STUB(isc_dsql_execute)
FAKE_STUB(isc_dsql_set_cursor_name)
FAKE_STUB(isc_dsql_fetch)
FAKE_STUB(isc_dsql_sql_info)
FAKE_STUB(isc_dsql_alloc_statement2)
FAKE_STUB(isc_dsql_prepare)
FAKE_STUB(isc_dsql_describe_bind)
FAKE_STUB(isc_dsql_describe)
FAKE_STUB(isc_dsql_execute_immediate)
FAKE_STUB(isc_drop_database)
FAKE_STUB(isc_detach_database)
FAKE_STUB(isc_attach_database)
FAKE_STUB(isc_database_info)
FAKE_STUB(isc_start_multiple)
FAKE_STUB(isc_commit_transaction)
FAKE_STUB(isc_commit_retaining)
FAKE_STUB(isc_rollback_transaction)
FAKE_STUB(isc_cancel_events)
#ifndef FAKE_MISSING_ENTRY
FAKE_STUB(isc_que_events)
#endif
FAKE_STUB(isc_event_counts)
FAKE_STUB(isc_event_block)
FAKE_STUB(isc_free)
