#include "formats/psp/psp_graphic.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "core/streams.h"
#include "formats/common/decode_limits.h"
#include "formats/common/decoder.h"
#include "formats/common/lz77_decoder.h"
#include "formats/common/reader_steps.h"
#include "formats/common/reader_texts.h"
#include "formats/reader_classes.h"

namespace {

namespace t = readertext;
using Scheme = TColorScheme;

constexpr const char* kFormat = "PSP";
constexpr char kSignature[] = "Paint Shop Pro Image File";
constexpr std::size_t kSignatureLength = sizeof kSignature - 1;  // 25

enum TBlockId : std::uint16_t { idImage = 0, idPalette = 2, idLayerBank = 3, idLayer = 4, idChannel = 5 };

// Layer fields this reader does not use: type, image and saved image
// rectangles, opacity, blending, visibility, protection, link group, mask
// and saved mask rectangles, mask switches, blend range count and ranges.
constexpr std::uint64_t kLayerFixedFields = 115;

}  // namespace

const TGraphicClass& TPSPGraphic::StaticClass() {
  static const TGraphicClass graphicClass{"TPSPGraphic", []() -> std::unique_ptr<TGraphic> {
                                            return std::make_unique<TPSPGraphic>();
                                          }};
  return graphicClass;
}

const TGraphicClass& PSPGraphicClass() { return TPSPGraphic::StaticClass(); }

bool TPSPGraphic::ProbeStream(TStream& stream) const {
  if (stream.Remaining() < 36) return false;
  std::uint8_t head[36];
  stream.ReadBuffer(head, 36);
  return std::memcmp(head, kSignature, kSignatureLength) == 0 && (head[32] | (head[33] << 8)) >= 3;
}

bool TPSPGraphic::ReadBlock(TReader& reader, TBlock& block) const {
  const std::uint64_t headerSize = ImageProperties().Version == 3 ? 14 : 10;
  if (reader.Remaining() < headerSize) return false;
  const std::uint8_t marker = reader.U8();
  reader.Skip(3);
  if (marker != '~') return false;
  block.Id = reader.U16LE();
  if (ImageProperties().Version == 3) reader.U32LE();  // the initial length
  const std::uint64_t length = reader.U32LE();
  block.Data = reader.Position();
  // A block that claims more than the file holds ends with the file; one
  // of length 0 still moves on past its header.
  block.End = block.Data + std::min<std::uint64_t>(length, reader.Remaining());
  return true;
}

bool TPSPGraphic::ReadImageHeader(TStream& stream, int imageIndex) {
  TReaderGraphic::ReadImageHeader(stream, imageIndex);
  return ReadHeaderFrom(StreamBytes(stream, copy_, kFormat));
}

bool TPSPGraphic::ReadHeaderFrom(std::span<const std::uint8_t> data) {
  try {
    return ReadHeaderFields(data);
  } catch (const EInvalidGraphic&) {
    return false;  // a header cut short is not this format
  }
}

bool TPSPGraphic::ReadHeaderFields(std::span<const std::uint8_t> data) {
  TImageProperties& p = ImageProperties();
  p.Clear();
  p.FileGamma = 1.0f;
  TReader r = FormatReader(data, kFormat);
  if (r.Remaining() < 36 || std::memcmp(data.data(), kSignature, kSignatureLength) != 0) return false;
  r.Skip(32);
  const std::uint16_t major = r.U16LE();
  r.U16LE();  // minor
  if (major < 3) return false;
  p.Version = major;
  TBlock block;
  if (!ReadBlock(r, block) || block.Id != idImage) return false;
  if (major > 3) r.U32LE();  // the chunk's size
  if (r.Remaining() < 42) return false;
  const std::uint32_t width = r.U32LE();
  const std::uint32_t height = r.U32LE();
  double resolution;
  r.Read(&resolution, 8);
  const std::uint8_t unit = r.U8();
  const std::uint16_t compression = r.U16LE();
  const std::uint16_t depth = r.U16LE();
  r.Skip(2 + 4);  // planes, colours
  const bool grey = r.U8() != 0;
  r.Seek(block.End);

  if (width == 0 || height == 0) return false;
  p.Width = width;
  p.Height = height;
  if (depth == 24) {
    p.BitsPerSample = 8;
    p.SamplesPerPixel = 3;
    p.ColorScheme = Scheme::RGB;
  } else {
    p.BitsPerSample = static_cast<std::uint8_t>(std::min<std::uint16_t>(depth, 255));
    p.SamplesPerPixel = 1;
    p.ColorScheme = grey ? Scheme::Gray : Scheme::Indexed;
  }
  p.BitsPerPixel = static_cast<std::uint8_t>(std::min(p.BitsPerSample * p.SamplesPerPixel, 255));
  switch (compression) {
    case 0: p.Compression = TCompressionType::None; break;
    case 1: p.Compression = TCompressionType::RLE; break;
    case 2: p.Compression = TCompressionType::LZ77; break;
    case 3: p.Compression = TCompressionType::PSPJPEG; break;
    default: p.Compression = TCompressionType::Unknown; break;
  }
  const double dpi = std::isfinite(resolution) ? resolution * (unit == 2 ? 2.54 : 1.0) : 0.0;
  p.XResolution = p.YResolution = static_cast<float>(dpi);
  return true;
}

