#include "storage/crypt/decrypting_reader.h"

#include <cstring>
#include <vector>

#include "storage/digest.h"

TDecryptor::TDecryptor(const TCryptKey& key, TByteOutput output) : FKey(key), FOutput(std::move(output)) {}

TDecryptor::~TDecryptor() = default;

void TDecryptor::StartWithHeader() {
  const TCryptHeader header = ParseHeader(FPending);
  if (header.RawKeyId != FKey.RawId()) {
    throw ECryptError("The data was encrypted with another key (key id " + HexOf(header.RawKeyId) +
                      "; the key given has the id " + FKey.Id() + ")");
  }
  FCipher = std::make_unique<TChunkCipher>(FKey, header);
  FSealedBytes = header.ChunkBytes + CryptTagBytes;
  FPending.erase(0, CryptHeaderBytes);
}

void TDecryptor::OpenChunk(std::string_view sealed, bool last) {
  if (!FCipher->Open(FIndex, last, sealed, FPlain)) {
    throw ECryptError("The encrypted data is altered, cut short or out of order: chunk " + std::to_string(FIndex + 1) +
                      " (from byte " + std::to_string(CryptHeaderBytes + FIndex * FSealedBytes) +
                      ") fails its authentication");
  }
  ++FIndex;
  if (!FPlain.empty()) FOutput(FPlain.data(), FPlain.size());
  FBytesOut += FPlain.size();
}

void TDecryptor::Write(const char* data, std::size_t size) {
  if (FFinished) throw ECryptError("The encrypted data goes on past its last chunk");
  FPending.append(data, size);
  FBytesIn += size;
  if (!FCipher) {
    if (FPending.size() < CryptHeaderBytes) return;
    StartWithHeader();
  }
  // A full chunk is opened once a further byte proves it is not the last.
  std::size_t at = 0;
  while (FPending.size() - at > FSealedBytes) {
    OpenChunk(std::string_view(FPending).substr(at, FSealedBytes), false);
    at += FSealedBytes;
  }
  FPending.erase(0, at);
}

void TDecryptor::Finish() {
  if (FFinished) return;
  if (!FCipher) {
    if (FPending.size() < CryptHeaderBytes) {
      throw ECryptError("The encrypted data ends within its header (" + std::to_string(FBytesIn) + " bytes)");
    }
    StartWithHeader();
  }
  OpenChunk(FPending, true);
  FPending.clear();
  FFinished = true;
}

TDecryptingReader::TDecryptingReader(const TCryptKey& key, TByteInput input)
    : FInput(std::move(input)),
      FDecryptor(key, [this](const char* data, std::size_t size) { FReady.append(data, size); }) {}

std::size_t TDecryptingReader::Read(char* buffer, std::size_t capacity) {
  std::vector<char> block;
  while (FReadyAt == FReady.size() && !FEnded) {
    FReady.clear();
    FReadyAt = 0;
    block.resize(DefaultCryptChunkBytes);
    const std::size_t got = FInput(block.data(), block.size());
    if (got == 0) {
      FDecryptor.Finish();
      FEnded = true;
    } else {
      FDecryptor.Write(block.data(), got);
    }
  }
  const std::size_t size = std::min(capacity, FReady.size() - FReadyAt);
  std::memcpy(buffer, FReady.data() + FReadyAt, size);
  FReadyAt += size;
  return size;
}
