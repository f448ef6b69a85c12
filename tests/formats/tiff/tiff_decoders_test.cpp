// The TIFF directory's values and the fax and ThunderScan decoders, on
// bytes laid out by hand from the formats' descriptions.
#include <gtest/gtest.h>

#include <bit>
#include <string>

#include "formats/common/reader_test_util.h"
#include "formats/tiff/ccitt_decoder.h"
#include "formats/tiff/thunder_decoder.h"
#include "formats/tiff/tiff_directory.h"
#include "formats/tiff/tiff_test_util.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

using readertest::Bits;

Bytes Decode(TDecoder& decoder, const Bytes& source, std::size_t size) {
  Bytes out(size, 0xAA);
  std::span<const std::uint8_t> in(source);
  std::span<std::uint8_t> dest(out);
  decoder.Decode(in, dest);
  return out;
}

// White runs leave 0 bits and black ones set 1 bits: runs written as
// their codes, rows of 12 pixels (2 bytes).
TEST(CCITTDecoder, RowsOfBothForms) {
  constexpr const char* kEOL = "000000000001";
  const struct {
    const char* Name;
    bool Group3;
    std::string Code;
    Bytes Rows;
  } cases[] = {
      {"white 3, black 2, white 7", false, "1000 11 1111", {0x18, 0x00}},
      {"rows are byte-aligned", false, "1000 11 1111 000000 0111 000100 000111", {0x18, 0x00, 0x3F, 0xE0}},
      {"a black run past the row is cut", false, "0111 000011000", {0x3F, 0xF0}},
      {"white 0 first", false, "00110101 0000111 0111", {0xFF, 0xF0}},
      {"an unknown pattern ends the row", false, "1000 000000001", {0x00, 0x00}},
      {"group 3 after the end of line", true, std::string(kEOL) + " 1000 11 1111", {0x18, 0x00}},
      {"fill bits before it", true, std::string("0000 ") + kEOL + " 1000 11 1111", {0x18, 0x00}},
      {"ten zeros and a 1 are no end of line", true, "0000000000 1 " + std::string(kEOL) + " 1000 11 1111",
       {0x18, 0x00}},
      {"an end of line inside a row starts the next", true,
       std::string(kEOL) + " 1000 " + kEOL + " 0111 0011", {0x00, 0x00, 0x3E, 0x00}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    if (c.Group3) {
      TCCITTFax3Decoder d(0, false, false, 12);
      EXPECT_EQ(Decode(d, Bits(c.Code), c.Rows.size()), c.Rows);
    } else {
      TCCITTMHDecoder d(0, false, false, 12);
      EXPECT_EQ(Decode(d, Bits(c.Code), c.Rows.size()), c.Rows);
    }
  }
  // Make-up codes: white 64 + 36, then black 28 of a 128-pixel row.
  TCCITTMHDecoder wide(0, false, false, 128);
  Bytes row = Decode(wide, Bits("11011 00010101 000011001100"), 16);
  EXPECT_EQ(row[11], 0x00);
  EXPECT_EQ(row[12], 0x0F);
  EXPECT_EQ(row[15], 0xFF);
  // Bits stored least significant first, and word-aligned rows.
  Bytes reversed = Bits("1000 11 1111 0000");
  for (auto& b : reversed) b = ReverseBits(b);
  TCCITTMHDecoder swapped(0, true, false, 12);
  EXPECT_EQ(Decode(swapped, reversed, 2), (Bytes{0x18, 0x00}));
  TCCITTMHDecoder words(0, false, true, 4);
  EXPECT_EQ(Decode(words, Bits("1011 0000 00000000 0111 011"), 2), (Bytes{0x00, 0x30}));
}

// Group 3 rows may be preceded by fill bits of any length: the end of
// line is found after 11 zeros or after hundreds, also where the zeros
// fill the whole 64-bit bit register (63 zeros and the 1 of the end of
// line in one register, or a register of zeros alone). Data of nothing
// but zeros hold no row.
TEST(CCITTDecoder, Group3FillOfAnyLength) {
  for (int zeros : {11, 40, 56, 57, 63, 64, 65, 71, 72, 120, 127, 128, 129, 200, 1000}) {
    SCOPED_TRACE(zeros);
    TCCITTFax3Decoder d(0, false, false, 12);
    EXPECT_EQ(Decode(d, Bits(std::string(static_cast<std::size_t>(zeros), '0') + "1 1000 11 1111"), 2),
              (Bytes{0x18, 0x00}));
  }
  for (std::size_t bytes : {1u, 7u, 8u, 9u, 16u, 62u}) {
    SCOPED_TRACE(bytes);
    TCCITTFax3Decoder d(0, false, false, 1728);
    EXPECT_EQ(Decode(d, Bytes(bytes, 0), 216 * 4), Bytes(216 * 4, 0));
  }
}

TEST(ThunderDecoder, CodesOfEveryKind) {
  const struct {
    const char* Name;
    std::uint32_t Width;
    Bytes Codes;
    Bytes Rows;
  } cases[] = {
      {"new pixel, run", 4, {0xC7, 0x03}, {0x77, 0x77}},
      {"2-bit steps 1, skip, -1", 4, {0xC5, 0x5B}, {0x56, 0x50}},
      {"3-bit steps 3 and -3", 3, {0xC2, 0x9D}, {0x25, 0x20}},
      {"steps wrap within 4 bits", 2, {0xCF, 0x50}, {0xF0}},
      {"a run stops at the row's end", 2, {0xC1, 0x3F, 0xC9}, {0x11, 0x90}},
      {"each row starts from 0", 1, {0x50, 0x50}, {0x10, 0x10}},
  };
  for (const auto& c : cases) {
    TThunderDecoder d(c.Width);
    EXPECT_EQ(Decode(d, c.Codes, c.Rows.size()), c.Rows) << c.Name;
  }
}

TEST(TIFFDirectory, ValuesOfEveryTypeInBothByteOrders) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    const double half = 0.5;
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(half);
    const Bytes file = tifftest::MakeTiff(
        big,
        {{300, 3, {1, 2}},                                  // two shorts in the entry
         {301, 8, {0xFFFE}},                                // signed short -2
         {302, 10, {0xFFFFFFFFu, 2}},                       // signed rational -1/2
         {303, 11, {std::bit_cast<std::uint32_t>(1.5f)}},   // float
         {304, 12, {std::uint32_t(big ? bits >> 32 : bits), std::uint32_t(big ? bits : bits >> 32)}},  // double
         {305, 13, {77}},                                   // directory offset
         {306, 14, {5}},                                    // no such type: skipped
         {307, 4, {1, 2, 3}}},
        {});
    TTIFFDirectory d(file);
    ASSERT_TRUE(d.ReadHeader());
    ASSERT_TRUE(d.ReadDirectory(0));
    EXPECT_EQ(d.IntegerArray(300), (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(d.Number(301, 0), -2.0);
    EXPECT_EQ(d.Number(302, 0), -0.5);
    EXPECT_EQ(d.Number(303, 0), 1.5);
    EXPECT_EQ(d.Number(304, 0), 0.5);
    EXPECT_EQ(d.Integer(305, 0), 77u);
    EXPECT_EQ(d.Find(306), nullptr);
    EXPECT_EQ(d.IntegerArray(307), (std::vector<std::uint32_t>{1, 2, 3}));
    EXPECT_EQ(d.Integer(999, 42), 42u);
  }
  // Values whose bytes lie beyond the data, and a chain that loops.
  Bytes file = tifftest::MakeTiff(false, {{300, 4, {1, 2, 3}}}, {});
  file[8 + 2 + 4] = 0xFF;  // count 255: 1020 bytes at the offset
  file[8 + 2 + 12] = 8;    // next directory: this one again
  TTIFFDirectory d(file);
  ASSERT_TRUE(d.ReadHeader());
  ASSERT_TRUE(d.ReadDirectory(0));
  EXPECT_TRUE(d.IntegerArray(300).empty());
  EXPECT_TRUE(d.ReadDirectory(3)) << "the loop hands back the same directory";
  EXPECT_FALSE(d.ReadDirectory(TTIFFDirectory::kMaxDirectories));
  EXPECT_EQ(TIFFTypeSize(10), 8);
  EXPECT_EQ(TIFFTypeSize(13), 4);
  EXPECT_EQ(TIFFTypeSize(14), 0);
}

}  // namespace
