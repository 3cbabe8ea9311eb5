// The compressed copy on this computer: written whole or not at all, checked
// by sha256sum and zstd themselves, read back byte for byte, and refused when
// damaged.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <thread>

#include "platform/exception.h"
#include "platform/sha256.h"
#include "platform/temp_folder.h"
#include "runner/local_copy_reader.h"
#include "runner/local_copy_writer.h"

namespace {

namespace fs = std::filesystem;

// Small chunks and a short queue, so the tests pass through every path.
const TLocalCopyTuning kTuning{3, 64 * 1024, 2};

// Some megabytes that compress like a backup file: runs of text and numbers
// with noise in between.
std::string BackupLikeBytes(std::size_t size, unsigned seed = 7) {
  std::mt19937 random(seed);
  std::string bytes;
  while (bytes.size() < size) {
    bytes += "row " + std::to_string(random() % 100000) + " customer name city ";
    bytes += static_cast<char>(random() & 0xFF);
  }
  bytes.resize(size);
  return bytes;
}

// Writes `bytes` in pieces of uneven size, as the server hands them on.
TLocalCopyInfo WriteCopy(const std::string& path, const std::string& bytes) {
  TLocalCopyWriter writer(path, kTuning);
  for (std::size_t at = 0, piece = 1; at < bytes.size(); at += piece, piece = piece * 7 % 70001 + 1) {
    writer.Write(bytes.data() + at, std::min(piece, bytes.size() - at));
  }
  return writer.Commit();
}

std::string ReadCopy(const std::string& path) {
  TLocalCopyReader reader(path, kTuning);
  reader.VerifyChecksum();
  reader.Start();
  std::string out;
  char buffer[5000];
  for (std::size_t n; (n = reader.Read(buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  return out;
}

std::string Shell(const std::string& command, int* code) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  const int status = pclose(pipe);
  *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return output;
}

// Only the files the test expects, no temporary leftovers.
std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(LocalCopy, RoundTripCheckedBySha256sumAndZstd) {
  TTempFolder dir;
  const std::string bytes = BackupLikeBytes(3 << 20);
  const std::string path = dir / "shop_06_12_26_14_05.gbk.zst";
  const TLocalCopyInfo info = WriteCopy(path, bytes);

  EXPECT_EQ(info.File, path);
  EXPECT_EQ(info.ChecksumFile, path + ".sha256");
  EXPECT_EQ(info.InputBytes, bytes.size());
  EXPECT_EQ(info.OutputBytes, fs::file_size(path));
  EXPECT_LT(info.OutputBytes, bytes.size() / 2);
  EXPECT_EQ(info.Sha256, Sha256OfFile(path));
  EXPECT_EQ(ReadFileBytes(info.ChecksumFile), info.Sha256 + "  shop_06_12_26_14_05.gbk.zst\n");
  EXPECT_EQ(FilesIn(dir.Path),
            (std::vector<std::string>{"shop_06_12_26_14_05.gbk.zst", "shop_06_12_26_14_05.gbk.zst.sha256"}));

  int code = -1;
  std::string output = Shell("cd " + dir.Path + " && sha256sum -c shop_06_12_26_14_05.gbk.zst.sha256", &code);
  EXPECT_EQ(code, 0) << output;
  output = Shell("zstd -q -d -c " + path + " > " + dir / "plain.gbk", &code);
  ASSERT_EQ(code, 0) << output;
  EXPECT_EQ(ReadFileBytes(dir / "plain.gbk"), bytes);

  EXPECT_EQ(ReadCopy(path), bytes);
  // A plain backup file is read as it is, with or without a checksum file.
  EXPECT_EQ(ReadCopy(dir / "plain.gbk"), bytes);
}

TEST(LocalCopy, SuccessReplacesAnOlderCopyOfTheSameName) {
  TTempFolder dir;
  const std::string path = dir / "base.gbk.zst";
  WriteCopy(path, BackupLikeBytes(100000, 1));
  const std::string newer = BackupLikeBytes(200000, 2);
  WriteCopy(path, newer);
  EXPECT_EQ(ReadCopy(path), newer);
  EXPECT_EQ(FilesIn(dir.Path), (std::vector<std::string>{"base.gbk.zst", "base.gbk.zst.sha256"}));
}

// The failures of a copy half-way: each leaves the older copy of the same
// name exactly as it was and no other file behind.
TEST(LocalCopy, FailureHalfWayLeavesTheOlderCopyAndNoOtherFile) {
  struct Case {
    const char* name;
    std::function<void(TLocalCopyWriter& writer, const std::string& folder)> fail;
  };
  const std::string bytes = BackupLikeBytes(1 << 20, 3);
  const Case cases[] = {
      {"abandoned without commit", [](TLocalCopyWriter&, const std::string&) { throw std::runtime_error("reader"); }},
      {"temporary file removed", [](TLocalCopyWriter& writer, const std::string&) {
         fs::remove(writer.TemporaryFile());
         std::string more = BackupLikeBytes(1 << 20, 4);
         writer.Write(more.data(), more.size());
         writer.Commit();
       }},
  };
  for (const Case& c : cases) {
    TTempFolder dir;
    const std::string path = dir / "base.gbk.zst";
    const std::string older = BackupLikeBytes(50000, 5);
    const TLocalCopyInfo olderInfo = WriteCopy(path, older);
    const std::string olderSum = ReadFileBytes(olderInfo.ChecksumFile);
    bool raised = false;
    try {
      TLocalCopyWriter writer(path, kTuning);
      writer.Write(bytes.data(), bytes.size());
      c.fail(writer, dir.Path);
    } catch (const std::exception& e) {
      raised = true;
      if (std::string(c.name) != "abandoned without commit") {
        EXPECT_NE(std::string(e.what()).find("removed"), std::string::npos) << c.name << ": " << e.what();
      }
    }
    EXPECT_TRUE(raised) << c.name;
    EXPECT_EQ(ReadFileBytes(olderInfo.ChecksumFile), olderSum) << c.name;
    EXPECT_EQ(ReadCopy(path), older) << c.name;
    EXPECT_EQ(FilesIn(dir.Path), (std::vector<std::string>{"base.gbk.zst", "base.gbk.zst.sha256"})) << c.name;
  }
}

TEST(LocalCopy, FolderRemovedMidStreamFailsAndLeavesNothing) {
  TTempFolder dir;
  const std::string folder = dir / "copies";
  fs::create_directory(folder);
  const std::string bytes = BackupLikeBytes(1 << 20, 6);
  std::string message;
  try {
    TLocalCopyWriter writer(folder + "/base.gbk.zst", kTuning);
    writer.Write(bytes.data(), bytes.size());
    fs::remove_all(folder);
    writer.Write(bytes.data(), bytes.size());
    writer.Commit();
  } catch (const std::exception& e) {
    message = e.what();
  }
  EXPECT_NE(message.find("removed"), std::string::npos) << message;
  EXPECT_FALSE(fs::exists(folder));
  // A folder that is missing from the start is named in the refusal.
  message.clear();
  try {
    TLocalCopyWriter writer(folder + "/base.gbk.zst", kTuning);
  } catch (const EOSError& e) {
    message = e.what();
  }
  EXPECT_NE(message.find(folder), std::string::npos) << message;
  EXPECT_FALSE(fs::exists(folder));
}

// A disk that fills up: the copy runs in a child process whose files may
// not grow past 200 kB, so every write beyond that fails as on a full disk.
TEST(LocalCopy, FullDiskFailsWithTheSystemsWordAndKeepsTheOlderCopy) {
  TTempFolder dir;
  const std::string path = dir / "base.gbk.zst";
  const std::string older = BackupLikeBytes(30000, 8);
  WriteCopy(path, older);
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipeFds[0]);
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{200000, 200000};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::string message = "no failure";
    try {
      std::mt19937 random(9);
      std::string noise(4 << 20, '\0');
      for (char& c : noise) c = static_cast<char>(random());
      WriteCopy(path, noise);
    } catch (const std::exception& e) {
      message = e.what();
    }
    (void)!write(pipeFds[1], message.data(), message.size());
    _exit(0);
  }
  close(pipeFds[1]);
  std::string message;
  char buffer[1024];
  for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) message.append(buffer, static_cast<std::size_t>(n));
  close(pipeFds[0]);
  waitpid(child, nullptr, 0);
  EXPECT_NE(message.find("File too large"), std::string::npos) << message;
  EXPECT_NE(message.find(path), std::string::npos) << message;
  EXPECT_EQ(ReadCopy(path), older);
  EXPECT_EQ(FilesIn(dir.Path), (std::vector<std::string>{"base.gbk.zst", "base.gbk.zst.sha256"}));
}

