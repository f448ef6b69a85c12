#include "formats/pcd/pcd_graphic.h"

#include <algorithm>
#include <cstring>

#include "core/streams.h"
#include "formats/common/decode_limits.h"
#include "formats/common/reader_texts.h"
#include "formats/common/row_routines.h"
#include "formats/common/untraced.h"

namespace {

namespace t = readertext;

constexpr std::int64_t kSector = 2048;
constexpr std::int64_t kHeaderBytes = 6144;

// The pixels of a converted row into one column of the rows they turn
// to: pixel x goes to column `column` of targets[x].
SW_UNTRACED void PlaceAsColumn(const std::uint8_t* row, std::uint8_t* const* targets, std::size_t column,
                               std::uint32_t count) {
  for (std::uint32_t x = 0; x < count; ++x) {
    std::uint8_t* t = targets[x] + 3 * column;
    t[0] = row[3 * std::size_t{x}];
    t[1] = row[3 * std::size_t{x} + 1];
    t[2] = row[3 * std::size_t{x} + 2];
  }
}

}  // namespace

bool TPCDGraphic::ProbeStream(TStream& stream) const {
  if (stream.Remaining() < kHeaderBytes + 1) return false;
  std::uint8_t head[2051];
  stream.ReadBuffer(head, sizeof head);
  return std::memcmp(head, "PCD_OPA", 7) == 0 || std::memcmp(head + 2048, "PCD", 3) == 0;
}

bool TPCDGraphic::ReadImageHeader(TStream& stream, int imageIndex) {
  TReaderGraphic::ReadImageHeader(stream, imageIndex);
  TImageProperties& p = ImageProperties();
  if (stream.Remaining() < kHeaderBytes) return false;
  std::vector<std::uint8_t> head(kHeaderBytes);
  stream.ReadBuffer(head.data(), kHeaderBytes);
  p.Overview = std::memcmp(head.data(), "PCD_OPA", 7) == 0;
  if (!p.Overview && std::memcmp(&head[2048], "PCD", 3) != 0) return false;
  p.Orientation = head[3586] & 3;
  const int resolution = p.Overview ? 0 : std::clamp(imageIndex, 0, 5);
  p.Width = 192u << resolution;
  p.Height = 128u << resolution;
  if (p.Orientation == 1 || p.Orientation == 3) std::swap(p.Width, p.Height);
  p.ColorScheme = TColorScheme::PhotoYCC;
  p.BitsPerSample = 8;
  p.SamplesPerPixel = 3;
  p.BitsPerPixel = 24;
  p.Compression = resolution <= 2 ? TCompressionType::None : TCompressionType::PCDHuffmann;
  p.Version = static_cast<std::uint32_t>((head[10] << 8) | head[11]);
  return true;
}

bool TPCDGraphic::ReadLoadHeader(TStream& stream) { return ReadImageHeader(stream, kLoadedResolution); }

void TPCDGraphic::LoadPixels(TStream& stream) {
  const TImageProperties& p = ImageProperties();
  TColorManager& cm = ColorManager();
  cm.SourceOptions = TConversionOptions::None;
  cm.TargetOptions = TConversionOptions::None;
  cm.SetSourceColorScheme(TColorScheme::PhotoYCC);
  cm.SetSourceBitsPerSample(8);
  cm.SetSourceSamplesPerPixel(3);
  cm.SetTargetColorScheme(TColorScheme::BGR);
  cm.SetTargetBitsPerSample(8);
  cm.SetTargetSamplesPerPixel(3);
  const float luma[3] = {0.2125f, 0.7154f, 0.0721f};
  cm.SetYCbCrParameters(luma, 1, 1);

  // The stored image: the base (or the overview pack's only) image.
  const int r = p.Overview ? 0 : std::min(kLoadedResolution, 2);
  const std::int64_t sector = p.Overview ? 5 : r == 0 ? 4 : r == 1 ? 23 : 96;
  const std::uint32_t width = 192u << r, height = 128u << r;
  stream.SetPosition(BasePosition() + sector * kSector);
  const std::vector<std::uint8_t> stored =
      ReadStreamBytes(stream, std::int64_t{width} * height * 3 / 2, kFormatName);

  // The planes: luma at full size; the chroma planes read at half size
  // into buffers that hold them doubled.
  const std::uint32_t half = width / 2, halfHeight = height / 2;
  std::vector<std::uint8_t> lumaPlane(std::size_t{width} * height);
  std::vector<std::uint8_t> chroma[2] = {std::vector<std::uint8_t>(lumaPlane.size()),
                                         std::vector<std::uint8_t>(lumaPlane.size())};
  const std::uint8_t* in = stored.data();
  for (std::uint32_t pair = 0; pair < halfHeight; ++pair) {
    std::memcpy(&lumaPlane[std::size_t{2 * pair} * width], in, 2 * std::size_t{width});
    in += 2 * std::size_t{width};
    for (auto& plane : chroma) {
      std::memcpy(&plane[std::size_t{pair} * width], in, half);
      in += half;
    }
  }
  ProgressStart(t::Upsampling, static_cast<int>(p.Width));
  for (auto& plane : chroma) UpsamplePlane(half, halfHeight, width, plane);
  ProgressEnd();

  SetPixelFormat(pf24bit);
  SetSizeForDecoding(static_cast<int>(p.Width), static_cast<int>(p.Height), pf24bit);
  ProgressStart(t::Transfering, static_cast<int>(p.Width));
  std::vector<std::uint8_t> row(std::size_t{width} * 3);
  // A quarter turn: stored row y becomes column y (orientation 1, from the
  // bottom up) or column height - 1 - y (orientation 3, from the top down).
  const bool turned = p.Orientation == 1 || p.Orientation == 3;
  std::vector<std::uint8_t*> turnedRows;
  if (turned) {
    turnedRows.resize(width);
    for (std::uint32_t x = 0; x < width; ++x) {
      turnedRows[x] = ScanLine(static_cast<int>(p.Orientation == 1 ? width - 1 - x : x));
    }
  }
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::size_t at = std::size_t{y} * width;
    const std::span<const std::uint8_t> planes[3] = {{&lumaPlane[at], width}, {&chroma[0][at], width},
                                                      {&chroma[1][at], width}};
    if (turned) {
      cm.ConvertRow(TRowPlanes(planes, 3), row, width);
      PlaceAsColumn(row.data(), turnedRows.data(), p.Orientation == 1 ? y : height - 1 - y, width);
    } else {
      cm.ConvertRow(TRowPlanes(planes, 3), ScanLineSpan(static_cast<int>(y)), width);
    }
    ProgressRow(static_cast<int>(y + 1), static_cast<int>(height));
  }
  ProgressEnd();
}
