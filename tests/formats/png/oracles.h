#pragma once
// Test pictures and independent decoders (Pillow, netpbm, ImageMagick)
// for the PNG, PCX and Targa tests.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/exceptions.h"
#include "core/streams.h"
#include "support/test_support.h"

namespace oracles {

// A picture of class T loaded from the bytes.
template <class T>
std::unique_ptr<T> LoadPicture(const std::vector<std::uint8_t>& bytes) {
  auto picture = std::make_unique<T>();
  TMemoryStream in(bytes);
  picture->LoadFromStream(in);
  return picture;
}
// The message of the error loading raises, or "(loaded)".
template <class T, class E = EInvalidGraphic>
std::string LoadError(const std::vector<std::uint8_t>& bytes) {
  try {
    LoadPicture<T>(bytes);
  } catch (const E& e) {
    return e.Message();
  }
  return "(loaded)";
}

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

// The chunks with the data of every IDAT cut into chunks of one byte,
// named `type` (the same letters in any case).
std::vector<Chunk> SplitIdat(const std::vector<Chunk>& chunks, const std::string& type = "IDAT");

// A zlib stream of the bytes.
std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& raw);
// IHDR data: width, height, depth, colour type, methods 0, interlace.
std::vector<std::uint8_t> PngHeader(std::uint32_t w, std::uint32_t h, int depth, int colorType, int interlace = 0);
// The chunks of a file: IHDR, the extra chunks, one IDAT of the unpacked
// rows (filter bytes included), IEND.
std::vector<Chunk> BuildPng(const std::vector<std::uint8_t>& ihdr, const std::vector<std::uint8_t>& rows,
                            const std::vector<Chunk>& extra = {});

}  // namespace oracles
