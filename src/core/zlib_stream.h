#pragma once
// zlib's deflate or inflate state, owned: what the packed streams of mark
// files and the PNG codec's streams share. It hands zlib 64-bit counts in
// the pieces zlib can take (it counts in unsigned int) and passes zlib's
// result codes on; what a code means is the caller's to decide. Nothing
// here raises.

#include <zlib.h>

#include <cstddef>
#include <cstdint>

class TZlibStream {
 public:
  enum TDirection { zdDeflate, zdInflate };

  // Starts zlib: deflating at a zlib level (-1 zlib's default, 0..9), or
  // inflating a zlib stream. InitResult tells how that went.
  explicit TZlibStream(TDirection direction, int level = Z_DEFAULT_COMPRESSION);
  // Ends zlib's state unless End did.
  ~TZlibStream();
  TZlibStream(const TZlibStream&) = delete;
  TZlibStream& operator=(const TZlibStream&) = delete;

  // zlib's code of the start: Z_OK when it runs.
  int InitResult() const { return init_; }

  // What zlib reads next and where it writes next, replacing what was
  // left of the last ones.
  void SetInput(const std::uint8_t* data, std::uint64_t size);
  void SetOutput(std::uint8_t* data, std::uint64_t size);
  // The input zlib has not read yet, and the output room it has not used.
  std::uint64_t InputLeft() const { return z_.avail_in + inRest_; }
  std::uint64_t OutputLeft() const { return z_.avail_out + outRest_; }

  // One call of deflate. With finish the input set is the last of the
  // stream: zlib is told to finish once all of it has been handed over.
  int Deflate(bool finish);
  // One call of inflate with zlib's flush mode: Z_FINISH tells zlib the
  // output room holds the rest of the stream (it then answers
  // Z_BUF_ERROR for a call that does not end it).
  int Inflate(int flush = Z_NO_FLUSH);
  // Starts over with a fresh stream, keeping the level.
  int Reset();
  // Ends zlib's state now.
  int End();

  // Bytes read and written since the start (or the last Reset).
  std::uint64_t TotalIn() const { return z_.total_in; }
  std::uint64_t TotalOut() const { return z_.total_out; }

 private:
  // Hands zlib the next pieces of input and output it has run out of.
  void Feed();

  z_stream z_{};
  TDirection direction_;
  int init_;
  bool running_;
  const std::uint8_t* inNext_ = nullptr;
  std::uint64_t inRest_ = 0;  // input beyond the piece zlib holds
  std::uint8_t* outNext_ = nullptr;
  std::uint64_t outRest_ = 0;  // room beyond the piece zlib holds
};

// The CRC-32 of zlib (the one PNG and gzip use) over data, continuing from
// crc (0 to start).
std::uint32_t Crc32(std::uint32_t crc, const std::uint8_t* data, std::size_t size);
