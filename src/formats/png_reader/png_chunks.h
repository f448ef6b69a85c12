#pragma once
// The chunk routines of the family's PNG reader over a stream: a chunk
// header (length and type), its data with the CRC checked, and skipping.
// Every length is checked against 2^31 - 1 and against the bytes the
// stream has left before anything is read or allocated.

#include <cstdint>
#include <span>
#include <vector>

class TStream;

class TPNGChunkReader {
 public:
  explicit TPNGChunkReader(TStream& stream) : stream_(stream) {}

  // Reads the next chunk header. False, reading nothing, when the stream
  // has fewer than 8 bytes left; a length above 2^31 - 1 raises the PNG
  // format error.
  bool ReadHeader();
  // Whether a header is read and its chunk not yet loaded or skipped.
  bool HasHeader() const { return hasHeader_; }
  std::uint32_t Length() const { return length_; }
  // The type compared without regard to case (bit 5 of each byte).
  bool Is(const char* type) const;
  // A chunk is critical when bit 5 of its first type byte is clear.
  bool Critical() const { return (type_[0] & 0x20) == 0; }

  // Reads the data and the CRC; a data length beyond the bytes left
  // raises the format error, a wrong CRC "Cannot load image. CRC error
  // found in PNG file.". The view stays valid until the next load.
  std::span<const std::uint8_t> LoadData();
  // Moves past the data and the CRC. False, moving nothing, when they run
  // beyond the end of the stream.
  bool Skip();
  // The data bytes of the chunk whose header was read and of the chunks
  // of its type that follow it, as far as the stream holds them; the
  // stream's position does not change.
  std::int64_t RunLength();

 private:
  bool Fits() const;

  TStream& stream_;
  bool hasHeader_ = false;
  std::uint32_t length_ = 0;
  std::uint8_t type_[4] = {};
  std::uint32_t crc_ = 0;  // over the type so far
  std::vector<std::uint8_t> data_;
};
