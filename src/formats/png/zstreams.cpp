#include "formats/png/zstreams.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace {

constexpr const char* kInvalidOperation = "Invalid ZStream operation!";

int CheckCompression(int code) {
  if (code < 0) throw EZCompressionError(ZLibErrorText(code));
  return code;
}

int CheckDecompression(int code) {
  if (code < 0) throw EZDecompressionError(ZLibErrorText(code));
  return code;
}

// zlib counts in uInt; a caller's 64-bit count is fed in pieces.
constexpr std::int64_t kMaxPiece = std::numeric_limits<uInt>::max();

}  // namespace

int ZLibLevel(TZCompressionLevel level) {
  static constexpr int kLevels[4] = {Z_NO_COMPRESSION, Z_BEST_SPEED, Z_DEFAULT_COMPRESSION, Z_BEST_COMPRESSION};
  int index = static_cast<int>(level);
  if (index < 0 || index > 3) throw EZCompressionError(ZLibErrorText(Z_STREAM_ERROR));
  return kLevels[index];
}

const char* ZLibErrorText(int code) {
  switch (code) {
    case Z_ERRNO: return "file error";
    case Z_STREAM_ERROR: return "stream error";
    case Z_DATA_ERROR: return "data error";
    case Z_MEM_ERROR: return "insufficient memory";
    case Z_BUF_ERROR: return "buffer error";
    case Z_VERSION_ERROR: return "incompatible version";
    case Z_NEED_DICT: return "need dictionary";
    default: return "";
  }
}

// ---------------------------------------------------------------------------

TCustomZStream::TCustomZStream(TStream& strm, bool compressing)
    : strm_(strm), compressing_(compressing), strmPos_(strm.Position()) {}

void TCustomZStream::InvalidOperation() const {
  if (compressing_) throw EZCompressionError(kInvalidOperation);
  throw EZDecompressionError(kInvalidOperation);
}

std::int64_t TCustomZStream::Size() { InvalidOperation(); }

void TCustomZStream::SetSize(std::int64_t /*size*/) { InvalidOperation(); }

// ---------------------------------------------------------------------------

TZCompressionStream::TZCompressionStream(TZCompressionLevel level, TStream& dest) : TCustomZStream(dest, true) {
  int zlevel = ZLibLevel(level);
  zstream_.next_out = buffer_.data();
  zstream_.avail_out = static_cast<uInt>(BufferSize);
  CheckCompression(deflateInit(&zstream_, zlevel));
}

TZCompressionStream::~TZCompressionStream() { deflateEnd(&zstream_); }

void TZCompressionStream::WriteBufferOut(std::size_t count) {
  strm_.WriteBuffer(buffer_.data(), static_cast<std::int64_t>(count));
  zstream_.next_out = buffer_.data();
  zstream_.avail_out = static_cast<uInt>(BufferSize);
  strmPos_ = strm_.Position();
}

std::int64_t TZCompressionStream::Read(void* /*buffer*/, std::int64_t /*count*/) { InvalidOperation(); }

std::int64_t TZCompressionStream::Write(const void* buffer, std::int64_t count) {
  if (finished_ || count < 0) InvalidOperation();
  if (strm_.Position() != strmPos_) strm_.SetPosition(strmPos_);
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  std::int64_t left = count;
  while (left > 0) {
    std::int64_t piece = std::min(left, kMaxPiece);
    zstream_.next_in = const_cast<Bytef*>(in);
    zstream_.avail_in = static_cast<uInt>(piece);
    while (zstream_.avail_in > 0) {
      CheckCompression(deflate(&zstream_, Z_NO_FLUSH));
      if (zstream_.avail_out == 0) {
        WriteBufferOut(BufferSize);
        Progress();
      }
    }
    in += piece;
    left -= piece;
  }
  zstream_.next_in = nullptr;
  return count;
}

