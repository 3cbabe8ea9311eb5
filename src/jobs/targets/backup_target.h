#pragma once
// Where a copy of a backup goes, seen the same way whatever the place is:
// a copy is put as a stream (never whole in memory) and made only when its
// writer commits; copies are stated, read back as a stream, listed and
// removed by name.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "storage/crypt/encrypting_writer.h"

// Facts stored with a copy (names in lower case), such as how it is
// compressed and by which key it is encrypted.
using TCopyMetadata = std::map<std::string, std::string>;

struct TStoredCopy {
  std::string Name;      // as the target names it
  std::string Location;  // for messages and the history ("s3://bucket/prefix/name")
  std::uint64_t Size = 0;
  std::string Sha256;  // of every byte stored, when the target knows it
  TCopyMetadata Metadata;
  // Seconds since 1970 (UTC) before which the target refuses to remove the
  // copy (Object Lock); 0: none known.
  std::int64_t RetainUntil = 0;
  // Seconds since 1970 (UTC) it was last written, when the target knows it.
  std::int64_t Modified = 0;
};

// A copy being written. Dropped before Commit, it leaves nothing behind.
class TCopyWriter {
 public:
  virtual ~TCopyWriter() = default;
  virtual void Write(const char* data, std::size_t size) = 0;
  // Makes the copy and checks it where it stands; raises (nothing made) on
  // any failure.
  virtual TStoredCopy Commit() = 0;
};

class TBackupTarget {
 public:
  virtual ~TBackupTarget() = default;
  // The copy `name` for messages; an empty name: the target itself.
  virtual std::string Describe(const std::string& name) const = 0;
  // `expectedBytes`: about how large the copy will be (0: not known).
  virtual std::unique_ptr<TCopyWriter> Put(const std::string& name, const TCopyMetadata& metadata,
                                           std::uint64_t expectedBytes) = 0;
  // nullopt when there is no copy of that name.
  virtual std::optional<TStoredCopy> Stat(const std::string& name) = 0;
  // Streams the copy to `output` as it arrives.
  virtual void Read(const std::string& name, const TByteOutput& output) = 0;
  virtual std::vector<TStoredCopy> List() = 0;
  virtual void Remove(const std::string& name) = 0;
  // Drops what a Put of `name` that was cut short (a killed program) left
  // behind unfinished; returns how many such leftovers it dropped.
  virtual int DropUnfinished(const std::string& name) = 0;
};
