#include "core/bmp.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "core/bitmap.h"
#include "core/byte_reader.h"
#include "core/byte_writer.h"
#include "core/exceptions.h"
#include "core/streams.h"

namespace {

const char* const kInvalid = "Bitmap image is not valid";

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiJpeg = 4;
constexpr std::uint32_t kBiPng = 5;

constexpr std::uint64_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;

using Reader = TByteReader<EInvalidGraphic>;

[[noreturn]] void Invalid() { throw EInvalidGraphic(kInvalid); }
[[noreturn]] void Invalid(const std::string& detail) { throw EInvalidGraphic(std::string(kInvalid) + ": " + detail); }

struct DibHeader {
  std::uint32_t size = 0;
  bool core = false;  // OS/2 1.x: 3-byte palette entries, no compression
  std::int64_t width = 0;
  std::int64_t rows = 0;  // rows of the picture (half the stored height for icons)
  bool topDown = false;
  int bits = 0;
  std::uint32_t compression = kBiRgb;
  std::uint32_t sizeImage = 0;
  std::uint32_t clrUsed = 0;
  std::uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  std::uint64_t end = 0;                  // position after the header and any masks
};

// Reads and checks the info header at the reader's position.
DibHeader ReadHeader(Reader& r, bool heightIsDoubled) {
  DibHeader h;
  const std::uint64_t start = r.Position();
  h.size = r.U32LE();
  std::int64_t storedHeight = 0;
  int planes = 0;
  bool os2v2 = false;
  if (h.size == 12) {
    h.core = true;
    h.width = r.U16LE();
    storedHeight = r.U16LE();  // always bottom-up
    planes = r.U16LE();
    h.bits = r.U16LE();
  } else if ((h.size >= 16 && h.size <= 64) || h.size == 108 || h.size == 124) {
    os2v2 = h.size != 40 && h.size != 52 && h.size != 56 && h.size <= 64;
    r.Need(h.size - 4);
    h.width = r.I32LE();
    storedHeight = r.I32LE();
    planes = r.U16LE();
    h.bits = r.U16LE();
    // The remaining fields, as far as the header holds them: compression,
    // image size, two resolutions, colours used, colours important, then
    // the red, green, blue and alpha masks.
    std::uint32_t fields[10] = {};
    const std::uint32_t count = std::min<std::uint32_t>((h.size - 16) / 4, 10);
    for (std::uint32_t i = 0; i < count; ++i) fields[i] = r.U32LE();
    h.compression = fields[0];
    h.sizeImage = fields[1];
    h.clrUsed = fields[4];
    if (h.size >= 52 && !os2v2) {
      h.masks[0] = fields[6];
      h.masks[1] = fields[7];
      h.masks[2] = fields[8];
      if (h.size >= 56) h.masks[3] = fields[9];
    }
    r.Seek(start + h.size);
  } else {
    Invalid("unknown header size " + std::to_string(h.size));
  }

  if (os2v2 && h.compression > kBiRle4) Invalid("unsupported compression");
  if (planes != 1) Invalid();
  if (h.bits != 1 && h.bits != 4 && h.bits != 8 && h.bits != 16 && h.bits != 24 && h.bits != 32) Invalid();
  switch (h.compression) {
    case kBiRgb: break;
    case kBiRle8:
      if (h.bits != 8) Invalid();
      break;
    case kBiRle4:
      if (h.bits != 4) Invalid();
      break;
    case kBiBitfields:
      // OS/2 uses this code for its own Huffman coding.
      if (os2v2) Invalid("unsupported compression");
      if (h.bits != 16 && h.bits != 32) Invalid();
      if (h.size == kInfoHeaderSize) {
        h.masks[0] = r.U32LE();
        h.masks[1] = r.U32LE();
        h.masks[2] = r.U32LE();
      }
      break;
    case kBiJpeg:
    case kBiPng: Invalid("embedded JPEG and PNG pictures are not supported");
    default: Invalid("unsupported compression");
  }
  h.end = r.Position();

  if (h.width <= 0 || storedHeight == 0) Invalid();
  h.topDown = storedHeight < 0;
  std::int64_t height = storedHeight < 0 ? -storedHeight : storedHeight;
  h.rows = heightIsDoubled ? height / 2 : height;
  if (h.rows <= 0) Invalid();
  if (!WithinPixelCap(h.width, h.rows)) {
    throw EInvalidGraphic("Bitmap image is too large (" + std::to_string(h.width) + " x " +
                          std::to_string(h.rows) + " pixels)");
  }
  return h;
}

// One channel of a BI_BITFIELDS pixel, scaled to 0..255.
struct MaskChannel {
  explicit MaskChannel(std::uint32_t m) : mask(m), shift(m ? std::countr_zero(m) : 0), max(m ? m >> shift : 0) {}
  std::uint8_t operator()(std::uint32_t pixel) const {
    if (max == 0) return 0;
    std::uint64_t v = (pixel & mask) >> shift;
    return static_cast<std::uint8_t>((v * 255 + max / 2) / max);
  }
  std::uint32_t mask;
  int shift;
  std::uint64_t max;
};

// Clears the bits of the last used byte of a row that lie beyond the last
// pixel, so that the bitmap's padding stays 0.
void ClearTrailingBits(std::uint8_t* row, std::int64_t width, int bits) {
  std::int64_t usedBits = width * bits;
  int rest = static_cast<int>(usedBits % 8);
  if (rest) row[usedBits / 8] &= static_cast<std::uint8_t>(0xFF00u >> rest);
}

void DecodeRle(std::span<const std::uint8_t> data, const DibHeader& h, TBitmap& out, std::uint64_t& consumed) {
  Reader r(data, kInvalid);
  const std::int64_t width = h.width;
  const std::int64_t rows = h.rows;
  const bool rle8 = h.bits == 8;
  std::int64_t x = 0;
  std::int64_t y = 0;  // rows in file order
  std::uint8_t* row = nullptr;
  std::int64_t rowOf = -1;
  auto put = [&](std::int64_t px, std::uint8_t index) {
    if (px >= width) return;
    if (rowOf != y) {
      rowOf = y;
      row = out.ScanLine(static_cast<int>(h.topDown ? y : rows - 1 - y));
    }
    if (rle8) {
      row[px] = index;
    } else if (px & 1) {
      row[px >> 1] = static_cast<std::uint8_t>((row[px >> 1] & 0xF0) | (index & 0x0F));
    } else {
      row[px >> 1] = static_cast<std::uint8_t>((row[px >> 1] & 0x0F) | (index << 4));
    }
  };
  while (y < rows) {
    // Running out of data before the end-of-bitmap escape means the file
    // was cut short.
    std::uint8_t count = r.U8();
    std::uint8_t value = r.U8();
    if (count > 0) {
      for (int i = 0; i < count && x + i < width; ++i) {
        put(x + i, rle8 ? value : ((i & 1) ? (value & 0x0F) : (value >> 4)));
      }
      x += count;
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++y;
    } else if (value == 1) {  // end of bitmap
      break;
    } else if (value == 2) {  // delta: the skipped pixels keep index 0
      x += r.U8();
      y += r.U8();
    } else {  // absolute run, padded to a 16-bit boundary
      std::uint64_t bytes = rle8 ? value : (value + 1u) / 2;
      auto run = r.Bytes((bytes + 1) & ~std::uint64_t{1});
      for (int i = 0; i < value && x + i < width; ++i) {
        std::uint8_t b = run[static_cast<std::size_t>(rle8 ? i : i / 2)];
        put(x + i, rle8 ? b : ((i & 1) ? (b & 0x0F) : (b >> 4)));
      }
      x += value;
    }
  }
  consumed = r.Position();
}

// Whether the run-length codes reach the end of the picture (every row
// ended, or the end-of-bitmap escape) before the data end, walked without
// placing a pixel. The coding has no largest expansion to bound a picture
// by: an escape may leave any part of it at index 0. But a file whose
// codes give out first is cut short, and is refused before its picture
// is allocated.
bool RleReachesTheEnd(std::span<const std::uint8_t> data, const DibHeader& h) {
  const bool rle8 = h.bits == 8;
  const std::size_t size = data.size();
  std::size_t at = 0;
  std::int64_t y = 0;
  while (y < h.rows) {
    if (size - at < 2) return false;
    const std::uint8_t count = data[at], value = data[at + 1];
    at += 2;
    if (count > 0) continue;
    if (value == 0) {  // end of line
      ++y;
    } else if (value == 1) {  // end of bitmap
      return true;
    } else if (value == 2) {  // delta
      if (size - at < 2) return false;
      y += data[at + 1];
      at += 2;
    } else {  // absolute run, padded to a 16-bit boundary
      const std::size_t bytes = rle8 ? value : (value + 1u) / 2;
      const std::size_t padded = (bytes + 1) & ~std::size_t{1};
      if (size - at < padded) return false;
      at += padded;
    }
  }
  return true;
}

// Decodes the DIB whose info header starts at infoPos. pixelOffset: where
// the file header says the pixels are (files); without it they follow the
// palette (icons). Returns the position just after the pixel data.
std::uint64_t DecodeDib(std::span<const std::uint8_t> data, std::uint64_t infoPos,
                        std::optional<std::uint64_t> pixelOffset, bool heightIsDoubled, TBitmap& out) {
  Reader r(data, kInvalid);
  r.Seek(infoPos);
  const DibHeader h = ReadHeader(r, heightIsDoubled);

  // Palette. A paletted picture has 2^bits entries unless the header says
  // fewer; more than that are never used. Deeper pictures may carry an
  // advisory palette, which is skipped.
  const std::uint64_t entrySize = h.core ? 3 : 4;
  const std::uint64_t capacity = h.bits <= 8 ? (std::uint64_t{1} << h.bits) : 0;
  std::uint64_t declared = h.bits <= 8 ? ((h.core || h.clrUsed == 0) ? capacity : h.clrUsed) : h.clrUsed;
  std::uint64_t usable = std::min(declared, capacity);
  std::uint64_t pixels;
  if (pixelOffset) {
    if (*pixelOffset < h.end || *pixelOffset > data.size()) Invalid("pixel data offset out of range");
    // Some writers store fewer entries than the header implies; the
    // pixels' offset is what counts.
    usable = std::min(usable, (*pixelOffset - h.end) / entrySize);
    pixels = *pixelOffset;
  } else {
    if (declared * entrySize > data.size() - h.end) Invalid();
    pixels = h.end + declared * entrySize;
  }
  std::vector<TPaletteEntry> palette;
  if (usable) {
    Reader p = r.Sub(h.end, usable * entrySize);
    palette.resize(static_cast<std::size_t>(usable));
    for (TPaletteEntry& e : palette) {
      e.Blue = p.U8();
      e.Green = p.U8();
      e.Red = p.U8();
      if (entrySize == 4) p.U8();
    }
  }

  // The pixel format the file becomes.
  enum class Layout { Indices, Copy, Rgb555, Generic };
  Layout layout = Layout::Copy;
  TPixelFormat format = pf24bit;
  const std::uint32_t* m = h.masks;
  switch (h.bits) {
    case 1: format = pf1bit; layout = Layout::Indices; break;
    case 4: format = pf4bit; layout = Layout::Indices; break;
    case 8: format = pf8bit; layout = Layout::Indices; break;
    case 16:
      if (h.compression == kBiRgb || (m[0] == 0x7C00 && m[1] == 0x03E0 && m[2] == 0x001F)) {
        format = pf15bit;
        layout = Layout::Rgb555;
      } else if (m[0] == 0xF800 && m[1] == 0x07E0 && m[2] == 0x001F) {
        format = pf16bit;
      } else {
        format = pf24bit;
        layout = Layout::Generic;
      }
      break;
    case 24: format = pf24bit; break;
    case 32:
      format = pf32bit;
      if (h.compression == kBiBitfields && !(m[0] == 0xFF0000 && m[1] == 0xFF00 && m[2] == 0xFF)) {
        layout = Layout::Generic;
      }
      break;
  }

  // Uncompressed pixels must all be there before anything is allocated.
  const bool rle = h.compression == kBiRle4 || h.compression == kBiRle8;
  const std::uint64_t rowBytes = static_cast<std::uint64_t>(BytesPerScanLine(h.width, h.bits));
  const std::uint64_t need = rowBytes * static_cast<std::uint64_t>(h.rows);
  if (!rle && need > data.size() - pixels) Invalid("pixel data is truncated");

  std::span<const std::uint8_t> codes;
  if (rle) {
    std::uint64_t limit = data.size();
    if (h.sizeImage > 0) limit = std::min<std::uint64_t>(limit, pixels + h.sizeImage);
    codes = data.subspan(static_cast<std::size_t>(pixels), static_cast<std::size_t>(limit - pixels));
    if (!RleReachesTheEnd(codes, h)) Invalid("run-length data end before the picture");
  }

  TBitmap picture;
  picture.SetPixelFormat(format);
  picture.SetSize(static_cast<int>(h.width), static_cast<int>(h.rows));
  std::uint64_t end;

  if (rle) {
    std::memset(picture.Bits(), 0, static_cast<std::size_t>(picture.RowStride()) * static_cast<std::size_t>(h.rows));
    std::uint64_t consumed = 0;
    DecodeRle(codes, h, picture, consumed);
    end = pixels + consumed;
  } else {
    const std::size_t width = static_cast<std::size_t>(h.width);
    const MaskChannel red(m[0]), green(m[1]), blue(m[2]), alpha(m[3]);
    for (std::int64_t i = 0; i < h.rows; ++i) {
      const std::uint8_t* src = data.data() + pixels + static_cast<std::uint64_t>(i) * rowBytes;
      std::uint8_t* dst = picture.ScanLine(static_cast<int>(h.topDown ? i : h.rows - 1 - i));
      switch (layout) {
        case Layout::Indices:
          std::memcpy(dst, src, static_cast<std::size_t>((h.width * h.bits + 7) / 8));
          ClearTrailingBits(dst, h.width, h.bits);
          break;
        case Layout::Copy: std::memcpy(dst, src, width * static_cast<std::size_t>(h.bits / 8)); break;
        case Layout::Rgb555:
          // The top bit is unused (or alpha in some files); our 15-bit
          // pixels keep it clear.
          for (std::size_t x = 0; x < width; ++x) {
            dst[2 * x] = src[2 * x];
            dst[2 * x + 1] = static_cast<std::uint8_t>(src[2 * x + 1] & 0x7F);
          }
          break;
        case Layout::Generic:
          for (std::size_t x = 0; x < width; ++x) {
            std::uint32_t v;
            if (h.bits == 16) {
              v = static_cast<std::uint32_t>(src[2 * x] | (src[2 * x + 1] << 8));
              dst[3 * x] = blue(v);
              dst[3 * x + 1] = green(v);
              dst[3 * x + 2] = red(v);
            } else {
              const std::uint8_t* s = src + 4 * x;
              v = static_cast<std::uint32_t>(s[0]) | (static_cast<std::uint32_t>(s[1]) << 8) |
                  (static_cast<std::uint32_t>(s[2]) << 16) | (static_cast<std::uint32_t>(s[3]) << 24);
              dst[4 * x] = blue(v);
              dst[4 * x + 1] = green(v);
              dst[4 * x + 2] = red(v);
              dst[4 * x + 3] = alpha(v);
            }
          }
          break;
      }
    }
    end = pixels + need;
  }

  if (h.bits <= 8) picture.SetPalette(std::move(palette));
  out = std::move(picture);
  return end;
}

// Decodes a whole BMP file; returns the position after its pixel data.
std::uint64_t DecodeBmpFile(std::span<const std::uint8_t> data, TBitmap& out) {
  Reader r(data, kInvalid);
  if (r.U8() != 'B' || r.U8() != 'M') Invalid();
  r.U32LE();  // file size: only a hint, checked by the caller
  r.U32LE();  // reserved
  const std::uint32_t offBits = r.U32LE();
  return DecodeDib(data, kFileHeaderSize, offBits, false, out);
}

}  // namespace

