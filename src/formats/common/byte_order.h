#pragma once
// Byte order of the readers: swapping whole arrays of 16- and 32-bit
// values in place, and reading single values of either order from bytes
// whose length the caller has checked.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

constexpr std::uint16_t SwapShort(std::uint16_t v) { return static_cast<std::uint16_t>((v << 8) | (v >> 8)); }

// The 32-bit value with its four bytes reversed.
constexpr std::uint32_t SwapLong(std::uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
}

// Exchanges the two bytes of each of the first count 16-bit values of
// data. Raises ERangeError when data holds fewer than 2 x count bytes.
void SwapShortArray(std::span<std::uint8_t> data, std::size_t count);
// Reverses the four bytes of each of the first count 32-bit values of
// data. Raises ERangeError when data holds fewer than 4 x count bytes.
void SwapLongArray(std::span<std::uint8_t> data, std::size_t count);

// Values from bytes; p must point at enough bytes.
inline std::uint16_t GetU16LE(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint16_t GetU16BE(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }
inline std::uint32_t GetU32LE(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint32_t GetU32BE(const std::uint8_t* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
         (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

// A 16-bit sample in the machine's order, from any alignment.
inline std::uint16_t LoadU16(const std::uint8_t* p) {
  std::uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void StoreU16(std::uint8_t* p, std::uint16_t v) { std::memcpy(p, &v, sizeof v); }
