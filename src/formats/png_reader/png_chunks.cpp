#include "formats/png_reader/png_chunks.h"

#include <zlib.h>

#include <algorithm>

#include "core/streams.h"
#include "formats/common/byte_order.h"
#include "formats/common/reader_graphic.h"
#include "formats/common/reader_texts.h"

namespace {

constexpr const char* kFormat = "PNG";

}  // namespace

bool TPNGChunkReader::ReadHeader() {
  hasHeader_ = false;
  if (stream_.Remaining() < 8) return false;
  std::uint8_t header[8];
  stream_.ReadBuffer(header, 8);
  length_ = GetU32BE(header);
  if (length_ > 0x7FFFFFFFu) RaiseInvalidGraphicFmt(readertext::InvalidImage, {kFormat});
  for (int i = 0; i < 4; ++i) type_[i] = header[4 + i];
  crc_ = static_cast<std::uint32_t>(crc32(0, type_, 4));
  hasHeader_ = true;
  return true;
}

bool TPNGChunkReader::Is(const char* type) const {
  for (int i = 0; i < 4; ++i) {
    if ((type_[i] & ~0x20) != (static_cast<std::uint8_t>(type[i]) & ~0x20)) return false;
  }
  return true;
}

bool TPNGChunkReader::Fits() const { return std::int64_t{length_} + 4 <= stream_.Remaining(); }

std::span<const std::uint8_t> TPNGChunkReader::LoadData() {
  hasHeader_ = false;
  if (!Fits()) RaiseInvalidGraphicFmt(readertext::InvalidImage, {kFormat});
  data_.resize(length_);
  if (length_) stream_.ReadBuffer(data_.data(), length_);
  std::uint8_t stored[4];
  stream_.ReadBuffer(stored, 4);
  // zlib answers its initial value for a null buffer, so no data means
  // the CRC of the type alone.
  const std::uint32_t crc = length_ ? static_cast<std::uint32_t>(crc32(crc_, data_.data(), length_)) : crc_;
  if (crc != GetU32BE(stored)) RaiseInvalidGraphicFmt(readertext::CRCError, {kFormat});
  return data_;
}

std::int64_t TPNGChunkReader::RunLength() {
  if (!hasHeader_) return 0;
  const std::int64_t start = stream_.Position();
  const std::int64_t size = stream_.Size();
  std::int64_t total = 0;
  std::int64_t at = start;
  std::uint32_t length = length_;
  for (;;) {
    total += std::min<std::int64_t>(length, size - at);
    at += std::int64_t{length} + 4;
    if (size - at < 8) break;
    std::uint8_t header[8];
    stream_.SetPosition(at);
    stream_.ReadBuffer(header, 8);
    bool same = true;
    for (int i = 0; i < 4; ++i) same = same && (header[4 + i] & ~0x20) == (type_[i] & ~0x20);
    if (!same) break;
    length = GetU32BE(header);
    at += 8;
  }
  stream_.SetPosition(start);
  return total;
}

bool TPNGChunkReader::Skip() {
  hasHeader_ = false;
  if (!Fits()) return false;
  stream_.Seek(std::int64_t{length_} + 4, TSeekOrigin::soCurrent);
  return true;
}
