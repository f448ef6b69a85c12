#include "gif_test_util.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <stdexcept>

#include "support/test_support.h"

namespace giftest {

std::string NumberedName(const char* prefix, std::size_t number, const char* suffix) {
  std::ostringstream out;
  out << prefix << number << suffix;
  return out.str();
}

Frame MakeFrame(int width, int height, int colors, Content content, std::uint32_t seed) {
  Frame f;
  f.Width = width;
  f.Height = height;
  f.Pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> color(0, colors - 1);
  std::uniform_int_distribution<int> runLength(1, 40);
  switch (content) {
    case Content::Random:
      for (auto& p : f.Pixels) p = static_cast<std::uint8_t>(color(rng));
      break;
    case Content::Runs: {
      std::size_t i = 0;
      while (i < f.Pixels.size()) {
        const auto c = static_cast<std::uint8_t>(color(rng));
        for (int n = runLength(rng); n > 0 && i < f.Pixels.size(); --n) f.Pixels[i++] = c;
      }
      break;
    }
    case Content::Constant: {
      const auto c = static_cast<std::uint8_t>(color(rng));
      for (auto& p : f.Pixels) p = c;
      break;
    }
  }
  return f;
}

std::vector<std::uint8_t> WrapImageData(int width, int height, int bits, bool interlaced,
                                        const std::vector<std::uint8_t>& imageData) {
  std::vector<std::uint8_t> out{'G', 'I', 'F', '8', '7', 'a'};
  auto word = [&](int v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
  };
  word(width);
  word(height);
  out.push_back(static_cast<std::uint8_t>(0x80 | ((bits - 1) << 4) | (bits - 1)));
  out.push_back(0);
  out.push_back(0);
  for (int i = 0; i < (1 << bits); ++i) {
    out.push_back(RedOf(i));
    out.push_back(static_cast<std::uint8_t>(255 - i));
    out.push_back(0);
  }
  out.push_back(',');
  word(0);
  word(0);
  word(width);
  word(height);
  out.push_back(interlaced ? 0x40 : 0x00);
  out.insert(out.end(), imageData.begin(), imageData.end());
  out.push_back(';');
  return out;
}

std::vector<std::uint8_t> PackCodes(int codeSize, const std::vector<Code>& codes, bool terminate) {
  std::vector<std::uint8_t> bytes;
  std::uint32_t acc = 0;
  int bits = 0;
  for (const auto& c : codes) {
    acc |= static_cast<std::uint32_t>(c.Value) << bits;
    bits += c.Width;
    while (bits >= 8) {
      bytes.push_back(static_cast<std::uint8_t>(acc & 0xFF));
      acc >>= 8;
      bits -= 8;
    }
  }
  if (bits > 0) bytes.push_back(static_cast<std::uint8_t>(acc & 0xFF));
  std::vector<std::uint8_t> out{static_cast<std::uint8_t>(codeSize)};
  for (std::size_t i = 0; i < bytes.size(); i += 255) {
    const std::size_t n = std::min<std::size_t>(255, bytes.size() - i);
    out.push_back(static_cast<std::uint8_t>(n));
    out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(i),
               bytes.begin() + static_cast<std::ptrdiff_t>(i + n));
  }
  if (terminate) out.push_back(0);
  return out;
}

std::vector<std::uint8_t> GiftopnmReds(const std::string& path, int* width, int* height) {
  auto r = testsupport::Run({"/usr/bin/giftopnm", path});
  EXPECT_EQ(r.ExitCode, 0) << path << ": " << r.Err;
  EXPECT_EQ(r.Err, "") << path;
  if (r.ExitCode != 0) return {};
  auto img = testsupport::ParsePnm(r.Out);
  if (width) *width = img.Width;
  if (height) *height = img.Height;
  std::vector<std::uint8_t> reds;
  reds.reserve(img.Rgb.size() / 3);
  for (std::size_t i = 0; i < img.Rgb.size(); i += 3) reds.push_back(img.Rgb[i]);
  return reds;
}

std::vector<std::vector<std::uint8_t>> PillowIndices(const std::vector<std::string>& paths) {
  // One Python run for every file: a length line, then the raw indices.
  std::string script =
      "import sys\n"
      "from PIL import Image\n"
      "out = sys.stdout.buffer\n"
      "for p in sys.argv[1:]:\n"
      "    im = Image.open(p)\n"
      "    im.seek(0)\n"
      "    data = bytes(im.getdata()) if im.mode == 'P' else b''\n"
      "    out.write(b'%d\\n' % len(data))\n"
      "    out.write(data)\n";
  std::vector<std::string> argv{"/usr/bin/python3", "-c", script};
  argv.insert(argv.end(), paths.begin(), paths.end());
  auto r = testsupport::Run(argv);
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  std::vector<std::vector<std::uint8_t>> result;
  std::size_t pos = 0;
  while (pos < r.Out.size()) {
    const std::size_t nl = r.Out.find('\n', pos);
    if (nl == std::string::npos) break;
    const std::size_t len = std::stoul(r.Out.substr(pos, nl - pos));
    pos = nl + 1;
    if (pos + len > r.Out.size()) break;
    result.emplace_back(r.Out.begin() + static_cast<std::ptrdiff_t>(pos),
                        r.Out.begin() + static_cast<std::ptrdiff_t>(pos + len));
    pos += len;
  }
  return result;
}

}  // namespace giftest