void ReadBmp(std::span<const std::uint8_t> data, TBitmap& bitmap) {
  TBitmap picture;
  DecodeBmpFile(data, picture);
  bitmap.TakePicture(std::move(picture));
}

std::size_t ReadDib(std::span<const std::uint8_t> data, TBitmap& bitmap, bool heightIsDoubled) {
  TBitmap picture;
  std::uint64_t end = DecodeDib(data, 0, std::nullopt, heightIsDoubled, picture);
  bitmap.TakePicture(std::move(picture));
  return static_cast<std::size_t>(end);
}

void WriteBmp(const TBitmap& bitmap, TStream& stream) {
  if (bitmap.Empty()) throw EInvalidGraphic("Cannot save an empty bitmap");
  int bits = 24;
  std::uint32_t compression = kBiRgb;
  switch (bitmap.PixelFormat()) {
    case pf1bit: bits = 1; break;
    case pf4bit: bits = 4; break;
    case pf8bit: bits = 8; break;
    case pf15bit: bits = 16; break;
    case pf16bit:
      bits = 16;
      compression = kBiBitfields;
      break;
    case pfDevice:
    case pf24bit: bits = 24; break;
    case pf32bit: bits = 32; break;
    case pfCustom: throw EInvalidGraphic("Invalid pixel format");
  }
  // A paletted bitmap without a palette is written with an all-black one,
  // which is what its pixels look like; readers would otherwise take the
  // pixel data for the palette.
  std::vector<TPaletteEntry> palette;
  if (bits <= 8) {
    const std::size_t capacity = std::size_t{1} << bits;
    palette = bitmap.Palette();
    if (palette.size() > capacity) palette.resize(capacity);
    if (palette.empty()) palette.resize(capacity);
  }
  const std::uint64_t width = static_cast<std::uint64_t>(bitmap.Width());
  const std::uint64_t height = static_cast<std::uint64_t>(bitmap.Height());
  const std::uint64_t stride = static_cast<std::uint64_t>(BytesPerScanLine(bitmap.Width(), bits));
  const std::uint64_t imageSize = stride * height;
  const std::uint64_t offBits =
      kFileHeaderSize + kInfoHeaderSize + (compression == kBiBitfields ? 12 : 0) + 4 * palette.size();
  const std::uint64_t fileSize = offBits + imageSize;
  if (fileSize > std::numeric_limits<std::uint32_t>::max()) throw EInvalidGraphic("Bitmap is too large to save");

  std::vector<std::uint8_t> head(static_cast<std::size_t>(offBits));
  TByteWriter w(head);
  w.U8('B');
  w.U8('M');
  w.U32LE(static_cast<std::uint32_t>(fileSize));
  w.U32LE(0);
  w.U32LE(static_cast<std::uint32_t>(offBits));
  w.U32LE(kInfoHeaderSize);
  w.U32LE(static_cast<std::uint32_t>(width));
  w.U32LE(static_cast<std::uint32_t>(height));  // positive: bottom-up
  w.U16LE(1);
  w.U16LE(static_cast<std::uint16_t>(bits));
  w.U32LE(compression);
  w.U32LE(static_cast<std::uint32_t>(imageSize));
  w.U32LE(0);  // no resolution
  w.U32LE(0);
  w.U32LE(static_cast<std::uint32_t>(palette.size()));
  w.U32LE(0);
  if (compression == kBiBitfields) {
    w.U32LE(0xF800);
    w.U32LE(0x07E0);
    w.U32LE(0x001F);
  }
  for (const TPaletteEntry& e : palette) {
    w.U8(e.Blue);
    w.U8(e.Green);
    w.U8(e.Red);
    w.U8(0);
  }
  stream.WriteBuffer(head);
  // Our rows are stored exactly as BMP rows (same padding and bit order);
  // only their order is reversed.
  for (std::int64_t y = static_cast<std::int64_t>(height) - 1; y >= 0; --y) {
    stream.WriteBuffer(bitmap.ScanLine(static_cast<int>(y)), static_cast<std::int64_t>(stride));
  }
}

