// The batch's outputs, byte for byte: a table of marks (every treatment
// of the source and every effect of the mark picture) through every
// output type, over sources that change size from one file to the next.
// The digests were taken from the batch before its memory was kept from
// file to file; a batch of several files must give what a batch of each
// file alone gives, so nothing of one file reaches the next.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/jpeg.h"
#include "imaging/batch.h"
#include "imaging/mark.h"
#include "imaging/process.h"
#include "app/routines.h"
#include "imaging_fixture.h"

namespace {

std::uint64_t Fnv1a(const std::vector<std::uint8_t>& bytes, std::uint64_t h = 14695981039346656037ull) {
  for (std::uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
  return h;
}

std::string Hex(std::uint64_t v) {
  char text[19];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(v));
  return text;
}

// A mask whose red byte runs across the picture, so every weight occurs.
TBitmap RampMask(int w, int h) {
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) SetPixelAt(b, x, y, TBgr{y * 9 % 256, 40, (x * 255) / (w - 1)});
  }
  return b;
}

// A mark picture with a white (keyed) border around a pattern.
TBitmap MarkPicture() {
  TBitmap b = SolidBitmap(23, 13, clWhite);
  const TBitmap inner = PatternBitmap(17, 9, 4);
  b.Canvas().CopyRect(TRect{3, 2, 20, 11}, inner.Canvas(), TRect{0, 0, 17, 9});
  return b;
}

struct TMarkCase {
  const char* Name;
  void (*SetUp)(TMark& m);
};

void Plain(TMark& m) {
  TMarkInfo& r = m.Records[0];
  r.SetAnchor(8);
  r.SetXOffset(-3);
  r.SetYOffset(-2);
  r.SetTransparency(50);
  r.SetColorKeyOn(true);
  r.SetKeyColor(clWhite);
}

void Tiled(TMark& m) {
  Plain(m);
  m.Records[0].SetAnchor(0);
  m.Records[0].SetXOffset(4);
  m.Records[0].SetTransparency(30);
  m.Records[0].SetEffectFlags(mfTilePic);
}

void TiledMesh(TMark& m) {
  Plain(m);
  m.Records[0].SetAnchor(4);
  m.Records[0].SetYOffset(3);
  m.Records[0].SetEffectFlags(mfTilePic | mfMix);
}

// Tiles larger than the smaller sources, placed off the corner.
void TiledLarge(TMark& m) {
  Plain(m);
  TMarkInfo& r = m.Records[0];
  r.SetAnchor(6);
  r.SetXOffset(-5);
  r.SetYOffset(7);
  r.SetEffectFlags(mfTilePic | mfResize);
  r.SetResizeX(300);
  r.SetResizeY(400);
}

void TiledLargeMesh(TMark& m) {
  TiledLarge(m);
  m.Records[0].SetAnchor(2);
  m.Records[0].SetEffectFlags(mfTilePic | mfResize | mfMix);
}

void Rotated(TMark& m) {
  Plain(m);
  TMarkInfo& r = m.Records[0];
  r.SetAnchor(4);
  r.SetAngle(45);
  r.SetRotateBackColor(clWhite);
  r.SetEffectFlags(mfResize | mfMosaic);
  r.SetResizeX(150);
  r.SetResizeY(130);
  r.SetMosaicWidth(3);
  r.SetMosaicHeight(2);
}

void MosaicInverted(TMark& m) {
  Plain(m);
  m.Records[0].SetAnchor(2);
  m.Records[0].SetColorKeyOn(false);
  m.Records[0].SetEffectFlags(mfMosaic | mfExposal);
  m.Records[0].SetMosaicWidth(4);
  m.Records[0].SetMosaicHeight(3);
}

