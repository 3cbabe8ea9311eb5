#include "platform/private_fifo.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/durable_file.h"

TPrivateFifo::TPrivateFifo() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quorvin-copy-XXXXXX").string();
  // mkdtemp makes the folder readable by its owner only.
  if (mkdtemp(pattern.data()) == nullptr) RaiseFileError("Cannot create a private folder", pattern);
  FFolder = pattern;
  FPath = FFolder + "/backup.fifo";
  if (mkfifo(FPath.c_str(), 0600) != 0) {
    const int error = errno;
    Remove();
    errno = error;
    RaiseFileError("Cannot create the named pipe", FPath);
  }
  FReadEnd = open(FPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (FReadEnd < 0) {
    const int error = errno;
    Remove();
    errno = error;
    RaiseFileError("Cannot open the named pipe", FPath);
  }
}

TPrivateFifo::~TPrivateFifo() {
  // Gone first: a writer still to come must not find the pipe without a
  // reader, or it would wait for one for ever.
  Remove();
  CloseReadEnd();
}

TPrivateFifo::TRead TPrivateFifo::Read(char* buffer, std::size_t capacity, std::chrono::milliseconds timeout,
                                       bool writerGone, std::size_t& count) {
  count = 0;
  pollfd wait{FReadEnd, POLLIN, 0};
  const int ready = poll(&wait, 1, static_cast<int>(timeout.count()));
  if (ready < 0 && errno != EINTR) RaiseFileError("Cannot read the named pipe", FPath);
  // Linux reports a hang-up only once a writer has come and gone; before
  // that, reading would say "end" at once, so it waits for an event.
  if (ready <= 0 && !writerGone) return TRead::Idle;
  const ssize_t got = read(FReadEnd, buffer, capacity);
  if (got > 0) {
    count = static_cast<std::size_t>(got);
    return TRead::Data;
  }
  if (got == 0) return TRead::End;
  if (errno != EAGAIN && errno != EINTR) RaiseFileError("Cannot read the named pipe", FPath);
  return writerGone && errno == EAGAIN ? TRead::End : TRead::Idle;
}

void TPrivateFifo::CloseReadEnd() {
  if (FReadEnd < 0) return;
  close(FReadEnd);
  FReadEnd = -1;
}

void TPrivateFifo::Remove() {
  if (FFolder.empty()) return;
  // A writer that opened the path in the instant between the pipe's removal
  // and the folder's made a plain file there: the second pass takes it.
  for (int pass = 0; pass < 3; ++pass) {
    std::error_code ignored;
    std::filesystem::remove_all(FFolder, ignored);
    if (!std::filesystem::exists(FFolder, ignored)) break;
  }
  FFolder.clear();
}
