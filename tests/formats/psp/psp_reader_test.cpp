// The Paint Shop Pro reader on files of our Python writer, made from the
// format's layout apart from the reader.
#include "formats/psp/psp_graphic.h"

#include <gtest/gtest.h>

#include "core/exceptions.h"
#include "formats/png/oracles.h"

namespace {

struct TWritten {
  std::vector<std::uint8_t> File;
  std::vector<std::uint8_t> Looks;  // R, G, B as the picture should show
};

struct TSpec {
  int Version, Depth;
  bool Grey;
  int Compression, Width, Height;
  const char* Fault = "none";
};

// Runs the writer once for all the files.
std::vector<TWritten> Write(const std::vector<TSpec>& specs) {
  testsupport::TempDir dir;
  std::vector<std::string> argv{"/usr/bin/python3", testsupport::SourceDir() + "/tests/formats/psp/psp_writer.py"};
  for (std::size_t i = 0; i < specs.size(); ++i) {
    const TSpec& s = specs[i];
    argv.insert(argv.end(), {dir.File(std::to_string(i) + ".psp"), dir.File(std::to_string(i) + ".rgb"),
                             std::to_string(s.Version), std::to_string(s.Depth), s.Grey ? "1" : "0",
                             std::to_string(s.Compression), std::to_string(s.Width), std::to_string(s.Height), s.Fault});
  }
  const auto r = testsupport::Run(argv);
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  std::vector<TWritten> written;
  for (std::size_t i = 0; i < specs.size(); ++i) {
    written.push_back({testsupport::ReadBytes(dir.File(std::to_string(i) + ".psp")),
                       testsupport::ReadBytes(dir.File(std::to_string(i) + ".rgb"))});
  }
  return written;
}

TWritten Write(int version, int depth, bool grey, int compression, int width, int height, const char* fault = "none") {
  return Write({{version, depth, grey, compression, width, height, fault}})[0];
}

TEST(PSPReader, EveryDepthCompressionAndVersion) {
  const struct {
    int Depth;
    bool Grey;
    TPixelFormat Format;
  } kinds[] = {{1, false, pf1bit}, {1, true, pf1bit}, {4, false, pf4bit}, {4, true, pf4bit},
               {8, false, pf8bit}, {8, true, pf8bit}, {24, false, pf24bit}};
  std::vector<TSpec> specs;
  std::vector<TPixelFormat> formats;
  for (const auto& k : kinds) {
    for (int version : {3, 5}) {
      for (int compression : {0, 1, 2}) {
        for (auto [w, h] : {std::pair{13, 5}, std::pair{8, 3}}) {
          specs.push_back({version, k.Depth, k.Grey, compression, w, h});
          formats.push_back(k.Format);
        }
      }
    }
  }
  const std::vector<TWritten> files = Write(specs);
  for (std::size_t i = 0; i < specs.size(); ++i) {
    const TSpec& s = specs[i];
    SCOPED_TRACE("depth " + std::to_string(s.Depth) + (s.Grey ? " grey" : "") + " version " +
                 std::to_string(s.Version) + " compression " + std::to_string(s.Compression) + " " +
                 std::to_string(s.Width) + "x" + std::to_string(s.Height));
    auto psp = oracles::LoadPicture<TPSPGraphic>(files[i].File);
    EXPECT_EQ(psp->PixelFormat(), formats[i]);
    EXPECT_EQ(oracles::Rgb(*psp), files[i].Looks);
  }
}

TEST(PSPReader, FaultyFiles) {
  const std::string invalid = "Cannot load image. Invalid or unexpected PSP image format.";
  const struct {
    const char* Name;
    TWritten File;
    std::string Error;
  } cases[] = {
      {"a colour image without its green channel", Write(5, 24, false, 1, 6, 4, "no-green"), invalid},
      {"an uncompressed length short of the rows", Write(5, 8, true, 2, 6, 4, "short-length"), invalid},
      {"JPEG", Write(5, 24, false, 3, 6, 4), "Cannot load image. The compression scheme is not supported for PSP files."},
      {"a palette that claims 2^31 entries", Write(4, 8, false, 0, 6, 4, "huge-palette"), "(loaded)"},
      {"a block of length 0", Write(3, 8, false, 0, 6, 4, "zero-block"), "(loaded)"},
      {"a marker without ~ after the layer", Write(5, 4, false, 1, 6, 4, "bad-marker"), "(loaded)"},
  };
  for (const auto& c : cases) EXPECT_EQ(oracles::LoadError<TPSPGraphic>(c.File.File), c.Error) << c.Name;
  auto palette = oracles::LoadPicture<TPSPGraphic>(cases[3].File.File);
  EXPECT_EQ(palette->Palette().size(), 256u);
  EXPECT_EQ(oracles::Rgb(*palette), cases[3].File.Looks);

  // Not this format: the signature, and a version below 3.
  auto old = Write(5, 8, true, 0, 2, 2).File;
  TPSPGraphic probe;
  TMemoryStream good(old);
  EXPECT_TRUE(probe.CanLoadStream(good));
  ASSERT_TRUE(probe.ReadImageHeader(good, 0));
  EXPECT_EQ(probe.ImageProperties().ColorScheme, TColorScheme::Gray);
  EXPECT_FLOAT_EQ(probe.ImageProperties().XResolution, 72.0f);
  old[32] = 2;
  TMemoryStream two(old);
  EXPECT_FALSE(probe.CanLoadStream(two));
  EXPECT_EQ(oracles::LoadError<TPSPGraphic>(old), invalid);
}

}  // namespace
