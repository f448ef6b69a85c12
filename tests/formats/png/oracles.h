#pragma once
// Test pictures and independent decoders (Pillow, netpbm, ImageMagick)
// for the PNG, PCX and Targa tests.

#include <cstdint>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "support/test_support.h"

namespace oracles {

// A picture of the given format filled with a fixed pseudo-random
// pattern (seeded by the size and format); paletted formats get a full
// palette of distinct colours.
TBitmap Pattern(int width, int height, TPixelFormat format, std::uint32_t seed = 1);

// The bitmap's pixels as R, G, B bytes, rows top first.
std::vector<std::uint8_t> Rgb(const TBitmap& bitmap);

// Decodes each file with Pillow (converted to RGB). Returns one image per
// file; an image with Width 0 when Pillow failed, its message in Err.
struct Decoded {
  testsupport::RgbImage Image;
  std::string Err;
};
std::vector<Decoded> Pillow(const std::vector<std::string>& files);

// Runs a netpbm or ImageMagick converter that writes a PNM to standard
// output and parses it. Err is filled when the tool failed.
Decoded ToolToPnm(const std::vector<std::string>& argv);

// Checks every chunk of a PNG with Python's zlib: CRC, the order of the
// critical chunks, the zlib stream of the IDAT data (complete, nothing
// after it) and its length against the header. Returns "" or a complaint.
std::string PythonPngCheck(const std::string& file);

// Writes a binary PAM (P7) of 8- or 16-bit samples.
std::string MakePam(int width, int height, int depth, int maxval, const std::string& tupleType,
                    const std::vector<std::uint16_t>& samples);

// The chunks of a PNG file (after the signature), for tests that take
// files apart and put them together again.
struct Chunk {
  std::string Type;
  std::vector<std::uint8_t> Data;
};
std::vector<Chunk> SplitPng(const std::vector<std::uint8_t>& file);
// Joins chunks into a file with correct lengths and CRCs.
std::vector<std::uint8_t> JoinPng(const std::vector<Chunk>& chunks);

}  // namespace oracles
