#include "formats/common/lz77_decoder.h"

#include <algorithm>
#include <limits>

#include "formats/common/reader_texts.h"

TLZ77Decoder::TLZ77Decoder(int flushMode, bool autoReset) : flushMode_(flushMode), autoReset_(autoReset) {}

TLZ77Decoder::~TLZ77Decoder() { DecodeEnd(); }

void TLZ77Decoder::DecodeInit() {
  DecodeEnd();
  stream_ = z_stream{};
  if (inflateInit2(&stream_, 15) != Z_OK) RaiseCompressionError(readertext::LZ77Error);
  initialised_ = true;
  status_ = 0;
}

void TLZ77Decoder::DecodeEnd() {
  if (initialised_) inflateEnd(&stream_);
  initialised_ = false;
}

void TLZ77Decoder::Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) {
  if (!initialised_) DecodeInit();
  if (autoReset_) {
    // A stream that cannot start again is left alone: nothing is decoded.
    if (inflateReset(&stream_) != Z_OK) return;
    status_ = 0;
  }
  // zlib counts in 32-bit units: a larger span goes through in pieces.
  constexpr std::size_t kPiece = std::numeric_limits<uInt>::max() / 2;
  while (!dest.empty()) {
    const std::size_t in = std::min(source.size(), kPiece);
    const std::size_t out = std::min(dest.size(), kPiece);
    stream_.next_in = const_cast<Bytef*>(source.data());
    stream_.avail_in = static_cast<uInt>(in);
    stream_.next_out = dest.data();
    stream_.avail_out = static_cast<uInt>(out);
    const int result = inflate(&stream_, flushMode_);
    const std::size_t used = in - stream_.avail_in;
    const std::size_t written = out - stream_.avail_out;
    source = source.subspan(used);
    dest = dest.subspan(written);
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
    if (used == 0 && written == 0) return;
    if (source.empty() && stream_.avail_out != 0) return;
  }
}
