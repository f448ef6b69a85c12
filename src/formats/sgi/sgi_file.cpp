#include "formats/sgi/sgi_file.h"

#include "formats/common/byte_order.h"

std::optional<TSGIHeader> ParseSGIHeader(std::span<const std::uint8_t> b) {
  if (b.size() < kSGIHeaderSize || GetU16BE(&b[0]) != 474) return std::nullopt;
  TSGIHeader h;
  h.Storage = b[2];
  h.BytesPerSample = b[3];
  h.Dimension = GetU16BE(&b[4]);
  if ((h.BytesPerSample != 1 && h.BytesPerSample != 2) || h.Dimension < 1 || h.Dimension > 3) return std::nullopt;
  h.Width = GetU16BE(&b[6]);
  h.Height = h.Dimension == 1 ? 1 : GetU16BE(&b[8]);
  h.Planes = h.Dimension < 3 ? 1 : GetU16BE(&b[10]);
  return h;
}

void TSGIRLEDecoder::Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) {
  TRunCursor run(source, dest);
  const bool wide = sampleBytes_ == 2;
  const std::size_t unit = wide ? 2 : 1;
  while (run.DestLeft() && run.SourceSize() >= unit) {
    // A 16-bit count keeps its packet bits in its low (second) byte.
    std::uint8_t high = 0, low = 0;
    if (wide) run.Next(high);
    run.Next(low);
    const std::size_t n = low & 127u;
    if (n == 0) break;
    if (low & 128u) {
      run.Copy(n * unit);
    } else {
      if (run.SourceSize() < unit) break;
      std::uint8_t value[2] = {0, 0};
      run.Next(value[0]);
      if (wide) run.Next(value[1]);
      run.FillUnit(value, unit, n);
    }
  }
}
