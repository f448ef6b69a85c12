#include "formats/common/row_depth.h"

#include <cstring>
#include <string>

#include "core/exceptions.h"

TPaletteTable MakePaletteTable(const TBitmap& bitmap) {
  TPaletteTable table;
  const std::vector<TPaletteEntry>& palette = bitmap.Palette();
  for (std::size_t i = 0; i < palette.size() && i < 256; ++i) {
    table.Entries[i] = {static_cast<std::uint8_t>(palette[i].Red >> 2), static_cast<std::uint8_t>(palette[i].Green >> 2),
                        static_cast<std::uint8_t>(palette[i].Blue >> 2)};
  }
  return table;
}

int SourceDepth(TPixelFormat format) {
  switch (format) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    default: return 24;
  }
}

const std::uint8_t* WriterRow(const TBitmap& bitmap, int y, std::vector<std::uint8_t>& scratch) {
  const TPixelFormat format = bitmap.PixelFormat();
  const std::uint8_t* row = bitmap.ScanLine(y);
  if (format != pf15bit && format != pf16bit && format != pf32bit) return row;
  const int width = bitmap.Width();
  scratch.resize(static_cast<std::size_t>(width) * 3);
  for (int x = 0; x < width; ++x) {
    std::uint8_t* p = scratch.data() + static_cast<std::size_t>(x) * 3;
    if (format == pf32bit) {
      std::memcpy(p, row + static_cast<std::size_t>(x) * 4, 3);
    } else {
      TColor c = bitmap.GetPixelColor(x, y);
      p[0] = static_cast<std::uint8_t>(GetBValue(c));
      p[1] = static_cast<std::uint8_t>(GetGValue(c));
      p[2] = static_cast<std::uint8_t>(GetRValue(c));
    }
  }
  return scratch.data();
}

namespace {

inline int Pixel1(const std::uint8_t* row, int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }
inline int Pixel4(const std::uint8_t* row, int x) { return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4); }

void PutPaletteColour(std::uint8_t* target, int x, int index, const TPaletteTable& palette) {
  const auto& e = palette.Entries[static_cast<std::size_t>(index)];
  std::uint8_t* p = target + static_cast<std::size_t>(x) * 3;
  p[0] = ScalePaletteValue(e[2]);
  p[1] = ScalePaletteValue(e[1]);
  p[2] = ScalePaletteValue(e[0]);
}

}  // namespace

bool ConvertRowDepth(const std::uint8_t* source, int sourceDepth, std::uint8_t* target, int targetDepth, int width,
                     const TPaletteTable& palette) {
  const auto w = static_cast<std::size_t>(width);
  switch (sourceDepth * 100 + targetDepth) {
    case 104:
      std::memset(target, 0, (w + 1) / 2);
      for (int x = 0; x < width; ++x) target[x >> 1] |= static_cast<std::uint8_t>(Pixel1(source, x) << ((x & 1) ? 0 : 4));
      return true;
    case 108:
      for (int x = 0; x < width; ++x) target[x] = static_cast<std::uint8_t>(Pixel1(source, x));
      return true;
    case 124:
      // Through the palette like the other paletted sources, so a
      // two-colour picture keeps its two colours (black and white for
      // the usual palette).
      for (int x = 0; x < width; ++x) PutPaletteColour(target, x, Pixel1(source, x), palette);
      return true;
    case 404:
      std::memcpy(target, source, (w + 1) / 2);
      if (width & 1) target[w / 2] &= 0xF0;
      return true;
    case 408:
      for (int x = 0; x < width; ++x) target[x] = static_cast<std::uint8_t>(Pixel4(source, x));
      return true;
    case 424:
      for (int x = 0; x < width; ++x) PutPaletteColour(target, x, Pixel4(source, x), palette);
      return true;
    case 801:
      std::memset(target, 0, (w + 7) / 8);
      for (int x = 0; x < width; ++x) target[x >> 3] |= static_cast<std::uint8_t>((source[x] & 1) << (7 - (x & 7)));
      return true;
    case 808:
      std::memcpy(target, source, w);
      return true;
    case 824:
      for (int x = 0; x < width; ++x) PutPaletteColour(target, x, source[x], palette);
      return true;
    case 2424:
      std::memcpy(target, source, w * 3);
      return true;
    default:
      return false;
  }
}

void CheckWriterSize(const TBitmap& bitmap, const char* formatName) {
  if (bitmap.Width() <= 0 || bitmap.Height() <= 0) {
    throw EInvalidGraphic(std::string("Cannot write an empty picture as ") + formatName);
  }
  if (bitmap.Width() > 65535 || bitmap.Height() > 65535) throw ERangeError("Range check error");
}
