#pragma once
// Deflate and inflate as streams, for the PNG codec's image data.
//
// Both classes sit on top of another stream and move packed bytes through
// a 64 KB buffer. The compression stream has to be finished with an
// explicit Finish() call; its destructor only releases zlib's state and
// never writes or throws, so a stream abandoned by an exception leaves an
// unfinished (and therefore unreadable) deflate stream behind rather than
// a second exception.

#include <array>
#include <cstdint>
#include <functional>

#include "core/exceptions.h"
#include "core/streams.h"
#include "core/zlib_stream.h"

class EZLibError : public Exception {
 public:
  explicit EZLibError(const std::string& message) : Exception(message) {}
};
class EZCompressionError : public EZLibError {
 public:
  explicit EZCompressionError(const std::string& message) : EZLibError(message) {}
};
class EZDecompressionError : public EZLibError {
 public:
  explicit EZDecompressionError(const std::string& message) : EZLibError(message) {}
};

// Index into the table of zlib levels: none (0), fastest (1), zlib's
// default (-1) and best (9).
enum class TZCompressionLevel { zcNone = 0, zcFastest = 1, zcDefault = 2, zcMax = 3 };

// The zlib level a level index stands for.
int ZLibLevel(TZCompressionLevel level);

// zlib's text for a (negative) result code.
const char* ZLibErrorText(int code);

class TCustomZStream : public TStream {
 public:
  using TNotifyEvent = std::function<void(TCustomZStream& sender)>;

  ~TCustomZStream() override = default;
  TCustomZStream(const TCustomZStream&) = delete;
  TCustomZStream& operator=(const TCustomZStream&) = delete;

  // Packed streams have no size of their own; both raise the stream's
  // "Invalid ZStream operation!" error.
  std::int64_t Size() override;
  void SetSize(std::int64_t size) override;

  TNotifyEvent OnProgress;

  static constexpr std::size_t BufferSize = 65536;

 protected:
  // zlibLevel only matters when compressing.
  TCustomZStream(TStream& strm, bool compressing, int zlibLevel);
  void Progress() {
    if (OnProgress) OnProgress(*this);
  }
  // Raises the side's own error class with "Invalid ZStream operation!".
  [[noreturn]] void InvalidOperation() const;

  TStream& strm_;
  const bool compressing_;
  std::int64_t strmPos_;
  TZlibStream zstream_;
  std::array<std::uint8_t, BufferSize> buffer_{};
};

class TZCompressionStream : public TCustomZStream {
 public:
  TZCompressionStream(TZCompressionLevel level, TStream& dest);
  ~TZCompressionStream() override;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  // Only Seek(0, soCurrent) works: it returns the bytes taken in so far.
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

  // Flushes everything into the destination and ends the deflate stream.
  // Writing after Finish raises; a second Finish does nothing.
  void Finish();
  bool Finished() const { return finished_; }

 private:
  void WriteBufferOut(std::size_t count);
  bool finished_ = false;
};

class TZDecompressionStream : public TCustomZStream {
 public:
  explicit TZDecompressionStream(TStream& source);
  ~TZDecompressionStream() override;

  // Reads up to count unpacked bytes. Fewer come back when the packed
  // data end (the deflate stream's end, or the source running dry).
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  // Seek(0, soBeginning) starts over from the source's start;
  // Seek(n, soCurrent) with n >= 0 and Seek(n, soBeginning) beyond the
  // bytes produced skip forward. Each returns the bytes produced so far.
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

  // True once the deflate stream has reached its end.
  bool StreamEnded() const { return ended_; }

 private:
  void Skip(std::int64_t count);
  bool ended_ = false;
};