void TPSPGraphic::LoadFromStream(TStream& stream) {
  BeginLoad(stream);
  const std::span<const std::uint8_t> data = StreamBytes(stream, copy_, kFormat);
  if (!ReadHeaderFrom(data)) RaiseInvalidImage(kFormat);
  const TImageProperties& p = ImageProperties();
  if (p.Compression != TCompressionType::None && p.Compression != TCompressionType::RLE &&
      p.Compression != TCompressionType::LZ77) {
    RaiseInvalidGraphicFmt(t::NotSupported, {t::CompressionScheme, kFormat});
  }
  std::uint64_t rowBytes = 0;
  switch (p.BitsPerSample) {
    case 1: rowBytes = (std::uint64_t{p.Width} + 7) / 8; break;
    case 4: rowBytes = std::uint64_t{p.Width} / 2 + 1; break;
    case 8: rowBytes = p.Width; break;  // and each channel of a 24-bit file
    default: RaiseInvalidGraphicFmt(t::InvalidColorFormat, {kFormat});
  }
  CheckImageSize(p.Width, p.Height, kFormat);

  TColorManager& cm = ColorManager();
  cm.SourceOptions = TConversionOptions::None;
  cm.TargetOptions = TConversionOptions::None;
  cm.SetSourceColorScheme(p.ColorScheme);
  cm.SetSourceBitsPerSample(p.BitsPerSample);
  cm.SetSourceSamplesPerPixel(p.SamplesPerPixel);
  cm.SetTargetColorScheme(p.ColorScheme == Scheme::RGB ? Scheme::BGR : p.ColorScheme);
  cm.SetTargetBitsPerSample(p.BitsPerSample);
  cm.SetTargetSamplesPerPixel(p.SamplesPerPixel);
  SetPixelFormat(cm.GetPixelFormat(1));
  if (p.ColorScheme == Scheme::Gray) SetPalette(cm.CreateGrayscalePalette(false));

  TReader r = FormatReader(data, kFormat);
  // Past the first block, as the header left it.
  r.Seek(32 + 4);
  TBlock block;
  ReadBlock(r, block);
  r.Seek(block.End);
  bool layerLoaded = false;
  while (ReadBlock(r, block)) {
    if (block.Id == idPalette) {
      ReadPalette(r);
    } else if (block.Id == idLayerBank && !layerLoaded) {
      layerLoaded = ReadLayer(r, block, rowBytes);
    }
    r.Seek(block.End);
  }
  // A file without a layer has no picture.
  if (!layerLoaded) RaiseInvalidImage(kFormat);
}

void TPSPGraphic::ReadPalette(TReader& r) {
  if (ImageProperties().Version > 3) r.U32LE();
  // At most 256 entries, and only those the file holds.
  const std::uint64_t count = std::min<std::uint64_t>({r.U32LE(), 256, r.Remaining() / 4});
  const std::span<const std::uint8_t> entries = r.Bytes(count * 4);
  SetPalette(ColorManager().CreateColorPalette({entries}, 1, static_cast<std::uint32_t>(count), true));
}

