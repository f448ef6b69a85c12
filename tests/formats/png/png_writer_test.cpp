#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>

#include "core/graphic.h"
#include "formats/png/oracles.h"
#include "formats/png/png_image.h"
#include "formats/png_reader/png_graphic.h"
#include "formats/registry.h"
#include "support/pictures.h"

using oracles::Chunk;
using testsupport::HavePillow;
using testsupport::HaveTool;

namespace {

using testsupport::SolidPicture;

std::vector<std::uint8_t> Save(TPNGImage& png) {
  TMemoryStream out;
  png.SaveToStream(out);
  return out.TakeBytes();
}

std::vector<std::uint8_t> SaveBitmap(const TBitmap& bitmap) {
  TPNGImage png;
  png.Assign(bitmap);
  return Save(png);
}

std::vector<std::string> Types(const std::vector<Chunk>& chunks) {
  std::vector<std::string> t;
  for (const Chunk& c : chunks) t.push_back(c.Type);
  return t;
}

// The unpacked image data: per row one filter byte and the row.
std::vector<std::uint8_t> ImageData(const std::vector<Chunk>& chunks) {
  std::vector<std::uint8_t> packed;
  for (const Chunk& c : chunks) {
    if (c.Type == "IDAT") packed.insert(packed.end(), c.Data.begin(), c.Data.end());
  }
  std::vector<std::uint8_t> out(1 << 20);
  uLongf n = static_cast<uLongf>(out.size());
  EXPECT_EQ(uncompress(out.data(), &n, packed.data(), static_cast<uLong>(packed.size())), Z_OK);
  out.resize(n);
  return out;
}

std::vector<int> FilterTypes(const std::vector<std::uint8_t>& data, std::size_t rowBytes) {
  std::vector<int> f;
  for (std::size_t p = 0; p < data.size(); p += rowBytes + 1) f.push_back(data[p]);
  return f;
}

TEST(PngWriter, TinyTruecolourHasTheStandardChunksAndNoFilter) {
  auto file = SaveBitmap(SolidPicture(1, 2, RGB(10, 20, 30)));
  ASSERT_EQ(std::vector<std::uint8_t>(file.begin(), file.begin() + 8),
            (std::vector<std::uint8_t>{137, 80, 78, 71, 13, 10, 26, 10}));
  auto chunks = oracles::SplitPng(file);
  EXPECT_EQ(Types(chunks), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  EXPECT_EQ(chunks[0].Data, (std::vector<std::uint8_t>{0, 0, 0, 1, 0, 0, 0, 2, 8, 2, 0, 0, 0}));
  EXPECT_EQ(ImageData(chunks), (std::vector<std::uint8_t>{0, 10, 20, 30, 0, 10, 20, 30}));
  EXPECT_TRUE(chunks.back().Data.empty());
}

TEST(PngWriter, FilterChoiceFollowsTheRunScore) {
  // One colour with distinct channels: Sub wins the first row (tie with
  // Paeth, lower type first), Paeth every later row (Up is not enabled).
  auto colour = oracles::SplitPng(SaveBitmap(SolidPicture(20, 4, RGB(10, 20, 30))));
  EXPECT_EQ(FilterTypes(ImageData(colour), 60), (std::vector<int>{1, 4, 4, 4}));
  // A grey: the raw rows are runs already.
  auto grey = oracles::SplitPng(SaveBitmap(SolidPicture(20, 4, RGB(7, 7, 7))));
  EXPECT_EQ(FilterTypes(ImageData(grey), 60), (std::vector<int>{0, 0, 0, 0}));
  // With Up allowed it ties with Paeth on later rows and, being lower, wins.
  TPNGImage png;
  png.Assign(SolidPicture(20, 4, RGB(10, 20, 30)));
  png.SetFilters(TPNGImage::FilterUp | TPNGImage::FilterPaeth);
  EXPECT_EQ(png.Filters(), TPNGImage::FilterNone | TPNGImage::FilterUp | TPNGImage::FilterPaeth);
  EXPECT_EQ(FilterTypes(ImageData(oracles::SplitPng(Save(png))), 60), (std::vector<int>{4, 2, 2, 2}));
  // None alone: every row unfiltered.
  png.SetFilters(0);
  EXPECT_EQ(FilterTypes(ImageData(oracles::SplitPng(Save(png))), 60), (std::vector<int>{0, 0, 0, 0}));
}

TEST(PngWriter, PaletteBitmapsWriteTheirPalette) {
  TBitmap b = oracles::Pattern(9, 3, pf8bit);
  std::vector<TPaletteEntry> pal(5);
  for (int i = 0; i < 5; ++i) pal[static_cast<std::size_t>(i)] = TPaletteEntry{static_cast<std::uint8_t>(i * 50), 1, 2, 0};
  b.SetPalette(pal);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 9; ++x) b.ScanLine(y)[x] = static_cast<std::uint8_t>((x + y) % 5);
  auto chunks = oracles::SplitPng(SaveBitmap(b));
  EXPECT_EQ(Types(chunks), (std::vector<std::string>{"IHDR", "PLTE", "IDAT", "IEND"}));
  EXPECT_EQ(chunks[0].Data[8], 8);
  EXPECT_EQ(chunks[0].Data[9], 3);
  ASSERT_EQ(chunks[1].Data.size(), 15u);
  EXPECT_EQ(chunks[1].Data[3], 50);

  // An index past the palette is black in the bitmap, and the file gets
  // (black) entries for it instead of becoming invalid.
  b.ScanLine(1)[4] = 7;
  chunks = oracles::SplitPng(SaveBitmap(b));
  ASSERT_EQ(chunks[1].Data.size(), 24u);
  EXPECT_EQ(chunks[1].Data[21], 0);

  // No palette at all: a grey ramp of 2^depth entries.
  TBitmap four = oracles::Pattern(5, 2, pf4bit);
  four.SetPalette({});
  chunks = oracles::SplitPng(SaveBitmap(four));
  ASSERT_EQ(chunks[1].Type, "PLTE");
  ASSERT_EQ(chunks[1].Data.size(), 48u);
  EXPECT_EQ(chunks[1].Data[3], 17);
  EXPECT_EQ(chunks[1].Data[45], 255);
}

TEST(PngWriter, OtherFormatsBecomeTruecolour) {
  for (TPixelFormat f : {pf15bit, pf16bit, pf32bit, pfDevice}) {
    TBitmap b = oracles::Pattern(6, 2, f);
    TPNGImage png;
    png.Assign(b);
    auto chunks = oracles::SplitPng(Save(png));
    EXPECT_EQ(chunks[0].Data[8], 8);
    EXPECT_EQ(chunks[0].Data[9], 2);
    EXPECT_EQ(png.PixelFormat(), pf24bit);
    EXPECT_EQ(oracles::Rgb(png), oracles::Rgb(b)) << "format " << f;
  }
}

TEST(PngWriter, ChunkListIsNormalised) {
  TPNGImage png;
  png.Assign(SolidPicture(3, 3, RGB(1, 2, 3)));
  png.Chunks().AddChunk<TChunkTEXT>();       // never written
  png.Chunks().AddChunk<TChunkGAMA>().SetGamma(100000);  // after IDAT and IEND
  png.Chunks().Move(0, 2);                   // IHDR out of place
  png.SetInterlaced(true);                   // the writer never interlaces
  png.SetTransparent(true);
  png.SetTransparentColor(RGB(1, 2, 3));
  auto chunks = oracles::SplitPng(Save(png));
  EXPECT_EQ(Types(chunks), (std::vector<std::string>{"IHDR", "tRNS", "gAMA", "IDAT", "IEND"}));
  EXPECT_EQ(chunks[0].Data[12], 0);
  EXPECT_FALSE(png.Interlaced());
  // The transparent colour in 16-bit samples, through the inverse gamma.
  const auto& inv = png.Chunks().Find<TChunkGAMA>()->Inverse();
  EXPECT_EQ(chunks[1].Data, (std::vector<std::uint8_t>{0, inv[1], 0, inv[2], 0, inv[3]}));

  // Not transparent any more: the tRNS chunk goes.
  png.SetTransparent(false);
  EXPECT_EQ(Types(oracles::SplitPng(Save(png))), (std::vector<std::string>{"IHDR", "gAMA", "IDAT", "IEND"}));

  // A transparent palette image has no truecolour key to write.
  TPNGImage pal;
  pal.Assign(oracles::Pattern(4, 4, pf8bit));
  pal.SetTransparent(true);
  EXPECT_EQ(Types(oracles::SplitPng(Save(pal))), (std::vector<std::string>{"IHDR", "PLTE", "IDAT", "IEND"}));
  EXPECT_EQ(pal.Chunks().IndexOfClass(TChunkTRNS::StaticClass()), 2);  // kept, after PLTE
}

TEST(PngWriter, GammaAppliesTheInverseTableWithoutHoles) {
  TPNGImage png;
  png.Assign(SolidPicture(2, 1, RGB(0, 100, 255)));
  TChunkGAMA& gamma = png.Chunks().AddChunk<TChunkGAMA>();
  gamma.SetGamma(100000);  // file gamma 1.0: screen values are brightened
  ASSERT_TRUE(gamma.Active());
  // The inverse table never falls and covers every value.
  for (int v = 1; v < 256; ++v) EXPECT_GE(gamma.Inverse()[v], gamma.Inverse()[v - 1]);
  for (int i = 0; i < 256; ++i) EXPECT_LE(gamma.Forward()[gamma.Inverse()[i]], i);
  EXPECT_EQ(gamma.Inverse()[255], 255);
  EXPECT_EQ(gamma.Forward()[gamma.Inverse()[gamma.Forward()[77]]], gamma.Forward()[77]);
  auto data = ImageData(oracles::SplitPng(Save(png)));
  EXPECT_EQ(data[2], gamma.Inverse()[100]);

  // A gamma of 0 means nothing and leaves values alone.
  gamma.SetGamma(0);
  EXPECT_FALSE(gamma.Active());
  EXPECT_EQ(ImageData(oracles::SplitPng(Save(png)))[2], 100);
}

TEST(PngWriter, EmptyImageIsRefusedAndLeavesNoFile) {
  testsupport::TempDir dir;
  TPNGImage png;
  EXPECT_THROW(png.SaveToFile(dir.File("empty.png")), EPNGImageException);
  EXPECT_FALSE(std::filesystem::exists(dir.File("empty.png")));
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(PngWriter, ChunkListOperations) {
  TPNGImage png;
  TChunkList& list = png.Chunks();
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list[0].TypeName(), "IHDR");
  EXPECT_EQ(list[1].TypeName(), "IDAT");
  EXPECT_EQ(list[2].TypeName(), "IEND");
  EXPECT_EQ(static_cast<TChunkIHDR&>(list[0]).BitDepth(), 2);
  EXPECT_EQ(static_cast<TChunkIHDR&>(list[0]).ColorType(), 3);
  EXPECT_EQ(png.Filters(), 27);
  try {
    list.Item(3);
    FAIL();
  } catch (const EPNGImageException& e) {
    EXPECT_EQ(e.Message(), PngErrorMessage("The chunk index especified is out of the range."));
    EXPECT_NE(e.Message().find("handler error\r\n\r\nThe chunk"), std::string::npos);
  }
  TPNGImage other;
  EXPECT_THROW(list.Remove(&other.Chunks()[0]), EPNGImageException);
  EXPECT_THROW(ChunkClasses().Item(8), EPNGImageException);
  EXPECT_EQ(ChunkClasses().Count(), 8);
  EXPECT_EQ(ChunkClasses().FindClass(MakeChunkType("tIME")), &TChunkTIME::StaticClass());
  list.Move(2, 0);
  EXPECT_EQ(list[0].TypeName(), "IEND");
  EXPECT_EQ(list[1].TypeName(), "IHDR");
  list.Remove(&list[0]);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.IndexOfClass(TChunkIEND::StaticClass()), -1);

