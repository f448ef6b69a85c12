#include "formats/common/decode_limits.h"

#include <algorithm>

#include "core/streams.h"
#include "formats/common/reader_graphic.h"
#include "formats/common/reader_texts.h"

void CheckImageSize(std::int64_t width, std::int64_t height, const std::string& formatName) {
  if (width <= 0 || height <= 0 || !WithinPixelCap(width, height)) {
    RaiseInvalidGraphicFmt(readertext::ImageTooLarge, {formatName, std::to_string(width), std::to_string(height)});
  }
}

std::int64_t PackedRowBytes(std::int64_t width, std::int64_t bitsPerPixel, const std::string& formatName) {
  // Both factors are capped first, so the product cannot overflow.
  if (width < 0 || bitsPerPixel < 0 || width > MaxDecodeBytes || bitsPerPixel > 1024) {
    RaiseInvalidGraphicFmt(readertext::InvalidImage, {formatName});
  }
  const std::int64_t bytes = (width * bitsPerPixel + 7) / 8;
  if (bytes > MaxDecodeBytes) RaiseInvalidGraphicFmt(readertext::InvalidImage, {formatName});
  return bytes;
}

std::int64_t CheckedBufferSize(std::initializer_list<std::int64_t> factors, const std::string& formatName) {
  std::int64_t product = 1;
  bool zero = false;
  for (std::int64_t f : factors) {
    if (f < 0) RaiseInvalidGraphicFmt(readertext::InvalidImage, {formatName});
    if (f == 0) zero = true;
  }
  if (zero) return 0;
  for (std::int64_t f : factors) {
    // product x f > MaxDecodeBytes without computing the product.
    if (f > MaxDecodeBytes / product) RaiseInvalidGraphicFmt(readertext::InvalidImage, {formatName});
    product *= f;
  }
  return product;
}

namespace {

std::vector<std::uint8_t> ReadBytes(TStream& stream, std::int64_t count, bool exact, const std::string& formatName) {
  if (count < 0 || count > MaxDecodeBytes) RaiseInvalidGraphicFmt(readertext::InvalidImage, {formatName});
  const std::int64_t left = stream.Remaining();
  if (count > left) {
    if (exact) RaiseInvalidGraphicFmt(readertext::InvalidImage, {formatName});
    count = left > 0 ? left : 0;
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
  std::int64_t done = 0;
  while (done < count) {
    const std::int64_t got = stream.Read(bytes.data() + done, count - done);
    if (got <= 0) break;
    done += got;
  }
  if (done < count) {
    if (exact) RaiseInvalidGraphicFmt(readertext::InvalidImage, {formatName});
    bytes.resize(static_cast<std::size_t>(done));
  }
  return bytes;
}

}  // namespace

std::vector<std::uint8_t> ReadStreamBytes(TStream& stream, std::int64_t count, const std::string& formatName) {
  return ReadBytes(stream, count, true, formatName);
}

std::vector<std::uint8_t> ReadStreamBytesUpTo(TStream& stream, std::int64_t count, const std::string& formatName) {
  return ReadBytes(stream, count, false, formatName);
}

std::span<const std::uint8_t> StreamBytes(TStream& stream, std::vector<std::uint8_t>& copy,
                                          const std::string& formatName) {
  const std::int64_t position = stream.Position();
  const std::int64_t size = stream.Size();
  if (auto* memory = dynamic_cast<TMemoryStream*>(&stream); memory && position <= size) {
    return std::span<const std::uint8_t>(memory->Memory() + position, static_cast<std::size_t>(size - position));
  }
  copy = ReadStreamBytesUpTo(stream, std::min(stream.Remaining(), MaxDecodeBytes), formatName);
  stream.SetPosition(position);
  return copy;
}
