#include "formats/autodesk/autodesk_graphic.h"

#include <cstring>

#include "core/streams.h"
#include "formats/autodesk/autodesk_file.h"
#include "formats/common/decode_limits.h"
#include "formats/common/reader_steps.h"
#include "formats/common/reader_texts.h"

bool TAutodeskGraphic::ProbeStream(TStream& stream) const {
  if (stream.Remaining() < static_cast<std::int64_t>(kAutodeskHeaderSize) + 1) return false;
  return ParseAutodeskHeader(ReadStreamBytes(stream, kAutodeskHeaderSize, kFormatName)).has_value();
}

bool TAutodeskGraphic::ReadImageHeader(TStream& stream, int imageIndex) {
  TReaderGraphic::ReadImageHeader(stream, imageIndex);
  const auto h = ParseAutodeskHeader(ReadStreamBytesUpTo(stream, kAutodeskHeaderSize, kFormatName));
  if (!h) return false;
  TImageProperties& p = ImageProperties();
  p.Width = h->Width;
  p.Height = h->Height;
  SetImageLayout(p, TColorScheme::Indexed, 8, 1, TCompressionType::None);
  return true;
}

void TAutodeskGraphic::LoadPixels(TStream& stream) {
  const int width = static_cast<int>(ImageProperties().Width);
  const int height = static_cast<int>(ImageProperties().Height);
  ProgressStart(readertext::Transfering, width);
  const std::vector<std::uint8_t> data = ReadStreamRest(stream, kFormatName);
  TFormatReader in = FormatReader(data, kFormatName);
  in.Skip(kAutodeskHeaderSize);
  std::vector<TPaletteEntry> palette =
      ReadAutodeskPalette(in.Bytes(kAutodeskPaletteSize).first<kAutodeskPaletteSize>());
  CheckPackedData(static_cast<std::int64_t>(in.Remaining()), static_cast<std::int64_t>(width) * height, 1,
                  kFormatName);
  SetSizeForDecoding(width, height, pf8bit);
  SetPalette(std::move(palette));
  for (int y = 0; y < height; ++y) {
    const std::span<const std::uint8_t> row = in.Bytes(ImageProperties().Width);
    std::memcpy(ScanLine(y), row.data(), row.size());
    ProgressRow(y, height);
  }
  ProgressEnd();
}
