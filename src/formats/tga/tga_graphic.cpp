#include "formats/tga/tga_graphic.h"

#include <algorithm>
#include <cstring>

#include "core/exceptions.h"
#include "core/streams.h"
#include "formats/common/byte_order.h"
#include "formats/common/decode_limits.h"
#include "formats/common/reader_steps.h"
#include "formats/common/reader_texts.h"

namespace {

// A 16-bit 5-6-5 pixel as Targa's 5-5-5.
inline std::uint16_t To555(std::uint16_t v) {
  return static_cast<std::uint16_t>(((v >> 1) & 0x7FE0u) | (v & 0x1Fu));
}

}  // namespace

bool TTargaGraphic::ProbeStream(TStream& stream) const {
  if (stream.Remaining() < static_cast<std::int64_t>(kTargaHeaderSize) + 1) return false;
  const auto bytes = ReadStreamBytes(stream, kTargaHeaderSize, kFormatName);
  const auto header = ParseTargaHeader(bytes);
  return header && IsTargaHeader(*header);
}

bool TTargaGraphic::ReadImageHeader(TStream& stream, int imageIndex) {
  TReaderGraphic::ReadImageHeader(stream, imageIndex);
  const auto bytes = ReadStreamBytesUpTo(stream, kTargaHeaderSize, kFormatName);
  const auto header = ParseTargaHeader(bytes);
  if (!header) return false;
  header_ = *header;
  const bool type = header_.ImageType <= 3 || (header_.ImageType >= 9 && header_.ImageType <= 11);
  if (!type || header_.PixelBytes() == 0) return false;

  TImageProperties& p = ImageProperties();
  p.Width = header_.Width;
  p.Height = header_.Height;
  const TCompressionType compression = header_.RunLength() ? TCompressionType::RLE : TCompressionType::None;
  switch (header_.BitsPerPixel) {
    case 8:
      SetImageLayout(p, header_.Gray() ? TColorScheme::Gray : TColorScheme::Indexed, 8, 1, compression);
      break;
    case 15:
    case 16: SetImageLayout(p, TColorScheme::RGB, 5, 3, compression); break;
    case 24: SetImageLayout(p, TColorScheme::RGB, 8, 3, compression); break;
    default: SetImageLayout(p, TColorScheme::RGBA, 8, 4, compression); break;
  }
  return true;
}

bool TTargaGraphic::ReadLoadHeader(TStream& stream) { return ReadImageHeader(stream, 0) && header_.ImageType != 0; }

void TTargaGraphic::LoadPixels(TStream& stream) {
  const TImageProperties& p = ImageProperties();
  const int width = static_cast<int>(p.Width);
  const int height = static_cast<int>(p.Height);

  ProgressStart(readertext::Preparing, width);
  const std::vector<std::uint8_t> data = ReadStreamRest(stream, kFormatName);
  TFormatReader in = FormatReader(data, kFormatName);
  in.Skip(kTargaHeaderSize + header_.IDLength);

  TColorManager& cm = ColorManager();
  cm.SourceOptions = TConversionOptions::None;
  cm.SetSourceBitsPerSample(p.BitsPerSample);
  cm.SetTargetBitsPerSample(p.BitsPerSample);
  cm.SetSourceSamplesPerPixel(p.SamplesPerPixel);
  cm.SetTargetSamplesPerPixel(p.SamplesPerPixel);
  cm.SetSourceColorScheme(p.ColorScheme);
  cm.SetTargetColorScheme(p.BitsPerPixel == 8 ? p.ColorScheme : TColorScheme::BGR);
  const TPixelFormat format = cm.GetPixelFormat(1);

  std::vector<TPaletteEntry> palette;
  const std::size_t mapBytes = header_.ColorMapBytes();
  if (p.ColorScheme == TColorScheme::Gray) {
    palette = cm.CreateGrayscalePalette(false);
    in.Skip(mapBytes);
  } else if (p.ColorScheme == TColorScheme::Indexed) {
    if (header_.ColorMapLength > 256) throw ERangeError("The Targa colour map has more than 256 entries");
    const auto map = in.Bytes(mapBytes);
    const std::uint8_t entry = header_.ColorMapEntrySize;
    if (mapBytes == 0) {
      // Indices without a map: shown as grey levels rather than all black.
      palette = cm.CreateGrayscalePalette(false);
    } else if (entry == 24 || entry == 32) {
      palette = cm.CreateColorPalette({map}, entry == 24 ? 0 : 1, header_.ColorMapLength, true);
    } else if (entry == 15 || entry == 16) {
      for (std::size_t i = 0; i < header_.ColorMapLength; ++i) {
        const std::uint16_t v = GetU16LE(&map[2 * i]);
        palette.push_back({static_cast<std::uint8_t>(((v >> 10) & 31) * 8),
                           static_cast<std::uint8_t>(((v >> 5) & 31) * 8), static_cast<std::uint8_t>((v & 31) * 8),
                           0});
      }
    } else {
      RaiseInvalidImage(kFormatName);
    }
  } else {
    // A true-colour file may carry a colour map; its pixels do not use it.
    in.Skip(mapBytes);
  }
  ProgressEnd();

  const std::size_t rowBytes = static_cast<std::size_t>(width) * header_.PixelBytes();
  // A packet of one pixel and its header gives at most 128 pixels.
  const std::int64_t packedRatio = header_.RunLength() ? 128 : 1;
  CheckPackedData(static_cast<std::int64_t>(in.Remaining()), static_cast<std::int64_t>(rowBytes) * height,
                  packedRatio, kFormatName);
  SetSizeForDecoding(width, height, format);
  if (!palette.empty()) SetPalette(std::move(palette));

  ProgressStart(readertext::Transfering, width);
  TTargaRLEDecoder decoder(header_.BitsPerPixel);
  for (int r = 0; r < height; ++r) {
    std::uint8_t* row = ScanLine(header_.TopDown() ? r : height - 1 - r);
    if (header_.RunLength()) {
      // At most twice the row's bytes hold its packets; the next row
      // starts after the packets this one used.
      const std::size_t window = static_cast<std::size_t>(std::min<std::uint64_t>(2 * rowBytes, in.Remaining()));
      std::span<const std::uint8_t> source = data;
      source = source.subspan(static_cast<std::size_t>(in.Position()), window);
      std::span<std::uint8_t> dest(row, rowBytes);
      decoder.Decode(source, dest);
      if (!dest.empty()) RaiseInvalidImage(kFormatName);
      in.Skip(window - source.size());
    } else {
      const std::span<const std::uint8_t> raw = in.Bytes(rowBytes);
      std::memcpy(row, raw.data(), raw.size());
    }
    ProgressRow(r, height);
  }
  ProgressEnd();
}

