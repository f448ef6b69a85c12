// The deflate decoder in the three ways its readers drive it, on streams
// made by zlib's own deflate.
#include "formats/common/lz77_decoder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "core/exceptions.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Smooth runs and noise, so that deflate uses both matches and literals.
Bytes Payload(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(size);
  for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(i % 300 < 200 ? i / 64 : rng());
  return b;
}

Bytes Deflated(const Bytes& raw, int level = 6) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  Bytes packed(size);
  EXPECT_EQ(compress2(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()), level), Z_OK);
  packed.resize(size);
  return packed;
}

// Decodes source into a buffer of `room` bytes, handing the decoder at
// most `inPiece` source and `outPiece` destination bytes a call, until
// the stream ends, the room is full or a call moves nothing.
Bytes Drive(TLZ77Decoder& decoder, const Bytes& source, std::size_t room, std::size_t inPiece, std::size_t outPiece,
            std::size_t* sourceLeft = nullptr) {
  Bytes out(room);
  std::span<const std::uint8_t> in(source);
  std::span<std::uint8_t> dest(out);
  while (!dest.empty()) {
    std::span<const std::uint8_t> part = in.first(std::min(inPiece, in.size()));
    std::span<std::uint8_t> target = dest.first(std::min(outPiece, dest.size()));
    const std::size_t partSize = part.size(), targetSize = target.size();
    decoder.Decode(part, target);
    in = in.subspan(partSize - part.size());
    dest = dest.subspan(targetSize - target.size());
    if (decoder.Status() == 1 || (partSize == part.size() && targetSize == target.size())) break;
  }
  if (sourceLeft) *sourceLeft = in.size();
  out.resize(room - dest.size());
  return out;
}

TEST(LZ77Decoder, GivesZlibsBytesInEveryWayItIsDriven) {
  const Bytes raw = Payload(70000, 3);
  const Bytes packed = Deflated(raw);
  const struct {
    const char* Name;
    int Flush;
    std::size_t InPiece, OutPiece;
  } cases[] = {
      {"at once, finishing", Z_FINISH, packed.size(), raw.size()},
      {"a row at a time", Z_PARTIAL_FLUSH, packed.size(), 333},
      {"input in small pieces", Z_PARTIAL_FLUSH, 7, raw.size()},
      {"both in single bytes", Z_PARTIAL_FLUSH, 1, 1},
      {"finishing in pieces", Z_FINISH, 100, 1000},
  };
  for (const auto& c : cases) {
    TLZ77Decoder decoder(c.Flush, false);
    decoder.DecodeInit();
    std::size_t left = 1;
    EXPECT_EQ(Drive(decoder, packed, raw.size() + 10, c.InPiece, c.OutPiece, &left), raw) << c.Name;
    EXPECT_EQ(decoder.Status(), 1) << c.Name << ": the stream ended";
    EXPECT_EQ(left, 0u) << c.Name;
  }
}

// Bytes after the stream's end are left in the source; a room smaller
// than the stream stops the call with the room full, and the next call
// goes on where it stopped.
TEST(LZ77Decoder, StopsAtTheStreamsEndAndAtTheRoomsEnd) {
  const Bytes raw = Payload(5000, 9);
  Bytes packed = Deflated(raw);
  const std::size_t streamBytes = packed.size();
  packed.insert(packed.end(), {1, 2, 3});

  TLZ77Decoder decoder(Z_PARTIAL_FLUSH, false);
  std::span<const std::uint8_t> source(packed);
  Bytes first(1200);
  std::span<std::uint8_t> dest(first);
  decoder.Decode(source, dest);  // starts the stream itself
  EXPECT_TRUE(dest.empty());
  EXPECT_EQ(decoder.Status(), 0);
  EXPECT_EQ(first, Bytes(raw.begin(), raw.begin() + 1200));

  Bytes rest(10000);
  dest = rest;
  decoder.Decode(source, dest);
  EXPECT_EQ(decoder.Status(), 1);
  EXPECT_EQ(rest.size() - dest.size(), raw.size() - 1200);
  EXPECT_EQ(Bytes(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(raw.size() - 1200)),
            Bytes(raw.begin() + 1200, raw.end()));
  EXPECT_EQ(source.size(), packed.size() - streamBytes) << "the bytes after the stream stay";

  // Nothing to decode from: no error, nothing moves.
  std::span<const std::uint8_t> none;
  Bytes room(4);
  std::span<std::uint8_t> target(room);
  TLZ77Decoder idle(Z_PARTIAL_FLUSH, false);
  idle.Decode(none, target);
  EXPECT_EQ(target.size(), 4u);
  EXPECT_EQ(idle.Status(), 0);
}

// The TIFF reader's way: every Decode starts a stream of its own.
TEST(LZ77Decoder, AutoResetDecodesEveryCallAsAStreamOfItsOwn) {
  TLZ77Decoder decoder(Z_PARTIAL_FLUSH, true);
  decoder.DecodeInit();
  for (unsigned strip = 0; strip < 4; ++strip) {
    const Bytes raw = Payload(900 + strip * 1000, strip);
    EXPECT_EQ(Drive(decoder, Deflated(raw, static_cast<int>(strip) * 3), raw.size(), 1 << 20, raw.size()), raw)
        << strip;
  }
  // Without the reset the second stream is bytes after the first's end.
  TLZ77Decoder plain(Z_PARTIAL_FLUSH, false);
  const Bytes raw = Payload(100, 1);
  EXPECT_EQ(Drive(plain, Deflated(raw), 100, 1 << 20, 100), raw);
  EXPECT_EQ(Drive(plain, Deflated(raw), 100, 1 << 20, 100), Bytes());
}

// The Paint Shop Pro reader's way: DecodeInit per channel starts afresh,
// also after a stream that failed.
TEST(LZ77Decoder, DamagedStreamsRaiseAndDecodeInitStartsAgain) {
  const Bytes raw = Payload(3000, 5);
  const Bytes good = Deflated(raw);
  Bytes badHeader = good;
  badHeader[0] = 0x78 ^ 0x08;  // a method other than deflate
  Bytes badBlock = good;
  badBlock[2] = 0xFF;  // a block of the reserved type
  // A stream that asks for a preset dictionary, which no reader has.
  const Bytes needsDictionary = {0x78, 0xBB, 0x00, 0x00, 0x00, 0x01, 0x03, 0x00};
  const struct {
    const char* Name;
    Bytes Stream;
    int Status;
  } cases[] = {
      {"header", badHeader, Z_DATA_ERROR},
      {"block type", badBlock, Z_DATA_ERROR},
      {"preset dictionary", needsDictionary, Z_DATA_ERROR},
  };
  TLZ77Decoder decoder(Z_FINISH, false);
  for (const auto& c : cases) {
    decoder.DecodeInit();
    Bytes out(raw.size());
    std::span<const std::uint8_t> source(c.Stream);
    std::span<std::uint8_t> dest(out);
    try {
      decoder.Decode(source, dest);
      ADD_FAILURE() << c.Name;
    } catch (const EGraphicCompression& e) {
      EXPECT_STREQ(e.what(), "LZ77 decompression error.") << c.Name;
    }
    EXPECT_EQ(decoder.Status(), c.Status) << c.Name;
    decoder.DecodeInit();
    EXPECT_EQ(Drive(decoder, good, raw.size(), good.size(), raw.size()), raw) << c.Name << ": the next channel";
  }
}

}  // namespace
