#include "platform/sha256.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace {

struct TDigestFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using TDigest = std::unique_ptr<EVP_MD_CTX, TDigestFree>;

TDigest NewDigest() {
  TDigest digest(EVP_MD_CTX_new());
  if (digest && EVP_DigestInit_ex(digest.get(), EVP_sha256(), nullptr) != 1) digest.reset();
  return digest;
}

std::optional<std::string> HexOf(EVP_MD_CTX* digest) {
  unsigned char value[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(digest, value, &length) != 1) return std::nullopt;
  static constexpr char Digits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    hex += Digits[value[i] >> 4];
    hex += Digits[value[i] & 0x0F];
  }
  return hex;
}

struct TCloseFile {
  int Fd;
  ~TCloseFile() { close(Fd); }
};

}  // namespace

std::string Sha256Hex(std::string_view data) {
  TDigest digest = NewDigest();
  if (!digest || EVP_DigestUpdate(digest.get(), data.data(), data.size()) != 1) return {};
  return HexOf(digest.get()).value_or(std::string());
}

std::optional<std::string> Sha256OfFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  const TCloseFile closer{fd};
  TDigest digest = NewDigest();
  if (!digest) return std::nullopt;
  // Large blocks: a backup of some gigabytes is read once, at disk speed.
  std::vector<char> block(1 << 20);
  for (;;) {
    const ssize_t n = read(fd, block.data(), block.size());
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (EVP_DigestUpdate(digest.get(), block.data(), static_cast<std::size_t>(n)) != 1) return std::nullopt;
  }
  return HexOf(digest.get());
}
