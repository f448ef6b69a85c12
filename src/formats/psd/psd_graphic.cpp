#include "formats/psd/psd_graphic.h"

#include <cstring>

#include "core/streams.h"
#include "formats/common/decode_limits.h"
#include "formats/common/decoder.h"
#include "formats/common/reader_steps.h"
#include "formats/common/reader_texts.h"

bool TPSDGraphic::ProbeStream(TStream& stream) const {
  if (stream.Remaining() <= static_cast<std::int64_t>(kPSDHeaderSize)) return false;
  const auto h = ParsePSDHeader(ReadStreamBytes(stream, kPSDHeaderSize, kFormatName));
  return h && h->Version == 1;
}

bool TPSDGraphic::ReadImageHeader(TStream& stream, int imageIndex) {
  TReaderGraphic::ReadImageHeader(stream, imageIndex);
  const auto h = ParsePSDHeader(ReadStreamBytesUpTo(stream, kPSDHeaderSize, kFormatName));
  if (!h || h->Version != 1) return false;
  header_ = *h;
  TImageProperties& p = ImageProperties();
  p.Options = ioBigEndian;
  p.Width = header_.Width;
  p.Height = header_.Height;
  p.BitsPerSample = static_cast<std::uint8_t>(std::min<int>(header_.Depth, 255));
  p.Channels = static_cast<std::uint8_t>(std::min<int>(header_.Channels, 255));
  p.SamplesPerPixel = static_cast<std::uint8_t>(std::min<int>(header_.Channels, 4));
  switch (header_.Mode) {
    case psdBitmap:
      p.ColorScheme = TColorScheme::Gray;
      p.Options |= ioMinIsWhite;
      break;
    case psdGrayscale:
    case psdDuotone: p.ColorScheme = TColorScheme::Gray; break;
    case psdIndexed: p.ColorScheme = TColorScheme::Indexed; break;
    case psdRGB:
    case psdMultichannel: p.ColorScheme = p.SamplesPerPixel == 3 ? TColorScheme::RGB : TColorScheme::RGBA; break;
    case psdCMYK: p.ColorScheme = TColorScheme::CMYK; break;
    case psdLab: p.ColorScheme = TColorScheme::CIELab; break;
    default: return false;
  }
  p.BitsPerPixel = static_cast<std::uint8_t>(std::min(p.BitsPerSample * p.SamplesPerPixel, 255));
  // The stream is left after the header, as for every reader.
  p.Compression = PeekPSDCompression(stream, kFormatName) == 1 ? TCompressionType::PackBits : TCompressionType::None;
  return true;
}

TColorScheme TPSDGraphic::SetUpColors(int planes) {
  const TImageProperties& p = ImageProperties();
  const int depth = header_.Depth;
  TColorManager& cm = ColorManager();
  cm.SourceOptions = TConversionOptions::SwapBytes;
  cm.TargetOptions = TConversionOptions::None;
  const TColorScheme scheme = header_.Mode == psdMultichannel || header_.Mode == psdRGB
                                  ? (planes == 3 ? TColorScheme::RGB : TColorScheme::RGBA)
                                  : p.ColorScheme;
  cm.SetSourceColorScheme(scheme);
  cm.SetSourceBitsPerSample(depth);
  cm.SetSourceSamplesPerPixel(planes);
  cm.SetTargetBitsPerSample(depth == 16 ? 8 : depth);
  cm.SetTargetSamplesPerPixel(scheme == TColorScheme::CMYK ? 3 : planes);
  switch (scheme) {
    case TColorScheme::RGB:
    case TColorScheme::CMYK: cm.SetTargetColorScheme(TColorScheme::BGR); break;
    case TColorScheme::RGBA: cm.SetTargetColorScheme(TColorScheme::BGRA); break;
    case TColorScheme::CIELab:
      cm.SetTargetColorScheme(TColorScheme::BGR);
      cm.SourceOptions |= TConversionOptions::LabScaledL | TConversionOptions::LabOffsetChroma;
      break;
    default: cm.SetTargetColorScheme(scheme); break;
  }
  return scheme;
}