void Framed(TMark& m) {
  Plain(m);
  TMarkInfo& r = m.Records[0];
  r.SetEffectFlags(mfSourceFrame | mfUseMask | mfSourceBackgroundColor);
  r.SetFrameWidthX(6);
  r.SetFrameWidthY(5);
  r.SetFrameColor(RGB(40, 60, 80));
  r.SetFrameStyle(1);
  r.SetBevelWidth(2);
  r.SetBevelInner(0);
  r.SetBevelOuter(2);
  r.SetColorContrast(30);
  r.SetSourceBackColor(RGB(250, 240, 10));
  r.SetMaskRect(TRect{0, 0, 200, 150});
  m.Masks[0] = RampMask(20, 15);
}

void FramedPicture(TMark& m) {
  Plain(m);
  TMarkInfo& r = m.Records[0];
  r.SetEffectFlags(mfSourceFrame | mfSourceFramePicture);
  r.SetFrameWidthX(4);
  r.SetFrameWidthY(7);
  r.SetFrameStyle(3);
  r.SetBevelWidth(1);
  r.SetBevelInner(2);
  r.SetBevelOuter(0);
  m.Frames[0] = PatternBitmap(5, 3, 9);
}

void Masked(TMark& m) {
  Plain(m);
  m.Records[0].SetEffectFlags(mfUseMask | mfMaskTurn);
  m.Records[0].SetMaskRect(TRect{10, 5, 70, 45});
  m.Masks[0] = RampMask(7, 5);
}

void MaskedBackground(TMark& m) {
  Plain(m);
  m.Records[0].SetEffectFlags(mfUseMask | mfSourceBackgroundColor | mfSourceBackgroundPicture);
  m.Records[0].SetMaskRect(TRect{-5, 0, 90, 300});
  m.Masks[0] = RampMask(9, 9);
  m.Backgrounds[0] = PatternBitmap(6, 4, 2);
}

void ScaledSource(TMark& m) {
  Plain(m);
  TMarkInfo& r = m.Records[0];
  r.SetEffectFlags(mfResizeSource | mfResizeSourceByScale | mfSourceFrame);
  r.SetSourceScale(75.0f);
  r.SetSourceBackColor(RGB(0, 128, 255));
  r.SetFrameWidthX(3);
  r.SetFrameWidthY(3);
  r.SetFrameStyle(2);
  r.SetBevelWidth(1);
  r.SetColorContrast(20);
}

void SizedSource(TMark& m) {
  Plain(m);
  TMarkInfo& r = m.Records[0];
  r.SetEffectFlags(mfResizeSource | mfSourceBackgroundPicture);
  r.SetSourceWidth(90);
  r.SetSourceHeight(70);
  m.Backgrounds[0] = PatternBitmap(7, 5, 6);
}

// Nothing of the mark shows; every pixel of the work picture is still
// written, so anything left from a larger file before would show.
void Clear(TMark& m) {
  Plain(m);
  m.Records[0].SetAnchor(0);
  m.Records[0].SetTransparency(100);
  m.Records[0].SetColorKeyOn(false);
  m.Records[0].SetEffectFlags(mfTilePic);
}

const TMarkCase kMarks[] = {
    {"plain", Plain},           {"tiled", Tiled},
    {"tiledmesh", TiledMesh},   {"tiledlarge", TiledLarge},
    {"tiledlargemesh", TiledLargeMesh}, {"rotated", Rotated},
    {"mosaic", MosaicInverted}, {"framed", Framed},
    {"framedpic", FramedPicture}, {"masked", Masked},
    {"maskedback", MaskedBackground}, {"scaled", ScaledSource},
    {"sized", SizedSource},     {"clear", Clear},
};

struct TOutputCase {
  const char* Name;
  int Type;          // OutputFileType
  int BmpColors;     // BmpColorSetup when the BMP depth is not kept, else -1
};

const TOutputCase kOutputs[] = {{"jpeg", 1, -1}, {"gif", 2, -1}, {"bmp", 3, -1}, {"bmp8", 3, 3},
                                {"png", 4, -1},  {"pcx", 5, -1}, {"tga", 6, -1}};

