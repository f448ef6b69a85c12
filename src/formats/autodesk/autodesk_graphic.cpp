#include "formats/autodesk/autodesk_graphic.h"

#include <cstring>
#include <memory>

#include "core/exceptions.h"
#include "core/streams.h"
#include "formats/common/byte_order.h"
#include "formats/common/decode_limits.h"
#include "formats/common/reader_steps.h"
#include "formats/common/reader_texts.h"
#include "formats/reader_classes.h"

namespace {

const std::string kFormat = "Autodesk";
constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kPaletteSize = 768;

bool IsAutodeskHeader(std::span<const std::uint8_t> b) {
  return b.size() >= 12 && GetU16LE(&b[0]) == 0x9119 && GetU16LE(&b[10]) == 8;
}

}  // namespace

const TGraphicClass& TAutodeskGraphic::StaticClass() {
  static const TGraphicClass graphicClass{"TAutodeskGraphic",
                                          [] { return std::unique_ptr<TGraphic>(new TAutodeskGraphic); }};
  return graphicClass;
}

const TGraphicClass& AutodeskGraphicClass() { return TAutodeskGraphic::StaticClass(); }

bool TAutodeskGraphic::ProbeStream(TStream& stream) const {
  if (stream.Remaining() < static_cast<std::int64_t>(kHeaderSize) + 1) return false;
  return IsAutodeskHeader(ReadStreamBytes(stream, kHeaderSize, kFormat));
}

bool TAutodeskGraphic::ReadImageHeader(TStream& stream, int imageIndex) {
  TReaderGraphic::ReadImageHeader(stream, imageIndex);
  const std::vector<std::uint8_t> b = ReadStreamBytesUpTo(stream, kHeaderSize, kFormat);
  if (!IsAutodeskHeader(b)) return false;
  TImageProperties& p = ImageProperties();
  p.Width = GetU16LE(&b[2]);
  p.Height = GetU16LE(&b[4]);
  SetImageLayout(p, TColorScheme::Indexed, 8, 1, TCompressionType::None);
  return true;
}

void TAutodeskGraphic::LoadFromStream(TStream& stream) {
  BeginLoad(stream);
  if (!ReadImageHeader(stream, 0)) RaiseInvalidFormat(kFormat);
  stream.SetPosition(BasePosition());
  const int width = static_cast<int>(ImageProperties().Width);
  const int height = static_cast<int>(ImageProperties().Height);
  CheckPictureSize(width, height, kFormat);

  ProgressStart(readertext::Transfering, width);
  const std::vector<std::uint8_t> data = ReadStreamRest(stream, kFormat);
  TFormatReader in = FormatReader(data, kFormat);
  in.Skip(kHeaderSize);
  const std::span<const std::uint8_t> colours = in.Bytes(kPaletteSize);
  std::vector<TPaletteEntry> palette(256);
  for (std::size_t i = 0; i < 256; ++i) {
    const std::uint8_t* c = &colours[3 * i];
    if (c[0] > 63 || c[1] > 63 || c[2] > 63) throw ERangeError("An Autodesk palette value lies above 63");
    palette[i] = {static_cast<std::uint8_t>(c[0] * 4), static_cast<std::uint8_t>(c[1] * 4),
                  static_cast<std::uint8_t>(c[2] * 4), 0};
  }
  CheckPackedData(static_cast<std::int64_t>(in.Remaining()), static_cast<std::int64_t>(width) * height, 1, kFormat);
  SetSizeForDecoding(width, height, pf8bit);
  SetPalette(std::move(palette));
  for (int y = 0; y < height; ++y) {
    const std::span<const std::uint8_t> row = in.Bytes(ImageProperties().Width);
    std::memcpy(ScanLine(y), row.data(), row.size());
    ProgressRow(y, height);
  }
  ProgressEnd();
}