void TPSDGraphic::LoadPixels(TStream& stream) {
  const TImageProperties& p = ImageProperties();
  const int width = static_cast<int>(p.Width);
  const int height = static_cast<int>(p.Height);
  const int depth = header_.Depth;
  // A layout the colour manager cannot convert is the format's error, not
  // a misread picture.
  const int planes = header_.Planes();
  if (planes == 0 || !header_.DepthFits()) RaiseInvalidImage(kFormatName);

  ProgressStart(readertext::Preparing, width);
  const std::vector<std::uint8_t> data = ReadStreamRest(stream, kFormatName);
  TFormatReader in = FormatReader(data, kFormatName);
  in.Skip(kPSDHeaderSize);
  const TPSDSections sections = ReadPSDSections(in);
  const std::span<const std::uint8_t> modeData = sections.ModeData;
  const std::uint16_t compression = sections.Compression;
  if (compression > 1) RaiseInvalidImage(kFormatName);  // ZIP coding is not read

  const TColorScheme scheme = SetUpColors(planes);
  TColorManager& cm = ColorManager();

  std::vector<TPaletteEntry> palette;
  if (scheme == TColorScheme::Indexed) {
    // 256 reds, then 256 greens, then 256 blues.
    if (modeData.size() < 768) RaiseInvalidImage(kFormatName);
    palette = cm.CreateColorPalette({modeData.first(256), modeData.subspan(256, 256), modeData.subspan(512, 256)}, 2,
                                    256, false);
  } else if (scheme == TColorScheme::Gray) {
    palette = cm.CreateGrayscalePalette(header_.Mode == psdBitmap);
  }

  const std::size_t rowBytes = static_cast<std::size_t>(PackedRowBytes(width, depth, kFormatName));
  const std::size_t rows = static_cast<std::size_t>(height);
  // Where each packed row of the channels used starts, and its length.
  std::vector<std::uint64_t> rowStart;
  std::vector<std::uint16_t> rowLength;
  const std::size_t used = static_cast<std::size_t>(planes) * rows;
  if (compression == 1) {
    const std::size_t count = static_cast<std::size_t>(CheckedBufferSize({header_.Channels, height}, kFormatName));
    in.Need(2 * static_cast<std::uint64_t>(count));
    rowLength.resize(used);
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint16_t n = in.U16BE();
      if (i < used) rowLength[i] = n;
    }
    rowStart.resize(used);
    std::uint64_t at = in.Position();
    for (std::size_t i = 0; i < used; ++i) {
      rowStart[i] = at;
      at += rowLength[i];
    }
    if (at > data.size()) RaiseInvalidImage(kFormatName);
    // Two packed bytes give at most 128.
    CheckPackedData(static_cast<std::int64_t>(at - in.Position()),
                    CheckedBufferSize({planes, height, static_cast<std::int64_t>(rowBytes)}, kFormatName), 64, kFormatName);
  } else {
    CheckPackedData(static_cast<std::int64_t>(in.Remaining()),
                    CheckedBufferSize({planes, height, static_cast<std::int64_t>(rowBytes)}, kFormatName), 1, kFormatName);
  }
  const std::uint64_t rawStart = in.Position();
  TPackbitsRLEDecoder decoder;
  // Row y of channel c into dest.
  auto readRow = [&](int c, std::size_t y, std::span<std::uint8_t> dest) {
    const std::size_t i = static_cast<std::size_t>(c) * rows + y;
    if (compression == 1) {
      std::span<const std::uint8_t> source(data.data() + rowStart[i], rowLength[i]);
      decoder.Decode(source, dest);
      if (!dest.empty()) RaiseInvalidImage(kFormatName);
    } else {
      std::memcpy(dest.data(), data.data() + rawStart + i * rowBytes, rowBytes);
    }
  };
  ProgressEnd();

  SetSizeForDecoding(width, height, cm.GetPixelFormat(1));
  if (!palette.empty()) SetPalette(std::move(palette));

  if (planes == 1) {
    ProgressStart(readertext::Transfering, width);
    std::vector<std::uint8_t> buffer(depth == 16 ? rowBytes : 0);
    for (int y = 0; y < height; ++y) {
      const std::span<std::uint8_t> row = ScanLineSpan(y);
      if (depth == 16) {
        // Two bytes a sample: decoded apart and converted, not into the row.
        readRow(0, static_cast<std::size_t>(y), buffer);
        cm.ConvertRow(std::span<const std::uint8_t>(buffer), row, static_cast<std::uint32_t>(width));
      } else {
        readRow(0, static_cast<std::size_t>(y), row.first(rowBytes));
      }
      ProgressRow(y, height);
    }
    ProgressEnd();
    return;
  }

  ProgressStart(readertext::LoadingData, width);
  std::vector<std::uint8_t> planeData(static_cast<std::size_t>(
      CheckedBufferSize({planes, height, static_cast<std::int64_t>(rowBytes)}, kFormatName)));
  for (int c = 0; c < planes; ++c) {
    for (std::size_t y = 0; y < rows; ++y) {
      readRow(c, y, std::span<std::uint8_t>(planeData.data() + (static_cast<std::size_t>(c) * rows + y) * rowBytes, rowBytes));
    }
    ProgressRow(c, planes);
  }
  // Photoshop stores CMYK as the light left: 255 is no ink.
  if (scheme == TColorScheme::CMYK) {
    for (std::uint8_t& v : planeData) v = static_cast<std::uint8_t>(~v);
  }
  ProgressEnd();

  ProgressStart(readertext::Transfering, width);
  std::span<const std::uint8_t> rowPlanes[4];
  for (int y = 0; y < height; ++y) {
    for (int c = 0; c < planes; ++c) {
      rowPlanes[c] = std::span<const std::uint8_t>(
          planeData.data() + (static_cast<std::size_t>(c) * rows + static_cast<std::size_t>(y)) * rowBytes, rowBytes);
    }
    cm.ConvertRow(TRowPlanes(rowPlanes, static_cast<std::size_t>(planes)), ScanLineSpan(y),
                  static_cast<std::uint32_t>(width));
    ProgressRow(y, height);
  }
  ProgressEnd();
}