TEST(LocalCopy, DamagedOrUncheckableCopiesAreRefused) {
  struct Case {
    const char* name;
    std::function<void(const std::string& path)> damage;
    const char* message;
    bool atVerify;  // refused by the checksum check, before any byte is read
  };
  const Case cases[] = {
      {"one byte changed", [](const std::string& p) {
         std::string b = ReadFileBytes(p);
         b[b.size() / 2] ^= 0x40;
         WriteFileBytes(p, b);
       }, "does not match", true},
      {"checksum file missing", [](const std::string& p) { fs::remove(p + ".sha256"); }, "is missing", true},
      {"checksum file not a checksum", [](const std::string& p) { WriteFileBytes(p + ".sha256", "hello\n"); },
       "cannot be read", true},
      {"cut short, checksum made to match", [](const std::string& p) {
         std::string b = ReadFileBytes(p);
         WriteFileBytes(p, b.substr(0, b.size() / 2));
         WriteFileBytes(p + ".sha256", Sha256SumLine(Sha256OfFile(p), "base.gbk.zst"));
       }, "cut short", false},
      {"content damaged, checksum made to match", [](const std::string& p) {
         std::string b = ReadFileBytes(p);
         b[b.size() / 2] ^= 0x40;
         WriteFileBytes(p, b);
         WriteFileBytes(p + ".sha256", Sha256SumLine(Sha256OfFile(p), "base.gbk.zst"));
       }, "damaged", false},
  };
  for (const Case& c : cases) {
    TTempFolder dir;
    const std::string path = dir / "base.gbk.zst";
    WriteCopy(path, BackupLikeBytes(1 << 20, 10));
    c.damage(path);
    TLocalCopyReader reader(path, kTuning);
    std::string message;
    bool verified = false;
    try {
      reader.VerifyChecksum();
      verified = true;
      reader.Start();
      char buffer[4096];
      while (reader.Read(buffer, sizeof buffer) > 0) {
      }
    } catch (const std::exception& e) {
      message = e.what();
    }
    EXPECT_NE(message.find(c.message), std::string::npos) << c.name << ": " << message;
    EXPECT_EQ(verified, !c.atVerify) << c.name;
  }
}

TEST(ChunkQueue, CancelReleasesAWaitingProducerAndConsumer) {
  TChunkQueue queue(1);
  ASSERT_TRUE(queue.Push(TChunk(10, 'a')));
  int turns = 0;
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    queue.Cancel();
  });
  EXPECT_FALSE(queue.Push(TChunk(10, 'b'), [&] { ++turns; }));  // full until cancelled
  canceller.join();
  EXPECT_GT(turns, 0);
  EXPECT_FALSE(queue.Pop().has_value());

  TChunkQueue closed(4);
  closed.Push(TChunk(3, 'x'));
  closed.Close();
  EXPECT_EQ(closed.Pop(), TChunk(3, 'x'));  // queued chunks survive the close
  EXPECT_FALSE(closed.Pop().has_value());
}

}  // namespace
