#include "formats/tga/tga_writer.h"

#include <cstring>
#include <vector>

#include "core/exceptions.h"
#include "core/streams.h"
#include "formats/common/row_depth.h"
#include "formats/tga/tga_file.h"

void SaveTGA(const std::string& fileName, const TBitmap& bitmap, int mode) {
  TAtomicFileStream file(fileName);
  SaveTGA(file, bitmap, mode);
  file.Commit();
}

void SaveTGA(TStream& file, const TBitmap& bitmap, int mode) {
  if (mode != tgaColourMapped && mode != tgaTrueColour) {
    throw EInvalidGraphicOperation("Unknown Targa mode " + std::to_string(mode));
  }
  CheckWriterSize(bitmap, "Targa");
  const int depth = SourceDepth(bitmap.PixelFormat());
  if (mode == tgaColourMapped && depth == 24) {
    throw EInvalidGraphicOperation("Targa mode 1 needs a picture of 1, 4 or 8 bits per pixel");
  }
  const int width = bitmap.Width();
  const int height = bitmap.Height();
  const TPaletteTable palette = MakePaletteTable(bitmap);
  const bool mapped = mode == tgaColourMapped;

  TTargaHeader h;
  h.IDLength = static_cast<std::uint8_t>(kTargaIdentification.size());
  h.ColorMapType = mapped ? 1 : 0;
  h.ImageType = mapped ? 1 : 2;
  h.ColorMapLength = mapped ? 256 : 0;
  h.ColorMapEntrySize = 24;
  h.Width = static_cast<std::uint16_t>(width);
  h.Height = static_cast<std::uint16_t>(height);
  h.BitsPerPixel = mapped ? 8 : 24;
  h.Descriptor = 0x20;  // top row first

  file.WriteBuffer(TargaHeaderBytes(h));
  file.WriteBuffer(kTargaIdentification.data(), static_cast<std::int64_t>(kTargaIdentification.size()));
  if (mapped) {
    std::uint8_t map[256 * 3];
    for (std::size_t i = 0; i < 256; ++i) {
      map[i * 3] = ScalePaletteValue(palette.Entries[i][2]);
      map[i * 3 + 1] = ScalePaletteValue(palette.Entries[i][1]);
      map[i * 3 + 2] = ScalePaletteValue(palette.Entries[i][0]);
    }
    file.WriteBuffer(map, sizeof map);
  }
  const std::size_t rowBytes = static_cast<std::size_t>(width) * (mapped ? 1 : 3);
  std::vector<std::uint8_t> buffer(rowBytes);
  std::vector<std::uint8_t> scratch;
  for (int y = 0; y < height; ++y) {
    ConvertRowDepth(WriterRow(bitmap, y, scratch), depth, buffer.data(), mapped ? 8 : 24, width, palette);
    file.WriteBuffer(buffer.data(), static_cast<std::int64_t>(rowBytes));
  }
}
