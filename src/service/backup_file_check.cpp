#include "service/backup_file_check.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

namespace {

constexpr unsigned char RecordEnd = 10;
constexpr unsigned char AttributeFormat = 2;
constexpr unsigned char AttributeBufferSize = 6;
constexpr std::int32_t JudgedFormat = 10;
// Header records are a few hundred bytes; a longer one is not judged.
constexpr std::size_t HeaderLimit = 4096;
constexpr std::uint64_t SmallestBuffer = 512;
constexpr std::uint64_t LargestBuffer = 64u << 20;

std::int32_t LittleEndian32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i)
    value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  return static_cast<std::int32_t>(value);
}

struct THeader {
  std::int32_t Format = 0;
  std::uint64_t BufferSize = 0;
};

// The header's format and buffer size; CutShort when the file ends inside
// the header, Unknown when it is no gbak header or too long to judge.
std::optional<THeader> ReadHeader(std::uint64_t size, const TReadAt& read, TBackupFileEnd& verdict) {
  const std::string head = read(0, static_cast<std::size_t>(std::min<std::uint64_t>(size, HeaderLimit)));
  verdict = TBackupFileEnd::Unknown;
  // Header record, then the format attribute with its 4-byte value.
  if (head.size() < 3 || head[0] != 0 || head[1] != AttributeFormat || head[2] != 4) return std::nullopt;
  THeader header;
  std::size_t at = 1;
  // Running out of bytes: the file ends inside its header, or the header is
  // longer than judged.
  auto ranOut = [&] {
    if (head.size() == size) verdict = TBackupFileEnd::CutShort;
    return std::nullopt;
  };
  for (;;) {
    if (at >= head.size()) return ranOut();
    const unsigned char id = static_cast<unsigned char>(head[at]);
    if (id == 0) break;
    if (at + 2 > head.size()) return ranOut();
    const std::size_t length = static_cast<unsigned char>(head[at + 1]);
    if (at + 2 + length > head.size()) return ranOut();
    if (length == 4 && id == AttributeFormat) header.Format = LittleEndian32(head, at + 2);
    if (length == 4 && id == AttributeBufferSize)
      header.BufferSize = static_cast<std::uint32_t>(LittleEndian32(head, at + 2));
    at += 2 + length;
  }
  return header;
}

// The last write [blockStart, size) against what the buffer held before it:
// the end record must lie at or after the last byte that differs.
TBackupFileEnd JudgeLastWrite(std::uint64_t size, std::uint64_t bufferSize, const TReadAt& read) {
  const std::uint64_t blockStart = (size - 1) / bufferSize * bufferSize;
  const std::size_t length = static_cast<std::size_t>(size - blockStart);
  const std::string last = read(blockStart, length);
  const std::string before = blockStart >= bufferSize ? read(blockStart - bufferSize, length) : std::string();
  if (last.size() != length) return TBackupFileEnd::Unknown;
  std::size_t k = length;
  // Zeros count as left over in every block, in case a buffer was cleared.
  while (k > 0 && (last[k - 1] == 0 || (k - 1 < before.size() && last[k - 1] == before[k - 1]))) --k;
  const std::size_t firstCandidate = k == 0 ? 0 : k - 1;
  return last.find(static_cast<char>(RecordEnd), firstCandidate) != std::string::npos ? TBackupFileEnd::Complete
                                                                                      : TBackupFileEnd::CutShort;
}

}  // namespace

TBackupFileEnd JudgeBackupFile(std::uint64_t size, const TReadAt& read) {
  TBackupFileEnd verdict = TBackupFileEnd::Unknown;
  const std::optional<THeader> header = ReadHeader(size, read, verdict);
  if (!header) return verdict;
  if (header->Format != JudgedFormat || header->BufferSize < SmallestBuffer || header->BufferSize > LargestBuffer)
    return TBackupFileEnd::Unknown;
  return JudgeLastWrite(size, header->BufferSize, read);
}

TBackupFileEnd JudgeBackupFile(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return TBackupFileEnd::Unknown;
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return TBackupFileEnd::Unknown;
  const std::streamoff end = in.tellg();
  if (end <= 0) return TBackupFileEnd::Unknown;
  bool failed = false;
  const TReadAt read = [&](std::uint64_t offset, std::size_t count) {
    std::string bytes(count, '\0');
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    if (bytes.size() != count) failed = true;
    return bytes;
  };
  const TBackupFileEnd verdict = JudgeBackupFile(static_cast<std::uint64_t>(end), read);
  // A read that came up short (the file shrank, an I/O error) proves nothing.
  return failed ? TBackupFileEnd::Unknown : verdict;
}
