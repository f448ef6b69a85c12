#include "formats/common/row_routines.h"

#include <cstring>

#include "core/exceptions.h"
#include "formats/common/byte_order.h"
#include "formats/common/untraced.h"

namespace {

[[noreturn]] void RangeError() { throw ERangeError("Range check error"); }

// Adds to every byte from stride on the byte stride places before it.
void AddPrevious(std::uint8_t* p, std::uint64_t bytes, std::uint64_t stride) {
  for (std::uint64_t i = stride; i < bytes; ++i) p[i] = static_cast<std::uint8_t>(p[i] + p[i - stride]);
}

void UndoBytes(std::span<std::uint8_t> row, std::uint32_t count, std::uint64_t pixelBytes) {
  const std::uint64_t bytes = (static_cast<std::uint64_t>(count) + 1) * pixelBytes;
  if (bytes > row.size()) RangeError();
  AddPrevious(row.data(), bytes, pixelBytes);
}

}  // namespace

void UndoDifferencing1(std::span<std::uint8_t> row, std::uint32_t count) { UndoBytes(row, count, 1); }
void UndoDifferencing3(std::span<std::uint8_t> row, std::uint32_t count) { UndoBytes(row, count, 3); }
void UndoDifferencing4(std::span<std::uint8_t> row, std::uint32_t count) { UndoBytes(row, count, 4); }

bool UndoDifferencing(std::span<std::uint8_t> row, std::uint32_t width, int samplesPerPixel, int bitsPerSample,
                      bool bigEndian) {
  if ((bitsPerSample != 8 && bitsPerSample != 16) || samplesPerPixel < 1) return false;
  const std::uint64_t sampleBytes = static_cast<std::uint64_t>(bitsPerSample) / 8;
  const std::uint64_t stride = sampleBytes * static_cast<std::uint64_t>(samplesPerPixel);
  const std::uint64_t bytes = stride * width;
  if (bytes > row.size()) RangeError();
  std::uint8_t* p = row.data();
  if (sampleBytes == 1) {
    AddPrevious(p, bytes, stride);
    return true;
  }
  for (std::uint64_t i = stride; i < bytes; i += 2) {
    std::uint8_t* s = p + i;
    const std::uint8_t* before = s - stride;
    if (bigEndian) {
      const auto v = static_cast<std::uint16_t>(GetU16BE(s) + GetU16BE(before));
      s[0] = static_cast<std::uint8_t>(v >> 8);
      s[1] = static_cast<std::uint8_t>(v);
    } else {
      const auto v = static_cast<std::uint16_t>(GetU16LE(s) + GetU16LE(before));
      s[0] = static_cast<std::uint8_t>(v);
      s[1] = static_cast<std::uint8_t>(v >> 8);
    }
  }
  return true;
}

namespace {

// One source row to twice its width, from right to left so that a row
// may be its own target.
SW_UNTRACED void WidenRow(const std::uint8_t* src, std::uint8_t* out, std::uint64_t w) {
  const std::uint8_t last = src[w - 1];
  out[2 * w - 1] = last;
  out[2 * w - 2] = last;
  for (std::uint64_t x = w - 1; x-- > 0;) {
    const unsigned a = src[x];
    const unsigned b = src[x + 1];
    out[2 * x + 1] = static_cast<std::uint8_t>((a + b + 1) / 2);
    out[2 * x] = static_cast<std::uint8_t>(a);
  }
}

// The odd row between two widened ones.
SW_UNTRACED void BlendRows(const std::uint8_t* upper, const std::uint8_t* lower, std::uint8_t* between,
                           std::uint64_t w) {
  for (std::uint64_t x = 0; x + 1 < w; ++x) {
    between[2 * x] = static_cast<std::uint8_t>((upper[2 * x] + lower[2 * x] + 1) / 2);
    between[2 * x + 1] =
        static_cast<std::uint8_t>((upper[2 * x] + upper[2 * x + 2] + lower[2 * x] + lower[2 * x + 2] + 2) / 4);
  }
  const std::uint64_t x = w - 1;
  between[2 * x] = static_cast<std::uint8_t>((upper[2 * x] + lower[2 * x] + 1) / 2);
  between[2 * x + 1] = static_cast<std::uint8_t>((upper[2 * x + 1] + lower[2 * x] + 1) / 2);
}

}  // namespace

void UpsamplePlane(std::uint32_t width, std::uint32_t height, std::uint32_t rowStride, std::span<std::uint8_t> buffer) {
  if (width == 0 || height == 0) return;
  const std::uint64_t w = width;
  const std::uint64_t stride = rowStride;
  if (stride < 2 * w || 2 * static_cast<std::uint64_t>(height) * stride > buffer.size()) RangeError();
  std::uint8_t* base = buffer.data();

  // Each source row to its even output row at twice the width, bottom row
  // first so that no source row is overwritten before it is read (row 0 is
  // its own target).
  for (std::uint64_t y = height; y-- > 0;) WidenRow(base + y * stride, base + 2 * y * stride, w);
  // The odd rows between two even ones.
  for (std::uint64_t y = 0; y + 1 < height; ++y) {
    BlendRows(base + 2 * y * stride, base + 2 * (y + 1) * stride, base + (2 * y + 1) * stride, w);
  }

  std::memcpy(base + (2 * static_cast<std::uint64_t>(height) - 1) * stride,
              base + (2 * static_cast<std::uint64_t>(height) - 2) * stride, 2 * w);
}
