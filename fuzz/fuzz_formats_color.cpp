// The colour manager from untrusted layouts: a 16-byte header of layout
// fields, then sample data. Rows are sized as a reader sizes them from the
// declared layout (samples x bits per pixel), exactly, so any read or
// write the layout does not cover is caught by the sanitizer; the manager
// must either convert or raise its conversion error.
//
// Header: source scheme, target scheme, source bits, target bits, source
// samples, target samples, source options, target options, mask, count
// (2 bytes, little-endian), planes, palette format (its low bits also the
// horizontal subsampling), flags (bit 0 white first, bit 1 reversed; the
// low bits also the vertical subsampling), gamma (2 bytes: main and
// display in tenths).

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/exceptions.h"
#include "formats/color/color_manager.h"

namespace {

std::vector<std::uint8_t> Take(const std::uint8_t*& data, std::size_t& size, std::size_t want) {
  std::vector<std::uint8_t> out(want);
  const std::size_t n = want < size ? want : size;
  if (n) std::memcpy(out.data(), data, n);
  data += n;
  size -= n;
  return out;
}

std::size_t RowBytes(std::size_t pixels, int samples, int bits) {
  return (pixels * static_cast<std::size_t>(samples) * static_cast<std::size_t>(bits) + 7) / 8;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 16) return 0;
  const std::uint8_t* h = data;
  data += 16;
  size -= 16;

  TColorManager cm;
  try {
    cm.SetSourceColorScheme(static_cast<TColorScheme>(h[0] % 14));
    cm.SetTargetColorScheme(static_cast<TColorScheme>(h[1] % 14));
    cm.SetSourceBitsPerSample(h[2] % 18);
    cm.SetTargetBitsPerSample(h[3] % 18);
    cm.SetSourceSamplesPerPixel(h[4] % 6);
    cm.SetTargetSamplesPerPixel(h[5] % 6);
  } catch (const EColorConversionError&) {
    // A refused value keeps the one before; go on with what was taken.
  }
  cm.SourceOptions = static_cast<TConversionOptions>(h[6] & 0x1F);
  cm.TargetOptions = static_cast<TConversionOptions>(h[7] & 0x1F);
  const std::uint8_t mask = h[8];
  const std::uint32_t count = static_cast<std::uint32_t>(h[9] | (h[10] << 8)) % 4097;
  const int planes = 1 + h[11] % 4;
  cm.SetGamma(h[14] / 10.0f, h[15] / 10.0f);

  const int sourceBits = cm.SourceBitsPerSample();
  const int sourceSamples = cm.SourceSamplesPerPixel();
  std::vector<std::vector<std::uint8_t>> rows;
  if (planes == 1) {
    rows.push_back(Take(data, size, RowBytes(count, sourceSamples, sourceBits)));
  } else {
    for (int p = 0; p < planes; ++p) rows.push_back(Take(data, size, RowBytes(count, 1, sourceBits)));
  }
  std::vector<std::span<const std::uint8_t>> spans(rows.begin(), rows.end());
  std::vector<std::uint8_t> target(RowBytes(count, cm.TargetSamplesPerPixel(), cm.TargetBitsPerSample()));
  try {
    cm.ConvertRow(TRowPlanes(spans), target, count, mask);
  } catch (const EColorConversionError&) {
  }

  // The YCbCr weights and subsampling straight from the data.
  float weights[3] = {};
  const std::size_t weightBytes = size < sizeof weights ? size : sizeof weights;
  std::memcpy(weights, data, weightBytes);
  try {
    cm.SetYCbCrParameters(std::span<const float>(weights, weightBytes / sizeof(float)), h[12] & 7, h[13] & 7);
  } catch (const EColorConversionError&) {
  }
  try {
    cm.SetSourceColorScheme(h[0] & 1 ? TColorScheme::YCbCr : TColorScheme::PhotoYCC);
    cm.ConvertRow(TRowPlanes(spans), target, count, mask);
  } catch (const EColorConversionError&) {
  }

  // Palettes from whatever data is left, in every layout.
  const std::uint32_t colours = static_cast<std::uint32_t>(h[9]) * 3;
  std::vector<std::uint8_t> rest(data, data + size);
  const std::size_t third = rest.size() / 3;
  const std::span<const std::uint8_t> whole(rest);
  const std::span<const std::uint8_t> paletteData[3] = {whole.first(third), whole.subspan(third, third),
                                                        whole.subspan(2 * third)};
  try {
    (void)cm.CreateColorPalette(TRowPlanes(paletteData, 1 + h[11] % 3), h[12] % 9, colours, (h[13] & 2) != 0);
  } catch (const EColorConversionError&) {
  }
  (void)cm.CreateGrayscalePalette((h[13] & 1) != 0);
  (void)cm.GetPixelFormat(h[12] & 1);
  return 0;
}
