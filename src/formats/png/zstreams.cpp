#include "formats/png/zstreams.h"

#include <algorithm>
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

TCustomZStream::TCustomZStream(TStream& strm, bool compressing, int zlibLevel)
    : strm_(strm),
      compressing_(compressing),
      strmPos_(strm.Position()),
      zstream_(compressing ? TZlibStream::zdDeflate : TZlibStream::zdInflate, zlibLevel) {}

void TCustomZStream::InvalidOperation() const {
  if (compressing_) throw EZCompressionError(kInvalidOperation);
  throw EZDecompressionError(kInvalidOperation);
}

std::int64_t TCustomZStream::Size() { InvalidOperation(); }

void TCustomZStream::SetSize(std::int64_t /*size*/) { InvalidOperation(); }

// ---------------------------------------------------------------------------

TZCompressionStream::TZCompressionStream(TZCompressionLevel level, TStream& dest)
    : TCustomZStream(dest, true, ZLibLevel(level)) {
  CheckCompression(zstream_.InitResult());
  zstream_.SetOutput(buffer_.data(), BufferSize);
}

TZCompressionStream::~TZCompressionStream() = default;

void TZCompressionStream::WriteBufferOut(std::size_t count) {
  strm_.WriteBuffer(buffer_.data(), static_cast<std::int64_t>(count));
  zstream_.SetOutput(buffer_.data(), BufferSize);
  strmPos_ = strm_.Position();
}

std::int64_t TZCompressionStream::Read(void* /*buffer*/, std::int64_t /*count*/) { InvalidOperation(); }

std::int64_t TZCompressionStream::Write(const void* buffer, std::int64_t count) {
  if (finished_ || count < 0) InvalidOperation();
  if (strm_.Position() != strmPos_) strm_.SetPosition(strmPos_);
  zstream_.SetInput(static_cast<const std::uint8_t*>(buffer), static_cast<std::uint64_t>(count));
  while (zstream_.InputLeft() > 0) {
    CheckCompression(zstream_.Deflate(false));
    if (zstream_.OutputLeft() == 0) {
      WriteBufferOut(BufferSize);
      Progress();
    }
  }
  zstream_.SetInput(nullptr, 0);
  return count;
}

std::int64_t TZCompressionStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  if (offset == 0 && origin == TSeekOrigin::soCurrent) return static_cast<std::int64_t>(zstream_.TotalIn());
  InvalidOperation();
}

void TZCompressionStream::Finish() {
  if (finished_) return;
  zstream_.SetInput(nullptr, 0);
  if (strm_.Position() != strmPos_) strm_.SetPosition(strmPos_);
  for (;;) {
    const int rc = CheckCompression(zstream_.Deflate(true));
    if (rc == Z_STREAM_END) break;
    // Z_OK from a finishing deflate means the output buffer filled up.
    WriteBufferOut(BufferSize - zstream_.OutputLeft());
  }
  WriteBufferOut(BufferSize - zstream_.OutputLeft());
  finished_ = true;
  CheckCompression(zstream_.End());
}

// ---------------------------------------------------------------------------

TZDecompressionStream::TZDecompressionStream(TStream& source) : TCustomZStream(source, false, 0) {
  CheckDecompression(zstream_.InitResult());
}

TZDecompressionStream::~TZDecompressionStream() = default;

std::int64_t TZDecompressionStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0 || ended_) return 0;
  if (strm_.Position() != strmPos_) strm_.SetPosition(strmPos_);
  zstream_.SetOutput(static_cast<std::uint8_t*>(buffer), static_cast<std::uint64_t>(count));
  while (zstream_.OutputLeft() > 0) {
    if (zstream_.InputLeft() == 0) {
      const std::int64_t got = strm_.Read(buffer_.data(), static_cast<std::int64_t>(BufferSize));
      if (got <= 0) break;
      zstream_.SetInput(buffer_.data(), static_cast<std::uint64_t>(got));
      strmPos_ = strm_.Position();
      Progress();
    }
    const int rc = CheckDecompression(zstream_.Inflate());
    if (rc == Z_STREAM_END) {
      // Bytes after the end of the deflate stream are not image data;
      // stop here instead of feeding them to inflate again and again.
      ended_ = true;
      break;
    }
    // A stream that asks for a preset dictionary cannot make progress
    // without one; PNG data never carry one.
    if (rc == Z_NEED_DICT) throw EZDecompressionError(ZLibErrorText(Z_NEED_DICT));
  }
  const std::int64_t produced = count - static_cast<std::int64_t>(zstream_.OutputLeft());
  // The caller's buffer is not zlib's to keep.
  zstream_.SetOutput(nullptr, 0);
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
  const std::int64_t produced = static_cast<std::int64_t>(zstream_.TotalOut());
  if (offset == 0 && origin == TSeekOrigin::soBeginning) {
    CheckDecompression(zstream_.Reset());
    ended_ = false;
    strm_.SetPosition(0);
    strmPos_ = 0;
    return 0;
  }
  if (origin == TSeekOrigin::soCurrent && offset >= 0) {
    Skip(offset);
    return static_cast<std::int64_t>(zstream_.TotalOut());
  }
  if (origin == TSeekOrigin::soBeginning && offset >= produced) {
    Skip(offset - produced);
    return static_cast<std::int64_t>(zstream_.TotalOut());
  }
  InvalidOperation();
}
