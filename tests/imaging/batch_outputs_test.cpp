// The batch's outputs, byte for byte: a table of marks (every treatment
// of the source and every effect of the mark picture) through every
// output type, over sources that change size from one file to the next.
// The digests were taken from the batch before its memory was kept from
// file to file; a batch of several files must give what a batch of each
// file alone gives, so nothing of one file reaches the next, and on any
// number of workers what it gives one file at a time.

#include <gtest/gtest.h>

#include <array>
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

// A new size on a solid background, without a band.
void Resized(TMark& m) {
  Plain(m);
  TMarkInfo& r = m.Records[0];
  r.SetEffectFlags(mfResizeSource);
  r.SetSourceWidth(120);
  r.SetSourceHeight(45);
  r.SetSourceBackColor(RGB(20, 200, 90));
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
    {"sized", SizedSource},     {"resized", Resized},
    {"clear", Clear},
};

struct TOutputCase {
  const char* Name;
  int Type;          // OutputFileType
  int BmpColors;     // BmpColorSetup when the BMP depth is not kept, else -1
};

const TOutputCase kOutputs[] = {{"jpeg", 1, -1}, {"gif", 2, -1}, {"bmp", 3, -1}, {"bmp8", 3, 3},
                                {"png", 4, -1},  {"pcx", 5, -1}, {"tga", 6, -1}};

