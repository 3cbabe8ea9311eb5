// libFuzzer target over the output-answer parsers and the block builders.
// First input byte picks the part; the rest is its input. Every block built
// must parse back item by item within its own length; every answer is either
// refused with a client error or yields a line that lies inside the buffer.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fakeclient/fake_client.h"
#include "service/ib_services.h"

namespace {

FakeClient* Fake() {
  static FakeClient* fake = [] {
    SetClientLibraryCandidates({FakeClient::Path()});
    return new FakeClient(FakeClient::Path());
  }();
  return fake;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

// Walks a start block: action byte, then text/number/flag items.
void CheckStartBlock(const std::string& block) {
  Check(!block.empty());
  size_t at = 1;
  while (at < block.size()) {
    const auto tag = static_cast<uint8_t>(block[at++]);
    switch (tag) {
      case 5:
      case 60:
      case 106: {  // text items
        Check(at + 2 <= block.size());
        const size_t n =
            static_cast<uint8_t>(block[at]) | (static_cast<size_t>(static_cast<uint8_t>(block[at + 1])) << 8);
        Check(n > 0);
        at += 2 + n;
        break;
      }
      case 6:
      case 7:
      case 9:
      case 10:
      case 11:
      case 108:  // number items
        at += 4;
        break;
      case 107:  // verbose flag
        break;
      default: Check(false);
    }
    Check(at <= block.size());
  }
}

void FuzzAnswer(const std::string& input) {
  if (input.empty()) return;
  FakeClient& fake = *Fake();
  fake.Reset();
  TIBBackupService service;
  service.SetProtocol(TProtocol::Local);
  service.LoginPrompt = false;
  static const int32_t sizes[] = {4, 5, 8, 16, 64, 300, 32000};
  service.SetBufferSize(sizes[static_cast<uint8_t>(input[0]) % 7]);
  service.DatabaseName = "db";
  service.SetActive(true);
  service.ServiceStart();
  fake.AddRawAnswer(input.substr(1));
  try {
    const std::string line = service.NextOutputLine();
    Check(line.size() + 4 <= static_cast<size_t>(service.BufferSize()));
    Check(line.find('\0') == std::string::npos);
  } catch (const EIBClientError& e) {
    Check(e.SqlErrorCode == ibceOutputParsingError);
  }
}

void FuzzAttachBlock(const std::string& input) {
  TStringList params;
  params.Assign(SplitLines(input));
  try {
    const std::string block = TIBCustomService::BuildAttachBlock(params);
    Check(block.size() >= 2 && block[0] == 2 && block[1] == 2);
    size_t at = 2;
    while (at < block.size()) {
      const auto tag = static_cast<uint8_t>(block[at]);
      Check(tag == 28 || tag == 29);
      Check(at + 2 <= block.size());
      at += 2 + static_cast<uint8_t>(block[at + 1]);
      Check(at <= block.size());
    }
  } catch (const EIBClientError& e) {
    Check(e.SqlErrorCode == 88 || e.SqlErrorCode == 89 || e.SqlErrorCode == 98 || e.SqlErrorCode == 100);
  }
}

void FuzzRequests(const std::string& input, bool restore) {
  if (input.size() < 2) return;
  const auto options = static_cast<uint8_t>(input[0]);
  std::vector<std::string> lines = SplitLines(input.substr(1));
  const std::string first = lines.front();
  lines.erase(lines.begin());
  try {
    if (restore) {
      TIBRestoreService service;
      for (unsigned m = 0; m < 7; ++m) {
        if (options & (1u << m)) service.Options.Include(static_cast<TRestoreOption>(m));
      }
      service.Verbose = options & 0x80;
      service.DatabaseName.Assign({first});
      service.BackupFile.Assign(lines);
      service.BuildStartRequest();
      Check(service.StartRequest[0] == 2);
      CheckStartBlock(service.StartRequest);
    } else {
      TIBBackupService service;
      for (unsigned m = 0; m < 7; ++m) {
        if (options & (1u << m)) service.Options.Include(static_cast<TBackupOption>(m));
      }
      service.Verbose = options & 0x80;
      service.DatabaseName = first;
      service.BackupFile.Assign(lines);
      service.BuildStartRequest();
      Check(service.StartRequest[0] == 1);
      CheckStartBlock(service.StartRequest);
    }
  } catch (const EConvertError&) {
  } catch (const EIBClientError& e) {
    Check(e.SqlErrorCode == ibceStartParamsError || e.SqlErrorCode == ibceStartTextTooLong);
  }
}

// A stream answer (backup pieces, restore input requests and lines): refused
// with a client error, or every piece lies inside the buffer.
void FuzzStreamAnswer(const std::string& input) {
  const std::vector<char> buffer(input.begin(), input.end());
  try {
    const TStreamAnswer answer = ParseStreamAnswer(buffer.data(), buffer.size());
    for (const std::string_view piece : answer.Data) {
      Check(!piece.empty() && piece.data() >= buffer.data() &&
            piece.data() + piece.size() <= buffer.data() + buffer.size());
    }
    for (const std::string& line : answer.Lines) Check(line.size() <= buffer.size());
  } catch (const EIBClientError& e) {
    Check(e.SqlErrorCode == ibceOutputParsingError);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 5) {
    case 0: FuzzAnswer(input); break;
    case 1: FuzzAttachBlock(input); break;
    case 2: FuzzRequests(input, false); break;
    case 3: FuzzRequests(input, true); break;
    default: FuzzStreamAnswer(input); break;
  }
  return 0;
}
