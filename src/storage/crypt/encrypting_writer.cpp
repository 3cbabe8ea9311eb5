#include "storage/crypt/encrypting_writer.h"

#include <openssl/rand.h>

#include "platform/exception.h"

namespace {

TCryptHeader NewHeader(const TCryptKey& key, std::size_t chunkBytes) {
  if (chunkBytes < MinCryptChunkBytes || chunkBytes > MaxCryptChunkBytes) {
    throw Exception("An encrypted chunk has " + std::to_string(MinCryptChunkBytes) + " to " +
                    std::to_string(MaxCryptChunkBytes) + " bytes");
  }
  TCryptHeader header;
  header.ChunkBytes = chunkBytes;
  header.RawKeyId = key.RawId();
  header.NonceBase.resize(CryptNonceBytes);
  if (RAND_bytes(reinterpret_cast<unsigned char*>(header.NonceBase.data()), CryptNonceBytes) != 1) {
    throw Exception("The crypto library gives no random bytes for a nonce");
  }
  return header;
}

}  // namespace

TEncryptingWriter::TEncryptingWriter(const TCryptKey& key, TByteOutput output, std::size_t chunkBytes)
    : TEncryptingWriter(key, std::move(output), NewHeader(key, chunkBytes)) {}

TEncryptingWriter::TEncryptingWriter(const TCryptKey& key, TByteOutput output, const TCryptHeader& header)
    : FOutput(std::move(output)), FChunkBytes(header.ChunkBytes), FCipher(key, header), FHeader(HeaderBytes(header)) {
  FPending.reserve(FChunkBytes);
}

void TEncryptingWriter::Emit(const std::string& bytes) {
  if (!FHeader.empty()) {
    FOutput(FHeader.data(), FHeader.size());
    FBytesOut += FHeader.size();
    FHeader.clear();
  }
  FOutput(bytes.data(), bytes.size());
  FBytesOut += bytes.size();
}

void TEncryptingWriter::Write(const char* data, std::size_t size) {
  if (FFinished) throw Exception("Data written after the end of an encrypted stream");
  while (size > 0) {
    // A full chunk goes once a further byte proves it is not the last.
    if (FPending.size() == FChunkBytes) {
      Emit(FCipher.Seal(FIndex++, false, FPending));
      FPending.clear();
    }
    const std::size_t piece = std::min(size, FChunkBytes - FPending.size());
    FPending.append(data, piece);
    data += piece;
    size -= piece;
  }
}

void TEncryptingWriter::Finish() {
  if (FFinished) return;
  Emit(FCipher.Seal(FIndex++, true, FPending));
  FPending.clear();
  FFinished = true;
}
