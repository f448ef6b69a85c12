#include "formats/common/lz77_decoder.h"

#include "formats/common/reader_texts.h"

TLZ77Decoder::TLZ77Decoder(int flushMode, bool autoReset) : flushMode_(flushMode), autoReset_(autoReset) {}

TLZ77Decoder::~TLZ77Decoder() = default;

void TLZ77Decoder::DecodeInit() {
  zlib_.reset();
  zlib_.emplace(TZlibStream::zdInflate);
  if (zlib_->InitResult() != Z_OK) {
    zlib_.reset();
    RaiseCompressionError(readertext::LZ77Error);
  }
  status_ = 0;
}

void TLZ77Decoder::DecodeEnd() { zlib_.reset(); }

void TLZ77Decoder::Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) {
  if (!zlib_) DecodeInit();
  TZlibStream& z = *zlib_;
  if (autoReset_) {
    // A stream that cannot start again is left alone: nothing is decoded.
    if (z.Reset() != Z_OK) return;
    status_ = 0;
  }
  z.SetInput(source.data(), source.size());
  z.SetOutput(dest.data(), dest.size());
  // The spans move past what zlib took and gave, also when it raises.
  auto advance = [&] {
    source = source.last(static_cast<std::size_t>(z.InputLeft()));
    dest = dest.last(static_cast<std::size_t>(z.OutputLeft()));
  };
  while (!dest.empty()) {
    const std::uint64_t inBefore = z.InputLeft();
    const std::uint64_t outBefore = z.OutputLeft();
    const int result = z.Inflate(flushMode_);
    const bool moved = z.InputLeft() != inBefore || z.OutputLeft() != outBefore;
    advance();
    if (result == Z_STREAM_END) {
      status_ = 1;
      return;
    }
    if (result == Z_BUF_ERROR) {
      // No progress was possible: the input is used up (or the output
      // full). That is the end of this call, not a damaged stream.
      status_ = 0;
      return;
    }
    if (result < 0 || result == Z_NEED_DICT) {
      status_ = result < 0 ? result : Z_DATA_ERROR;
      RaiseCompressionError(readertext::LZ77Error);
    }
    status_ = 0;
    if (!moved) return;
    if (source.empty() && !dest.empty()) return;
  }
}