std::int64_t TZCompressionStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  if (offset == 0 && origin == TSeekOrigin::soCurrent) return static_cast<std::int64_t>(zstream_.total_in);
  InvalidOperation();
}

void TZCompressionStream::Finish() {
  if (finished_) return;
  zstream_.next_in = nullptr;
  zstream_.avail_in = 0;
  if (strm_.Position() != strmPos_) strm_.SetPosition(strmPos_);
  for (;;) {
    int rc = CheckCompression(deflate(&zstream_, Z_FINISH));
    if (rc == Z_STREAM_END) break;
    // Z_OK from Z_FINISH means the output buffer filled up.
    WriteBufferOut(BufferSize - zstream_.avail_out);
  }
  WriteBufferOut(BufferSize - zstream_.avail_out);
  finished_ = true;
  CheckCompression(deflateEnd(&zstream_));
}

// ---------------------------------------------------------------------------

TZDecompressionStream::TZDecompressionStream(TStream& source) : TCustomZStream(source, false) {
  zstream_.next_in = buffer_.data();
  zstream_.avail_in = 0;
  CheckDecompression(inflateInit(&zstream_));
}

TZDecompressionStream::~TZDecompressionStream() { inflateEnd(&zstream_); }

std::int64_t TZDecompressionStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0 || ended_) return 0;
  if (strm_.Position() != strmPos_) strm_.SetPosition(strmPos_);
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::int64_t produced = 0;
  while (produced < count) {
    std::int64_t piece = std::min(count - produced, kMaxPiece);
    zstream_.next_out = out + produced;
    zstream_.avail_out = static_cast<uInt>(piece);
    while (zstream_.avail_out > 0) {
      if (zstream_.avail_in == 0) {
        std::int64_t got = strm_.Read(buffer_.data(), static_cast<std::int64_t>(BufferSize));
        if (got <= 0) return produced + (piece - zstream_.avail_out);
        zstream_.next_in = buffer_.data();
        zstream_.avail_in = static_cast<uInt>(got);
        strmPos_ = strm_.Position();
        Progress();
      }
      int rc = CheckDecompression(inflate(&zstream_, Z_NO_FLUSH));
      if (rc == Z_STREAM_END) {
        // Bytes after the end of the deflate stream are not image data;
        // stop here instead of feeding them to inflate again and again.
        ended_ = true;
        return produced + (piece - zstream_.avail_out);
      }
      // A stream that asks for a preset dictionary cannot make progress
      // without one; PNG data never carry one.
      if (rc == Z_NEED_DICT) throw EZDecompressionError(ZLibErrorText(Z_NEED_DICT));
    }
    produced += piece;
  }
  return produced;
}

std::int64_t TZDecompressionStream::Write(const void* /*buffer*/, std::int64_t /*count*/) { InvalidOperation(); }

void TZDecompressionStream::Skip(std::int64_t count) {
  std::vector<std::uint8_t> scratch(4096);
  while (count > 0) {
    std::int64_t piece = std::min<std::int64_t>(count, 4096);
    std::int64_t got = Read(scratch.data(), piece);
    if (got <= 0) break;
    count -= got;
  }
}

std::int64_t TZDecompressionStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t produced = static_cast<std::int64_t>(zstream_.total_out);
  if (offset == 0 && origin == TSeekOrigin::soBeginning) {
    CheckDecompression(inflateReset(&zstream_));
    zstream_.next_in = buffer_.data();
    zstream_.avail_in = 0;
    ended_ = false;
    strm_.SetPosition(0);
    strmPos_ = 0;
    return 0;
  }
  if (origin == TSeekOrigin::soCurrent && offset >= 0) {
    Skip(offset);
    return static_cast<std::int64_t>(zstream_.total_out);
  }
  if (origin == TSeekOrigin::soBeginning && offset >= produced) {
    Skip(offset - produced);
    return static_cast<std::int64_t>(zstream_.total_out);
  }
  InvalidOperation();
}
