#pragma once
// SHA-256 of byte streams and files, and the checksum file format of
// `sha256sum` ("<64 hex digits>  <file name>\n"), so that `sha256sum -c`
// checks what the program writes.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class TSha256 {
 public:
  TSha256();
  ~TSha256();
  TSha256(const TSha256&) = delete;
  TSha256& operator=(const TSha256&) = delete;

  void Update(const void* data, std::size_t size);
  // The digest as 64 lower-case hexadecimal digits; ends the computation.
  std::string HexDigest();

 private:
  struct TContext;
  std::unique_ptr<TContext> FContext;
};

// The SHA-256 of a whole file. `afterBlock` (if set) runs after every block
// read, so a caller can keep its user interface alive. Raises EOSError when
// the file cannot be read.
std::string Sha256OfFile(const std::string& path, const std::function<void()>& afterBlock = {});

// The line of a checksum file for `fileName` (no folder).
std::string Sha256SumLine(const std::string& hexDigest, const std::string& fileName);

// The digest of the first line of a checksum file ("<hex>  <name>" or the
// binary form "<hex> *<name>"), lower-cased; nullopt when the text is not of
// that form.
std::optional<std::string> ParseSha256SumLine(const std::string& text);