std::vector<std::uint8_t> WriteBmp(const TBitmap& bitmap) {
  TMemoryStream stream;
  WriteBmp(bitmap, stream);
  return stream.TakeBytes();
}

void TBitmap::LoadFromStream(TStream& stream) {
  const std::int64_t start = stream.Position();
  const std::int64_t remaining = std::max<std::int64_t>(stream.Size() - start, 0);
  if (remaining < static_cast<std::int64_t>(kFileHeaderSize)) throw EInvalidGraphic(kInvalid);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(remaining));
  stream.ReadBuffer(bytes.data(), remaining);
  TBitmap picture;
  const std::uint64_t used = DecodeBmpFile(bytes, picture);
  // The file header's size places the stream after the file when it agrees
  // with what was decoded; otherwise the stream stays at its end.
  const std::uint64_t fileSize = static_cast<std::uint64_t>(bytes[2]) | (static_cast<std::uint64_t>(bytes[3]) << 8) |
                                 (static_cast<std::uint64_t>(bytes[4]) << 16) |
                                 (static_cast<std::uint64_t>(bytes[5]) << 24);
  if (fileSize >= used && fileSize <= static_cast<std::uint64_t>(remaining)) {
    stream.SetPosition(start + static_cast<std::int64_t>(fileSize));
  }
  TakePicture(std::move(picture));
}

void TBitmap::SaveToStream(TStream& stream) { WriteBmp(*this, stream); }
