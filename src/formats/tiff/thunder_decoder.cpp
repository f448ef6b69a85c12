#include "formats/tiff/thunder_decoder.h"

#include <algorithm>
#include <cstring>

namespace {

// The steps of the two delta codes; kSkip writes no pixel.
constexpr int kSkip = 100;
constexpr int kTwoBitSteps[4] = {0, 1, kSkip, -1};
constexpr int kThreeBitSteps[8] = {0, 1, 2, 3, kSkip, -3, -2, -1};

}  // namespace

void TThunderDecoder::Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) {
  if (width_ == 0) return;
  const std::size_t rowBytes = (static_cast<std::size_t>(width_) + 1) / 2;
  const std::size_t rows = dest.size() / rowBytes;
  if (!dest.empty()) std::memset(dest.data(), 0, dest.size());
  std::size_t used = 0;
  for (std::size_t r = 0; r < rows && used < source.size(); ++r) {
    std::uint8_t* row = dest.data() + r * rowBytes;
    std::uint32_t x = 0;
    int last = 0;
    auto put = [&](int pixel) {
      last = pixel & 0x0F;
      row[x >> 1] |= static_cast<std::uint8_t>((x & 1) ? last : last << 4);
      ++x;
    };
    while (x < width_ && used < source.size()) {
      const std::uint8_t code = source[used++];
      switch (code >> 6) {
        case 0: {  // a run of the last pixel
          const std::uint32_t n = std::min<std::uint32_t>(code & 0x3F, width_ - x);
          for (std::uint32_t i = 0; i < n; ++i) put(last);
          break;
        }
        case 1:  // three 2-bit steps, from the high bits down
          for (int shift = 4; shift >= 0 && x < width_; shift -= 2) {
            const int step = kTwoBitSteps[(code >> shift) & 3];
            if (step != kSkip) put(last + step);
          }
          break;
        case 2:  // two 3-bit steps
          for (int shift = 3; shift >= 0 && x < width_; shift -= 3) {
            const int step = kThreeBitSteps[(code >> shift) & 7];
            if (step != kSkip) put(last + step);
          }
          break;
        default:  // a new pixel
          put(code & 0x0F);
          break;
      }
    }
  }
  source = source.subspan(used);
  dest = dest.subspan(rows * rowBytes);
}
