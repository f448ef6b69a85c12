// Packed streams of mark files: 4 bytes of unpacked length, little-endian,
// then a zlib stream.

#include <algorithm>
#include <cstring>
#include <limits>

#include "app/routines.h"
#include "core/byte_reader.h"
#include "core/byte_writer.h"
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

// Appends the zlib stream of the pieces, one after the other, to out,
// through a deflate state that has just started. Stored data is as long
// as the data, so its room is taken at once; packed data is usually far
// shorter, so its room grows with the output.
void DeflateInto(std::vector<std::uint8_t>& out, std::span<const std::span<const std::uint8_t>> pieces,
                 TZlibStream& z, bool stored) {
  std::uint64_t size = 0;
  for (std::span<const std::uint8_t> piece : pieces) size += piece.size();
  const std::uint64_t bound = size + size / 1000 + 64;
  std::size_t used = out.size();
  out.resize(used + static_cast<std::size_t>(stored ? bound : std::min<std::uint64_t>(bound, 65536)));
  std::size_t next = 0;  // the piece after the one being read
  int ret = Z_OK;
  do {
    while (z.InputLeft() == 0 && next < pieces.size()) {
      z.SetInput(pieces[next].data(), pieces[next].size());
      ++next;
    }
    if (used == out.size()) out.resize(out.size() * 2);
    z.SetOutput(out.data() + used, out.size() - used);
    const std::uint64_t room = z.OutputLeft();
    ret = z.Deflate(next == pieces.size());
    if (ret == Z_STREAM_ERROR) throw Exception("Compressing failed.");
    used += static_cast<std::size_t>(room - z.OutputLeft());
  } while (ret != Z_STREAM_END);
  out.resize(used);
}

// The 4-byte length that starts a packed stream of the pieces.
std::vector<std::uint8_t> LengthField(std::span<const std::span<const std::uint8_t>> pieces) {
  std::uint64_t size = 0;
  for (std::span<const std::uint8_t> piece : pieces) size += piece.size();
  if (size > std::numeric_limits<std::uint32_t>::max()) throw Exception("The data is too long to pack.");
  std::vector<std::uint8_t> field(4);
  TByteWriter(field).U32LE(static_cast<std::uint32_t>(size));
  return field;
}

// Inflates exactly `length` bytes and hands them to sink as they come,
// through a small buffer, so that nothing of the stated length is held
// at once; anything else (a damaged stream, a stream that ends early,
// one that would give more) raises.
void InflateExactly(std::span<const std::uint8_t> packed, std::uint64_t length, const TUnpackSink& sink) {
  TZlibStream z(TZlibStream::zdInflate);
  if (z.InitResult() != Z_OK) throw Exception("Could not start unpacking.");
  z.SetInput(packed.data(), packed.size());
  std::uint8_t buffer[16384];
  std::uint64_t produced = 0;
  for (;;) {
    // Everything stated is there: one more byte of room tells whether the
    // stream would give more than it says.
    const bool probing = produced == length;
    const std::uint64_t room = probing ? 1 : std::min<std::uint64_t>(length - produced, sizeof buffer);
    z.SetOutput(buffer, room);
    const std::uint64_t input = z.InputLeft();
    const int ret = z.Inflate();
    const std::uint64_t written = room - z.OutputLeft();
    if (probing && written > 0) throw Exception("The packed data is longer than stated.");
    if (written > 0) sink(produced, std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(written)));
    produced += written;
    if (ret == Z_STREAM_END) break;
    if (ret != Z_OK && ret != Z_BUF_ERROR) throw Exception("The packed data is damaged.");
    // No progress: every byte of input has been offered already.
    if (written == 0 && z.InputLeft() == input) throw Exception("The packed data ends too early.");
  }
  if (produced != length) throw Exception("The packed data is shorter than stated.");
}

// The first room for unpacked data: a mark record with its pictures
// usually fits, and a false length costs no more than this.
constexpr std::uint64_t kFirstRoom = 256 * 1024;

}  // namespace