// The digests of the outputs of every source in turn, per mark and output.
const std::map<std::string, std::string> kDigests = {
    {"clear/bmp8", "2da30a498864f004"},
    {"clear/bmp", "645f80caf3f76b8e"},
    {"clear/gif", "22f87f7f69aef01d"},
    {"clear/jpeg", "3e51d5538948e495"},
    {"clear/pcx", "7d012feded98ca16"},
    {"clear/png", "17a4e6306af68e00"},
    {"clear/tga", "0de4d30d65f04a69"},
    {"framed/bmp8", "ac74103f4bff4d80"},
    {"framed/bmp", "d1f8a8a8114b769f"},
    {"framed/gif", "6841914bca9fe442"},
    {"framed/jpeg", "794c9aa407412506"},
    {"framed/pcx", "439d996bbc09c56e"},
    {"framed/png", "b4b2830d48cd22e8"},
    {"framed/tga", "add6e53734325f86"},
    {"framedpic/bmp8", "cca2ce5b0bc4c0d2"},
    {"framedpic/bmp", "9808928b9ab36d40"},
    {"framedpic/gif", "a7aa70f1c948f8bd"},
    {"framedpic/jpeg", "38b7311ab125441e"},
    {"framedpic/pcx", "5afe620cd3150739"},
    {"framedpic/png", "25a7b1f30266315d"},
    {"framedpic/tga", "3a2b9fafea57e3dd"},
    {"layers/bmp8", "8094ba3199d052fa"},
    {"layers/bmp", "99d90f3fb00dae2b"},
    {"layers/gif", "4d5518aa58f22c8c"},
    {"layers/jpeg", "0e9cb6d06aae623b"},
    {"layers/pcx", "7e37d5f0064966e4"},
    {"layers/png", "84341e4311d500b1"},
    {"layers/tga", "478ad1cd91a8a114"},
    {"masked/bmp8", "e03935f635b11db0"},
    {"masked/bmp", "6d98f1d0dd5a29ea"},
    {"masked/gif", "13bfb09cf23d3e0a"},
    {"masked/jpeg", "148076f018efdcc4"},
    {"masked/pcx", "673e1d37c2940f0e"},
    {"masked/png", "82864c27d441eb3b"},
    {"masked/tga", "252528dba5e17439"},
    {"maskedback/bmp8", "32903ed4fa47728f"},
    {"maskedback/bmp", "109e71d71ddb68e1"},
    {"maskedback/gif", "df3433880806644f"},
    {"maskedback/jpeg", "c035c8ddba01d18b"},
    {"maskedback/pcx", "0b30b6b4187c4cff"},
    {"maskedback/png", "b7ac3c459c3bca78"},
    {"maskedback/tga", "bbf22606e89cbbac"},
    {"mosaic/bmp8", "6270c8b1fbe5325f"},
    {"mosaic/bmp", "349aedcb844c5d81"},
    {"mosaic/gif", "ce53fe706e0131f1"},
    {"mosaic/jpeg", "9c25fc2dba04c4e3"},
    {"mosaic/pcx", "cc26104b011ec7bc"},
    {"mosaic/png", "f2c94c8c74fbddc1"},
    {"mosaic/tga", "1543a6af780bfa42"},
    {"plain/bmp8", "bb1f542bfc659a0d"},
    {"plain/bmp", "a01704f0206cef85"},
    {"plain/gif", "b20c13617a65468e"},
    {"plain/jpeg", "76e04ddae5571f42"},
    {"plain/pcx", "c17c353cd3289dd2"},
    {"plain/png", "76eb02369dbc4b79"},
    {"plain/tga", "478eb2fa7f172a28"},
    {"rotated/bmp8", "79610b4be134c5ef"},
    {"rotated/bmp", "b7df7807f509045a"},
    {"rotated/gif", "4f50bed1e2911716"},
    {"rotated/jpeg", "612bb7b1f3e01740"},
    {"rotated/pcx", "e637e2d2a2c34b79"},
    {"rotated/png", "1f6a11f4c2801714"},
    {"rotated/tga", "2e9a243a63f5bf4d"},
    {"scaled/bmp8", "33b52ef156e361d9"},
    {"scaled/bmp", "794e60da0c1e1761"},
    {"scaled/gif", "09d47e3281708101"},
    {"scaled/jpeg", "cd44f9a2bd53a80b"},
    {"scaled/pcx", "19ee03d036103c02"},
    {"scaled/png", "c2bbd8a58d1ac76c"},
    {"scaled/tga", "57ca3bbf61bf8e0a"},
    {"sized/bmp8", "9de25ecd7826e229"},
    {"sized/bmp", "3ce18b609f45d451"},
    {"sized/gif", "264e3b704fc7c521"},
    {"sized/jpeg", "efe7ef2d81d6c589"},
    {"sized/pcx", "eb78ec15bf92487a"},
    {"sized/png", "ce7d69085b85850c"},
    {"sized/tga", "452eeb64f0596e08"},
    {"tiled/bmp8", "85ecbba22db0affb"},
    {"tiled/bmp", "b973cd529a0c28a9"},
    {"tiled/gif", "a12e52f6d1b6cbd6"},
    {"tiled/jpeg", "fc7320a800b51606"},
    {"tiled/pcx", "e5d98509068c937b"},
    {"tiled/png", "03a50bfcd3198691"},
    {"tiled/tga", "64dcf73feec4c7a0"},
    {"tiledmesh/bmp8", "42311f611b65e8fd"},
    {"tiledlarge/bmp", "e29c3b92118beb2a"},
    {"tiledlarge/bmp8", "e93e7398dceaad60"},
    {"tiledlarge/gif", "2284697821d4f8d5"},
    {"tiledlarge/jpeg", "eaf9452970e55ac7"},
    {"tiledlarge/pcx", "c3af6c23dfce112e"},
    {"tiledlarge/png", "068a4e17e4a7df66"},
    {"tiledlarge/tga", "a3c5710074d0f087"},
    {"tiledlargemesh/bmp", "a972264149c34137"},
    {"tiledlargemesh/bmp8", "4259a5b6befb6013"},
    {"tiledlargemesh/gif", "6436413dd0edb2bd"},
    {"tiledlargemesh/jpeg", "c456baa64c280bbf"},
    {"tiledlargemesh/pcx", "9d4ddc761422252e"},
    {"tiledlargemesh/png", "00bb5c458d41e4a2"},
    {"tiledlargemesh/tga", "8ba341622328a2b6"},
    {"tiledmesh/bmp", "5361d6c50b65c962"},
    {"tiledmesh/gif", "e2ca5fb5077a8edc"},
    {"tiledmesh/jpeg", "4f0d58c1041d2e6a"},
    {"tiledmesh/pcx", "cf21e1a430177079"},
    {"tiledmesh/png", "d70b8371c23be8bc"},
    {"tiledmesh/tga", "4b6b54349806f281"},
};

