#include "service/stream_services.h"

#include <algorithm>
#include <cstring>

#include "service/ib_errors.h"

namespace {

std::uint32_t LittleEndian(const char* bytes, int count) {
  std::uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[i]);
  return value;
}

bool IsMoreFlag(uint8_t tag) {
  return tag == spb::info_truncated || tag == spb::info_data_not_ready || tag == spb::info_svc_timeout;
}

}  // namespace

std::string QueryTimeoutItem(std::uint16_t seconds) {
  std::string item{static_cast<char>(spb::info_svc_timeout), 4, 0};
  for (int shift = 0; shift < 32; shift += 8) item += static_cast<char>((seconds >> shift) & 0xFF);
  return item;
}

TStreamAnswer ParseStreamAnswer(const char* buffer, std::size_t size) {
  TStreamAnswer answer;
  std::size_t at = 0;
  bool emptyOutputPending = false;
  // A full answer has no room left for the end byte: the buffer's end is
  // then the answer's end.
  while (at < size) {
    const auto tag = static_cast<uint8_t>(buffer[at++]);
    if (tag == spb::info_end) break;
    if (IsMoreFlag(tag)) {
      emptyOutputPending = false;
      continue;
    }
    if (emptyOutputPending) answer.OutputDone = true;
    emptyOutputPending = false;
    if (tag == spb::info_svc_stdin) {
      if (size - at < 4) RaiseClientError(ibceOutputParsingError);
      answer.StdinWanted = LittleEndian(buffer + at, 4);
      at += 4;
      continue;
    }
    if (tag != spb::info_svc_to_eof && tag != spb::info_svc_line) RaiseClientError(ibceOutputParsingError);
    if (size - at < 2) RaiseClientError(ibceOutputParsingError);
    const std::size_t length = LittleEndian(buffer + at, 2);
    at += 2;
    if (length > size - at) RaiseClientError(ibceOutputParsingError);
    const char* data = buffer + at;
    at += length;
    if (length == 0) {
      emptyOutputPending = true;
    } else if (tag == spb::info_svc_to_eof) {
      answer.Data.emplace_back(data, length);
    } else {
      // A line ends at its first zero byte, as a line of the line query does.
      answer.Lines.emplace_back(data, strnlen(data, length));
    }
  }
  if (emptyOutputPending) answer.OutputDone = true;
  return answer;
}

// --- TIBBackupStreamService -------------------------------------------------

TIBBackupStreamService::TIBBackupStreamService() { SetBufferSize(65535); }

void TIBBackupStreamService::BuildStartRequest() {
  Verbose = false;
  BackupFile.Assign({StreamBackupFile});
  FBytesReceived = 0;
  TIBBackupService::BuildStartRequest();
}

std::size_t TIBBackupStreamService::ReadStreamPiece(const TStreamSink& sink) {
  if (FOutputEnded) return 0;
  if (FRequestAction == 0) RaiseClientError(ibceQueryParamsError);
  QueryRequest = std::string(ItemsPerQuery, static_cast<char>(spb::info_svc_to_eof));
  SendQuery();
  const std::vector<char>& buffer = OutputBuffer();
  const TStreamAnswer answer = ParseStreamAnswer(buffer.data(), buffer.size());
  if (!answer.Lines.empty() || answer.StdinWanted != 0) RaiseClientError(ibceOutputParsingError);
  std::size_t received = 0;
  for (const std::string_view piece : answer.Data) {
    sink(piece.data(), piece.size());
    received += piece.size();
  }
  FBytesReceived += received;
  FOutputEnded = answer.OutputDone;
  return received;
}

// --- TIBRestoreStreamService ------------------------------------------------

void TIBRestoreStreamService::BuildStartRequest() {
  BackupFile.Assign({StreamRestoreFile});
  FStdinWanted = 0;
  FBytesSent = 0;
  TIBRestoreService::BuildStartRequest();
}

std::string TIBRestoreStreamService::FeedItems(const TStreamSource& source, std::size_t otherItemBytes) {
  if (FStdinWanted == 0) return {};
  // The send items as a whole have a 16-bit length: the timeout item, when
  // there is one, takes its bytes off the input's.
  const std::size_t capacity = std::min<std::size_t>(FStdinWanted, MaxFeedBytes - otherItemBytes);
  FFeedBuffer.resize(capacity);
  // An input that has ended is sent as an empty item: that is how gbak
  // learns about the end of its file.
  const std::size_t count = source(FFeedBuffer.data(), capacity);
  if (count > capacity) {
    RaiseClientError(ibceStartTextTooLong, "the restore's input", std::to_string(count));
  }
  std::string items;
  items.reserve(count + 4);
  items += static_cast<char>(spb::info_svc_line);
  items += static_cast<char>(count & 0xFF);
  items += static_cast<char>((count >> 8) & 0xFF);
  items.append(FFeedBuffer.data(), count);
  items += static_cast<char>(spb::info_end);
  FBytesSent += count;
  return items;
}

bool TIBRestoreStreamService::FeedAndReadLine(const TStreamSource& source, std::string& line,
                                              std::uint16_t timeoutSeconds) {
  if (FOutputEnded) return false;
  if (FRequestAction == 0) RaiseClientError(ibceQueryParamsError);
  const std::string timeout = timeoutSeconds > 0 ? QueryTimeoutItem(timeoutSeconds) : std::string();
  QuerySendItems = timeout + FeedItems(source, timeout.size());
  // Only what the next answer asks for may be sent after it.
  FStdinWanted = 0;
  QueryRequest = std::string{static_cast<char>(spb::info_svc_stdin), static_cast<char>(spb::info_svc_line)};
  SendQuery();
  const std::vector<char>& buffer = OutputBuffer();
  const TStreamAnswer answer = ParseStreamAnswer(buffer.data(), buffer.size());
  if (!answer.Data.empty() || answer.Lines.size() > 1) RaiseClientError(ibceOutputParsingError);
  FStdinWanted = answer.StdinWanted;
  FOutputEnded = answer.OutputDone && answer.StdinWanted == 0;
  if (answer.Lines.empty()) return false;
  line = answer.Lines.front();
  return true;
}

bool TIBControlAndQueryService::NextOutputLineWithin(std::uint16_t seconds, std::string& line) {
  if (FOutputEnded) return false;
  if (FRequestAction == 0) RaiseClientError(ibceQueryParamsError);
  QuerySendItems = QueryTimeoutItem(seconds) + static_cast<char>(spb::info_end);
  QueryRequest = std::string(1, static_cast<char>(spb::info_svc_line));
  SendQuery();
  const std::vector<char>& buffer = OutputBuffer();
  const TStreamAnswer answer = ParseStreamAnswer(buffer.data(), buffer.size());
  if (!answer.Data.empty() || answer.Lines.size() > 1 || answer.StdinWanted != 0)
    RaiseClientError(ibceOutputParsingError);
  FOutputEnded = answer.OutputDone;
  if (answer.Lines.empty()) return false;
  line = answer.Lines.front();
  return true;
}