// Per mark, the digest of the outputs of every source in turn for each
// output type, in the order of kOutputs.
const std::map<std::string, std::array<std::string, 7>> kDigests = {
    {"plain", {"76e04ddae5571f42", "b20c13617a65468e", "a01704f0206cef85", "bb1f542bfc659a0d",
            "76eb02369dbc4b79", "c17c353cd3289dd2", "478eb2fa7f172a28"}},
    {"tiled", {"fc7320a800b51606", "a12e52f6d1b6cbd6", "b973cd529a0c28a9", "85ecbba22db0affb",
            "03a50bfcd3198691", "e5d98509068c937b", "64dcf73feec4c7a0"}},
    {"tiledmesh", {"4f0d58c1041d2e6a", "e2ca5fb5077a8edc", "5361d6c50b65c962", "42311f611b65e8fd",
            "d70b8371c23be8bc", "cf21e1a430177079", "4b6b54349806f281"}},
    {"tiledlarge", {"eaf9452970e55ac7", "2284697821d4f8d5", "e29c3b92118beb2a", "e93e7398dceaad60",
            "068a4e17e4a7df66", "c3af6c23dfce112e", "a3c5710074d0f087"}},
    {"tiledlargemesh", {"c456baa64c280bbf", "6436413dd0edb2bd", "a972264149c34137", "4259a5b6befb6013",
            "00bb5c458d41e4a2", "9d4ddc761422252e", "8ba341622328a2b6"}},
    {"rotated", {"612bb7b1f3e01740", "4f50bed1e2911716", "b7df7807f509045a", "79610b4be134c5ef",
            "1f6a11f4c2801714", "e637e2d2a2c34b79", "2e9a243a63f5bf4d"}},
    {"mosaic", {"9c25fc2dba04c4e3", "ce53fe706e0131f1", "349aedcb844c5d81", "6270c8b1fbe5325f",
            "f2c94c8c74fbddc1", "cc26104b011ec7bc", "1543a6af780bfa42"}},
    {"framed", {"794c9aa407412506", "6841914bca9fe442", "d1f8a8a8114b769f", "ac74103f4bff4d80",
            "b4b2830d48cd22e8", "439d996bbc09c56e", "add6e53734325f86"}},
    {"framedpic", {"38b7311ab125441e", "a7aa70f1c948f8bd", "9808928b9ab36d40", "cca2ce5b0bc4c0d2",
            "25a7b1f30266315d", "5afe620cd3150739", "3a2b9fafea57e3dd"}},
    {"masked", {"148076f018efdcc4", "13bfb09cf23d3e0a", "6d98f1d0dd5a29ea", "e03935f635b11db0",
            "82864c27d441eb3b", "673e1d37c2940f0e", "252528dba5e17439"}},
    {"maskedback", {"c035c8ddba01d18b", "df3433880806644f", "109e71d71ddb68e1", "32903ed4fa47728f",
            "b7ac3c459c3bca78", "0b30b6b4187c4cff", "bbf22606e89cbbac"}},
    {"scaled", {"cd44f9a2bd53a80b", "09d47e3281708101", "794e60da0c1e1761", "33b52ef156e361d9",
            "c2bbd8a58d1ac76c", "19ee03d036103c02", "57ca3bbf61bf8e0a"}},
    {"sized", {"efe7ef2d81d6c589", "264e3b704fc7c521", "3ce18b609f45d451", "9de25ecd7826e229",
            "ce7d69085b85850c", "eb78ec15bf92487a", "452eeb64f0596e08"}},
    {"resized", {"52668d12d889ce13", "b54c16d620e877b6", "034974532bd1af28", "6c8acefbf2761de6",
                 "7fd00b526c065a4c", "a80240a3470f6510", "3fe34554cbadfe75"}},
    {"clear", {"3e51d5538948e495", "22f87f7f69aef01d", "645f80caf3f76b8e", "2da30a498864f004",
            "17a4e6306af68e00", "7d012feded98ca16", "0de4d30d65f04a69"}},
    {"layers", {"0e9cb6d06aae623b", "4d5518aa58f22c8c", "99d90f3fb00dae2b", "8094ba3199d052fa",
            "84341e4311d500b1", "7e37d5f0064966e4", "478ad1cd91a8a114"}},
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

  // Through each output type, the digest of the outputs of every source in
  // turn; with alone, every file is also run in a batch of its own, which
  // must give the same bytes. The batch runs on one worker (one file at a
  // time), on a few and on one per file; each must give the same bytes.
  std::array<std::string, 7> Digests(const std::vector<std::string>& marks, const std::string& name, bool alone) {
    std::array<std::string, 7> digests;
    for (std::size_t o = 0; o < std::size(kOutputs); ++o) {
      SCOPED_TRACE(name + " -> " + kOutputs[o].Name);
      UseOutput(kOutputs[o]);
      const std::string folder = Dir() + "out/" + name + "-" + kOutputs[o].Name;
      hooks_.Workers = 1;
      const auto together = Run(marks, sources_, folder);
      for (int workers : {3, 7}) {
        hooks_.Workers = workers;
        const auto parallel = Run(marks, sources_, folder + "-w" + std::to_string(workers));
        for (std::size_t i = 0; i < together.size(); ++i) {
          EXPECT_TRUE(parallel.at(i) == together[i]) << sources_[i] << " differs on " << workers << " workers";
        }
      }
      hooks_.Workers = 0;
      std::uint64_t digest = 14695981039346656037ull;
      for (std::size_t i = 0; i < together.size(); ++i) {
        digest = Fnv1a(together[i], digest);
        if (!alone) continue;
        const auto single = Run(marks, {sources_[i]}, folder + "-alone" + std::to_string(i));
        EXPECT_TRUE(single.at(0) == together[i]) << sources_[i] << " differs from its own batch";
      }
      digests[o] = Hex(digest);
    }
    return digests;
  }

  // Empty when the digests are the recorded ones, else their table entry.
  static std::string Mismatch(const std::string& name, const std::array<std::string, 7>& d) {
    const auto recorded = kDigests.find(name);
    if (recorded != kDigests.end() && recorded->second == d) return "";
    std::string entry = "    {\"" + name + "\", {";
    for (const std::string& digest : d) entry += "\"" + digest + "\", ";
    return entry + "}},\n";
  }

  TBatchHooks hooks_;
  std::vector<std::string> sources_;
};

}  // namespace

TEST_F(BatchOutputsTest, EveryMarkAndOutputTypeKeepsItsBytesAndEachFileStandsAlone) {
  std::string mismatches;
  for (const TMarkCase& mark : kMarks) mismatches += Mismatch(mark.Name, Digests({MarkFile(mark)}, mark.Name, true));
  EXPECT_EQ(mismatches, "") << "outputs differ from the recorded ones";
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
  EXPECT_EQ(Mismatch("layers", Digests(marks, "layers", false)), "") << "outputs differ from the recorded ones";
}
