#pragma once
// What the reader tests share: loading bytes with a reader class, test
// pictures, portable pixmaps as the tools' common input, and running
// Debian's converters and small Python writers made from a format's
// layout.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/graphic.h"
#include "support/test_support.h"

namespace readertest {

using Bytes = std::vector<std::uint8_t>;
using testsupport::RgbImage;

// A new picture of the class, loaded from the bytes (what loading raises
// leaves). The reader classes are bitmaps.
std::unique_ptr<TBitmap> Load(const TGraphicClass& graphicClass, const Bytes& bytes);
// The text of what loading raises; "" when the bytes load.
std::string LoadError(const TGraphicClass& graphicClass, const Bytes& bytes);
// Loads the bytes with the class and checks the bitmap's pixel format and
// its pixels (the first differing one is named).
void ExpectPicture(const TGraphicClass& graphicClass, const Bytes& bytes, TPixelFormat format,
                   const RgbImage& expected);

// A row of a table of files made by hand and the pictures they hold.
struct TCraftedFile {
  const char* Name;
  Bytes File;
  TPixelFormat Format;
  RgbImage Expected;
};
// ExpectPicture for every row; a failure names the row.
void ExpectPictures(const TGraphicClass& graphicClass, std::span<const TCraftedFile> files);

// A picture with smooth areas, runs of equal pixels and noise; with
// colours > 0 it uses at most that many colours (of a fixed palette; a
// grey one when gray is set).
RgbImage Picture(int width, int height, int colours = 0, bool gray = false, std::uint32_t seed = 1);
// The bitmap's pixels as R, G, B.
RgbImage Pixels(const TBitmap& bitmap);
// A binary portable pixmap (P6) of the picture.
std::string Ppm(const RgbImage& image);

// Runs a converter with input on its standard input; its output, or a
// failed test with the tool's complaint.
Bytes Tool(const std::vector<std::string>& argv, const std::string& input = std::string());
// Runs a Python script (given as text) with the arguments and returns what
// it prints.
Bytes Python(const std::string& script, const std::vector<std::string>& arguments = {},
             const std::string& input = std::string());

// Bytes from a text of '0' and '1' (other characters ignored), most
// significant bit first, the last byte padded with 0.
Bytes Bits(const std::string& text);

// The first differing pixel of two pictures as text, "" when they match.
std::string Difference(const RgbImage& expected, const RgbImage& actual);

}  // namespace readertest
