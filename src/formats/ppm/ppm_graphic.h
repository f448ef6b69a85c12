#pragma once
// The reader family's portable map class: bitmaps, grey maps and pixmaps
// (P1 to P6), as text or raw, read through a buffer of 4096 bytes.
//
// The first line holds "P" and the type digit; the numbers (width,
// height and, but for bitmaps, the maximum value) follow from the next
// line on. A "#" starts a comment to the end of its line. Samples are
// taken as they stand whatever the maximum; raw samples of a maximum
// above 255 take two bytes, most significant first, of which the high
// byte is taken.

#include <array>
#include <cstdint>
#include <string>

#include "core/graphic.h"
#include "formats/common/reader_graphic.h"

class TPPMGraphic : public TReaderGraphic {
 public:
  static const TGraphicClass& StaticClass();
  const TGraphicClass& ClassType() const override { return StaticClass(); }

  bool ReadImageHeader(TStream& stream, int imageIndex) override;
  void LoadFromStream(TStream& stream) override;

 protected:
  bool ProbeStream(TStream& stream) const override;

 private:
  static constexpr std::size_t kBufferSize = 4096;

  // The next byte; at the end of the stream "Stream read error in PPM
  // file.". PeekByte answers false there instead.
  std::uint8_t GetByte();
  bool PeekByte(std::uint8_t& value);
  void ReadBlock(std::uint8_t* dest, std::size_t count);
  // A line without its end and without anything from a "#" on.
  std::string ReadLine();
  // The next decimal number (characters before it are skipped, a "#"
  // skips the rest of its line); the character after it is used up.
  std::uint32_t ReadNumber();
  // The next digit of a text bitmap, which needs no space between digits.
  std::uint8_t ReadBit();
  // Bytes still to be read: the buffer's and the stream's.
  std::int64_t BytesLeft();
  void ResetBuffer() { index_ = kBufferSize; count_ = kBufferSize; }

  std::array<std::uint8_t, kBufferSize> buffer_{};
  std::size_t index_ = kBufferSize;  // kBufferSize: empty
  std::size_t count_ = kBufferSize;  // bytes the buffer holds
  TStream* source_ = nullptr;
  int type_ = 0;
  std::uint32_t maxValue_ = 0;
};
