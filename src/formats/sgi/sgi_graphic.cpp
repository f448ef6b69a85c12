#include "formats/sgi/sgi_graphic.h"

#include <cstring>

#include "core/streams.h"
#include "formats/common/decode_limits.h"
#include "formats/common/reader_steps.h"
#include "formats/common/reader_texts.h"

bool TSGIGraphic::ProbeStream(TStream& stream) const {
  if (stream.Remaining() < static_cast<std::int64_t>(kSGIHeaderSize) + 1) return false;
  return ParseSGIHeader(ReadStreamBytes(stream, kSGIHeaderSize, kFormatName)).has_value();
}

bool TSGIGraphic::ReadImageHeader(TStream& stream, int imageIndex) {
  TReaderGraphic::ReadImageHeader(stream, imageIndex);
  const auto header = ParseSGIHeader(ReadStreamBytesUpTo(stream, kSGIHeaderSize, kFormatName));
  if (!header) return false;
  header_ = *header;
  TImageProperties& p = ImageProperties();
  p.Options = ioBigEndian;
  p.Width = header_.Width;
  p.Height = header_.Height;
  p.BitsPerSample = static_cast<std::uint8_t>(8 * header_.BytesPerSample);
  p.SamplesPerPixel = static_cast<std::uint8_t>(std::min<int>(header_.Planes, 255));
  p.BitsPerPixel = static_cast<std::uint8_t>(p.BitsPerSample * p.SamplesPerPixel);
  p.ColorScheme = header_.Planes == 3   ? TColorScheme::RGB
                  : header_.Planes == 4 ? TColorScheme::RGBA
                                        : TColorScheme::Indexed;
  p.Compression = header_.RunLength() ? TCompressionType::RLE : TCompressionType::None;
  return true;
}

void TSGIGraphic::ReadPlaneRow(std::span<const std::uint8_t> data, int plane, int row, std::span<std::uint8_t> dest) {
  const std::size_t index = static_cast<std::size_t>(plane) * header_.Height + static_cast<std::size_t>(row);
  if (header_.RunLength()) {
    const std::uint64_t start = rowStart_[index];
    const std::uint64_t length = rowLength_[index];
    if (start > data.size() || length > data.size() - start) RaiseInvalidImage(kFormatName);
    std::span<const std::uint8_t> source = data.subspan(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
    decoder_->Decode(source, dest);
    if (!dest.empty()) RaiseInvalidImage(kFormatName);
  } else {
    const std::size_t offset = kSGIHeaderSize + index * dest.size();
    std::memcpy(dest.data(), data.data() + offset, dest.size());
  }
}

void TSGIGraphic::LoadPixels(TStream& stream) {
  const TImageProperties& p = ImageProperties();
  const int width = header_.Width;
  const int height = header_.Height;
  // Grey, grey with alpha (read as grey), RGB and RGB with alpha.
  const int planes = header_.Planes;
  if (planes < 1 || planes > 4) RaiseInvalidImage(kFormatName);
  const int used = planes == 2 ? 1 : planes;

  ProgressStart(readertext::Preparing, width);
  const std::vector<std::uint8_t> data = ReadStreamRest(stream, kFormatName);
  const std::size_t rowBytes = static_cast<std::size_t>(width) * header_.BytesPerSample;
  if (header_.RunLength()) {
    const std::size_t count = static_cast<std::size_t>(CheckedBufferSize({height, planes}, kFormatName));
    TFormatReader in = FormatReader(data, kFormatName);
    in.Skip(kSGIHeaderSize);
    in.Need(8 * static_cast<std::uint64_t>(count));
    rowStart_.resize(count);
    rowLength_.resize(count);
    for (std::uint32_t& v : rowStart_) v = in.U32BE();
    for (std::uint32_t& v : rowLength_) v = in.U32BE();
    decoder_ = std::make_unique<TSGIRLEDecoder>(p.BitsPerSample);
  } else {
    CheckPackedData(static_cast<std::int64_t>(data.size()) - static_cast<std::int64_t>(kSGIHeaderSize),
                    CheckedBufferSize({planes, height, static_cast<std::int64_t>(rowBytes)}, kFormatName), 1, kFormatName);
  }

  TColorManager& cm = ColorManager();
  cm.SourceOptions = TConversionOptions::SwapBytes;
  const TColorScheme scheme = used == 3 ? TColorScheme::RGB : used == 4 ? TColorScheme::RGBA : TColorScheme::Indexed;
  cm.SetSourceColorScheme(scheme);
  cm.SetSourceBitsPerSample(p.BitsPerSample);
  cm.SetSourceSamplesPerPixel(used);
  cm.SetTargetColorScheme(used == 3 ? TColorScheme::BGR : used == 4 ? TColorScheme::BGRA : TColorScheme::Indexed);
  cm.SetTargetBitsPerSample(8);
  cm.SetTargetSamplesPerPixel(used);
  ProgressEnd();

  SetSizeForDecoding(width, height, cm.GetPixelFormat(1));
  if (used == 1) SetPalette(cm.CreateGrayscalePalette(false));

  ProgressStart(readertext::Transfering, width);
  // One plane of bytes goes straight into the bitmap; anything else
  // through a buffer per plane and the colour manager.
  const bool direct = used == 1 && header_.BytesPerSample == 1;
  std::vector<std::uint8_t> buffer(direct ? 0 : rowBytes * static_cast<std::size_t>(used));
  std::span<const std::uint8_t> planeRows[4];
  for (int r = 0; r < height; ++r) {
    const std::span<std::uint8_t> target = ScanLineSpan(height - 1 - r);
    if (direct) {
      ReadPlaneRow(data, 0, r, target.first(rowBytes));
    } else {
      for (int k = 0; k < used; ++k) {
        const std::span<std::uint8_t> plane(buffer.data() + static_cast<std::size_t>(k) * rowBytes, rowBytes);
        ReadPlaneRow(data, k, r, plane);
        planeRows[k] = plane;
      }
      cm.ConvertRow(TRowPlanes(planeRows, static_cast<std::size_t>(used)), target, static_cast<std::uint32_t>(width));
    }
    ProgressRow(r, height);
  }
  ProgressEnd();
  decoder_.reset();
}
