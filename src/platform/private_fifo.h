#pragma once
// A named pipe through which another party (gbak) hands a file to this
// process without it ever touching a disk. The pipe lies in a folder of its
// own, readable by this user only, and goes with it. The reading end is
// opened without waiting, before the writer comes, so neither side can wait
// for the other to open: a writer finds a reader at once, and a writer that
// never comes leaves the reader free to give up.

#include <chrono>
#include <cstddef>
#include <string>

class TPrivateFifo {
 public:
  enum class TRead {
    Data,  // bytes arrived
    Idle,  // nothing within the wait: no writer yet, or a silent one
    End,   // the writer has closed the pipe
  };

  // Makes the folder in the system's temporary folder, the pipe in it, and
  // opens the reading end. Raises EOSError when any of it fails (nothing is
  // left behind then).
  TPrivateFifo();
  // Removes the pipe and its folder, then closes the reading end.
  ~TPrivateFifo();
  TPrivateFifo(const TPrivateFifo&) = delete;
  TPrivateFifo& operator=(const TPrivateFifo&) = delete;

  const std::string& Path() const { return FPath; }
  const std::string& Folder() const { return FFolder; }

  // Waits up to `timeout` for bytes and reads at most `capacity` of them
  // into `buffer` (`count` says how many). End only once a writer has
  // opened and closed the pipe, or, with `writerGone`, as soon as nothing
  // is left to read: a writer that never opened it, or one whose descriptor
  // outlived its work, cannot hold the reader up. Raises EOSError on a read
  // error.
  TRead Read(char* buffer, std::size_t capacity, std::chrono::milliseconds timeout, bool writerGone,
             std::size_t& count);

  // Closes the reading end (once; later calls do nothing): a writer's next
  // write fails with EPIPE.
  void CloseReadEnd();
  // Takes the pipe and its folder away: a writer that has not opened the
  // pipe yet then finds no such path instead of waiting for a reader.
  void Remove();

 private:
  std::string FFolder;
  std::string FPath;
  int FReadEnd = -1;
};
