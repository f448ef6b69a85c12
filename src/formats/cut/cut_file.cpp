#include "formats/cut/cut_file.h"

#include "core/exceptions.h"
#include "formats/common/reader_steps.h"

void TCUTRLEDecoder::Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) {
  TRunCursor run(source, dest);
  run.Skip(2);
  std::uint8_t b;
  while (run.Next(b) && b != 0) {
    const std::size_t n = b & 127u;
    if (b & 128u) {
      std::uint8_t value;
      if (!run.Next(value)) break;
      run.Fill(value, n);
    } else {
      // What does not fit into the row is passed over, so that the next
      // row starts after this one's zero byte.
      run.Skip(n - run.Copy(n));
    }
  }
}

std::vector<TPaletteEntry> ReadCUTPalette(std::span<const std::uint8_t> data) {
  TFormatReader in = FormatReader(data, "CUT");
  in.Seek(12);
  const std::uint32_t count = in.U16LE() + 1u;
  if (count > 256) throw ERangeError("A Dr. Halo palette has more than 256 entries");
  std::vector<TPaletteEntry> palette(count);
  std::size_t block = 0;
  std::size_t offset = 40;
  for (TPaletteEntry& e : palette) {
    if (offset > 506) {
      ++block;
      offset = 0;
    }
    in.Seek(block * 512 + offset);
    std::uint16_t rgb[3];
    for (std::uint16_t& v : rgb) {
      v = in.U16LE();
      if (v > 255) throw ERangeError("A Dr. Halo palette value lies above 255");
    }
    e = {static_cast<std::uint8_t>(rgb[0]), static_cast<std::uint8_t>(rgb[1]), static_cast<std::uint8_t>(rgb[2]), 0};
    offset += 6;
  }
  return palette;
}
