#include "service/nbackup_file.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>

namespace {

constexpr std::string_view Signature = "NBAK";
constexpr std::size_t HeaderBytes = 52;
constexpr std::size_t GuidAt = 8;
constexpr std::size_t BaseGuidAt = 24;
// A database's header page: its size at byte 16, its first 16 bytes the
// page header, whose first byte is the page type 1.
constexpr std::size_t PageSizeAt = 16;
constexpr std::size_t MaxPageSize = 65536;

unsigned Word(std::string_view bytes, std::size_t at) {
  return static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8);
}

TBackupGuid GuidAtOffset(std::string_view bytes, std::size_t at) {
  TBackupGuid guid{};
  std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), guid.size(), guid.begin());
  return guid;
}

std::string ReadPrefix(const std::string& path, std::size_t count) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string bytes(count, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

bool IsHeaderPage(std::string_view bytes) {
  if (bytes.size() < PageSizeAt + 2 || bytes[0] != 1) return false;
  const unsigned size = Word(bytes, PageSizeAt);
  return size >= 1024 && size <= MaxPageSize && (size & (size - 1)) == 0;
}

}  // namespace

std::optional<TNBackupHeader> ParseNBackupHeader(std::string_view bytes) {
  if (bytes.size() < HeaderBytes || bytes.substr(0, Signature.size()) != Signature) return std::nullopt;
  TNBackupHeader header;
  header.Level = static_cast<int>(Word(bytes, 6));
  if (header.Level < 1) return std::nullopt;
  header.Guid = GuidAtOffset(bytes, GuidAt);
  header.BaseGuid = GuidAtOffset(bytes, BaseGuidAt);
  return header;
}

std::optional<TNBackupHeader> ReadNBackupHeader(const std::string& path) {
  const std::string bytes = ReadPrefix(path, HeaderBytes);
  if (auto header = ParseNBackupHeader(bytes)) return header;
  if (IsHeaderPage(bytes)) return TNBackupHeader{};
  return std::nullopt;
}

bool LevelZeroHoldsGuid(const std::string& path, const TBackupGuid& guid) {
  const std::string page = ReadPrefix(path, MaxPageSize);
  if (!IsHeaderPage(page)) return false;
  const std::string_view header(page.data(), std::min<std::size_t>(page.size(), Word(page, PageSizeAt)));
  const std::string_view wanted(reinterpret_cast<const char*>(guid.data()), guid.size());
  return header.find(wanted) != std::string_view::npos;
}

std::string GuidText(const TBackupGuid& guid) {
  // The server's own form: eight 16-bit words, low byte first.
  char text[40];
  const auto w = [&](int i) { return static_cast<unsigned>(guid[2 * i] | (guid[2 * i + 1] << 8)); };
  std::snprintf(text, sizeof text, "{%04X%04X-%04X-%04X-%04X-%04X%04X%04X}", w(0), w(1), w(2), w(3), w(4), w(5), w(6),
                w(7));
  return text;
}

std::optional<TBackupGuid> ParseGuidText(const std::string& text) {
  // Eight groups of four hexadecimal digits, each a 16-bit word.
  std::string digits;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (std::isxdigit(static_cast<unsigned char>(c)))
      digits += c;
    else if (c != '{' && c != '}' && c != '-')
      return std::nullopt;
  }
  if (digits.size() != 32) return std::nullopt;
  TBackupGuid guid{};
  for (std::size_t w = 0; w < 8; ++w) {
    const unsigned word = static_cast<unsigned>(std::stoul(digits.substr(4 * w, 4), nullptr, 16));
    guid[2 * w] = static_cast<unsigned char>(word & 0xFF);
    guid[2 * w + 1] = static_cast<unsigned char>(word >> 8);
  }
  return guid;
}

bool FileIsBackup(const std::string& path, const std::string& guidText) {
  const auto guid = ParseGuidText(guidText);
  const auto header = ReadNBackupHeader(path);
  if (!guid || !header) return false;
  return header->Level == 0 ? LevelZeroHoldsGuid(path, *guid) : header->Guid == *guid;
}