class BatchOutputsTest : public ImagingTest {
 protected:
  void SetUp() override {
    ImagingTest::SetUp();
    std::filesystem::create_directories(Dir() + "in");
    hooks_.QueryOverwrite = [](const std::string&) { return owAllYes; };
    // Large, small, large and other types between: the work picture
    // shrinks and grows again.
    const TBitmap big = PatternBitmap(97, 61, 1);
    testsupport::WriteBytes(Dir() + "in/a.jpg", EncodeJpeg(big, 90));
    testsupport::WriteBytes(Dir() + "in/b.jpg", EncodeJpeg(PatternBitmap(31, 17, 2), 75));
    testsupport::WriteBytes(Dir() + "in/c.jpg", EncodeJpeg(PatternBitmap(88, 64, 3), 95));
    SaveImageFile(PatternBitmap(40, 50, 4), Dir() + "in/d.bmp");
    SaveImageFile(PatternBitmap(13, 77, 5), Dir() + "in/e.png");
    SaveImageFile(PatternBitmap(64, 20, 6), Dir() + "in/f.gif");
    SaveImageFile(big, Dir() + "in/g.tga");
    sources_ = {"a.jpg", "b.jpg", "c.jpg", "d.bmp", "e.png", "f.gif", "g.tga"};
    for (std::string& s : sources_) s = Dir() + "in/" + s;
  }

