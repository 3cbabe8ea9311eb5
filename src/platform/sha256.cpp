#include "platform/sha256.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/exception.h"

struct TSha256::TContext {
  EVP_MD_CTX* Md = EVP_MD_CTX_new();
  ~TContext() { EVP_MD_CTX_free(Md); }
};

TSha256::TSha256() : FContext(std::make_unique<TContext>()) {
  if (FContext->Md == nullptr || EVP_DigestInit_ex(FContext->Md, EVP_sha256(), nullptr) != 1) {
    throw Exception("SHA-256 is not available from the crypto library");
  }
}

TSha256::~TSha256() = default;

void TSha256::Update(const void* data, std::size_t size) {
  if (size > 0 && EVP_DigestUpdate(FContext->Md, data, size) != 1) throw Exception("SHA-256 computation failed");
}

std::string TSha256::HexDigest() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(FContext->Md, digest, &length) != 1) throw Exception("SHA-256 computation failed");
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 0x0F];
  }
  return text;
}

std::string Sha256OfFile(const std::string& path, const std::function<void()>& afterBlock) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    throw EOSError(error, "Cannot read " + path + ": " + std::strerror(error));
  }
  TSha256 sha;
  std::vector<char> block(1 << 20);
  for (;;) {
    const ssize_t n = read(fd, block.data(), block.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      close(fd);
      throw EOSError(error, "Cannot read " + path + ": " + std::strerror(error));
    }
    if (n == 0) break;
    sha.Update(block.data(), static_cast<std::size_t>(n));
    if (afterBlock) afterBlock();
  }
  close(fd);
  return sha.HexDigest();
}

std::string Sha256SumLine(const std::string& hexDigest, const std::string& fileName) {
  return hexDigest + "  " + fileName + "\n";
}

std::optional<std::string> ParseSha256SumLine(const std::string& text) {
  constexpr std::size_t kDigits = 64;
  if (text.size() < kDigits + 3) return std::nullopt;
  std::string digest = text.substr(0, kDigits);
  for (char& c : digest) {
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return std::nullopt;
  }
  if (text[kDigits] != ' ' || (text[kDigits + 1] != ' ' && text[kDigits + 1] != '*')) return std::nullopt;
  if (text[kDigits + 2] == '\n' || text[kDigits + 2] == '\r') return std::nullopt;
  return digest;
}
