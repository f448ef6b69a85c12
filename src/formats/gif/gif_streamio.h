#pragma once
// Checked reads of GIF blocks: a block that the stream cannot fill raises
// "Premature end of data"; a single byte may also be absent (-1).

#include <cstdint>

#include "core/exceptions.h"
#include "core/streams.h"

namespace gifio {

inline const char* const PrematureEnd = "Premature end of data";

// The next byte, or -1 at the end of the stream.
inline int ReadByteOrEnd(TStream& stream) {
  std::uint8_t b = 0;
  return stream.Read(&b, 1) == 1 ? b : -1;
}

// The next byte without moving, or -1.
inline int PeekByte(TStream& stream) {
  const int b = ReadByteOrEnd(stream);
  if (b >= 0) stream.Seek(-1, TSeekOrigin::soCurrent);
  return b;
}

inline void ReadExact(TStream& stream, void* buffer, std::int64_t count) {
  if (count <= 0) return;
  if (stream.Read(buffer, count) != count) throw GIFException(PrematureEnd);
}

inline std::uint8_t ReadU8(TStream& stream) {
  std::uint8_t b;
  ReadExact(stream, &b, 1);
  return b;
}

inline std::uint16_t ReadU16(TStream& stream) {
  std::uint8_t b[2];
  ReadExact(stream, b, 2);
  return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

inline std::int64_t Left(TStream& stream) {
  const std::int64_t left = stream.Size() - stream.Position();
  return left < 0 ? 0 : left;
}

inline bool AtEnd(TStream& stream) { return Left(stream) == 0; }

// Steps over count bytes. A block that claims more than the stream holds
// leaves the stream at its end, like a cut-short read, so the frame list
// ends there instead of the whole file failing.
inline void SkipExact(TStream& stream, std::int64_t count) {
  if (count <= 0) return;
  if (Left(stream) < count) {
    stream.Seek(0, TSeekOrigin::soEnd);
    throw GIFException(PrematureEnd);
  }
  stream.Seek(count, TSeekOrigin::soCurrent);
}

}  // namespace gifio
