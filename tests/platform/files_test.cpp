#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "platform/files.h"
#include "platform/temp_folder.h"

namespace {

TEST(Files, ProgramDirectoryIsTheExecutablesFolderWithSeparator) {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  ASSERT_GT(n, 0);
  const std::string exe(buf, static_cast<std::size_t>(n));
  const std::string dir = ProgramDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  EXPECT_EQ(dir + exe.substr(exe.rfind('/') + 1), exe);
  EXPECT_TRUE(DirectoryExists(dir));
}

TEST(Files, FoldersAndFiles) {
  TTempFolder dir;
  EXPECT_EQ(IncludeTrailingPathDelimiter("/a"), "/a/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/a/"), "/a/");
  // One level only: no parents are made.
  EXPECT_FALSE(CreateDir(dir / "x/y"));
  EXPECT_TRUE(CreateDir(dir / "x"));
  EXPECT_FALSE(CreateDir(dir / "x"));
  EXPECT_TRUE(DirectoryExists(dir / "x"));
  EXPECT_FALSE(FileExists(dir / "x"));
  WriteFileBytes(dir / "f", "1");
  EXPECT_TRUE(FileExists(dir / "f"));
  EXPECT_FALSE(DirectoryExists(dir / "f"));
  // Two separators in a row name the same file.
  EXPECT_TRUE(FileExists(dir.Path + "/f"));
  EXPECT_TRUE(DeleteFile(dir / "f"));
  EXPECT_FALSE(DeleteFile(dir / "f"));
  EXPECT_FALSE(FileExists(""));
}

TEST(Files, CreatingEmptiesAndAppendingNeverCreates) {
  TTempFolder dir;
  EXPECT_FALSE(AppendToExistingFile(dir / "log", "lost\r\n"));
  EXPECT_FALSE(FileExists(dir / "log"));
  WriteFileBytes(dir / "log", "old content");
  ASSERT_TRUE(CreateTextFile(dir / "log", "first\r\n"));
  EXPECT_TRUE(AppendToExistingFile(dir / "log", "second\r\n"));
  EXPECT_EQ(ReadFileBytes(dir / "log"), "first\r\nsecond\r\n");
  // A folder takes no text, and a missing folder no file.
  EXPECT_FALSE(CreateTextFile(dir.Path, "x"));
  EXPECT_FALSE(CreateTextFile(dir / "none/log", "x"));
  EXPECT_FALSE(AppendToExistingFile(dir.Path, "x"));
}

TEST(Files, AppendLineStartsAFreshLineAfterACutOneAndKeepsTheFilePrivate) {
  TTempFolder dir;
  const std::string path = dir / "h.jsonl";
  EXPECT_TRUE(AppendLine(path, "one"));
  EXPECT_TRUE(AppendLine(path, "two"));
  EXPECT_EQ(ReadFileBytes(path), "one\ntwo\n");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // A write cut short left half a line: the next one does not join it.
  WriteFileBytes(path, ReadFileBytes(path) + "thr");
  EXPECT_TRUE(AppendLine(path, "four"));
  EXPECT_EQ(ReadFileBytes(path), "one\ntwo\nthr\nfour\n");
  EXPECT_FALSE(AppendLine(dir / "no/such/folder", "x"));
  EXPECT_EQ(FileSize(path), 17u);
  EXPECT_FALSE(FileSize(dir / "missing").has_value());
  EXPECT_FALSE(FileSize(dir.Path).has_value());
  ASSERT_TRUE(CreateDir(dir / "sub"));  // folders are no files
  EXPECT_EQ(FilesInFolder(dir.Path), std::vector<std::string>{"h.jsonl"});
  EXPECT_FALSE(FilesInFolder(dir / "missing").has_value());
}

}  // namespace
