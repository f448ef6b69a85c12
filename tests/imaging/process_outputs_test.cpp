// PNG, PCX and Targa outputs of a batch, read back by readers that are
// not ours: netpbm, ImageMagick and Pillow must see exactly the picture
// the marks were rendered into.

#include <gtest/gtest.h>

#include <filesystem>

#include "core/jpeg.h"
#include "imaging/batch.h"
#include "imaging/mark.h"
#include "imaging_fixture.h"

namespace {

using testsupport::HaveTool;
using testsupport::RgbImage;
using testsupport::SkipReason;

constexpr const char* kConvert = "/usr/bin/convert";
constexpr const char* kPython = "/usr/bin/python3";

// Pillow writes each file it is given as a binary PPM beside it.
constexpr const char* kPillowToPpm =
    "import sys\n"
    "from PIL import Image\n"
    "for name in sys.argv[1:]:\n"
    "    im = Image.open(name).convert('RGB')\n"
    "    with open(name + '.pil.ppm', 'wb') as f:\n"
    "        f.write(b'P6\\n%d %d\\n255\\n' % im.size + im.tobytes())\n";

class ProcessOutputsTest : public ImagingTest {
 protected:
  void SetUp() override {
    ImagingTest::SetUp();
    for (const char* tool : {"/usr/bin/pngtopam", "/usr/bin/pcxtoppm", "/usr/bin/tgatoppm", kConvert}) {
      if (!HaveTool(tool)) GTEST_SKIP() << SkipReason(tool);
    }
    if (!testsupport::HavePillow()) GTEST_SKIP() << "Pillow is not importable by /usr/bin/python3";
    std::filesystem::create_directories(Dir() + "in");
    std::filesystem::create_directories(Dir() + "out");
    hooks_.QueryOverwrite = [](const std::string&) { return owNo; };
    hooks_.StopRequested = [] { return false; };
    hooks_.ProcessMessages = [] {};
    hooks_.Progress = [](int, const std::string&) {};
  }

  // A mark that takes the normal road's every step: placed at the centre,
  // half transparent, turned.
  std::string MarkFile() {
    TMark m;
    m.AddMark("");
    m.Records[0].SetPictureType(".bmp");
    m.Records[0].SetAnchor(4);
    m.Records[0].SetTransparency(30);
    m.Records[0].SetAngle(30);
    m.MarkPictures[0] = PatternBitmap(9, 7, 5);
    const std::string path = Dir() + "m.spm";
    EXPECT_TRUE(m.SaveMarkFile(0, path));
    return path;
  }

  // The picture the batch renders for a source: the same mark file
  // through a mark set of its own.
  TBitmap Rendered(const std::string& markFile, const std::string& src) {
    TMark m;
    m.AddMarkFiles(std::vector<std::string>{markFile});
    m.LoadMarks();
    EXPECT_TRUE(m.ProcessFile(src, Dir() + "reference.bmp"));
    return m.Composite;
  }

  static RgbImage ReadWith(const std::vector<std::string>& argv) {
    const auto r = testsupport::Run(argv);
    EXPECT_EQ(r.ExitCode, 0) << argv[0] << ": " << r.Err;
    EXPECT_EQ(r.Err, "") << argv[0];
    return testsupport::ParsePnm(r.Out);
  }

  static void PillowToPpm(const std::vector<std::string>& files) {
    std::vector<std::string> argv = {kPython, "-c", kPillowToPpm};
    argv.insert(argv.end(), files.begin(), files.end());
    const auto r = testsupport::Run(argv);
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
  }

  static RgbImage ReadPpmFile(const std::string& path) {
    const auto bytes = testsupport::ReadBytes(path);
    return testsupport::ParsePnm(std::string(bytes.begin(), bytes.end()));
  }

  static void ExpectPixels(const RgbImage& image, const TBitmap& b) {
    ASSERT_EQ(image.Width, b.Width());
    ASSERT_EQ(image.Height, b.Height());
    for (int y = 0; y < b.Height(); ++y) {
      for (int x = 0; x < b.Width(); ++x) {
        const std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(b.Width()) + x) * 3;
        ASSERT_EQ((TBgr{image.Rgb[i + 2], image.Rgb[i + 1], image.Rgb[i]}), PixelAt(b, x, y)) << x << "," << y;
      }
    }
  }

  static int Word(const std::vector<std::uint8_t>& bytes, std::size_t at) { return bytes[at] | bytes[at + 1] << 8; }

  TBatchHooks hooks_;
};

}  // namespace