  std::string MarkFile(const TMarkCase& c) {
    TMark m;
    m.AddMark("");
    m.Records[0].SetPictureType(".bmp");
    m.MarkPictures[0] = MarkPicture();
    c.SetUp(m);
    const std::string path = Dir() + c.Name + ".spm";
    EXPECT_TRUE(m.SaveMarkFile(0, path));
    return path;
  }

  void UseOutput(const TOutputCase& o) {
    ProgramInfo().OutputFileType = static_cast<std::uint8_t>(o.Type);
    ProgramInfo().BmpKeepColor = o.BmpColors < 0;
    if (o.BmpColors >= 0) ProgramInfo().BmpColorSetup = static_cast<std::uint8_t>(o.BmpColors);
  }

  // The bytes of every output, in source order.
  std::vector<std::vector<std::uint8_t>> Run(const std::vector<std::string>& marks,
                                             const std::vector<std::string>& sources, const std::string& folder) {
    std::filesystem::create_directories(folder);
    const TBatchResult r = RunBatch(marks, sources, folder, hooks_);
    EXPECT_EQ(r.Converted, static_cast<int>(sources.size())) << folder;
    std::vector<std::vector<std::uint8_t>> outputs;
    for (const std::string& s : sources) {
      outputs.push_back(testsupport::ReadBytes(MakeOutputFileName(folder + "/" + ExtractFileName(s))));
    }
    return outputs;
  }

  TBatchHooks hooks_;
  std::vector<std::string> sources_;
};

}  // namespace

TEST_F(BatchOutputsTest, EveryMarkAndOutputTypeKeepsItsBytesAndEachFileStandsAlone) {
  std::string missing;
  for (const TMarkCase& mark : kMarks) {
    const std::string markFile = MarkFile(mark);
    for (const TOutputCase& output : kOutputs) {
      SCOPED_TRACE(std::string(mark.Name) + " -> " + output.Name);
      UseOutput(output);
      const std::string folder = Dir() + "out/" + mark.Name + "-" + output.Name;
      const auto together = Run({markFile}, sources_, folder);
      std::uint64_t digest = 14695981039346656037ull;
      for (std::size_t i = 0; i < together.size(); ++i) {
        digest = Fnv1a(together[i], digest);
        // The same file in a batch of its own.
        const auto alone = Run({markFile}, {sources_[i]}, folder + "-alone" + std::to_string(i));
        ASSERT_EQ(alone.size(), 1u);
        EXPECT_TRUE(alone[0] == together[i]) << sources_[i] << " differs from its own batch";
      }
      const std::string key = std::string(mark.Name) + "/" + output.Name;
      const auto expected = kDigests.find(key);
      if (expected == kDigests.end() || expected->second != Hex(digest)) {
        missing += "    {\"" + key + "\", \"" + Hex(digest) + "\"},\n";
      }
    }
  }
  EXPECT_EQ(missing, "") << "outputs differ from the recorded ones";
}

TEST_F(BatchOutputsTest, LayersOfSeveralMarksKeepTheirBytes) {
  // Two layers: a tiled mark under a framed one, through a picture each.
  auto named = [](std::string_view name) {
    for (const TMarkCase& c : kMarks) {
      if (c.Name == name) return c;
    }
    return kMarks[0];
  };
  const std::vector<std::string> marks = {MarkFile(named("tiled")), MarkFile(named("framed"))};
  std::string missing;
  for (const TOutputCase& output : kOutputs) {
    UseOutput(output);
    const auto outputs = Run(marks, sources_, Dir() + "out/layers-" + output.Name);
    std::uint64_t digest = 14695981039346656037ull;
    for (const auto& bytes : outputs) digest = Fnv1a(bytes, digest);
    const std::string key = std::string("layers/") + output.Name;
    const auto expected = kDigests.find(key);
    if (expected == kDigests.end() || expected->second != Hex(digest)) {
      missing += "    {\"" + key + "\", \"" + Hex(digest) + "\"},\n";
    }
  }
  EXPECT_EQ(missing, "") << "outputs differ from the recorded ones";
}
