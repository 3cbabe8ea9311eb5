// The private named pipe: a folder of this user's own that goes with it, no
// wait for a writer that never comes, the bytes of one that does, and a
// reader gone that fails the writer's write instead of ending the process.

#include "platform/private_fifo.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/process_signals.h"

namespace {

using TRead = TPrivateFifo::TRead;

TEST(PrivateFifo, PrivateFolderAbsentWriterBytesEndAndBrokenPipe) {
  std::string folder;
  {
    TPrivateFifo fifo;
    folder = fifo.Folder();
    struct stat info {};
    ASSERT_EQ(stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(stat(fifo.Path().c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    char buffer[16];
    std::size_t count = 0;
    const auto read = [&](bool writerGone) {
      return fifo.Read(buffer, sizeof buffer, std::chrono::milliseconds(0), writerGone, count);
    };
    // No writer yet: no end either, until the writer is known to be gone.
    EXPECT_EQ(read(false), TRead::Idle);
    EXPECT_EQ(read(true), TRead::End);
    // A reader is there: a writer opens without waiting.
    int writer = open(fifo.Path().c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(write(writer, "abc", 3), 3);
    EXPECT_EQ(read(false), TRead::Data);
    EXPECT_EQ(std::string(buffer, count), "abc");
    EXPECT_EQ(read(false), TRead::Idle);  // a silent writer
    close(writer);
    EXPECT_EQ(read(false), TRead::End);
    writer = open(fifo.Path().c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    IgnoreBrokenPipes();
    fifo.CloseReadEnd();
    EXPECT_EQ(write(writer, "d", 1), -1);
    EXPECT_EQ(errno, EPIPE);
    close(writer);
  }
  EXPECT_FALSE(std::filesystem::exists(folder));
}

}  // namespace
