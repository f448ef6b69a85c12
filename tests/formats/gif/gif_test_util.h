#pragma once
// Helpers shared by the GIF tests: building raw GIF files around image
// data, packing hand-made code streams, and reading files back with
// Debian's decoders.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace giftest {

// Pixel indices of a frame, rows top-down.
struct Frame {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Pixels;
};

enum class Content { Random, Runs, Constant };

// A frame of the given size whose indices lie in 0..colors-1.
Frame MakeFrame(int width, int height, int colors, Content content, std::uint32_t seed);

// prefix, the number and the suffix ("g12.gif"), built without the string
// concatenation that trips a false warning of GCC 12 at -O3.
std::string NumberedName(const char* prefix, std::size_t number, const char* suffix);

// The colour the test palettes give index i: every index a distinct red.
inline std::uint8_t RedOf(int index) { return static_cast<std::uint8_t>(index); }

// A GIF87a file with one frame: a global table of 2^bits entries (entry i
// has red i, green 255 - i, blue 0) and the given image data block (code
// size byte, sub-blocks, terminator), interlaced when asked.
std::vector<std::uint8_t> WrapImageData(int width, int height, int bits, bool interlaced,
                                        const std::vector<std::uint8_t>& imageData);

// Packs codes of the given widths least significant bit first and cuts the
// result into sub-blocks; the code size byte comes first, the terminator
// last unless terminate is false.
struct Code {
  int Value;
  int Width;
};
std::vector<std::uint8_t> PackCodes(int codeSize, const std::vector<Code>& codes, bool terminate = true);

// giftopnm's reading of a file: the red channel of every pixel. Fails the
// test when giftopnm exits non-zero or prints anything on stderr.
std::vector<std::uint8_t> GiftopnmReds(const std::string& path, int* width = nullptr, int* height = nullptr);

// Pillow's palette indices of frame 0 of each file, read in one run.
std::vector<std::vector<std::uint8_t>> PillowIndices(const std::vector<std::string>& paths);

}  // namespace giftest
