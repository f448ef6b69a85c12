// Packed streams of mark files: 4 bytes of unpacked length, little-endian,
// then a zlib stream.

#include <algorithm>
#include <cstring>
#include <limits>

#include "app/routines.h"
#include "core/byte_reader.h"
#include "core/exceptions.h"
#include "core/zlib_stream.h"

namespace {

int ZlibLevel(int level) {
  switch (level) {
    case zcNone:
      return Z_NO_COMPRESSION;
    case zcFastest:
      return Z_BEST_SPEED;
    case zcDefault:
      return Z_DEFAULT_COMPRESSION;
    case zcMax:
      return Z_BEST_COMPRESSION;
    default:
      return -2;
  }
}

std::vector<std::uint8_t> Deflate(const std::uint8_t* data, std::uint64_t size, int level) {
  TZlibStream z(TZlibStream::zdDeflate, level);
  if (z.InitResult() != Z_OK) throw Exception("Could not start compressing.");
  z.SetInput(data, size);
  std::vector<std::uint8_t> out;
  std::uint8_t buffer[65536];
  int ret = Z_OK;
  do {
    z.SetOutput(buffer, sizeof buffer);
    ret = z.Deflate(true);
    if (ret == Z_STREAM_ERROR) throw Exception("Compressing failed.");
    out.insert(out.end(), buffer, buffer + (sizeof buffer - z.OutputLeft()));
  } while (ret != Z_STREAM_END);
  return out;
}

// Inflates exactly `length` bytes; anything else (a damaged stream, a
// stream that ends early, one that would give more) raises.
std::vector<std::uint8_t> InflateExactly(std::span<const std::uint8_t> packed, std::uint64_t length) {
  TZlibStream z(TZlibStream::zdInflate);
  if (z.InitResult() != Z_OK) throw Exception("Could not start unpacking.");
  z.SetInput(packed.data(), packed.size());
  std::vector<std::uint8_t> out;
  std::uint64_t produced = 0;
  std::uint8_t overflow = 0;
  for (;;) {
    bool probing = false;
    if (produced == length) {
      // Everything stated is there; one more byte of room tells whether
      // the stream would give more than it says.
      z.SetOutput(&overflow, 1);
      probing = true;
    } else {
      if (out.size() == produced) {
        // Grow as the data arrives, so a false length costs nothing.
        const std::uint64_t grown = std::max<std::uint64_t>(produced * 2, 65536);
        out.resize(static_cast<std::size_t>(std::min(grown, length)));
      }
      z.SetOutput(out.data() + produced, out.size() - produced);
    }
    const std::uint64_t room = z.OutputLeft();
    const std::uint64_t input = z.InputLeft();
    const int ret = z.Inflate();
    const std::uint64_t written = room - z.OutputLeft();
    if (probing && written > 0) throw Exception("The packed data is longer than stated.");
    produced += written;
    if (ret == Z_STREAM_END) break;
    if (ret != Z_OK && ret != Z_BUF_ERROR) throw Exception("The packed data is damaged.");
    // No progress: every byte of input has been offered already.
    if (written == 0 && z.InputLeft() == input) throw Exception("The packed data ends too early.");
  }
  if (produced != length) throw Exception("The packed data is shorter than stated.");
  out.resize(static_cast<std::size_t>(produced));
  return out;
}

}  // namespace

bool CompressStream(int level, TMemoryStream& source, TStream& dest) {
  try {
    const int zlibLevel = ZlibLevel(level);
    if (zlibLevel < -1) return false;
    const std::vector<std::uint8_t>& plain = source.Bytes();
    if (plain.size() > std::numeric_limits<std::uint32_t>::max()) return false;
    const std::uint32_t count = static_cast<std::uint32_t>(plain.size());
    std::vector<std::uint8_t> packed = Deflate(plain.data(), plain.size(), zlibLevel);

    source.Clear();
    source.WriteDWord(count);
    source.WriteBuffer(packed);
    dest.SetSize(0);
    dest.SetPosition(0);
    dest.CopyFrom(source, 0);
    return true;
  } catch (...) {
    return false;
  }
}

bool DecompressStream(TStream& source, TStream& dest) {
  try {
    const std::int64_t size = source.Size();
    if (size < 4) return false;
    std::vector<std::uint8_t> all(static_cast<std::size_t>(size));
    source.SetPosition(0);
    source.ReadBuffer(all.data(), size);

    TByteReader<EReadError> reader(all, "The packed data is damaged.");
    const std::uint64_t length = reader.U32LE();
    const std::uint64_t packedSize = reader.Remaining();
    // Deflate cannot pack better than about 1032 to 1; a stated length
    // beyond that (or beyond the cap) is a lie, not a reason to allocate.
    if (length > MaxUnpackedLength) return false;
    if (length > packedSize * 1032 + 64) return false;

    std::vector<std::uint8_t> plain = InflateExactly(reader.Bytes(packedSize), length);
    dest.Seek(0, TSeekOrigin::soEnd);
    dest.WriteBuffer(plain);
    dest.SetPosition(0);
    return true;
  } catch (...) {
    return false;
  }
}
