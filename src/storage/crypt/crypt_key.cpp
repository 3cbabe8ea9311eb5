#include "storage/crypt/crypt_key.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/rand.h>
#include <unistd.h>

#include "platform/durable_file.h"
#include "platform/exception.h"
#include "platform/private_file.h"
#include "platform/text.h"
#include "storage/digest.h"

namespace {

constexpr std::string_view KeyIdLabel = "quorvin key id";
constexpr std::size_t KeyIdBytes = 8;

}  // namespace

TCryptKey::TCryptKey(std::string bytes) : FBytes(std::move(bytes)) {
  if (FBytes.size() != CryptKeyBytes) {
    OPENSSL_cleanse(FBytes.data(), FBytes.size());
    throw Exception("An encryption key has 32 bytes, not " + std::to_string(FBytes.size()));
  }
}

TCryptKey::~TCryptKey() { OPENSSL_cleanse(FBytes.data(), FBytes.size()); }

std::string TCryptKey::RawId() const { return Sha256Of(std::string(KeyIdLabel) + FBytes).substr(0, KeyIdBytes); }

std::string TCryptKey::Id() const { return HexOf(RawId()); }

TCryptKey ReadKeyFile(const std::string& path) {
  std::string content = ReadPrivateFile(path, "encryption key file");
  if (content.size() == CryptKeyBytes) return TCryptKey(std::move(content));
  const std::string digits = TrimControls(content);
  bool hex = false;
  std::string bytes = digits.size() == 2 * CryptKeyBytes ? BytesOfHex(digits, hex) : std::string();
  OPENSSL_cleanse(content.data(), content.size());
  if (!hex) {
    throw Exception("The encryption key file " + path + " holds neither 32 bytes nor 64 hexadecimal digits");
  }
  return TCryptKey(std::move(bytes));
}

TCryptKey CreateKeyFile(const std::string& path) {
  std::string bytes(CryptKeyBytes, '\0');
  if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(bytes.size())) != 1) {
    throw Exception("The crypto library gives no random bytes for a new key");
  }
  TCryptKey key(std::move(bytes));
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) RaiseFileError("Cannot create the encryption key file", path);
  std::string text = HexOf(key.Bytes()) + "\n";
  bool open = true;
  try {
    WriteFully(fd, text.data(), text.size(), path);
    OPENSSL_cleanse(text.data(), text.size());
    open = false;
    SyncAndClose(fd, path);
  } catch (...) {
    OPENSSL_cleanse(text.data(), text.size());
    if (open) CloseFile(fd);
    unlink(path.c_str());
    throw;
  }
  return key;
}