bool TPSPGraphic::ReadLayer(TReader& r, const TBlock& bank, std::uint64_t rowBytes) {
  const TImageProperties& p = ImageProperties();
  const bool chunked = p.Version > 3;
  TBlock layer;
  // A bank that does not start with a layer is left.
  if (!ReadBlock(r, layer) || layer.Id != idLayer || layer.End > bank.End) return false;
  // The layer information: its name and fixed fields, then the counts.
  std::uint16_t channels = 0;
  if (chunked) {
    const std::uint64_t start = r.Position();
    const std::uint64_t size = r.U32LE();
    r.Seek(start + std::max<std::uint64_t>(size, 4));
    const std::uint64_t bitmapStart = r.Position();
    const std::uint64_t bitmapSize = r.U32LE();
    r.U16LE();  // bitmaps
    channels = r.U16LE();
    r.Seek(bitmapStart + std::max<std::uint64_t>(bitmapSize, 8));
  } else {
    r.Skip(256 + kLayerFixedFields);
    r.U16LE();  // bitmaps
    channels = r.U16LE();
  }

  // Each channel's data, by its type; only image bitmaps count.
  std::vector<std::uint8_t> planes[4];
  const std::uint64_t needed =
      static_cast<std::uint64_t>(CheckedBufferSize({p.Height, static_cast<std::int64_t>(rowBytes)}, kFormat));
  for (std::uint16_t c = 0; c < channels; ++c) {
    TBlock channel;
    if (!ReadBlock(r, channel) || channel.Id != idChannel) break;
    const std::uint64_t start = r.Position();
    const std::uint64_t size = chunked ? r.U32LE() : 0;
    const std::uint64_t packedLength = r.U32LE();
    const std::uint64_t length = r.U32LE();
    const std::uint16_t bitmapType = r.U16LE();
    const std::uint16_t channelType = r.U16LE();
    if (chunked) r.Seek(start + std::max<std::uint64_t>(size, 16));
    // The channel must hold every row, and its data must be able to give
    // them (a run of the coding gives at most 127 bytes of 2, deflate
    // about 1032 of 1), before anything is allocated.
    if (length < needed || static_cast<std::int64_t>(length) > MaxDecodeBytes) RaiseInvalidImage(kFormat);
    const std::uint64_t available =
        p.Compression == TCompressionType::None ? r.Remaining() : std::min(packedLength, r.Remaining());
    CheckPackedData(static_cast<std::int64_t>(available), static_cast<std::int64_t>(needed),
                    p.Compression == TCompressionType::None ? 1 : p.Compression == TCompressionType::RLE ? 64 : 1032,
                    kFormat);
    if (bitmapType == 0 && channelType <= 3) {
      // Only the rows are kept; what the channel holds beyond them is not
      // part of the picture.
      std::vector<std::uint8_t>& plane = planes[channelType];
      plane.assign(static_cast<std::size_t>(needed), 0);
      std::span<std::uint8_t> dest(plane);
      if (p.Compression == TCompressionType::None) {
        r.Read(plane.data(), needed);
      } else {
        std::span<const std::uint8_t> packed = r.Bytes(available);
        if (p.Compression == TCompressionType::RLE) {
          TPSPRLEDecoder().Decode(packed, dest);
        } else {
          TLZ77Decoder inflater(Z_FINISH, false);
          inflater.DecodeInit();
          inflater.Decode(packed, dest);
          inflater.DecodeEnd();
        }
      }
    }
    r.Seek(channel.End);
  }

  const bool colour = p.ColorScheme == TColorScheme::RGB;
  for (int k = colour ? 1 : 0; k <= (colour ? 3 : 0); ++k) {
    if (planes[k].empty()) RaiseInvalidImage(kFormat);  // a channel is missing
  }
  // The picture, once its channels are there.
  Canvas().Brush.Color = clWhite;
  Canvas().Brush.Style = bsSolid;
  SetSize(static_cast<int>(p.Width), static_cast<int>(p.Height));
  const int height = static_cast<int>(p.Height);
  ProgressStart(t::Transfering, static_cast<int>(p.Width));
  for (int y = 0; y < height; ++y) {
    const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(rowBytes);
    auto row = [&](int k) { return std::span<const std::uint8_t>(planes[k].data() + at, static_cast<std::size_t>(rowBytes)); };
    if (colour) {
      ColorManager().ConvertRow({row(1), row(2), row(3)}, ScanLineSpan(y), p.Width);
    } else {
      ColorManager().ConvertRow(row(0), ScanLineSpan(y), p.Width);
    }
    ProgressRow(y + 1, height);
  }
  ProgressEnd();
  return true;
}
