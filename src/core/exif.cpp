#include "core/exif.h"

#include <cstring>
#include <string>

#include "core/byte_reader.h"

namespace {

// Raised by the checked reads when a block ends early; caught below, as a
// damaged block only means no orientation.
struct TExifEnd {
  explicit TExifEnd(const std::string&) {}
};
using TReader = TByteReader<TExifEnd>;

constexpr std::uint16_t kOrientationTag = 274;
constexpr std::uint16_t kShort = 3;

// The orientation in the TIFF structure of an Exif block; 1 when it has
// none.
int OrientationOfTiff(std::span<const std::uint8_t> tiff) {
  TReader r(tiff, std::string());
  const std::uint8_t a = r.U8(), b = r.U8();
  const bool big = a == 'M' && b == 'M';
  if (!big && !(a == 'I' && b == 'I')) return 1;
  auto u16 = [&] { return big ? r.U16BE() : r.U16LE(); };
  auto u32 = [&] { return big ? r.U32BE() : r.U32LE(); };
  if (u16() != 42) return 1;
  r.Seek(u32());
  const std::uint16_t entries = u16();
  for (std::uint16_t i = 0; i < entries; ++i) {
    const std::uint16_t tag = u16();
    const std::uint16_t type = u16();
    const std::uint32_t count = u32();
    // A short stands in the first two bytes of the value field.
    const std::uint16_t value = u16();
    r.Skip(2);
    if (tag == kOrientationTag) return type == kShort && count >= 1 && value >= 1 && value <= 8 ? value : 1;
  }
  return 1;
}

}  // namespace

int JpegExifOrientation(std::span<const std::uint8_t> jpeg) {
  try {
    TReader r(jpeg, std::string());
    if (r.U8() != 0xFF || r.U8() != 0xD8) return 1;
    for (;;) {
      if (r.U8() != 0xFF) return 1;
      std::uint8_t marker = r.U8();
      while (marker == 0xFF) marker = r.U8();  // fill bytes
      // The start of a scan or of the end: no more header segments.
      if (marker == 0xDA || marker == 0xD9) return 1;
      // Markers without a segment.
      if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
      const std::uint16_t length = r.U16BE();
      if (length < 2) return 1;
      const std::span<const std::uint8_t> segment = r.Bytes(length - 2u);
      if (marker == 0xE1 && segment.size() >= 6 && std::memcmp(segment.data(), "Exif\0\0", 6) == 0) {
        return OrientationOfTiff(segment.subspan(6));
      }
    }
  } catch (const TExifEnd&) {
    return 1;
  }
}
