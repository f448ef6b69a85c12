#include "formats/rla/rla_graphic.h"

#include "core/streams.h"
#include "formats/common/decode_limits.h"
#include "formats/common/reader_steps.h"
#include "formats/common/reader_texts.h"

bool TRLAGraphic::ProbeStream(TStream& stream) const {
  if (stream.Remaining() <= static_cast<std::int64_t>(kRLAHeaderSize)) return false;
  const auto h = ParseRLAHeader(ReadStreamBytes(stream, kRLAHeaderSize, kFormatName));
  return h->Revision == 0xFFFE && (h->ColorSpace == "rgb" || h->ColorSpace == "xyz");
}

bool TRLAGraphic::ReadImageHeader(TStream& stream, int imageIndex) {
  TReaderGraphic::ReadImageHeader(stream, imageIndex);
  const auto h = ParseRLAHeader(ReadStreamBytesUpTo(stream, kRLAHeaderSize, kFormatName));
  if (!h || h->Revision != 0xFFFE || h->ColorSpace != "rgb") return false;
  header_ = *h;
  TImageProperties& p = ImageProperties();
  p.Options = ioBigEndian;
  const int samples = header_.ColorChannels + (header_.MatteChannels == 1 ? 1 : 0);
  p.SamplesPerPixel = static_cast<std::uint8_t>(std::min(samples, 255));
  p.BitsPerSample = static_cast<std::uint8_t>(std::min<int>(header_.ColorBits, 255));
  p.BitsPerPixel = static_cast<std::uint8_t>(std::min(p.SamplesPerPixel * p.BitsPerSample, 255));
  p.ColorScheme = header_.MatteChannels == 1 ? TColorScheme::RGBA : TColorScheme::RGB;
  p.FileGamma = header_.Gamma;
  p.Compression = TCompressionType::RLE;
  const std::int64_t width = header_.Width();
  p.Width = width > 0 ? static_cast<std::uint32_t>(width) : 0;
  p.Height = static_cast<std::uint32_t>(header_.Height());
  p.BottomUp = header_.BottomUp();
  return true;
}

void TRLAGraphic::LoadPixels(TStream& stream) {
  TImageProperties& p = ImageProperties();
  const int width = static_cast<int>(p.Width);
  const int height = static_cast<int>(p.Height);
  // Three colour channels of 8 bits are what the rows can be turned into;
  // the coding of deeper channels is not known.
  if (header_.ColorChannels != 3 || header_.ColorBits != 8) RaiseInvalidImage(kFormatName);
  const bool alpha = p.ColorScheme == TColorScheme::RGBA;
  const int channels = alpha ? 4 : 3;
  ProgressStart(readertext::Transfering, width);

  TColorManager& cm = ColorManager();
  cm.SourceOptions = TConversionOptions::None;
  cm.TargetOptions = TConversionOptions::None;
  cm.SetSourceColorScheme(p.ColorScheme);
  cm.SetTargetColorScheme(alpha ? TColorScheme::BGRA : TColorScheme::BGR);
  cm.SetSourceBitsPerSample(8);
  cm.SetTargetBitsPerSample(8);
  cm.SetSourceSamplesPerPixel(channels);
  cm.SetTargetSamplesPerPixel(channels);
  if (p.FileGamma != 1.0f) {
    cm.SetGamma(p.FileGamma, 2.2f);
    cm.TargetOptions |= TConversionOptions::UseGamma;
    p.Options |= ioUseGamma;
  }

  const std::vector<std::uint8_t> data = ReadStreamRest(stream, kFormatName);
  TFormatReader in = FormatReader(data, kFormatName);
  in.Skip(kRLAHeaderSize);
  in.Need(4 * static_cast<std::uint64_t>(height));
  std::vector<std::uint32_t> offsets(static_cast<std::size_t>(height));
  for (std::uint32_t& v : offsets) v = in.U32BE();

  SetSizeForDecoding(width, height, cm.GetPixelFormat(1));
  const std::size_t w = static_cast<std::size_t>(width);
  std::vector<std::uint8_t> planes(w * static_cast<std::size_t>(channels));
  std::span<const std::uint8_t> rows[4];
  TRLADecoder decoder;
  for (int i = 0; i < height; ++i) {
    in.Seek(offsets[static_cast<std::size_t>(i)]);
    for (int c = 0; c < channels; ++c) {
      const std::uint16_t length = in.U16BE();
      std::span<const std::uint8_t> source = in.Bytes(length);
      std::span<std::uint8_t> dest(planes.data() + static_cast<std::size_t>(c) * w, w);
      decoder.Decode(source, dest);
      if (!dest.empty()) RaiseInvalidImage(kFormatName);
      rows[c] = std::span<const std::uint8_t>(planes.data() + static_cast<std::size_t>(c) * w, w);
    }
    cm.ConvertRow(TRowPlanes(rows, static_cast<std::size_t>(channels)), ScanLineSpan(p.BottomUp ? height - 1 - i : i),
                  static_cast<std::uint32_t>(width));
    ProgressRow(i, height);
  }
  ProgressEnd();
}