TEST_F(ProcessOutputsTest, BatchOutputsReadBackExactlyByEveryReader) {
  const std::string mark = MarkFile();
  // An odd width, and a width of one pixel, which no line padding hides.
  const struct {
    const char* name;
    int width, height;
  } sources[] = {{"photo", 37, 23}, {"thin", 1, 5}};
  std::vector<std::string> paths;
  for (const auto& s : sources) {
    paths.push_back(Dir() + "in/" + s.name + ".jpg");
    testsupport::WriteBytes(paths.back(), EncodeJpeg(PatternBitmap(s.width, s.height, 3), 92));
  }
  for (int type : {4, 5, 6}) {
    ProgramInfo().OutputFileType = static_cast<std::uint8_t>(type);
    const TBatchResult r = RunBatch({mark}, paths, Dir() + "out", hooks_);
    EXPECT_EQ(r.Converted, 2) << type;
  }

  std::vector<std::string> written;
  std::vector<TBitmap> rendered;
  for (std::size_t s = 0; s < paths.size(); ++s) {
    rendered.push_back(Rendered(mark, paths[s]));
    const TBitmap& expected = rendered.back();
    ASSERT_EQ(expected.Width(), sources[s].width);
    const std::string base = Dir() + "out/" + sources[s].name;
    SCOPED_TRACE(base);
    ExpectPixels(ReadWith({"/usr/bin/pngtopam", base + ".png"}), expected);
    ExpectPixels(ReadWith({"/usr/bin/pcxtoppm", base + ".pcx"}), expected);
    ExpectPixels(ReadWith({"/usr/bin/tgatoppm", base + ".tga"}), expected);
    for (const char* ext : {".png", ".pcx", ".tga"}) {
      SCOPED_TRACE(ext);
      ExpectPixels(ReadWith({kConvert, base + ext, "ppm:-"}), expected);
      written.push_back(base + ext);
    }

    // The PCX is the true-colour layout: 8 bits in each of 3 planes,
    // one plane line per pixel column.
    const auto pcx = testsupport::ReadBytes(base + ".pcx");
    ASSERT_GT(pcx.size(), 128u + 769u);
    EXPECT_EQ(pcx[0], 0x0A);
    EXPECT_EQ(pcx[1], 5);
    EXPECT_EQ(pcx[2], 1);
    EXPECT_EQ(pcx[3], 8);
    EXPECT_EQ(Word(pcx, 8), sources[s].width - 1);
    EXPECT_EQ(Word(pcx, 10), sources[s].height - 1);
    EXPECT_EQ(pcx[65], 3);
    EXPECT_EQ(Word(pcx, 66), sources[s].width);
    EXPECT_EQ(pcx[pcx.size() - 769], 0x0C);

    // The Targa is uncompressed true colour, top row first, after the
    // identification text.
    const auto tga = testsupport::ReadBytes(base + ".tga");
    const std::size_t pixels = static_cast<std::size_t>(sources[s].width) * static_cast<std::size_t>(sources[s].height);
    ASSERT_EQ(tga.size(), 18u + 46u + pixels * 3);
    EXPECT_EQ(tga[0], 46);
    EXPECT_EQ(tga[1], 0);
    EXPECT_EQ(tga[2], 2);
    EXPECT_EQ(tga[16], 24);
    EXPECT_EQ(tga[17], 0x20);
    EXPECT_EQ(std::string(tga.begin() + 18, tga.begin() + 64),
              std::string("Stampwise(STAMPING) produced this TARGA file!\x1A", 46));
    const TBgr topLeft = PixelAt(expected, 0, 0);
    EXPECT_EQ((TBgr{tga[64], tga[65], tga[66]}), topLeft);
  }

  PillowToPpm(written);
  for (std::size_t i = 0; i < written.size(); ++i) {
    SCOPED_TRACE(written[i] + " (Pillow)");
    ExpectPixels(ReadPpmFile(written[i] + ".pil.ppm"), rendered[i / 3]);
  }
}

// Output type 0 keeps the source's type and name: a PNG from Pillow comes
// back as a PNG of the same name in the output folder.
TEST_F(ProcessOutputsTest, PngSourceKeepsItsTypeAndName) {
  const int w = 19, h = 11;
  auto colour = [](int x, int y) { return TBgr{(x * 29 + y * 3) % 256, (x * 5 + y * 41) % 256, (x * 13 + y * 7) % 256}; };
  const std::string src = Dir() + "in/picture.png";
  const auto made = testsupport::Run(
      {kPython, "-c",
       "import sys\n"
       "from PIL import Image\n"
       "w, h = int(sys.argv[2]), int(sys.argv[3])\n"
       "im = Image.new('RGB', (w, h))\n"
       "im.putdata([((x * 13 + y * 7) % 256, (x * 5 + y * 41) % 256, (x * 29 + y * 3) % 256)\n"
       "            for y in range(h) for x in range(w)])\n"
       "im.save(sys.argv[1])\n",
       src, std::to_string(w), std::to_string(h)});
  ASSERT_EQ(made.ExitCode, 0) << made.Err;

  TMark placed;
  placed.AddMark("");
  placed.Records[0].SetPictureType(".bmp");
  placed.Records[0].SetAnchor(0);
  placed.Records[0].SetXOffset(2);
  placed.Records[0].SetYOffset(3);
  placed.MarkPictures[0] = SolidBitmap(4, 2, clRed);
  ASSERT_TRUE(placed.SaveMarkFile(0, Dir() + "red.spm"));

  ProgramInfo().OutputFileType = 0;
  const TBatchResult r = RunBatch({Dir() + "red.spm"}, {src}, Dir() + "out", hooks_);
  EXPECT_EQ(r.Converted, 1);
  const std::string out = Dir() + "out/picture.png";
  ASSERT_TRUE(std::filesystem::exists(out));
  const auto bytes = testsupport::ReadBytes(out);
  ASSERT_GE(bytes.size(), 8u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "\x89PNG\r\n\x1A\n");

  const TBitmap expected = Rendered(Dir() + "red.spm", src);
  ExpectPixels(ReadWith({"/usr/bin/pngtopam", out}), expected);
  // Outside the mark the output is Pillow's picture as Pillow wrote it.
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const bool underMark = x >= 2 && x < 6 && y >= 3 && y < 5;
      EXPECT_EQ(PixelAt(expected, x, y), underMark ? (TBgr{0, 0, 254}) : colour(x, y)) << x << "," << y;
    }
  }
}