std::vector<std::uint8_t> PackBytes(int level, std::span<const std::span<const std::uint8_t>> pieces) {
  const int zlibLevel = ZlibLevel(level);
  if (zlibLevel < -1) throw Exception("Unknown compression level.");
  std::vector<std::uint8_t> packed = LengthField(pieces);
  TZlibStream z(TZlibStream::zdDeflate, zlibLevel);
  if (z.InitResult() != Z_OK) throw Exception("Could not start compressing.");
  DeflateInto(packed, pieces, z, zlibLevel == Z_NO_COMPRESSION);
  return packed;
}

std::vector<std::uint8_t> PackBytes(TZlibStream& deflater, std::span<const std::span<const std::uint8_t>> pieces) {
  std::vector<std::uint8_t> packed = LengthField(pieces);
  if (deflater.Reset() != Z_OK) throw Exception("Could not start compressing.");
  DeflateInto(packed, pieces, deflater, false);
  return packed;
}

std::vector<std::uint8_t> PackBytes(int level, std::span<const std::uint8_t> plain) {
  return PackBytes(level, std::span<const std::span<const std::uint8_t>>(&plain, 1));
}

bool UnpackBytes(std::span<const std::uint8_t> packed, const TUnpackSink& sink) {
  try {
    if (packed.size() < 4) return false;
    TByteReader<EReadError> reader(packed, "The packed data is damaged.");
    const std::uint64_t length = reader.U32LE();
    const std::uint64_t packedSize = reader.Remaining();
    // Deflate cannot pack better than about 1032 to 1; a stated length
    // beyond that (or beyond the cap) is a lie, not a reason to allocate.
    if (length > MaxUnpackedLength) return false;
    if (length > packedSize * 1032 + 64) return false;
    InflateExactly(reader.Bytes(packedSize), length, sink);
    return true;
  } catch (...) {
    return false;
  }
}

bool UnpackBytes(std::span<const std::uint8_t> packed, std::vector<std::uint8_t>& plain) {
  std::vector<std::uint8_t> out;
  const bool ok = UnpackBytes(packed, [&](std::uint64_t offset, std::span<const std::uint8_t> piece) {
    if (offset == 0) {
      // The room grows as the data arrives, so a false length costs little.
      const std::uint64_t stated = TByteReader<EReadError>(packed, "").U32LE();
      out.reserve(static_cast<std::size_t>(std::min(stated, kFirstRoom)));
    }
    out.insert(out.end(), piece.begin(), piece.end());
  });
  if (ok) plain = std::move(out);
  return ok;
}

bool CompressStream(int level, TMemoryStream& source, TStream& dest) {
  try {
    std::vector<std::uint8_t> packed = PackBytes(level, source.Bytes());
    dest.SetSize(0);
    dest.SetPosition(0);
    dest.WriteBuffer(packed);
    if (&dest != &source) {
      const auto end = static_cast<std::int64_t>(packed.size());
      source = TMemoryStream(std::move(packed));
      source.SetPosition(end);
    }
    return true;
  } catch (...) {
    return false;
  }
}

bool DecompressStream(TStream& source, TStream& dest) {
  try {
    // A stream in memory is read where it lies.
    std::vector<std::uint8_t> copy;
    std::span<const std::uint8_t> bytes;
    if (auto* memory = dynamic_cast<TMemoryStream*>(&source)) {
      bytes = memory->Bytes();
    } else {
      const std::int64_t size = source.Size();
      if (size < 4) return false;
      copy.resize(static_cast<std::size_t>(size));
      source.SetPosition(0);
      source.ReadBuffer(copy.data(), size);
      bytes = copy;
    }
    std::vector<std::uint8_t> plain;
    if (!UnpackBytes(bytes, plain)) return false;
    source.SetPosition(source.Size());

    auto* memoryDest = dynamic_cast<TMemoryStream*>(&dest);
    if (memoryDest != nullptr && memoryDest != &source && memoryDest->Size() == 0) {
      *memoryDest = TMemoryStream(std::move(plain));
      return true;
    }
    dest.Seek(0, TSeekOrigin::soEnd);
    dest.WriteBuffer(plain);
    dest.SetPosition(0);
    return true;
  } catch (...) {
    return false;
  }
}
