// The small shared pieces of the readers: byte order, differencing,
// plane doubling, the run-length decoders and the decode limits.

#include <gtest/gtest.h>

#include <functional>

#include "core/exceptions.h"
#include "core/streams.h"
#include "formats/common/byte_order.h"
#include "formats/common/decode_table.h"
#include "formats/common/decode_limits.h"
#include "formats/common/decoder.h"
#include "formats/common/row_routines.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ByteOrder, SwapsInPlaceWithinTheBuffer) {
  Bytes b = {1, 2, 3, 4, 5};
  SwapShortArray(b, 2);
  EXPECT_EQ(b, (Bytes{2, 1, 4, 3, 5}));
  EXPECT_THROW(SwapShortArray(b, 3), ERangeError);
  Bytes l = {1, 2, 3, 4, 5, 6, 7, 8};
  SwapLongArray(l, 2);
  EXPECT_EQ(l, (Bytes{4, 3, 2, 1, 8, 7, 6, 5}));
  EXPECT_THROW(SwapLongArray(l, 3), ERangeError);
  EXPECT_EQ(SwapLong(0x01020304u), 0x04030201u);
  EXPECT_EQ(SwapShort(0x0102), 0x0201);
  const Bytes v = {0x12, 0x34, 0x56, 0x78};
  EXPECT_EQ(GetU16BE(v.data()), 0x1234);
  EXPECT_EQ(GetU16LE(v.data()), 0x3412);
  EXPECT_EQ(GetU32BE(v.data()), 0x12345678u);
  EXPECT_EQ(GetU32LE(v.data()), 0x78563412u);
}

TEST(Differencing, UndoesEachSampleAgainstThePreviousPixel) {
  struct Case {
    const char* Name;
    std::function<void(Bytes&)> Undo;
    Bytes Row, Expected;
  };
  // clang-format off
  const Case cases[] = {
      {"1 byte", [](Bytes& r) { UndoDifferencing1(r, 3); }, {1, 1, 1, 255}, {1, 2, 3, 2}},
      {"1 byte, count 0", [](Bytes& r) { UndoDifferencing1(r, 0); }, {5}, {5}},
      {"3 bytes", [](Bytes& r) { UndoDifferencing3(r, 1); }, {1, 2, 3, 1, 1, 255}, {1, 2, 3, 2, 3, 2}},
      {"4 bytes", [](Bytes& r) { UndoDifferencing4(r, 2); },
       {1, 2, 3, 4, 1, 1, 1, 1, 1, 0, 0, 0}, {1, 2, 3, 4, 2, 3, 4, 5, 3, 3, 4, 5}},
      {"grey+alpha 8-bit", [](Bytes& r) { UndoDifferencing(r, 3, 2, 8, false); },
       {10, 200, 1, 100, 1, 0}, {10, 200, 11, 44, 12, 44}},
      // 16-bit samples carry into their high byte, in the file's order.
      {"16-bit big-endian", [](Bytes& r) { UndoDifferencing(r, 2, 2, 16, true); },
       {0x00, 0xFF, 0x00, 0x02, 0x00, 0x01, 0xFF, 0xFF}, {0x00, 0xFF, 0x00, 0x02, 0x01, 0x00, 0x00, 0x01}},
      {"16-bit little-endian", [](Bytes& r) { UndoDifferencing(r, 2, 1, 16, false); },
       {0xFF, 0x00, 0x01, 0x00}, {0xFF, 0x00, 0x00, 0x01}},
  };
  // clang-format on
  for (const Case& c : cases) {
    Bytes row = c.Row;
    c.Undo(row);
    EXPECT_EQ(row, c.Expected) << c.Name;
  }
  Bytes shortRow(5);
  EXPECT_THROW(UndoDifferencing3(shortRow, 1), ERangeError);
  EXPECT_THROW(UndoDifferencing(shortRow, 2, 3, 8, false), ERangeError);
  EXPECT_FALSE(UndoDifferencing(shortRow, 2, 1, 4, false));
}

