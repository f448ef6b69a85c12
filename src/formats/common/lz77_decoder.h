#pragma once
// Deflate decoding on zlib, for the TIFF, Paint Shop Pro and PNG readers.
//
// A decoder is created with zlib's flush mode and an auto-reset flag:
// the TIFF reader decodes every strip as a stream of its own (partial
// flush, reset before each Decode), the Paint Shop Pro reader one stream
// per channel (finish, DecodeInit per channel), the PNG reader one stream
// over all image data, a row at a time (partial flush, no reset). The
// zlib state is the core's (TZlibStream), which hands zlib spans of any
// size.

#include <cstdint>
#include <optional>
#include <span>

#include "core/zlib_stream.h"
#include "formats/common/decoder.h"

class TLZ77Decoder : public TDecoder {
 public:
  TLZ77Decoder(int flushMode, bool autoReset);
  ~TLZ77Decoder() override;
  TLZ77Decoder(const TLZ77Decoder&) = delete;
  TLZ77Decoder& operator=(const TLZ77Decoder&) = delete;

  // Inflates from source into dest until either is used up or the stream
  // ends; both spans are moved past what was used. With auto-reset the
  // stream starts again first. A damaged stream raises "LZ77
  // decompression error." (EGraphicCompression); a call that can make no
  // progress is no error.
  void Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) override;
  // Starts a new stream (ending one that was going); raises when zlib
  // cannot start.
  void DecodeInit() override;
  // Ends the stream; another DecodeInit may follow.
  void DecodeEnd() override;

  // The result of the last Decode: 0 going on, 1 the stream ended,
  // negative a zlib error (Decode raised).
  int Status() const { return status_; }

 private:
  std::optional<TZlibStream> zlib_;  // between DecodeInit and DecodeEnd
  int flushMode_;
  bool autoReset_;
  int status_ = 0;
};
