#include "storage/crypt/chunk_format.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include "platform/exception.h"

namespace {

constexpr std::uint8_t CipherAes256Gcm = 1;

void PutBigEndian(std::string& out, std::uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint64_t BigEndian(std::string_view bytes) {
  std::uint64_t value = 0;
  for (unsigned char c : bytes) value = value << 8 | c;
  return value;
}

EVP_CIPHER_CTX* Context(void* context) { return static_cast<EVP_CIPHER_CTX*>(context); }

const unsigned char* Bytes(std::string_view text) { return reinterpret_cast<const unsigned char*>(text.data()); }

}  // namespace

std::string HeaderBytes(const TCryptHeader& header) {
  std::string bytes(CryptMagic);
  bytes += static_cast<char>(CryptVersion);
  bytes += static_cast<char>(CipherAes256Gcm);
  bytes += std::string(2, '\0');
  PutBigEndian(bytes, header.ChunkBytes, 4);
  bytes += header.RawKeyId;
  bytes += header.NonceBase;
  return bytes;
}

TCryptHeader ParseHeader(std::string_view bytes) {
  if (bytes.size() < CryptHeaderBytes || bytes.substr(0, CryptMagic.size()) != CryptMagic) {
    throw ECryptError("The data is not encrypted by this program (its header is missing)");
  }
  if (static_cast<std::uint8_t>(bytes[8]) != CryptVersion || static_cast<std::uint8_t>(bytes[9]) != CipherAes256Gcm) {
    throw ECryptError("The data is encrypted in a format version (" +
                      std::to_string(static_cast<std::uint8_t>(bytes[8])) + ") or cipher this program does not know");
  }
  TCryptHeader header;
  header.ChunkBytes = static_cast<std::size_t>(BigEndian(bytes.substr(12, 4)));
  header.RawKeyId = std::string(bytes.substr(16, 8));
  header.NonceBase = std::string(bytes.substr(24, CryptNonceBytes));
  if (header.ChunkBytes < MinCryptChunkBytes || header.ChunkBytes > MaxCryptChunkBytes) {
    throw ECryptError("The encrypted data's header is damaged (a chunk size of " + std::to_string(header.ChunkBytes) +
                      " bytes)");
  }
  return header;
}

TChunkCipher::TChunkCipher(const TCryptKey& key, const TCryptHeader& header)
    : FKey(key.Bytes()), FHeader(HeaderBytes(header)), FNonceBase(header.NonceBase), FContext(EVP_CIPHER_CTX_new()) {
  if (FContext == nullptr) throw Exception("The crypto library cannot start AES-256-GCM");
}

TChunkCipher::~TChunkCipher() {
  EVP_CIPHER_CTX_free(Context(FContext));
  OPENSSL_cleanse(FKey.data(), FKey.size());
}

std::string TChunkCipher::Nonce(std::uint64_t index) const {
  std::string nonce = FNonceBase;
  for (int i = 0; i < 8; ++i) nonce[CryptNonceBytes - 1 - i] ^= static_cast<char>((index >> (8 * i)) & 0xFF);
  return nonce;
}

std::string TChunkCipher::AssociatedData(std::uint64_t index, bool last) const {
  std::string data = FHeader;
  PutBigEndian(data, index, 8);
  data += static_cast<char>(last ? 1 : 0);
  return data;
}

std::string TChunkCipher::Seal(std::uint64_t index, bool last, std::string_view plaintext) {
  EVP_CIPHER_CTX* context = Context(FContext);
  const std::string nonce = Nonce(index);
  const std::string aad = AssociatedData(index, last);
  std::string sealed(plaintext.size() + CryptTagBytes, '\0');
  auto* out = reinterpret_cast<unsigned char*>(sealed.data());
  int length = 0;
  int finalLength = 0;
  const bool ok = EVP_EncryptInit_ex(context, EVP_aes_256_gcm(), nullptr, Bytes(FKey), Bytes(nonce)) == 1 &&
                  EVP_EncryptUpdate(context, nullptr, &length, Bytes(aad), static_cast<int>(aad.size())) == 1 &&
                  EVP_EncryptUpdate(context, out, &length, Bytes(plaintext), static_cast<int>(plaintext.size())) == 1 &&
                  EVP_EncryptFinal_ex(context, out + length, &finalLength) == 1 &&
                  EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_GCM_GET_TAG, CryptTagBytes, out + plaintext.size()) == 1;
  if (!ok) throw Exception("The crypto library failed to encrypt a chunk");
  return sealed;
}

bool TChunkCipher::Open(std::uint64_t index, bool last, std::string_view sealed, std::string& plaintext) {
  plaintext.clear();
  if (sealed.size() < CryptTagBytes) return false;
  EVP_CIPHER_CTX* context = Context(FContext);
  const std::string nonce = Nonce(index);
  const std::string aad = AssociatedData(index, last);
  const std::size_t size = sealed.size() - CryptTagBytes;
  std::string tag(sealed.substr(size));
  plaintext.resize(size);
  auto* out = reinterpret_cast<unsigned char*>(plaintext.data());
  int length = 0;
  int finalLength = 0;
  const bool ok = EVP_DecryptInit_ex(context, EVP_aes_256_gcm(), nullptr, Bytes(FKey), Bytes(nonce)) == 1 &&
                  EVP_DecryptUpdate(context, nullptr, &length, Bytes(aad), static_cast<int>(aad.size())) == 1 &&
                  EVP_DecryptUpdate(context, out, &length, Bytes(sealed), static_cast<int>(size)) == 1 &&
                  EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_GCM_SET_TAG, CryptTagBytes, tag.data()) == 1 &&
                  EVP_DecryptFinal_ex(context, out + length, &finalLength) == 1;
  if (!ok) {
    OPENSSL_cleanse(plaintext.data(), plaintext.size());
    plaintext.clear();
  }
  return ok;
}
