#pragma once
// A set over an enumeration whose members are numbered from 0.

#include <cstdint>
#include <initializer_list>

template <typename E>
class TOptionSet {
 public:
  constexpr TOptionSet() = default;
  constexpr TOptionSet(std::initializer_list<E> members) {
    for (E m : members) Include(m);
  }
  constexpr void Include(E m) { FBits |= Mask(m); }
  // Every member of `other` as well.
  constexpr void Include(TOptionSet other) { FBits |= other.FBits; }
  constexpr void Exclude(E m) { FBits &= ~Mask(m); }
  constexpr bool Contains(E m) const { return (FBits & Mask(m)) != 0; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr void Clear() { FBits = 0; }
  constexpr bool operator==(const TOptionSet&) const = default;
  // Membership bits by member number (bit n = member n).
  constexpr uint32_t Members() const { return FBits; }

 private:
  static constexpr uint32_t Mask(E m) { return uint32_t{1} << static_cast<unsigned>(m); }
  uint32_t FBits = 0;
};
