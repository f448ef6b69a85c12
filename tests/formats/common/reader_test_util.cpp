#include "formats/common/reader_test_util.h"

#include <gtest/gtest.h>

#include "core/exceptions.h"
#include "core/streams.h"

namespace readertest {

std::unique_ptr<TBitmap> Load(const TGraphicClass& graphicClass, const Bytes& bytes) {
  std::unique_ptr<TGraphic> graphic = graphicClass.Create();
  TMemoryStream stream(bytes);
  graphic->LoadFromStream(stream);
  return std::unique_ptr<TBitmap>(dynamic_cast<TBitmap*>(graphic.release()));
}

std::string LoadError(const TGraphicClass& graphicClass, const Bytes& bytes) {
  try {
    Load(graphicClass, bytes);
  } catch (const Exception& e) {
    return e.what();
  }
  return "";
}

void ExpectPicture(const TGraphicClass& graphicClass, const Bytes& bytes, TPixelFormat format,
                   const RgbImage& expected) {
  const std::unique_ptr<TBitmap> b = Load(graphicClass, bytes);
  EXPECT_EQ(b->PixelFormat(), format);
  EXPECT_EQ(Difference(expected, Pixels(*b)), "");
}

void ExpectPictures(const TGraphicClass& graphicClass, std::span<const TCraftedFile> files) {
  for (const TCraftedFile& f : files) {
    SCOPED_TRACE(f.Name);
    ExpectPicture(graphicClass, f.File, f.Format, f.Expected);
  }
}

RgbImage Picture(int width, int height, int colours, bool gray, std::uint32_t seed) {
  RgbImage image;
  image.Width = width;
  image.Height = height;
  image.Rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
  std::uint32_t state = seed * 2654435761u + 12345u;
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  };
  std::size_t o = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x, o += 3) {
      std::uint32_t v;
      if ((x / 7 + y / 5) % 3 == 0) {
        v = 0x30A0F0u;  // a flat area: long runs
      } else if ((x / 11) % 2 == 0) {
        v = static_cast<std::uint32_t>((x * 3 + y) & 0xFF) | (static_cast<std::uint32_t>((y * 5) & 0xFF) << 8) |
            (static_cast<std::uint32_t>((x + y * 2) & 0xFF) << 16);
      } else {
        v = next() >> 8;
      }
      if (colours > 0) {
        const std::uint32_t i = (v ^ (v >> 9) ^ (v >> 17)) % static_cast<std::uint32_t>(colours);
        v = gray ? i * 255 / static_cast<std::uint32_t>(std::max(colours - 1, 1)) * 0x010101u
                 : (i * 37u & 0xFF) | ((i * 91u & 0xFF) << 8) | ((i * 53u + 7) & 0xFF) << 16;
      } else if (gray) {
        v = (v & 0xFF) * 0x010101u;
      }
      image.Rgb[o] = static_cast<std::uint8_t>(v);
      image.Rgb[o + 1] = static_cast<std::uint8_t>(v >> 8);
      image.Rgb[o + 2] = static_cast<std::uint8_t>(v >> 16);
    }
  }
  return image;
}

RgbImage Pixels(const TBitmap& bitmap) {
  RgbImage image;
  image.Width = bitmap.Width();
  image.Height = bitmap.Height();
  image.Rgb.reserve(static_cast<std::size_t>(image.Width) * static_cast<std::size_t>(image.Height) * 3);
  for (int y = 0; y < image.Height; ++y) {
    for (int x = 0; x < image.Width; ++x) {
      const TColor c = bitmap.GetPixelColor(x, y);
      image.Rgb.push_back(static_cast<std::uint8_t>(GetRValue(c)));
      image.Rgb.push_back(static_cast<std::uint8_t>(GetGValue(c)));
      image.Rgb.push_back(static_cast<std::uint8_t>(GetBValue(c)));
    }
  }
  return image;
}

std::string Ppm(const RgbImage& image) {
  std::string s = "P6\n" + std::to_string(image.Width) + " " + std::to_string(image.Height) + "\n255\n";
  s.append(image.Rgb.begin(), image.Rgb.end());
  return s;
}

Bytes Tool(const std::vector<std::string>& argv, const std::string& input) {
  const testsupport::CommandResult r = testsupport::Run(argv, input);
  EXPECT_EQ(r.ExitCode, 0) << argv[0] << ": " << r.Err;
  return Bytes(r.Out.begin(), r.Out.end());
}

Bytes Python(const std::string& script, const std::vector<std::string>& arguments, const std::string& input) {
  std::vector<std::string> argv{"/usr/bin/python3", "-c", script};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return Tool(argv, input);
}

std::string Difference(const RgbImage& expected, const RgbImage& actual) {
  if (expected.Width != actual.Width || expected.Height != actual.Height) {
    return "size " + std::to_string(actual.Width) + "x" + std::to_string(actual.Height) + ", expected " +
           std::to_string(expected.Width) + "x" + std::to_string(expected.Height);
  }
  for (std::size_t i = 0; i + 2 < expected.Rgb.size() && i + 2 < actual.Rgb.size(); i += 3) {
    if (!std::equal(expected.Rgb.begin() + static_cast<std::ptrdiff_t>(i),
                    expected.Rgb.begin() + static_cast<std::ptrdiff_t>(i + 3),
                    actual.Rgb.begin() + static_cast<std::ptrdiff_t>(i))) {
      const std::size_t p = i / 3;
      auto hex = [](const std::vector<std::uint8_t>& v, std::size_t k) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%02X%02X%02X", v[k], v[k + 1], v[k + 2]);
        return std::string(buf);
      };
      return "pixel (" + std::to_string(p % static_cast<std::size_t>(expected.Width)) + ", " +
             std::to_string(p / static_cast<std::size_t>(expected.Width)) + ") is " + hex(actual.Rgb, i) +
             ", expected " + hex(expected.Rgb, i);
    }
  }
  return expected.Rgb.size() == actual.Rgb.size() ? "" : "pixel data of another length";
}

Bytes Bits(const std::string& text) {
  Bytes out;
  int n = 0;
  for (char c : text) {
    if (c != '0' && c != '1') continue;
    if (n % 8 == 0) out.push_back(0);
    if (c == '1') out.back() |= static_cast<std::uint8_t>(0x80 >> (n % 8));
    ++n;
  }
  return out;
}

}  // namespace readertest
