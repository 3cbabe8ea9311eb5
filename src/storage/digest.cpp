#include "storage/digest.h"

#include <openssl/evp.h>

#include "platform/exception.h"

namespace {

std::string DigestOf(const EVP_MD* md, std::string_view data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(data.data(), data.size(), digest, &length, md, nullptr) != 1) {
    throw Exception("The crypto library could not compute a digest");
  }
  return std::string(reinterpret_cast<const char*>(digest), length);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string Md5Of(std::string_view data) { return DigestOf(EVP_md5(), data); }

std::string Sha256Of(std::string_view data) { return DigestOf(EVP_sha256(), data); }

std::string HexOf(std::string_view bytes) {
  static const char Hex[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    text += Hex[c >> 4];
    text += Hex[c & 0x0F];
  }
  return text;
}

std::string BytesOfHex(std::string_view hex, bool& ok) {
  ok = false;
  if (hex.size() % 2 != 0) return {};
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexValue(hex[i]);
    const int low = HexValue(hex[i + 1]);
    if (high < 0 || low < 0) return {};
    bytes += static_cast<char>(high * 16 + low);
  }
  ok = true;
  return bytes;
}

std::string Base64Of(std::string_view bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3), '\0');
  const int length =
      EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                      reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
  text.resize(static_cast<std::size_t>(length));
  return text;
}
