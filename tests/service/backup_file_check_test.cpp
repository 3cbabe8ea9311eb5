// Judging whether a backup file is whole, on record streams laid out as gbak
// writes them (the real gbak's files are judged in the engine tests).

#include "service/backup_file_check.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/temp_folder.h"

namespace {

std::string Int32(std::uint32_t v) {
  return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF), static_cast<char>((v >> 16) & 0xFF),
          static_cast<char>(v >> 24)};
}
std::string Byte(int b) { return std::string(1, static_cast<char>(b)); }
std::string Plain(int id, const std::string& value) { return Byte(id) + Byte(static_cast<int>(value.size())) + value; }

struct TLayout {
  std::uint32_t Format = 10;
  bool Compressed = true;
  bool Transportable = false;
};

std::string Header(const TLayout& layout) {
  return Byte(0) + Plain(2, Int32(layout.Format)) + Plain(1, "today") + Plain(4, Int32(layout.Compressed)) +
         Plain(5, Int32(layout.Transportable)) + Plain(6, Int32(262144)) + Byte(0);
}

// One record of every shape the walk reads: plain attributes, a blob-shaped
// one (a description), a long message, a relation with its end, data (as
// runs, or plain), a blob's segments and an array's slice.
std::string Records(const TLayout& layout) {
  const std::string row = "\x01\x02\x02\x02\x02\x02\x02\x05\x06";  // 9 bytes
  std::string data = Byte(6) + Plain(1, Int32(9));
  if (layout.Transportable) data += Plain(17, Int32(9));
  data += Byte(2);
  data += layout.Compressed ? Byte(1) + "\x01" + Byte(-6) + "\x02" + Byte(2) + "\x05\x06" : row;
  const std::string slice = layout.Transportable ? Int32(4) + Byte(18) + Int32(6) + "xdr-12" : Int32(4) + "abcd";
  return Byte(1) + Plain(3, "db") + Byte(6) + Byte(4) + Int32(11) + "description" + Byte(0) +                 //
         Byte(30) + Plain(1, "E") + Byte(5) + std::string("\x2c\x01", 2) + std::string(300, 'm') + Byte(0) +  //
         Byte(3) + Plain(1, "T") + Byte(0) + Byte(9) +                                                        //
         Byte(8) + Plain(1, "T") + Byte(0) + data +                                                           //
         Byte(7) + Plain(3, Int32(1)) + Plain(5, Int32(2)) + Byte(7) + std::string("\x03\0abc\0\0", 7) +      //
         Byte(23) + Plain(3, Int32(2)) + Plain(14, Int32(1)) + Byte(7) + slice + Byte(9);
}

TBackupFileEnd Judge(const std::string& bytes) {
  return JudgeBackupFile(bytes.size(), [&bytes](std::uint64_t offset, std::size_t count) {
    return offset >= bytes.size() ? std::string() : bytes.substr(static_cast<std::size_t>(offset), count);
  });
}

const std::string kEnd(1, '\x0a');
// What gbak's last write leaves after the end record: the buffer's old bytes.
const std::string kLeftOver = std::string(100, '\0') + "\x0a\x07\xff" + std::string(300, 'x');

TEST(BackupFileCheck, WholeStreamsAndEveryCutOfThem) {
  for (const TLayout& layout : {TLayout{}, TLayout{10, false, false}, TLayout{10, true, true}}) {
    const std::string stream = Header(layout) + Records(layout) + kEnd;
    EXPECT_EQ(Judge(stream), TBackupFileEnd::Complete);
    EXPECT_EQ(Judge(stream + kLeftOver), TBackupFileEnd::Complete);
    // Anywhere before the end record, the header included.
    for (std::size_t cut = 3; cut < stream.size(); ++cut)
      EXPECT_EQ(Judge(stream.substr(0, cut)), TBackupFileEnd::CutShort) << cut;
    // Too little to tell anything.
    for (std::size_t cut : {0, 1, 2}) EXPECT_EQ(Judge(stream.substr(0, cut)), TBackupFileEnd::Unknown) << cut;
  }
}

TEST(BackupFileCheck, WhatIsNotJudgedGoesToTheEngine) {
  const TLayout layout;
  const std::string records = Records(layout);
  const std::string head = Header(layout);
  const std::string data = Byte(8) + Plain(1, "T") + Byte(0) + Byte(6) + Plain(1, Int32(9)) + Byte(2);
  const struct {
    const char* what;
    std::string bytes;
  } rows[] = {
      {"not a backup", std::string(5000, 'Z')},
      {"zeros", std::string(5000, '\0')},
      {"a part of a backup split over files", "InterBase/gbak,   file No.  1 of 3" + records},
      {"an older format", Header({9}) + records + kEnd},
      {"a record type gbak does not write", head + Byte(77) + records + kEnd},
      {"a second header", head + Byte(0) + records + kEnd},
      {"a blob attribute without its length", head + Byte(1) + Byte(6) + Byte(2) + "ab" + Byte(0) + kEnd},
      {"a blob attribute longer than any", head + Byte(1) + Byte(6) + Byte(4) + Int32(0xF0000000) + kEnd},
      {"data that ends before its bytes", head + Byte(6) + Plain(1, Int32(9)) + Byte(0) + kEnd},
      {"a record longer than any", head + Byte(6) + Plain(1, Int32(0x7F000000)) + Byte(2) + kEnd},
      {"a run of no bytes", head + data + Byte(0) + kEnd},
      {"runs past the record", head + data + Byte(20) + std::string(20, 'r') + kEnd},
  };
  for (const auto& row : rows) EXPECT_EQ(Judge(row.bytes), TBackupFileEnd::Unknown) << row.what;
}

TEST(BackupFileCheck, FilesOnDisk) {
  TTempFolder dir;
  const std::string stream = Header({}) + Records({}) + kEnd;
  WriteFileBytes(dir / "whole.gbk", stream + kLeftOver);
  WriteFileBytes(dir / "cut.gbk", stream.substr(0, stream.size() / 2));
  EXPECT_EQ(JudgeBackupFile(dir / "whole.gbk"), TBackupFileEnd::Complete);
  EXPECT_EQ(JudgeBackupFile(dir / "cut.gbk"), TBackupFileEnd::CutShort);
  EXPECT_EQ(JudgeBackupFile(dir / "missing.gbk"), TBackupFileEnd::Unknown);
  EXPECT_EQ(JudgeBackupFile(dir.Path), TBackupFileEnd::Unknown);
}

TEST(BackupFileCheck, AReadThatComesUpShortProvesNothing) {
  const std::string stream = Header({}) + Records({}) + kEnd;
  // The file says it is longer than what can be read of it.
  EXPECT_EQ(JudgeBackupFile(stream.size() + 100,
                            [&](std::uint64_t offset, std::size_t count) {
                              return offset >= 40 ? std::string()
                                                  : stream.substr(offset, std::min<std::size_t>(count, 40 - offset));
                            }),
            TBackupFileEnd::Unknown);
}

}  // namespace
