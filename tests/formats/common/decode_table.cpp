#include "formats/common/decode_table.h"

#include <gtest/gtest.h>

namespace readertest {

namespace {

constexpr std::uint8_t kUntouched = 0xEE;

}  // namespace

TDecoded Decode(TDecoder& decoder, const std::vector<std::uint8_t>& packed, std::size_t room) {
  std::vector<std::uint8_t> out(room, kUntouched);
  std::span<const std::uint8_t> source(packed);
  std::span<std::uint8_t> dest(out);
  decoder.Decode(source, dest);
  const std::size_t written = room - dest.size();
  for (std::size_t i = written; i < room; ++i) {
    EXPECT_EQ(out[i], kUntouched) << "byte " << i << " written beyond the " << written << " the decoder gave";
  }
  out.resize(written);
  return {out, packed.size() - source.size()};
}

void ExpectDecodeTable(std::span<const TDecodeCase> cases) {
  for (const TDecodeCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TDecoded got = Decode(*c.Decoder, c.Packed, c.Room);
    EXPECT_EQ(got.Written, c.Expected);
    if (c.Used) {
      EXPECT_EQ(got.Used, *c.Used);
    }
  }
}

}  // namespace readertest
