#include "core/zlib_stream.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::uint64_t kMaxPiece = std::numeric_limits<uInt>::max();

}  // namespace

TZlibStream::TZlibStream(TDirection direction, int level) : direction_(direction) {
  init_ = direction == zdDeflate ? deflateInit(&z_, level) : inflateInit(&z_);
  running_ = init_ == Z_OK;
}

TZlibStream::~TZlibStream() { End(); }

void TZlibStream::SetInput(const std::uint8_t* data, std::uint64_t size) {
  z_.next_in = const_cast<Bytef*>(data);  // zlib only reads its input
  z_.avail_in = 0;
  inNext_ = data;
  inRest_ = data != nullptr ? size : 0;
}

void TZlibStream::SetOutput(std::uint8_t* data, std::uint64_t size) {
  z_.next_out = data;
  z_.avail_out = 0;
  outNext_ = data;
  outRest_ = data != nullptr ? size : 0;
}

void TZlibStream::Feed() {
  if (z_.avail_in == 0 && inRest_ > 0) {
    const std::uint64_t piece = std::min(inRest_, kMaxPiece);
    z_.next_in = const_cast<Bytef*>(inNext_);
    z_.avail_in = static_cast<uInt>(piece);
    inNext_ += piece;
    inRest_ -= piece;
  }
  if (z_.avail_out == 0 && outRest_ > 0) {
    const std::uint64_t piece = std::min(outRest_, kMaxPiece);
    z_.next_out = outNext_;
    z_.avail_out = static_cast<uInt>(piece);
    outNext_ += piece;
    outRest_ -= piece;
  }
}

int TZlibStream::Deflate(bool finish) {
  if (!running_ || direction_ != zdDeflate) return Z_STREAM_ERROR;
  Feed();
  return deflate(&z_, finish && inRest_ == 0 ? Z_FINISH : Z_NO_FLUSH);
}

int TZlibStream::Inflate(int flush) {
  if (!running_ || direction_ != zdInflate) return Z_STREAM_ERROR;
  Feed();
  return inflate(&z_, flush);
}

int TZlibStream::Reset() {
  if (!running_) return Z_STREAM_ERROR;
  SetInput(nullptr, 0);
  return direction_ == zdDeflate ? deflateReset(&z_) : inflateReset(&z_);
}

int TZlibStream::End() {
  if (!running_) return Z_OK;
  running_ = false;
  return direction_ == zdDeflate ? deflateEnd(&z_) : inflateEnd(&z_);
}

std::uint32_t Crc32(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
  // zlib answers no data (a null pointer) with its initial value, not
  // with the crc so far.
  if (size == 0) return crc;
  return static_cast<std::uint32_t>(crc32_z(crc, data, size));
}
