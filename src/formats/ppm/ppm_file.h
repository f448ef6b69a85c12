#pragma once
// The portable map file as the reader sees it: bitmaps, grey maps and
// pixmaps (P1 to P6), as text or raw.
//
// The first line holds "P" and the type digit; the numbers (width,
// height and, but for bitmaps, the maximum value) follow from the next
// line on. A "#" starts a comment to the end of its line. Samples are
// taken as they stand whatever the maximum; raw samples of a maximum
// above 255 take two bytes, most significant first.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

class TStream;

// The bytes of a portable map, read from a stream through a buffer of
// 4096 bytes: the header's lines and numbers, the digits of a text
// bitmap, blocks of raw samples. Running out raises "Stream read error in
// PPM file.".
class TPPMSource {
 public:
  static constexpr std::size_t kBufferSize = 4096;

  // Reads from the stream's position on, with an empty buffer.
  void Start(TStream& stream);
  // Lets go of the stream.
  void Stop() { stream_ = nullptr; }

  // The next byte; PeekByte answers false at the end instead of raising.
  std::uint8_t GetByte();
  bool PeekByte(std::uint8_t& value);
  void ReadBlock(std::uint8_t* dest, std::size_t count);
  // A line without its end and without anything from a "#" on.
  std::string ReadLine();
  // The next decimal number (characters before it are skipped, a "#"
  // skips the rest of its line); the character after it is used up.
  // A number beyond 0xFFFFFFFF reads as 0xFFFFFFFF.
  std::uint32_t ReadNumber();
  // The next digit of a text bitmap, which needs no space between digits.
  std::uint8_t ReadBit();
  // Bytes still to be read: the buffer's and the stream's.
  std::int64_t BytesLeft();

 private:
  void ResetBuffer() { index_ = count_ = kBufferSize; }
  // The next digit, used up: what stands before it is skipped, a "#" with
  // the rest of its line.
  std::uint8_t NextDigit();

  std::array<std::uint8_t, kBufferSize> buffer_{};
  std::size_t index_ = kBufferSize;  // kBufferSize: empty
  std::size_t count_ = kBufferSize;  // bytes the buffer holds
  TStream* stream_ = nullptr;
};

struct TPPMHeader {
  int Type = 0;  // 1 to 6: P1 to P6
  std::uint32_t Width = 0;
  std::uint32_t Height = 0;
  std::uint32_t MaxValue = 0;  // 1 for bitmaps

  bool Bitmap() const { return Type == 1 || Type == 4; }
  bool Colour() const { return Type == 3 || Type == 6; }
  bool Raw() const { return Type >= 4; }
  // Raw samples of a maximum above 255 take two bytes each.
  int BitsPerSample() const { return Bitmap() ? 1 : Raw() && MaxValue > 255 ? 16 : 8; }
};

// The header at the source's position: nullopt unless the first line
// starts with "P" and a type digit from 1 to 6.
std::optional<TPPMHeader> ReadPPMHeader(TPPMSource& source);
