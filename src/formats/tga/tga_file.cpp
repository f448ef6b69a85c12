#include "formats/tga/tga_file.h"

#include <algorithm>
#include <cstring>

#include "core/byte_writer.h"
#include "formats/common/byte_order.h"

namespace {

std::size_t BytesOfDepth(int depth) {
  switch (depth) {
    case 8: return 1;
    case 15:
    case 16: return 2;
    case 24: return 3;
    case 32: return 4;
    default: return 0;
  }
}

}  // namespace

std::size_t TTargaHeader::PixelBytes() const { return BytesOfDepth(BitsPerPixel); }

std::size_t TTargaHeader::ColorMapBytes() const {
  if (ColorMapType != 1) return 0;
  return static_cast<std::size_t>(ColorMapEntrySize + 7) / 8 * ColorMapLength;
}

std::optional<TTargaHeader> ParseTargaHeader(std::span<const std::uint8_t> b) {
  if (b.size() < kTargaHeaderSize) return std::nullopt;
  TTargaHeader h;
  h.IDLength = b[0];
  h.ColorMapType = b[1];
  h.ImageType = b[2];
  h.ColorMapStart = GetU16LE(&b[3]);
  h.ColorMapLength = GetU16LE(&b[5]);
  h.ColorMapEntrySize = b[7];
  h.Width = GetU16LE(&b[12]);
  h.Height = GetU16LE(&b[14]);
  h.BitsPerPixel = b[16];
  h.Descriptor = b[17];
  return h;
}

bool IsTargaHeader(const TTargaHeader& h) {
  const bool type = h.ImageType <= 3 || (h.ImageType >= 9 && h.ImageType <= 11);
  const std::uint8_t e = h.ColorMapEntrySize;
  return type && h.ColorMapType <= 1 && (e == 15 || e == 16 || e == 24 || e == 32) && h.PixelBytes() != 0;
}

std::vector<std::uint8_t> TargaHeaderBytes(const TTargaHeader& h) {
  std::vector<std::uint8_t> b(kTargaHeaderSize, 0);
  TByteWriter w(b);
  w.U8(h.IDLength);
  w.U8(h.ColorMapType);
  w.U8(h.ImageType);
  w.U16LE(h.ColorMapStart);
  w.U16LE(h.ColorMapLength);
  w.U8(h.ColorMapEntrySize);
  w.Skip(4);  // the origin stays 0, 0
  w.U16LE(h.Width);
  w.U16LE(h.Height);
  w.U8(h.BitsPerPixel);
  w.U8(h.Descriptor);
  return b;
}

TTargaRLEDecoder::TTargaRLEDecoder(int colorDepth) : pixelBytes_(BytesOfDepth(colorDepth)) {}

void TTargaRLEDecoder::Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) {
  if (pixelBytes_ == 0) return;
  TRunCursor run(source, dest);
  std::uint8_t h;
  while (run.DestLeft() && run.Next(h)) {
    const std::size_t n = (h & 127u) + 1;
    if (h & 128u) {
      std::uint8_t pixel[4];
      std::size_t got = 0;
      while (got < pixelBytes_ && run.Next(pixel[got])) ++got;
      if (got < pixelBytes_) break;
      run.FillUnit(pixel, pixelBytes_, n);
    } else {
      const std::size_t bytes = n * pixelBytes_;
      run.Skip(bytes - run.Copy(bytes));
    }
  }
}

void TTargaRLEDecoder::Encode(std::span<const std::uint8_t> source, std::size_t count,
                              std::vector<std::uint8_t>& packed) {
  const std::size_t ps = pixelBytes_;
  if (ps == 0) return;
  count = std::min(count, source.size() / ps);
  const std::uint8_t* p = source.data();
  auto same = [&](std::size_t a, std::size_t b) { return std::memcmp(p + a * ps, p + b * ps, ps) == 0; };
  std::size_t left = count;
  while (left > 0) {
    // Pixels that differ from their successors (the last one has none and
    // is not counted, unless it is all that is left), and the run of
    // pixels equal to the first; each at most 128.
    std::size_t d = 0;
    if (left == 1) {
      d = 1;
    } else {
      while (d + 1 < left && d < 128 && !same(d, d + 1)) ++d;
    }
    std::size_t s = 1;
    while (s < left && s < 128 && same(0, s)) ++s;
    if (d > 0) {
      packed.push_back(static_cast<std::uint8_t>(d - 1));
      packed.insert(packed.end(), p, p + d * ps);
      p += d * ps;
      left -= d;
    } else {
      packed.push_back(static_cast<std::uint8_t>((s - 1) | 128u));
      packed.insert(packed.end(), p, p + ps);
      p += s * ps;
      left -= s;
    }
  }
}