void TTargaGraphic::SaveToStream(TStream& stream) { SaveTarga(stream, true); }

void TTargaGraphic::SaveTarga(TStream& stream, bool compressed) {
  if (Empty()) return;
  if (Width() > 65535 || Height() > 65535) throw ERangeError("A Targa picture is at most 65535 pixels on a side");
  // 1- and 4-bit pictures are written from an 8-bit copy.
  const TBitmap* source = this;
  TBitmap widened;
  if (PixelFormat() == pf1bit || PixelFormat() == pf4bit) {
    widened = *this;
    widened.SetPixelFormat(pf8bit);
    source = &widened;
  }
  std::size_t pixelBytes = 3;
  switch (source->PixelFormat()) {
    case pf8bit: pixelBytes = 1; break;
    case pf15bit:
    case pf16bit: pixelBytes = 2; break;
    case pf32bit: pixelBytes = 4; break;
    default: pixelBytes = 3; break;  // 24-bit, device and custom rows are stored as 24-bit
  }
  const int width = Width();
  const int height = Height();

  ProgressStart(readertext::Preparing, width);
  TTargaHeader h;
  h.ColorMapType = pixelBytes == 1 ? 1 : 0;
  h.ImageType = static_cast<std::uint8_t>((pixelBytes == 1 ? 1 : 2) + (compressed ? 8 : 0));
  h.ColorMapLength = 256;
  h.ColorMapEntrySize = 24;
  h.Width = static_cast<std::uint16_t>(width);
  h.Height = static_cast<std::uint16_t>(height);
  h.BitsPerPixel = static_cast<std::uint8_t>(8 * pixelBytes);
  h.Descriptor = 0x20;
  std::vector<std::uint8_t> out = TargaHeaderBytes(h);
  if (pixelBytes == 1) {
    const std::vector<TPaletteEntry>& pal = source->Palette();
    for (std::size_t i = 0; i < 256; ++i) {
      const TPaletteEntry e = i < pal.size() ? pal[i] : TPaletteEntry{0, 0, 0, 0};
      out.insert(out.end(), {e.Blue, e.Green, e.Red});
    }
  }
  stream.WriteBuffer(out);
  ProgressEnd();

  ProgressStart(readertext::Transfering, width);
  TTargaRLEDecoder encoder(static_cast<int>(8 * pixelBytes));
  const std::size_t rowBytes = static_cast<std::size_t>(width) * pixelBytes;
  std::vector<std::uint8_t> row(rowBytes);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* line = source->ScanLine(y);
    if (source->PixelFormat() == pf16bit) {
      for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x) {
        const std::uint16_t v = To555(GetU16LE(line + 2 * x));
        row[2 * x] = static_cast<std::uint8_t>(v);
        row[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
      }
      line = row.data();
    }
    if (compressed) {
      out.clear();
      encoder.Encode(std::span<const std::uint8_t>(line, rowBytes), static_cast<std::size_t>(width), out);
      stream.WriteBuffer(out);
    } else {
      stream.WriteBuffer(line, static_cast<std::int64_t>(rowBytes));
    }
    ProgressRow(y, height);
  }
  ProgressEnd();
}
