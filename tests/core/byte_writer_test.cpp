#include "core/byte_writer.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "core/exceptions.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Each case writes into a buffer of its size, filled with 0xEE so that
// bytes passed over show; the expected bytes are laid out by hand.
TEST(ByteWriter, WritesEitherByteOrderAtItsPosition) {
  const struct {
    const char* Name;
    std::size_t Size;
    std::function<void(TByteWriter&)> Write;
    Bytes Expected;
  } cases[] = {
      {"bytes", 3, [](TByteWriter& w) { w.U8(1), w.U8(0x80), w.U8(0xFF); }, {1, 0x80, 0xFF}},
      {"16 bits, low byte first", 4, [](TByteWriter& w) { w.U16LE(0x1234), w.U16LE(0xFFFE); },
       {0x34, 0x12, 0xFE, 0xFF}},
      {"32 bits, low byte first", 8, [](TByteWriter& w) { w.U32LE(0x12345678), w.U32LE(0x80000001); },
       {0x78, 0x56, 0x34, 0x12, 0x01, 0x00, 0x00, 0x80}},
      {"16 bits, high byte first", 4, [](TByteWriter& w) { w.U16BE(0x1234), w.U16BE(0xFFFE); },
       {0x12, 0x34, 0xFF, 0xFE}},
      {"32 bits, high byte first", 8, [](TByteWriter& w) { w.U32BE(0x12345678), w.U32BE(0x80000001); },
       {0x12, 0x34, 0x56, 0x78, 0x80, 0x00, 0x00, 0x01}},
      {"both orders side by side", 6, [](TByteWriter& w) { w.U16BE(0x0102), w.U32LE(0x06050403); },
       {1, 2, 3, 4, 5, 6}},
      {"skipped bytes keep what they hold", 6, [](TByteWriter& w) { w.U8(1), w.Skip(3), w.U16LE(0x0302); },
       {1, 0xEE, 0xEE, 0xEE, 2, 3}},
      {"a run of bytes", 5, [](TByteWriter& w) { w.U8(9), w.Bytes(Bytes{4, 5, 6}), w.Bytes({}); },
       {9, 4, 5, 6, 0xEE}},
      {"nothing", 2, [](TByteWriter&) {}, {0xEE, 0xEE}},
  };
  for (const auto& c : cases) {
    Bytes buffer(c.Size, 0xEE);
    TByteWriter w(buffer);
    c.Write(w);
    EXPECT_EQ(buffer, c.Expected) << c.Name;
    EXPECT_EQ(w.Size(), c.Size) << c.Name;
    EXPECT_EQ(w.Position() + w.Remaining(), c.Size) << c.Name;
  }
}

// A value that does not fit what is left raises and writes none of its
// bytes; the writer stays where it was and can go on.
TEST(ByteWriter, AWriteBeyondTheEndRaisesAndWritesNothing) {
  const struct {
    const char* Name;
    std::size_t Room;  // bytes left before the write
    std::function<void(TByteWriter&)> Write;
  } cases[] = {
      {"a byte into nothing", 0, [](TByteWriter& w) { w.U8(7); }},
      {"16 bits into one byte", 1, [](TByteWriter& w) { w.U16LE(0x0707); }},
      {"32 bits into three bytes", 3, [](TByteWriter& w) { w.U32LE(0x07070707); }},
      {"16 bits high first into one byte", 1, [](TByteWriter& w) { w.U16BE(0x0707); }},
      {"32 bits high first into three bytes", 3, [](TByteWriter& w) { w.U32BE(0x07070707); }},
      {"a run into less", 2, [](TByteWriter& w) { w.Bytes(Bytes{7, 7, 7}); }},
      {"a skip past the end", 2, [](TByteWriter& w) { w.Skip(3); }},
  };
  for (const auto& c : cases) {
    Bytes buffer(2 + c.Room, 0xEE);
    TByteWriter w(buffer);
    w.U16LE(0x0201);
    EXPECT_THROW(c.Write(w), ERangeError) << c.Name;
    EXPECT_EQ(w.Position(), 2u) << c.Name;
    Bytes expected(2 + c.Room, 0xEE);
    expected[0] = 1;
    expected[1] = 2;
    EXPECT_EQ(buffer, expected) << c.Name;
    if (c.Room > 0) {
      w.U8(9);
      EXPECT_EQ(buffer[2], 9) << c.Name << ": goes on after the refused write";
    }
  }
}

}  // namespace
