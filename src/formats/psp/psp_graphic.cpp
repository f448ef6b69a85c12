#include "formats/psp/psp_graphic.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>

#include "core/streams.h"
#include "formats/common/decode_limits.h"
#include "formats/common/decoder.h"
#include "formats/common/lz77_decoder.h"
#include "formats/common/reader_steps.h"
#include "formats/common/reader_texts.h"

namespace {

namespace t = readertext;
using Scheme = TColorScheme;

}  // namespace

bool TPSPGraphic::ProbeStream(TStream& stream) const {
  if (stream.Remaining() < static_cast<std::int64_t>(kPSPHeaderSize)) return false;
  std::uint8_t head[kPSPHeaderSize];
  stream.ReadBuffer(head, kPSPHeaderSize);
  return IsPSPSignature(head);
}

bool TPSPGraphic::ReadImageHeader(TStream& stream, int imageIndex) {
  TReaderGraphic::ReadImageHeader(stream, imageIndex);
  return ReadHeaderFrom(StreamBytes(stream, copy_, kFormatName));
}

bool TPSPGraphic::ReadHeaderFrom(std::span<const std::uint8_t> data) {
  TImageProperties& p = ImageProperties();
  p.Clear();
  p.FileGamma = 1.0f;
  TPSPHeader h;
  const bool found = ParsePSPHeader(data, h);
  p.Version = h.Version;
  if (!found) return false;
  p.Width = h.Width;
  p.Height = h.Height;
  if (h.Depth == 24) {
    p.BitsPerSample = 8;
    p.SamplesPerPixel = 3;
    p.ColorScheme = Scheme::RGB;
  } else {
    p.BitsPerSample = static_cast<std::uint8_t>(std::min<std::uint16_t>(h.Depth, 255));
    p.SamplesPerPixel = 1;
    p.ColorScheme = h.Grey ? Scheme::Gray : Scheme::Indexed;
  }
  p.BitsPerPixel = static_cast<std::uint8_t>(std::min(p.BitsPerSample * p.SamplesPerPixel, 255));
  switch (h.Compression) {
    case 0: p.Compression = TCompressionType::None; break;
    case 1: p.Compression = TCompressionType::RLE; break;
    case 2: p.Compression = TCompressionType::LZ77; break;
    case 3: p.Compression = TCompressionType::PSPJPEG; break;
    default: p.Compression = TCompressionType::Unknown; break;
  }
  const double dpi = std::isfinite(h.Resolution) ? h.Resolution * (h.Unit == 2 ? 2.54 : 1.0) : 0.0;
  p.XResolution = p.YResolution = static_cast<float>(dpi);
  return true;
}

std::uint64_t TPSPGraphic::RowBytes() const {
  const TImageProperties& p = ImageProperties();
  switch (p.BitsPerSample) {
    case 1: return (std::uint64_t{p.Width} + 7) / 8;
    case 4: return std::uint64_t{p.Width} / 2 + 1;
    case 8: return p.Width;  // and each channel of a 24-bit file
    default: return 0;
  }
}

void TPSPGraphic::CheckLoadHeader() {
  const TImageProperties& p = ImageProperties();
  if (p.Compression != TCompressionType::None && p.Compression != TCompressionType::RLE &&
      p.Compression != TCompressionType::LZ77) {
    RaiseInvalidGraphicFmt(t::NotSupported, {t::CompressionScheme, kFormatName});
  }
  if (RowBytes() == 0) RaiseInvalidGraphicFmt(t::InvalidColorFormat, {kFormatName});
  CheckImageSize(p.Width, p.Height, kFormatName);
}

void TPSPGraphic::LoadPixels(TStream& stream) {
  const std::span<const std::uint8_t> data = StreamBytes(stream, copy_, kFormatName);
  const TImageProperties& p = ImageProperties();
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

  TPSPReader r = FormatReader(data, kFormatName);
  // Past the first block, as the header left it.
  r.Seek(kPSPFirstBlock);
  TPSPBlock block;
  ReadPSPBlock(r, p.Version, block);
  r.Seek(block.End);
  const std::uint64_t rowBytes = RowBytes();
  bool layerLoaded = false;
  while (ReadPSPBlock(r, p.Version, block)) {
    if (block.Id == pspPalette) {
      ReadPalette(r);
    } else if (block.Id == pspLayerBank && !layerLoaded) {
      layerLoaded = ReadLayer(r, block, rowBytes);
    }
    r.Seek(block.End);
  }
  // A file without a layer has no picture.
  if (!layerLoaded) RaiseInvalidImage(kFormatName);
}

void TPSPGraphic::ReadPalette(TPSPReader& r) {
  if (ImageProperties().Version > 3) r.U32LE();
  // At most 256 entries, and only those the file holds.
  const std::uint64_t count = std::min<std::uint64_t>({r.U32LE(), 256, r.Remaining() / 4});
  const std::span<const std::uint8_t> entries = r.Bytes(count * 4);
  SetPalette(ColorManager().CreateColorPalette({entries}, 1, static_cast<std::uint32_t>(count), true));
}

bool TPSPGraphic::ReadLayer(TPSPReader& r, const TPSPBlock& bank, std::uint64_t rowBytes) {
  const TImageProperties& p = ImageProperties();
  const bool chunked = p.Version > 3;
  TPSPBlock layer;
  // A bank that does not start with a layer is left.
  if (!ReadPSPBlock(r, p.Version, layer) || layer.Id != pspLayer || layer.End > bank.End) return false;
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
    r.Skip(256 + kPSPLayerFixedFields);
    r.U16LE();  // bitmaps
    channels = r.U16LE();
  }

  // Each channel's data, by its type; only image bitmaps count.
  std::vector<std::uint8_t> planes[4];
  const std::uint64_t needed =
      static_cast<std::uint64_t>(CheckedBufferSize({p.Height, static_cast<std::int64_t>(rowBytes)}, kFormatName));
  for (std::uint16_t c = 0; c < channels; ++c) {
    TPSPBlock channel;
    if (!ReadPSPBlock(r, p.Version, channel) || channel.Id != pspChannel) break;
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
    if (length < needed || static_cast<std::int64_t>(length) > MaxDecodeBytes) RaiseInvalidImage(kFormatName);
    const std::uint64_t available =
        p.Compression == TCompressionType::None ? r.Remaining() : std::min(packedLength, r.Remaining());
    CheckPackedData(static_cast<std::int64_t>(available), static_cast<std::int64_t>(needed),
                    p.Compression == TCompressionType::None ? 1 : p.Compression == TCompressionType::RLE ? 64 : 1032,
                    kFormatName);
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
    if (planes[k].empty()) RaiseInvalidImage(kFormatName);  // a channel is missing
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
