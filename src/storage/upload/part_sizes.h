#pragma once
// How a multipart upload cuts an object into parts. A store takes at most
// 10 000 parts of at most 5 GiB, each but the last at least 5 MiB. Parts
// are as small as the expected size allows (one part is held in memory, a
// second while the first is sent), and grow past the expected size so that
// an object far larger than expected still fits.

#include <cstdint>

inline constexpr std::uint64_t MiB = 1024 * 1024;
inline constexpr std::uint64_t MinPartBytes = 5 * MiB;
inline constexpr std::uint64_t MaxPartBytes = 5 * 1024 * MiB;
inline constexpr int MaxParts = 10000;

// The size of the first parts: the expected size fills at most 4 000 of
// them; at least `minPart`; whole MiB. 0 expected bytes: not known.
std::uint64_t BasePartSize(std::uint64_t expectedBytes, std::uint64_t minPart = MinPartBytes);

// The size of part `partNumber` (from 1): the base size for the first 5 000
// parts, then twice as large every 1 000 parts (at most 5 GiB), so that the
// 10 000 parts hold 67 000 base sizes, over sixteen times the expected size.
std::uint64_t PartSize(std::uint64_t baseSize, int partNumber);