  // Assigning one PNG to another copies its chunks, filters and flag.
  png.Chunks().AddChunk<TChunkGAMA>().SetGamma(45455);
  png.SetFilters(TPNGImage::FilterUp);
  png.Assign(SolidPicture(2, 2, clRed));
  TPNGImage copy;
  copy.Assign(png);
  ASSERT_EQ(copy.Chunks().Count(), 3);
  EXPECT_EQ(copy.Chunks().Find<TChunkGAMA>()->Gamma(), 45455u);
  EXPECT_EQ(copy.Chunks().Find<TChunkGAMA>()->Forward(), png.Chunks().Find<TChunkGAMA>()->Forward());
  EXPECT_EQ(copy.Filters(), png.Filters());
  EXPECT_EQ(copy.GetPixelColor(1, 1), clRed);
}

// Every bitmap format at widths that hit every packing edge, read back by
// Pillow and by pngtopam.
TEST(PngWriter, IndependentDecodersReadEveryFormatExactly) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
  if (!HaveTool("/usr/bin/pngtopam")) GTEST_SKIP() << testsupport::SkipReason("/usr/bin/pngtopam");
  testsupport::TempDir dir;
  std::vector<std::string> files;
  std::vector<std::vector<std::uint8_t>> expected;
  std::vector<std::string> names;
  for (TPixelFormat f : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfDevice}) {
    for (int w : {1, 2, 3, 5, 17, 1000}) {
      TBitmap b = oracles::Pattern(w, 5, f);
      std::string name = "f" + std::to_string(f) + "_w" + std::to_string(w) + ".png";
      TPNGImage png;
      png.Assign(b);
      png.SetFilters(0x1F);  // all five filters get their turn
      png.SaveToFile(dir.File(name));
      files.push_back(dir.File(name));
      expected.push_back(oracles::Rgb(b));
      names.push_back(name);
    }
  }
  auto pillow = oracles::Pillow(files);
  for (std::size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(names[i]);
    EXPECT_EQ(oracles::PythonPngCheck(files[i]), "");
    ASSERT_EQ(pillow[i].Err, "");
    EXPECT_EQ(pillow[i].Image.Rgb, expected[i]);
    auto pam = oracles::ToolToPnm({"/usr/bin/pngtopam", files[i]});
    ASSERT_EQ(pam.Err, "");
    EXPECT_EQ(pam.Image.Rgb, expected[i]);
  }
}

// The codec writes; loading by name goes to the family's reader, which
// registers later, and reads what the codec wrote.
TEST(PngWriter, RegisteredForPngFiles) {
  RegisterImageFormats();
  EXPECT_EQ(TPicture::FindFileFormat("PNG"), &TPNGGraphic::StaticClass());
  bool codecRegistered = false;
  for (const TFileFormatInfo& f : TPicture::FileFormats()) {
    codecRegistered |= f.Extension == "png" && f.GraphicClass == &TPNGImage::StaticClass();
  }
  EXPECT_TRUE(codecRegistered);
  testsupport::TempDir dir;
  TBitmap b = oracles::Pattern(7, 4, pf24bit);
  TPNGImage png;
  png.Assign(b);
  png.SaveToFile(dir.File("a.png"));
  TPicture picture;
  picture.LoadFromFile(dir.File("a.png"));
  ASSERT_NE(picture.Graphic(), nullptr);
  EXPECT_EQ(&picture.Graphic()->ClassType(), &TPNGGraphic::StaticClass());
  auto* loaded = dynamic_cast<TBitmap*>(picture.Graphic());
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(oracles::Rgb(*loaded), oracles::Rgb(b));
}

}  // namespace
