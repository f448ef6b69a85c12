#include "formats/pcx/pcx_writer.h"

#include <algorithm>
#include <cstring>

#include "core/byte_writer.h"
#include "core/exceptions.h"
#include "core/streams.h"
#include "formats/common/row_depth.h"

void EncodePcxLine(const std::uint8_t* line, std::size_t length, std::vector<std::uint8_t>& out) {
  std::size_t i = 0;
  while (i < length) {
    const std::uint8_t v = line[i];
    std::size_t run = 1;
    while (i + run < length && line[i + run] == v && run < 63) ++run;
    if (run > 1 || v >= 0xC0) out.push_back(static_cast<std::uint8_t>(0xC0 + run));
    out.push_back(v);
    i += run;
  }
}

void SavePCX(const std::string& fileName, const TBitmap& bitmap, int mode) {
  TAtomicFileStream file(fileName);
  SavePCX(file, bitmap, mode);
  file.Commit();
}

void SavePCX(TStream& file, const TBitmap& bitmap, int mode) {
  if (mode < pcxMono || mode > pcxTrueColour) throw EInvalidGraphicOperation("Unknown PCX mode " + std::to_string(mode));
  CheckWriterSize(bitmap, "PCX");
  const int depth = SourceDepth(bitmap.PixelFormat());
  // Modes 1 to 3 store colour indices; a true-colour picture has none
  // and would come out as noise.
  if (mode != pcxTrueColour && depth == 24) {
    throw EInvalidGraphicOperation("PCX mode " + std::to_string(mode) + " needs a picture of 1, 4 or 8 bits per pixel");
  }
  const int width = bitmap.Width();
  const int height = bitmap.Height();
  const TPaletteTable palette = MakePaletteTable(bitmap);
  const int planes = mode == pcxMono ? 1 : mode == pcxSixteen ? 4 : mode == pcxPaletted ? 1 : 3;
  const int bytesPerLine = mode <= pcxSixteen ? (width + 7) / 8 : width;

  std::uint8_t header[128] = {};
  TByteWriter h(header);
  h.U8(10);  // ZSoft
  h.U8(5);   // version
  h.U8(1);   // run-length coded
  h.U8(mode <= pcxSixteen ? 1 : 8);
  h.Skip(4);  // the window starts at 0, 0
  h.U16LE(static_cast<std::uint16_t>(width - 1));
  h.U16LE(static_cast<std::uint16_t>(height - 1));
  h.U16LE(static_cast<std::uint16_t>(width));  // the resolution fields hold the size
  h.U16LE(static_cast<std::uint16_t>(height));
  for (std::size_t i = 0; i < 16; ++i) {
    for (std::size_t c = 0; c < 3; ++c) h.U8(ScalePaletteValue(palette.Entries[i][c]));
  }
  h.Skip(1);
  h.U8(static_cast<std::uint8_t>(planes));
  h.U16LE(static_cast<std::uint16_t>(bytesPerLine));
  h.U16LE(1);  // a colour palette

  const auto w = static_cast<std::size_t>(width);
  std::vector<std::uint8_t> pixels(w * 3);  // one byte per pixel, or B, G, R
  std::vector<std::uint8_t> plane(static_cast<std::size_t>(bytesPerLine));
  std::vector<std::uint8_t> encoded;
  encoded.reserve(static_cast<std::size_t>(bytesPerLine) * static_cast<std::size_t>(planes) * 2);
  std::vector<std::uint8_t> scratch;

  file.WriteBuffer(header, sizeof header);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = WriterRow(bitmap, y, scratch);
    encoded.clear();
    if (mode == pcxTrueColour) {
      ConvertRowDepth(row, depth, pixels.data(), 24, width, palette);
      for (int channel : {2, 1, 0}) {  // R, G, B plane lines from B, G, R pixels
        for (std::size_t x = 0; x < w; ++x) plane[x] = pixels[x * 3 + static_cast<std::size_t>(channel)];
        EncodePcxLine(plane.data(), plane.size(), encoded);
      }
    } else {
      ConvertRowDepth(row, depth, pixels.data(), 8, width, palette);
      if (mode == pcxPaletted) {
        EncodePcxLine(pixels.data(), w, encoded);
      } else {
        for (int p = 0; p < planes; ++p) {
          const int bit = mode == pcxMono ? 0 : p;
          // Pixels past the width leave their bits 0.
          std::fill(plane.begin(), plane.end(), std::uint8_t{0});
          for (std::size_t x = 0; x < w; ++x) {
            if ((pixels[x] >> bit) & 1) plane[x >> 3] |= static_cast<std::uint8_t>(0x80u >> (x & 7));
          }
          EncodePcxLine(plane.data(), plane.size(), encoded);
        }
      }
    }
    file.WriteBuffer(encoded.data(), static_cast<std::int64_t>(encoded.size()));
  }
  std::uint8_t trailer[769];
  trailer[0] = 12;
  for (std::size_t i = 0; i < 256; ++i) {
    for (std::size_t c = 0; c < 3; ++c) trailer[1 + i * 3 + c] = ScalePaletteValue(palette.Entries[i][c]);
  }
  file.WriteBuffer(trailer, sizeof trailer);
}
