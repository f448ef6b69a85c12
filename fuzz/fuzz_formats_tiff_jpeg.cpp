// The JPEG strip decoder on untrusted bytes: the first bytes give the
// image's layout and the length of the tables; the rest is the tables and
// one strip. Decoding either fails with the decoder's exception or fills
// the strip's rows, warnings going to the hook.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/exceptions.h"
#include "formats/tiff/tiff_jpeg_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return 0;
  TImageProperties p;
  p.Width = 1 + data[0] % 128;
  const std::uint32_t rows = 1 + data[1] % 64;
  static const TColorScheme kSchemes[] = {TColorScheme::YCbCr, TColorScheme::RGB, TColorScheme::Gray,
                                          TColorScheme::CMYK};
  p.ColorScheme = kSchemes[data[2] % 4];
  p.SamplesPerPixel = p.ColorScheme == TColorScheme::Gray ? 1 : p.ColorScheme == TColorScheme::CMYK ? 4 : 3;
  p.BitsPerSample = 8;
  p.YCbCrSubsampling = {static_cast<std::uint8_t>(1 + (data[3] & 1)), static_cast<std::uint8_t>(1 + ((data[3] >> 1) & 1))};
  const std::size_t tables = std::min<std::size_t>(data[4] | (data[5] << 8), size - 6);
  p.JPEGTables.assign(data + 6, data + 6 + tables);
  std::size_t warnings = 0;
  TTIFFJPEGDecoder decoder(p, [&](const std::string&) { ++warnings; });
  try {
    decoder.DecodeInit();
    std::vector<std::uint8_t> out(std::size_t{rows} * p.Width * static_cast<std::size_t>(decoder.OutputComponents()));
    std::span<const std::uint8_t> strip(data + 6 + tables, size - 6 - tables);
    std::span<std::uint8_t> dest(out);
    decoder.Decode(strip, dest);
    decoder.Decode(strip, dest);  // nothing left: a fractional strip of 0 rows fails
  } catch (const EGraphicCompression&) {
  }
  decoder.DecodeEnd();
  return warnings > 1000 ? 1 : 0;
}
