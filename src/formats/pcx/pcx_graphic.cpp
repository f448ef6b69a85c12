#include "formats/pcx/pcx_graphic.h"

#include <array>
#include <cstring>

#include "core/exceptions.h"
#include "core/streams.h"
#include "formats/common/decode_limits.h"
#include "formats/common/reader_steps.h"
#include "formats/common/reader_texts.h"

namespace {

// Bit j of a byte (from the most significant end) moved to the lowest bit
// of nibble j, counted from the most significant nibble of 32 bits: eight
// 1-bit pixels of a plane spread over eight 4-bit pixels.
constexpr std::array<std::uint32_t, 256> MakeNibbleSpread() {
  std::array<std::uint32_t, 256> t{};
  for (std::uint32_t b = 0; b < 256; ++b) {
    std::uint32_t v = 0;
    for (int j = 0; j < 8; ++j) {
      if (b & (0x80u >> j)) v |= 1u << (28 - 4 * j);
    }
    t[b] = v;
  }
  return t;
}
constexpr std::array<std::uint32_t, 256> kNibbleSpread = MakeNibbleSpread();

// One row of 4 planes of 1 bit as 4-bit pixels: plane 3 gives the most
// significant bit of each pixel.
void InterleavePlanes(const std::uint8_t* row, std::size_t bytesPerLine, int width, std::uint8_t* out) {
  const std::size_t outBytes = (static_cast<std::size_t>(width) + 1) / 2;
  for (std::size_t i = 0, o = 0; o < outBytes; ++i) {
    const std::uint32_t v = kNibbleSpread[row[i]] | (kNibbleSpread[row[bytesPerLine + i]] << 1) |
                            (kNibbleSpread[row[2 * bytesPerLine + i]] << 2) |
                            (kNibbleSpread[row[3 * bytesPerLine + i]] << 3);
    for (int k = 0; k < 4 && o < outBytes; ++k, ++o) out[o] = static_cast<std::uint8_t>(v >> (24 - 8 * k));
  }
}

}  // namespace

bool TPCXGraphic::ProbeStream(TStream& stream) const {
  if (stream.Remaining() < static_cast<std::int64_t>(kPCXHeaderSize) + 1) return false;
  const auto bytes = ReadStreamBytes(stream, kPCXHeaderSize, kFormatName);
  const auto h = ParsePCXHeader(bytes);
  const bool version = h->Version == 0 || h->Version == 2 || h->Version == 3 || h->Version == 5;
  return (h->Manufacturer == 0x0A || h->Manufacturer == 0x0C) && version && h->Encoding <= 1;
}

bool TPCXGraphic::ReadImageHeader(TStream& stream, int imageIndex) {
  TReaderGraphic::ReadImageHeader(stream, imageIndex);
  headerBytes_ = ReadStreamBytesUpTo(stream, kPCXHeaderSize, kFormatName);
  const auto h = ParsePCXHeader(headerBytes_);
  if (!h || (h->Manufacturer != 0x0A && h->Manufacturer != 0xCD)) return false;
  header_ = *h;
  const std::int32_t width = header_.XMax - header_.XMin + 1;
  const std::int32_t height = header_.YMax - header_.YMin + 1;
  if (width < 0 || height < 0) throw ERangeError("The PCX picture's window is inverted");

  TImageProperties& p = ImageProperties();
  p.Width = static_cast<std::uint32_t>(width);
  p.Height = static_cast<std::uint32_t>(height);
  p.SamplesPerPixel = header_.Planes;
  p.BitsPerSample = header_.BitsPerPlane;
  p.BitsPerPixel = static_cast<std::uint8_t>(header_.Planes * header_.BitsPerPlane);
  const int bitsPerPixel = header_.Planes * header_.BitsPerPlane;
  p.ColorScheme = bitsPerPixel > 8 ? TColorScheme::RGB : TColorScheme::Indexed;
  p.Compression = header_.Encoding == 1 ? TCompressionType::RLE : TCompressionType::None;
  p.XResolution = header_.XResolution;
  p.YResolution = header_.YResolution;
  return true;
}