TEST(UpsamplePlane, DoublesBothWays) {
  // 2 x 2: means between neighbours, the last column and row repeated.
  Bytes plane = {10, 20, 0, 0, 30, 50, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  UpsamplePlane(2, 2, 4, plane);
  EXPECT_EQ(plane, (Bytes{10, 15, 20, 20, 20, 28, 35, 35, 30, 40, 50, 50, 30, 40, 50, 50}));
  Bytes one = {7, 0, 0, 0};
  UpsamplePlane(1, 1, 2, one);
  EXPECT_EQ(one, (Bytes{7, 7, 7, 7}));
  // Rows wider than the plane keep their padding.
  Bytes padded = {1, 3, 9, 9, 9, 9, 9, 9};
  UpsamplePlane(2, 1, 4, padded);
  EXPECT_EQ(padded, (Bytes{1, 2, 3, 3, 1, 2, 3, 3}));
  Bytes empty;
  UpsamplePlane(0, 3, 4, empty);
  UpsamplePlane(3, 0, 8, empty);
  Bytes small(15);
  EXPECT_THROW(UpsamplePlane(2, 2, 4, small), ERangeError);
  EXPECT_THROW(UpsamplePlane(3, 1, 5, small), ERangeError) << "a stride narrower than the doubled row";
}

TEST(RunLengthDecoders, StayWithinBothBuffers) {
  TPackbitsRLEDecoder packbits;
  TPSPRLEDecoder psp;
  const readertest::TDecodeCase cases[] = {
      {"packbits", &packbits, {0x02, 1, 2, 3, 0xFE, 9, 0x80, 0x00, 7}, 8, {1, 2, 3, 9, 9, 9, 7}, 9},
      {"packbits -128 does nothing", &packbits, {0x80, 0x80, 0x00, 4}, 4, {4}, 4},
      {"packbits stops when full", &packbits, {0x02, 1, 2, 3, 0xFE, 9, 0x00, 7}, 5, {1, 2, 3, 9, 9}, 6},
      {"packbits literal cut by the data", &packbits, {0x05, 1, 2}, 8, {1, 2}, 3},
      {"packbits run without its byte", &packbits, {0xFD}, 8, {}, 1},
      {"packbits literal cut by the room", &packbits, {0x7F, 1, 2, 3, 4}, 2, {1, 2}, 3},
      {"psp", &psp, {3, 1, 2, 3, 130, 8}, 8, {1, 2, 3, 8, 8}, 6},
      {"psp run cut by the room", &psp, {200, 5, 1, 1}, 10, Bytes(10, 5), 2},
      {"psp literal cut by the data", &psp, {9, 1}, 8, {1}, 2},
      {"psp empty", &psp, {}, 8, {}, 0},
  };
  readertest::ExpectDecodeTable(cases);
}

TEST(RunLengthDecoders, CursorRepeatsUnitsUpToTheEnd) {
  const Bytes packed;
  std::span<const std::uint8_t> source(packed);
  Bytes out(5);
  std::span<std::uint8_t> dest(out);
  TRunCursor run(source, dest);
  const std::uint8_t unit[2] = {0xAB, 0xCD};
  EXPECT_EQ(run.FillUnit(unit, 2, 10), 5u);
  EXPECT_EQ(out, (Bytes{0xAB, 0xCD, 0xAB, 0xCD, 0xAB}));
  EXPECT_FALSE(run.DestLeft());
  EXPECT_EQ(run.Fill(1, 3), 0u);
  std::uint8_t b = 0;
  EXPECT_FALSE(run.Next(b));
  EXPECT_THROW(RaiseCompressionError("bad"), EGraphicCompression);
}

TEST(DecodeLimits, RefuseSizesBeforeAllocating) {
  EXPECT_NO_THROW(CheckImageSize(100, 100, "X"));
  for (auto [w, h] :
       std::vector<std::pair<std::int64_t, std::int64_t>>{{0, 5}, {5, -1}, {MaxDimension + 1, 1}, {1 << 15, 1 << 14}}) {
    try {
      CheckImageSize(w, h, "Fmt");
      ADD_FAILURE() << w << " x " << h;
    } catch (const EInvalidGraphic& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot load image. The Fmt image is too large (" + std::to_string(w) + " x " +
                                           std::to_string(h) + " pixels).");
    }
  }
  EXPECT_EQ(PackedRowBytes(3, 1, "X"), 1);
  EXPECT_EQ(PackedRowBytes(3, 24, "X"), 9);
  EXPECT_THROW(PackedRowBytes(-1, 8, "X"), EInvalidGraphic);
  EXPECT_THROW(PackedRowBytes(std::int64_t{1} << 40, 64, "X"), EInvalidGraphic);
  EXPECT_EQ(CheckedBufferSize({3, 4, 5}, "X"), 60);
  EXPECT_EQ(CheckedBufferSize({0, std::int64_t{1} << 62}, "X"), 0);
  EXPECT_THROW(CheckedBufferSize({1 << 20, 1 << 20, 8}, "X"), EInvalidGraphic);
  EXPECT_THROW(CheckedBufferSize({std::int64_t{1} << 62, std::int64_t{1} << 62}, "X"), EInvalidGraphic);
  EXPECT_THROW(CheckedBufferSize({-1, 1}, "X"), EInvalidGraphic);

  TMemoryStream stream(Bytes{1, 2, 3, 4, 5});
  stream.SetPosition(1);
  EXPECT_EQ(ReadStreamBytes(stream, 2, "X"), (Bytes{2, 3}));
  try {
    ReadStreamBytes(stream, std::int64_t{1} << 40, "Fmt");
    ADD_FAILURE() << "a length beyond the stream";
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "Cannot load image. Invalid or unexpected Fmt image format.");
  }
  EXPECT_THROW(ReadStreamBytes(stream, 3, "X"), EInvalidGraphic);
  EXPECT_EQ(stream.Position(), 3) << "a refused read reads nothing";
  EXPECT_EQ(ReadStreamBytesUpTo(stream, 3, "X"), (Bytes{4, 5}));
  EXPECT_EQ(ReadStreamBytesUpTo(stream, 3, "X"), Bytes{});
}

}  // namespace
