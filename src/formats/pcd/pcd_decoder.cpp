#include "formats/pcd/pcd_decoder.h"

#include <array>
#include <vector>

#include "formats/common/reader_texts.h"

namespace {

struct TCode {
  int Length;           // 1 to 16
  std::uint32_t Code;   // left-aligned in 32 bits
  std::int8_t Residual;
};

// The bits of the source, most significant first, the next 32 in Top();
// past the end it reads zeros, and Ended() tells once no bit of the
// source is left.
class TBitRegister {
 public:
  explicit TBitRegister(std::span<const std::uint8_t> data) : data_(data) { Fill(); }
  std::uint32_t Top() const { return static_cast<std::uint32_t>(bits_ >> 32); }
  void Drop(int count) {
    bits_ <<= count;
    filled_ -= count;
    valid_ -= count;
    Fill();
  }
  bool Ended() const { return valid_ <= 0; }
  std::size_t Used() const { return pos_; }

 private:
  void Fill() {
    while (filled_ <= 56) {
      std::uint64_t b = 0;
      if (pos_ < data_.size()) {
        b = data_[pos_++];
        valid_ += 8;
      }
      bits_ |= b << (56 - filled_);
      filled_ += 8;
    }
  }

  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
  std::uint64_t bits_ = 0;
  int filled_ = 0;  // bits in the buffer, zeros past the end included
  int valid_ = 0;   // bits of the source among them
};

}  // namespace

void TPCDDecoder::Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) {
  // The clamp table: a sample plus a residual, limited to 0..255.
  std::array<std::uint8_t, 768> clamp{};
  for (int i = 0; i < 768; ++i) clamp[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i < 256 ? 0 : i < 512 ? i - 256 : 255);

  const std::uint32_t chromaWidth = width_ / 2, chromaHeight = height_ / 2;
  const std::size_t lumaSize = std::size_t{width_} * height_;
  const std::size_t chromaSize = std::size_t{chromaWidth} * chromaHeight;
  if (dest.size() < lumaSize + 2 * chromaSize) return;

  // The tables.
  std::size_t pos = 0;
  const int tableCount = width_ > 1536 ? 3 : 1;
  std::vector<TCode> tables[3];
  for (int t = 0; t < tableCount; ++t) {
    if (pos >= source.size()) return;
    const int entries = source[pos++] + 1;
    for (int e = 0; e < entries; ++e) {
      if (source.size() - pos < 4) return;
      const int length = source[pos] + 1;
      if (length > 16) return;
      const std::uint32_t code = (std::uint32_t{source[pos + 1]} << 8 | source[pos + 2]) << 16;
      const std::uint32_t mask = ~0u << (32 - length);
      tables[t].push_back({length, code & mask, static_cast<std::int8_t>(source[pos + 3])});
      pos += 4;
    }
  }

  TBitRegister reg(source.subspan(pos));
  for (;;) {
    // The next row header.
    while (!reg.Ended() && (reg.Top() & 0x00FFF000u) != 0x00FFF000u) reg.Drop(8);
    while (!reg.Ended() && (reg.Top() >> 8) != 0xFFFFFEu) reg.Drop(1);
    if (reg.Ended()) break;
    reg.Drop(24);
    const std::uint32_t header = reg.Top();
    reg.Drop(32);
    const std::uint32_t row = (header >> 9) & 0x1FFF;
    const std::uint32_t plane = header >> 30;
    if (row == height_) break;
    if (plane == 1) RaiseCompressionError(readertext::PCDHuffmanError);
    std::uint8_t* samples = nullptr;
    std::uint32_t count = 0;
    const std::vector<TCode>* table = &tables[0];
    if (plane == 0) {
      if (row >= height_) continue;
      samples = dest.data() + std::size_t{row} * width_;
      count = width_;
    } else {
      const std::uint32_t chromaRow = row / 2;
      if (chromaRow >= chromaHeight) continue;
      samples = dest.data() + lumaSize + (plane == 3 ? chromaSize : 0) + std::size_t{chromaRow} * chromaWidth;
      count = chromaWidth;
      if (tableCount == 3) table = &tables[plane - 1];
    }
    for (std::uint32_t i = 0; i < count && !reg.Ended(); ++i) {
      const std::uint32_t bits = reg.Top();
      const TCode* found = nullptr;
      for (const TCode& c : *table) {
        if ((bits & (~0u << (32 - c.Length))) == c.Code) {
          found = &c;
          break;
        }
      }
      if (!found) break;  // resynchronise on the next row
      samples[i] = clamp[static_cast<std::size_t>(samples[i] + found->Residual + 256)];
      reg.Drop(found->Length);
    }
  }
  source = source.subspan(std::min(source.size(), pos + reg.Used()));
}
