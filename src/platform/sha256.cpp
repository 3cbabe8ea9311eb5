#include "platform/sha256.h"

#include <openssl/evp.h>

#include <vector>

#include "platform/durable_file.h"
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
  static const char Hex[] = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    text += Hex[digest[i] >> 4];
    text += Hex[digest[i] & 0x0F];
  }
  return text;
}

std::string Sha256OfFile(const std::string& path, const std::function<void()>& afterBlock) {
  const int fd = OpenForReading(path);
  TSha256 sha;
  std::vector<char> block(1 << 20);
  try {
    for (std::size_t n; (n = ReadBlock(fd, block.data(), block.size(), path)) > 0;) {
      sha.Update(block.data(), n);
      if (afterBlock) afterBlock();
    }
  } catch (...) {
    CloseFile(fd);
    throw;
  }
  CloseFile(fd);
  return sha.HexDigest();
}

std::string Sha256SumLine(const std::string& hexDigest, const std::string& fileName) {
  return hexDigest + "  " + fileName + "\n";
}

std::optional<std::string> ParseSha256SumLine(const std::string& text) {
  constexpr std::size_t Digits = 64;
  if (text.size() < Digits + 3) return std::nullopt;
  std::string digest = text.substr(0, Digits);
  for (char& c : digest) {
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return std::nullopt;
  }
  if (text[Digits] != ' ' || (text[Digits + 1] != ' ' && text[Digits + 1] != '*')) return std::nullopt;
  if (text[Digits + 2] == '\n' || text[Digits + 2] == '\r') return std::nullopt;
  return digest;
}
