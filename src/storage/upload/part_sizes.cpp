#include "storage/upload/part_sizes.h"

#include <algorithm>

namespace {

constexpr int ExpectedFillsParts = 4000;
constexpr int EvenParts = 5000;
constexpr int PartsPerDoubling = 1000;

}  // namespace

std::uint64_t BasePartSize(std::uint64_t expectedBytes, std::uint64_t minPart) {
  const std::uint64_t needed = (expectedBytes + ExpectedFillsParts - 1) / ExpectedFillsParts;
  const std::uint64_t wholeMiB = (std::max(needed, minPart) + MiB - 1) / MiB * MiB;
  return std::min(wholeMiB, MaxPartBytes);
}

std::uint64_t PartSize(std::uint64_t baseSize, int partNumber) {
  if (partNumber <= EvenParts) return baseSize;
  const int doublings = (partNumber - EvenParts - 1) / PartsPerDoubling + 1;
  return std::min(baseSize << doublings, MaxPartBytes);
}