void TPCXGraphic::LoadPixels(TStream& stream) {
  const TImageProperties& p = ImageProperties();
  const int width = static_cast<int>(p.Width);
  const int height = static_cast<int>(p.Height);

  const int planes = header_.Planes;
  const int bits = header_.BitsPerPlane;
  const int bitsPerPixel = planes * bits;
  const bool fourPlanes = planes == 4 && bits == 1;
  const bool onePlane = planes == 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8);
  if (!onePlane && !fourPlanes && !(planes == 3 && bits == 8)) {
    RaiseInvalidGraphicFmt(readertext::InvalidColorFormat, {"PCX"});
  }
  // Each plane line must hold the row's pixels.
  const std::size_t bytesPerLine = header_.BytesPerLine;
  if (static_cast<std::int64_t>(bytesPerLine) < PackedRowBytes(width, bits, kFormatName)) RaiseInvalidImage(kFormatName);

  ProgressStart(readertext::Preparing, width);
  TColorManager& cm = ColorManager();
  cm.SourceOptions = TConversionOptions::None;
  cm.SetSourceColorScheme(p.ColorScheme);
  cm.SetSourceBitsPerSample(bits);
  cm.SetSourceSamplesPerPixel(planes);
  cm.SetTargetColorScheme(p.ColorScheme == TColorScheme::Indexed ? TColorScheme::Indexed : TColorScheme::BGR);
  cm.SetTargetBitsPerSample(bitsPerPixel == 2 ? 4 : bits);
  cm.SetTargetSamplesPerPixel(planes);
  TPixelFormat format = cm.GetPixelFormat(1);
  if (format == pfCustom) format = pf4bit;  // 4 planes of 1 bit

  const std::vector<std::uint8_t> data = ReadStreamRest(stream, kFormatName);
  std::span<const std::uint8_t> pixels = std::span<const std::uint8_t>(data).subspan(kPCXHeaderSize);

  std::vector<TPaletteEntry> palette;
  if (header_.Version == 3 && bitsPerPixel > 1 && bitsPerPixel < 8) {
    palette = SystemPalette16();
  } else if (bitsPerPixel == 1) {
    palette = cm.CreateGrayscalePalette(false);
  } else if (bitsPerPixel == 2 || bitsPerPixel == 4) {
    palette = header_.PaletteType == 2 ? cm.CreateGrayscalePalette(false)
                                       : cm.CreateColorPalette({header_.Palette16}, 0, 16, false);
  } else if (bitsPerPixel == 8) {
    // The palette trailer, where the file is long enough to hold one
    // after its header.
    if (pixels.size() >= kPCXPaletteTrailerSize && pixels[pixels.size() - kPCXPaletteTrailerSize] == 12) {
      palette = cm.CreateColorPalette({pixels.last(kPCXPaletteTrailerSize - 1)}, 0, 256, false);
      pixels = pixels.first(pixels.size() - kPCXPaletteTrailerSize);
    } else if (header_.Version == 3) {
      palette = SystemPalette16();
    } else {
      palette = cm.CreateGrayscalePalette(false);
    }
  }

  const std::size_t lineBytes = static_cast<std::size_t>(planes) * bytesPerLine;
  const auto total = static_cast<std::size_t>(CheckedBufferSize({height, planes, header_.BytesPerLine}, kFormatName));
  // Two bytes give at most 63.
  CheckPackedData(static_cast<std::int64_t>(pixels.size()), static_cast<std::int64_t>(total),
                  header_.Encoding == 1 ? 32 : 1, kFormatName);
  std::vector<std::uint8_t> decoded;
  if (header_.Encoding == 1) {
    decoded.resize(total);
    std::span<const std::uint8_t> source = pixels;
    std::span<std::uint8_t> dest = decoded;
    TPCXRLEDecoder().Decode(source, dest);
    if (!dest.empty()) RaiseInvalidImage(kFormatName);
    pixels = decoded;
  } else if (pixels.size() < total) {
    RaiseInvalidImage(kFormatName);
  }
  ProgressEnd();

  SetSizeForDecoding(width, height, format);
  if (!palette.empty()) SetPalette(std::move(palette));

  ProgressStart(readertext::Transfering, width);
  const std::size_t copyBytes = static_cast<std::size_t>(PackedRowBytes(width, bits, kFormatName));
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* line = pixels.data() + static_cast<std::size_t>(y) * lineBytes;
    const std::span<std::uint8_t> row = ScanLineSpan(y);
    if (fourPlanes) {
      InterleavePlanes(line, bytesPerLine, width, row.data());
    } else if (planes == 3) {
      cm.ConvertRow({std::span<const std::uint8_t>(line, bytesPerLine),
                     std::span<const std::uint8_t>(line + bytesPerLine, bytesPerLine),
                     std::span<const std::uint8_t>(line + 2 * bytesPerLine, bytesPerLine)},
                    row, static_cast<std::uint32_t>(width));
    } else if (bits == 8) {
      std::memcpy(row.data(), line, copyBytes);
    } else {
      cm.ConvertRow(std::span<const std::uint8_t>(line, bytesPerLine), row, static_cast<std::uint32_t>(width));
    }
    ProgressRow(y, height);
  }
  ProgressEnd();
}
