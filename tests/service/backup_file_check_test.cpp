// Judging whether a backup file is whole, on files laid out as gbak writes
// them (the real gbak's files are judged in the engine tests).

#include "service/backup_file_check.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/temp_folder.h"

namespace {

constexpr std::size_t kBuffer = 1024;

std::string Int32(std::uint32_t v) {
  return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF), static_cast<char>((v >> 16) & 0xFF),
          static_cast<char>(v >> 24)};
}

// The header record: format, a date, the write buffer's size.
std::string Header(std::uint32_t format = 10, std::uint32_t buffer = kBuffer) {
  return std::string(1, '\0') + "\x02\x04" + Int32(format) + "\x01\x05" + "today" + "\x06\x04" + Int32(buffer) +
         std::string(1, '\0');
}

// `records` then the end record, written as gbak writes: whole buffers, then
// the rest rounded up to 512 bytes with whatever the buffer held before.
std::string Written(const std::string& stream, std::size_t buffer = kBuffer) {
  std::string out;
  std::string held(buffer, '\0');
  std::size_t used = 0;
  for (char c : stream) {
    held[used++] = c;
    if (used == buffer) {
      out += held;
      used = 0;
    }
  }
  if (used > 0) out += held.substr(0, (used + 511) / 512 * 512);
  return out;
}

// Records of varied bytes, none of them the end record.
std::string Records(std::size_t length, unsigned seed = 1) {
  std::string records;
  for (std::size_t i = 0; i < length; ++i) {
    char c = static_cast<char>((i * 131 + seed * 17 + (i >> 7)) % 251 + 1);
    if (c == 10) c = 11;
    records += c;
  }
  return records;
}

TBackupFileEnd Judge(const std::string& bytes) {
  return JudgeBackupFile(bytes.size(), [&bytes](std::uint64_t offset, std::size_t count) {
    return offset >= bytes.size() ? std::string() : bytes.substr(static_cast<std::size_t>(offset), count);
  });
}

const std::string kEnd(1, '\x0a');

TEST(BackupFileCheck, WholeFilesOfEveryLength) {
  // One buffer, several, ending exactly at a buffer's end, and an end record
  // that falls where the previous buffer held an end-record byte too.
  const std::size_t header = Header().size();
  for (std::size_t length : {std::size_t{10}, std::size_t{500}, 1024 - header - 1, 1024 - header, std::size_t{5000},
                             3 * 1024 - header - 1}) {
    const std::string file = Written(Header() + Records(length) + kEnd);
    EXPECT_EQ(Judge(file), TBackupFileEnd::Complete) << length;
  }
  std::string stream = Header() + Records(2000);
  stream[1500] = '\x0a';  // same place in the buffer as the end record below
  stream += Records(1500 + 1024 - stream.size(), 3) + kEnd;
  ASSERT_EQ(stream.size() % 1024, 1500u % 1024 + 1);
  EXPECT_EQ(Judge(Written(stream)), TBackupFileEnd::Complete);
}

TEST(BackupFileCheck, FilesCutAnywhereBeforeTheEndRecord) {
  const std::string whole = Written(Header() + Records(6000) + kEnd);
  const std::size_t endRecord = Header().size() + 6000;
  for (std::size_t cut : {endRecord, endRecord - 1, std::size_t{4096}, std::size_t{3072}, std::size_t{1024},
                          std::size_t{1500}, std::size_t{700}, Header().size() + 1, Header().size()}) {
    EXPECT_EQ(Judge(whole.substr(0, cut)), TBackupFileEnd::CutShort) << cut;
  }
  // Inside the header: the file starts as a backup and stops.
  for (std::size_t cut : {std::size_t{3}, std::size_t{5}, std::size_t{12}, Header().size() - 1})
    EXPECT_EQ(Judge(whole.substr(0, cut)), TBackupFileEnd::CutShort) << cut;
  // Cut within what follows the end record: still the whole backup.
  EXPECT_EQ(Judge(whole.substr(0, endRecord + 1)), TBackupFileEnd::Complete);
}

TEST(BackupFileCheck, WhatIsNotJudgedGoesToTheEngine) {
  const std::string records = Records(3000);
  const struct {
    const char* what;
    std::string bytes;
  } rows[] = {
      {"empty", ""},
      {"two bytes", std::string("\0\x02", 2)},
      {"not a backup", std::string(5000, 'Z')},
      {"a part of a backup split over files", "InterBase/gbak,   file No.  1 of 3" + records},
      {"an older format", Written(Header(9) + records).substr(0, 1500)},
      {"no buffer size",
       (std::string(1, '\0') + "\x02\x04" + Int32(10) + std::string(1, '\0') + records).substr(0, 2000)},
      {"a buffer too small", Written(Header(10, 100) + records).substr(0, 1500)},
  };
  for (const auto& row : rows) EXPECT_EQ(Judge(row.bytes), TBackupFileEnd::Unknown) << row.what;
  std::string longHeader = std::string(1, '\0') + "\x02\x04" + Int32(10);
  while (longHeader.size() < 5000) longHeader += std::string("\x07\xff", 2) + std::string(255, 'n');
  EXPECT_EQ(Judge(longHeader + records), TBackupFileEnd::Unknown);
}

TEST(BackupFileCheck, FilesOnDisk) {
  TTempFolder dir;
  WriteFileBytes(dir / "cut.gbk", Written(Header() + Records(5000) + kEnd).substr(0, 3000));
  EXPECT_EQ(JudgeBackupFile(dir / "cut.gbk"), TBackupFileEnd::CutShort);
  EXPECT_EQ(JudgeBackupFile(dir / "missing.gbk"), TBackupFileEnd::Unknown);
  EXPECT_EQ(JudgeBackupFile(dir.Path), TBackupFileEnd::Unknown);
}

}  // namespace
