#include "formats/ppm/ppm_graphic.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/exceptions.h"
#include "core/streams.h"
#include "formats/common/decode_limits.h"
#include "formats/common/reader_steps.h"
#include "formats/common/reader_texts.h"

bool TPPMGraphic::ProbeStream(TStream& stream) const {
  std::uint8_t magic[2];
  if (stream.Read(magic, 2) != 2) return false;
  return magic[0] == 'P' && magic[1] >= '1' && magic[1] <= '6';
}

bool TPPMGraphic::ReadImageHeader(TStream& stream, int imageIndex) {
  TReaderGraphic::ReadImageHeader(stream, imageIndex);
  source_.Start(stream);
  const std::optional<TPPMHeader> header = ReadPPMHeader(source_);
  if (!header) return false;
  header_ = *header;
  TImageProperties& p = ImageProperties();
  p.Width = header_.Width;
  p.Height = header_.Height;
  const bool colour = header_.Colour();
  SetImageLayout(p, colour ? TColorScheme::RGB : TColorScheme::Indexed, header_.BitsPerSample(), colour ? 3 : 1,
                 TCompressionType::None);
  return true;
}

void TPPMGraphic::LoadPixels(TStream& stream) {
  const TImageProperties& p = ImageProperties();
  const int width = static_cast<int>(std::min<std::uint32_t>(p.Width, 0x7FFFFFFF));
  const int height = static_cast<int>(std::min<std::uint32_t>(p.Height, 0x7FFFFFFF));
  // Raw samples take one byte up to a maximum of 255, two (most
  // significant first) up to 65535; a larger maximum is no portable map.
  if (header_.Raw() && header_.MaxValue > 65535) RaiseInvalidImage(kFormatName);
  const std::int64_t sampleBytes = p.BitsPerSample == 16 ? 2 : 1;

  ProgressStart(readertext::Transfering, width);
  // The header once more, from the base position, to reach the pixels.
  ReadImageHeader(stream, 0);
  const std::int64_t samples = static_cast<std::int64_t>(width) * p.SamplesPerPixel;
  const std::int64_t rowBytes = header_.Bitmap() ? (width + 7) / 8 : samples;
  // Every pixel or sample takes at least one byte of the file.
  CheckPackedData(source_.BytesLeft(),
                  (header_.Type == 1 ? width : rowBytes * sampleBytes) * static_cast<std::int64_t>(height), 1,
                  kFormatName);

  TColorManager& cm = ColorManager();
  cm.SetSourceBitsPerSample(p.BitsPerSample);
  cm.SetTargetBitsPerSample(p.BitsPerSample == 16 ? 8 : p.BitsPerSample);
  cm.SetSourceSamplesPerPixel(p.SamplesPerPixel);
  cm.SetTargetSamplesPerPixel(p.SamplesPerPixel);
  const TPixelFormat format = header_.Bitmap() ? pf1bit : header_.Colour() ? pf24bit : pf8bit;
  SetSizeForDecoding(width, height, format);
  if (format != pf24bit) SetPalette(cm.CreateGrayscalePalette(format == pf1bit));

  // A row of two-byte samples, of which the high bytes are kept, as
  // samples of one byte are taken as they stand.
  std::vector<std::uint8_t> wide(sampleBytes == 2 ? static_cast<std::size_t>(samples) * 2 : 0);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = ScanLine(y);
    switch (header_.Type) {
      case 1: {
        std::memset(row, 0, static_cast<std::size_t>(rowBytes));
        for (int x = 0; x < width; ++x) row[x / 8] |= static_cast<std::uint8_t>(source_.ReadBit() << (7 - x % 8));
        break;
      }
      case 2:
      case 3:
        for (std::int64_t i = 0; i < samples; ++i) {
          const std::uint32_t v = source_.ReadNumber();
          if (v > 255) throw ERangeError("A sample of the portable map lies above 255");
          row[i] = static_cast<std::uint8_t>(v);
        }
        break;
      default:
        if (wide.empty()) {
          source_.ReadBlock(row, static_cast<std::size_t>(rowBytes));
        } else {
          source_.ReadBlock(wide.data(), wide.size());
          for (std::int64_t i = 0; i < samples; ++i) row[i] = wide[static_cast<std::size_t>(2 * i)];
        }
        break;
    }
    if (header_.Colour()) {
      for (std::int64_t x = 0; x < samples; x += 3) std::swap(row[x], row[x + 2]);
    }
    ProgressRow(y, height);
  }
  ProgressEnd();
  source_.Stop();
}
