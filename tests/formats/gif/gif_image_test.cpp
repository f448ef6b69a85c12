#include "formats/gif/gif_image.h"

#include <gtest/gtest.h>

#include <ctime>

#include "core/exceptions.h"
#include "core/files.h"
#include "core/graphic.h"
#include "core/icon.h"
#include "formats/registry.h"
#include "gif_test_util.h"
#include "support/pictures.h"
#include "support/test_support.h"

namespace {

using testsupport::GradientPicture;

struct Warnings {
  std::vector<std::string> Texts;
  void Attach(TGIFImage& gif) {
    gif.OnWarning = [this](const TGIFItem*, TGIFSeverity, const std::string& m) { Texts.push_back(m); };
  }
  bool Has(const std::string& text) const {
    return std::find(Texts.begin(), Texts.end(), text) != Texts.end();
  }
};

std::vector<std::uint8_t> Save(TGIFImage& gif) {
  TMemoryStream out;
  gif.SaveToStream(out);
  return out.TakeBytes();
}

void Load(TGIFImage& gif, const std::vector<std::uint8_t>& bytes) {
  TMemoryStream in(bytes);
  gif.LoadFromStream(in);
}

// A frame of the given indices with a local table of `colors` entries
// (entry i: red i*8, green 255 - i, blue 7).
TGIFSubImage* AddFrame(TGIFImage& gif, int left, int top, int w, int h, int colors, std::uint32_t seed,
                       bool localTable = true) {
  auto frame = std::make_unique<TGIFSubImage>(&gif);
  TGIFSubImage* f = frame.get();
  f->SetBoundsValue(1, left);
  f->SetBoundsValue(2, top);
  f->SetBoundsValue(3, w);
  f->SetBoundsValue(4, h);
  auto& map = localTable ? f->ColorMap() : static_cast<TGIFColorMap&>(gif.Header().ColorMap());
  if (map.Count() == 0)
    for (int i = 0; i < colors; ++i) map.Add(RGB(i * 8, 255 - i, 7));
  const auto pixels = giftest::MakeFrame(w, h, colors, giftest::Content::Runs, seed).Pixels;
  f->MutableData() = pixels;
  gif.Add(std::move(frame));
  return f;
}

std::vector<std::uint8_t> Bytes(std::initializer_list<int> list) {
  std::vector<std::uint8_t> out;
  for (int v : list) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

// A minimal file: 2x1 screen, global table of 2 colours, the given blocks
// after the header, then the trailer when asked.
std::vector<std::uint8_t> MinimalFile(const std::vector<std::uint8_t>& blocks, bool trailer = true) {
  auto out = Bytes({'G', 'I', 'F', '8', '9', 'a', 2, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255});
  out.insert(out.end(), blocks.begin(), blocks.end());
  if (trailer) out.push_back(';');
  return out;
}

// An image descriptor for a 2x1 frame and its pixels 1, 0.
const std::vector<std::uint8_t> kFrame = Bytes({',', 0, 0, 0, 0, 2, 0, 1, 0, 0, 2, 2, 0x4C, 0x01, 0});

}  // namespace

// ---------------------------------------------------------------------------
// Reading

TEST(GifImage, SignatureVariants) {
  TGIFImage gif;
  Load(gif, MinimalFile(kFrame));
  ASSERT_EQ(gif.Images().Count(), 1);
  EXPECT_EQ(gif.Images()[0]->Data(), (std::vector<std::uint8_t>{1, 0}));

  auto lower = MinimalFile(kFrame);
  lower[0] = 'g';
  lower[1] = 'i';
  lower[2] = 'f';
  EXPECT_NO_THROW(Load(gif, lower));
  EXPECT_EQ(gif.Images().Count(), 1);

  auto shifted = Bytes({'x', 'y', 'z', 'w'});
  const auto plain = MinimalFile(kFrame);
  shifted.insert(shifted.end(), plain.begin(), plain.end());
  EXPECT_NO_THROW(Load(gif, shifted));
  EXPECT_EQ(gif.Images().Count(), 1);

  auto bad = plain;
  bad[0] = 'J';
  try {
    Load(gif, bad);
    ADD_FAILURE();
  } catch (const GIFException& e) {
    EXPECT_STREQ(e.what(), "Invalid GIF signature");
  }
  EXPECT_THROW(Load(gif, Bytes({'G', 'I', 'F'})), GIFException);
}

TEST(GifImage, DamagedFilesEndTheFrameListQuietly) {
  TGIFImage gif;
  Warnings w;
  w.Attach(gif);
  // Cut inside the second frame's descriptor: the first frame stays.
  auto two = MinimalFile(kFrame, false);
  two.insert(two.end(), kFrame.begin(), kFrame.begin() + 5);
  EXPECT_NO_THROW(Load(gif, two));
  EXPECT_EQ(gif.Images().Count(), 1);
  // Zero bytes between blocks are skipped; a stray byte before the
  // trailer gives one warning and ends the frame list.
  auto padded = Bytes({0, 0});
  padded.insert(padded.end(), kFrame.begin(), kFrame.end());
  padded.push_back(0x55);
  w.Texts.clear();
  Load(gif, MinimalFile(padded));
  EXPECT_EQ(gif.Images().Count(), 1);
  EXPECT_EQ(w.Texts, (std::vector<std::string>{"Unknown GIF block type", "Invalid Image trailer"}));
  // An unknown extension label is stepped over with a warning.
  auto unknown = Bytes({'!', 0x77, 2, 9, 9, 0});
  unknown.insert(unknown.end(), kFrame.begin(), kFrame.end());
  w.Texts.clear();
  Load(gif, MinimalFile(unknown));
  EXPECT_EQ(gif.Images().Count(), 1);
  EXPECT_TRUE(w.Has("Unknown extension type"));
  // A file without a trailer is accepted.
  Load(gif, MinimalFile(kFrame, false));
  EXPECT_EQ(gif.Images().Count(), 1);
  // A plain-text or application block that claims more bytes than the
  // file has left ends the frame list like any other cut.
  for (const auto& cut : {Bytes({'!', 0x01, 200, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}),
                          Bytes({'!', 0xFF, 50, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M'})}) {
    auto file = MinimalFile(kFrame, false);
    file.insert(file.end(), cut.begin(), cut.end());
    EXPECT_NO_THROW(Load(gif, file));
    EXPECT_EQ(gif.Images().Count(), 1);
  }
}

TEST(GifImage, HugeDescriptorsAreRefusedBeforeAllocating) {
  TGIFImage gif;
  auto huge = Bytes({',', 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 2, 0});
  try {
    Load(gif, MinimalFile(huge, false));
    ADD_FAILURE();
  } catch (const GIFException& e) {
    EXPECT_STREQ(e.what(), "Image exceeds the maximum size");
  }
}

// A frame's pixels are allocated before its data are read, and pixels the
// data do not reach keep the fill value. What a file's bytes cannot decode
// to is allowed only up to a few megapixels for the whole file, so a tiny
// file cannot claim hundreds of megabytes.
TEST(GifImage, FramesLargerThanTheirDataAreBoundedByTheFileSize) {
  auto descriptor = [](int w, int h) {
    return Bytes({',', 0, 0, 0, 0, w & 0xFF, w >> 8, h & 0xFF, h >> 8, 0});
  };
  // Two data bytes: a clear code and a root, then the terminator.
  const auto stub = Bytes({2, 2, 0x04, 0x00, 0});
  TMemoryStream encoded;
  TLZWEncoder().Encode(encoded, 2, 2, std::vector<std::uint8_t>(4096 * 2048, 1), false, 2048, 4096);
  const std::vector<std::uint8_t> solid = encoded.TakeBytes();
  struct FrameSpec {
    int W, H;
    bool Solid;  // data for every pixel, else the stub
  };
  struct Case {
    const char* Name;
    std::vector<FrameSpec> Frames;
    int Kept;  // frames read before the refusal, or all of them
  };
  const Case cases[] = {
      {"frames of 16000 x 16000 with two data bytes",
       {{16000, 16000, false}, {16000, 16000, false}, {16000, 16000, false}},
       0},
      {"a cut-short frame of a few megapixels", {{2000, 2000, false}}, 1},
      {"two of them", {{2000, 2000, false}, {2000, 2000, false}}, 1},
      {"a frame its data fill", {{4096, 2048, true}}, 1},
      {"that frame, then a cut-short one", {{4096, 2048, true}, {2000, 2000, false}}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<std::uint8_t> blocks;
    for (const FrameSpec& f : c.Frames) {
      const auto d = descriptor(f.W, f.H);
      blocks.insert(blocks.end(), d.begin(), d.end());
      blocks.insert(blocks.end(), f.Solid ? solid.begin() : stub.begin(), f.Solid ? solid.end() : stub.end());
    }
    TGIFImage gif;
    const bool loads = c.Kept == static_cast<int>(c.Frames.size());
    try {
      Load(gif, MinimalFile(blocks));
      EXPECT_TRUE(loads);
      const auto& last = gif.Images()[gif.Images().Count() - 1]->Data();
      EXPECT_EQ(last.front(), c.Frames.back().Solid ? 1 : 0);
      EXPECT_EQ(last.back(), c.Frames.back().Solid ? 1 : 0);
    } catch (const GIFException& e) {
      EXPECT_FALSE(loads) << e.what();
      EXPECT_STREQ(e.what(), "Image exceeds the maximum size");
    }
    EXPECT_EQ(gif.Images().Count(), c.Kept);
  }
}

// Reading, reading again over the old picture, writing and freeing cost
// one step per block: ten times the blocks may cost at most twenty times
// the time. One file of 10n blocks is timed against ten files of n held
// at once, so both runs touch as much memory and the caches favour
// neither. The address sanitizer's build, where every block costs many
// times more, tries a tenth of the counts.
TEST(GifImage, ManyBlocksCostLinearTime) {
#if defined(__SANITIZE_ADDRESS__)
  constexpr int kExtensions = 2000, kFrames = 100;
#else
  constexpr int kExtensions = 20000, kFrames = 2000;
#endif
  const auto tinyFrame = giftest::PackCodes(2, {{4, 3}, {0, 3}, {5, 3}});
  auto frame1x1 = Bytes({',', 0, 0, 0, 0, 1, 0, 1, 0, 0});
  frame1x1.insert(frame1x1.end(), tinyFrame.begin(), tinyFrame.end());
  struct Shape {
    const char* Name;
    std::vector<std::uint8_t> Repeated;  // before one 1x1 frame
    int Count;
  };
  const Shape shapes[] = {
      {"empty comments", Bytes({'!', 0xFE, 0}), kExtensions},
      {"graphic control blocks", Bytes({'!', 0xF9, 4, 0, 0, 0, 0, 0}), kExtensions},
      {"frames of one pixel on the global table", frame1x1, kFrames},
  };
  auto file = [&](const Shape& shape, int count) {
    std::vector<std::uint8_t> blocks;
    blocks.reserve(shape.Repeated.size() * static_cast<std::size_t>(count) + frame1x1.size());
    for (int i = 0; i < count; ++i) blocks.insert(blocks.end(), shape.Repeated.begin(), shape.Repeated.end());
    blocks.insert(blocks.end(), frame1x1.begin(), frame1x1.end());
    return MinimalFile(blocks);
  };
  // The processor time of one run over copies images of one file (what
  // other programs on the machine take does not count). The first reading
  // is not timed: it takes fresh memory from the system.
  auto cpuSeconds = [] {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
  };
  auto run = [&](const std::vector<std::uint8_t>& bytes, int copies) {
    std::vector<std::unique_ptr<TGIFImage>> gifs;
    for (int i = 0; i < copies; ++i) {
      gifs.push_back(std::make_unique<TGIFImage>());
      Load(*gifs.back(), bytes);
    }
    const double start = cpuSeconds();
    for (auto& gif : gifs) Load(*gif, bytes);
    for (auto& gif : gifs) EXPECT_EQ(Save(*gif).size(), bytes.size());
    gifs.clear();
    return cpuSeconds() - start;
  };
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.Name);
    const auto smallFile = file(shape, shape.Count), largeFile = file(shape, shape.Count * 10);
    // The best of a few runs of each, taken in turn.
    double tenSmall = 1e9, large = 1e9;
    for (int r = 0; r < 4; ++r) {
      tenSmall = std::min(tenSmall, run(smallFile, 10));
      large = std::min(large, run(largeFile, 1));
    }
    EXPECT_LE(large, 2 * tenSmall) << tenSmall << " s for ten files of " << shape.Count << " blocks, " << large
                                   << " s for one of ten times as many";
  }
}

TEST(GifImage, ZeroSizedDescriptorTakesTheScreenSize) {
  TGIFImage gif;
  Warnings w;
  w.Attach(gif);
  auto frame = kFrame;
  frame[5] = 0;  // width 0
  Load(gif, MinimalFile(frame));
  ASSERT_EQ(gif.Images().Count(), 1);
  EXPECT_EQ(gif.Images()[0]->Width(), 2);
  EXPECT_EQ(gif.Images()[0]->Height(), 1);
  EXPECT_TRUE(w.Has("Image exceeds Logical Screen size"));
}

TEST(GifImage, PixelsBeyondTheTableRenderBlack) {
  TGIFImage gif;
  Load(gif, MinimalFile(kFrame));
  auto& f = *gif.Images()[0];
  f.MutableData() = {1, 7};  // 7 lies beyond the two entries
  TBitmap& bmp = f.GetBitmap();
  EXPECT_EQ(bmp.GetPixelColor(0, 0), clWhite);
  EXPECT_EQ(bmp.GetPixelColor(1, 0), clBlack);
}

// ---------------------------------------------------------------------------
// Writing

TEST(GifImage, SavingNoFramesWritesNothing) {
  TGIFImage gif;
  TMemoryStream out;
  try {
    gif.SaveToStream(out);
    ADD_FAILURE();
  } catch (const GIFException& e) {
    EXPECT_STREQ(e.what(), "Unsupported GIF version");
  }
  EXPECT_EQ(out.Size(), 0);
  testsupport::TempDir dir;
  EXPECT_THROW(gif.SaveToFile(dir.File("none.gif")), GIFException);
  EXPECT_FALSE(FileExists(dir.File("none.gif")));
}

TEST(GifImage, GlobalTableIsPaddedToAPowerOfTwo) {
  TGIFImage gif;
  AddFrame(gif, 0, 0, 4, 4, 5, 1, false);
  const auto bytes = Save(gif);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF87a");
  EXPECT_EQ(bytes[10] & 0x87, 0x82);  // table present, 8 entries
  // Entries 5..7 are zero triples.
  for (int i = 13 + 15; i < 13 + 24; ++i) EXPECT_EQ(bytes[static_cast<std::size_t>(i)], 0) << i;
}

TEST(GifImage, OneEntryTableIsWrittenWithOneBit) {
  TGIFImage gif;
  AddFrame(gif, 0, 0, 3, 2, 1, 2);
  const auto bytes = Save(gif);
  // Screen descriptor: no global table, size bits 0.
  EXPECT_EQ(bytes[10], 0x00);
  // Image descriptor packed field: local table, size 0 (2 entries).
  EXPECT_EQ(bytes[13 + 9], 0x80);
  TGIFImage back;
  Load(back, bytes);
  EXPECT_EQ(back.Images()[0]->Data(), std::vector<std::uint8_t>(6, 0));
}

TEST(GifImage, LocalTableFrameIsWrittenNonInterlaced) {
  TGIFImage gif;
  auto* f = AddFrame(gif, 0, 0, 5, 9, 16, 3);
  f->SetInterlaced(true);
  const auto pixels = f->Data();
  const auto bytes = Save(gif);
  TGIFImage back;
  Load(back, bytes);
  EXPECT_FALSE(back.Images()[0]->Interlaced());
  EXPECT_EQ(back.Images()[0]->Data(), pixels);
}

TEST(GifImage, CorpusRoundTripsThroughOurReaderAndDebiansTools) {
  testsupport::TempDir dir;
  // Several frames: global and local tables, offsets, interlacing,
  // transparency, disposal methods, comments, a looping extension and an
  // unknown application extension.
  TGIFImage gif;
  gif.Header().ColorMap().Add(clBlack);
  for (int i = 1; i < 16; ++i) gif.Header().ColorMap().Add(RGB(i * 16, i * 8, 255 - i));
  auto* f0 = AddFrame(gif, 0, 0, 40, 30, 16, 1, false);
  auto loop = std::make_unique<TGIFAppExtNSLoop>(f0);
  loop->Loops = 3;
  f0->Extensions().Add(std::move(loop));
  auto* f1 = AddFrame(gif, 5, 7, 20, 9, 7, 2);
  f1->SetInterlaced(true);
  auto* f2 = AddFrame(gif, 10, 3, 11, 13, 16, 3, false);
  f2->SetInterlaced(true);
  auto* f3 = AddFrame(gif, 0, 0, 40, 30, 256, 4);
  for (int i = 0; i < 4; ++i) {
    auto* f = gif.Images()[i];
    auto gce = std::make_unique<TGIFGraphicControlExtension>(f);
    gce->SetDelay(5 * (i + 1));
    gce->SetDisposal(i);
    if (i >= 2) {
      gce->SetTransparent(true);
      gce->SetTransparentColorIndex(2);
    }
    f->Extensions().Add(std::move(gce));
  }
  auto comment = std::make_unique<TGIFCommentExtension>(f3);
  comment->Comment.Add("made by a test");
  f3->Extensions().Add(std::move(comment));
  auto other = std::make_unique<TGIFUnknownAppExtension>(f2);
  other->SetIdentifier("XMP DataXMP");
  other->Blocks = {TGIFBlock{{1, 2, 3}}, TGIFBlock{std::vector<std::uint8_t>(255, 0x41)}};
  f2->Extensions().Add(std::move(other));

  for (int compression : {0, 1}) {
    SCOPED_TRACE(compression);
    gif.Compression = static_cast<std::uint8_t>(compression);
    const auto bytes = Save(gif);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF89a");
    TGIFImage back;
    Load(back, bytes);
    ASSERT_EQ(back.Images().Count(), 4);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(back.Images()[i]->Data(), gif.Images()[i]->Data()) << i;
      EXPECT_EQ(back.Images()[i]->Left(), gif.Images()[i]->Left());
      ASSERT_TRUE(back.Images()[i]->GraphicControlExtension());
      EXPECT_EQ(back.Images()[i]->GraphicControlExtension()->Disposal(), i);
    }
    EXPECT_TRUE(back.Images()[2]->Interlaced());  // global table: flag kept
    EXPECT_TRUE(back.Images()[3]->Transparent());
    // Our own output written again is the same file.
    back.Compression = gif.Compression;
    const auto again = Save(back);
    const auto diff = std::mismatch(again.begin(), again.end(), bytes.begin(), bytes.end());
    EXPECT_TRUE(diff.first == again.end() && diff.second == bytes.end())
        << "first difference at byte " << (diff.first - again.begin()) << " of " << bytes.size();

    const std::string path = dir.File(giftest::NumberedName("corpus", static_cast<std::size_t>(compression), ".gif"));
    testsupport::WriteBytes(path, bytes);
    if (testsupport::HaveTool("/usr/bin/giftopnm")) {
      auto r = testsupport::Run({"/usr/bin/giftopnm", "--image=all", path});
      EXPECT_EQ(r.ExitCode, 0);
      EXPECT_EQ(r.Err, "");
    }
    if (testsupport::HaveTool("/usr/bin/gifdiff") && compression == 1) {
      // gifdiff compares pixels, delays, disposal and loop counts frame by frame.
      auto r = testsupport::Run({"/usr/bin/gifdiff", dir.File("corpus0.gif"), path});
      EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    }
    if (testsupport::HaveTool("/usr/bin/gifsicle") && compression == 0) {
      // A file gifsicle rewrote reads back with the same frames.
      const std::string other_path = dir.File("resaved.gif");
      auto r = testsupport::Run({"/usr/bin/gifsicle", "--no-warnings", "-o", other_path, path});
      ASSERT_EQ(r.ExitCode, 0) << r.Err;
      TGIFImage theirs;
      theirs.LoadFromFile(other_path);
      ASSERT_EQ(theirs.Images().Count(), 4);
      for (int i = 0; i < 4; ++i) {
        const auto& a = *theirs.Images()[i];
        const auto& b = *gif.Images()[i];
        ASSERT_EQ(a.Width(), b.Width());
        for (std::size_t p = 0; p < a.Data().size(); ++p) {
          // A transparent pixel may take any index whose colour is hidden.
          if (b.Transparent() && b.Data()[p] == b.TransparentIndex()) continue;
          ASSERT_EQ(a.ActiveColorMap().Colors(a.Data()[p]), b.ActiveColorMap().Colors(b.Data()[p])) << i << " " << p;
        }
      }
      if (testsupport::HaveTool("/usr/bin/gifdiff")) {
        auto d = testsupport::Run({"/usr/bin/gifdiff", path, other_path});
        EXPECT_EQ(d.ExitCode, 0) << d.Out;
      }
    }
  }
  if (!testsupport::HaveTool("/usr/bin/giftopnm")) GTEST_SKIP() << testsupport::SkipReason("/usr/bin/giftopnm");
}

TEST(GifImage, FilesOfOtherWritersLoad) {
  if (!testsupport::HavePillow()) GTEST_SKIP() << "Pillow is not installed for /usr/bin/python3";
  testsupport::TempDir dir;
  const std::string path = dir.File("pillow.gif");
  const std::string script =
      "import sys\n"
      "from PIL import Image\n"
      "frames = []\n"
      "for i in range(3):\n"
      "    im = Image.new('P', (17, 9))\n"
      "    im.putpalette([c for k in range(256) for c in (k, 255 - k, (k * 3) & 255)])\n"
      "    im.putdata([(x * 7 + y * 3 + i * 40) % 256 for y in range(9) for x in range(17)])\n"
      "    frames.append(im)\n"
      "frames[0].save(sys.argv[1], save_all=True, append_images=frames[1:], duration=[70, 80, 90], loop=2,\n"
      "               comment=b'x' * 300, interlace=True)\n";
  auto r = testsupport::Run({"/usr/bin/python3", "-c", script, path});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  TGIFImage gif;
  gif.LoadFromFile(path);
  ASSERT_EQ(gif.Images().Count(), 3);
  for (int i = 0; i < 3; ++i) {
    const auto& f = *gif.Images()[i];
    ASSERT_TRUE(f.GraphicControlExtension());
    EXPECT_EQ(f.GraphicControlExtension()->GetDelay(), 7 + i);
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 17; ++x) {
        const int index = f.Data()[static_cast<std::size_t>(y * 17 + x)];
        const int expected = (x * 7 + y * 3 + i * 40) % 256;
        // Pillow may reorder or trim the table; the colours must agree.
        EXPECT_EQ(f.ActiveColorMap().Colors(index), RGB(expected, 255 - expected, (expected * 3) & 255));
      }
  }
}

// ---------------------------------------------------------------------------
// Frames from bitmaps and the model's operations

TEST(GifImage, AddingA24BitBitmapUsesTheWebPaletteAndLzw) {
  TGIFImage gif;
  const TBitmap src = GradientPicture(30, 20);
  EXPECT_EQ(gif.Add(src), 0);
  const auto& f = *gif.Images()[0];
  EXPECT_EQ(gif.Width(), 30);
  EXPECT_EQ(f.ColorMap().Count(), 216);
  TNetscapeColorLookup web;
  int r, g, b;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) {
      const TColor c = src.GetPixelColor(x, y);
      EXPECT_EQ(f.Data()[static_cast<std::size_t>(y * 30 + x)], web.Lookup(GetRValue(c), GetGValue(c), GetBValue(c), r, g, b));
    }
  testsupport::TempDir dir;
  gif.SaveToFile(dir.File("web.gif"));
  if (testsupport::HaveTool("/usr/bin/giftopnm")) {
    int w = 0, h = 0;
    const auto reds = giftest::GiftopnmReds(dir.File("web.gif"), &w, &h);
    EXPECT_EQ(w, 30);
    EXPECT_EQ(reds[0], f.ColorMap().Data()[f.Data()[0]].Red);
  }
}

TEST(GifImage, EveryReductionAndDitherMakesAValidFrame) {
  const TBitmap src = GradientPicture(23, 11);
  for (int reduction = 0; reduction <= 8; ++reduction)
    for (int dither : {0, 1, 5}) {
      TGIFImage gif;
      gif.ColorReduction = static_cast<std::uint8_t>(reduction);
      gif.DitherMode = static_cast<std::uint8_t>(dither);
      gif.Compression = static_cast<std::uint8_t>(reduction % 2);
      if (reduction == 0) {
        // 253 distinct colours at most fit one table.
        TBitmap few(16, 16, pf24bit);
        for (int y = 0; y < 16; ++y)
          for (int x = 0; x < 16; ++x) few.Canvas().SetPixel(x, y, RGB(x * 16, y * 16, 3));
        gif.Add(few);
        EXPECT_EQ(gif.Images()[0]->ColorMap().Count(), 256);
        EXPECT_EQ(gif.Images()[0]->ColorMap().Colors(gif.Images()[0]->GetPixel(5, 9)), RGB(80, 144, 3));
      } else {
        gif.Add(src);
      }
      TGIFImage back;
      Load(back, Save(gif));
      EXPECT_EQ(back.Images()[0]->Data(), gif.Images()[0]->Data()) << reduction << " " << dither;
    }
  // More colours than a table holds.
  TGIFImage gif;
  gif.ColorReduction = rmNone;
  EXPECT_THROW(gif.Add(GradientPicture(40, 40)), GIFException);
  // A reduction code without a palette gives no picture, which is an error.
  gif.ColorReduction = 12;
  try {
    gif.Add(GradientPicture(4, 4));
    ADD_FAILURE();
  } catch (const GIFException& e) {
    EXPECT_STREQ(e.what(), "Color reduction failed");
  }
}

TEST(GifImage, TransparentBitmapMarksItsPixels) {
  TBitmap src(6, 4, pf24bit);
  src.Canvas().Brush.Color = clRed;
  src.Canvas().FillRect(Rect(0, 0, 6, 4));
  src.Canvas().Brush.Color = clLime;
  src.Canvas().FillRect(Rect(0, 2, 3, 4));  // bottom-left: the transparent colour
  src.SetTransparent(true);
  TGIFImage gif;
  gif.Add(src);
  auto& f = *gif.Images()[0];
  ASSERT_TRUE(f.Transparent());
  ASSERT_TRUE(f.GraphicControlExtension());
  const int ti = f.TransparentIndex();
  EXPECT_EQ(f.GetPixel(0, 3), ti);
  EXPECT_NE(f.GetPixel(5, 0), ti);
  ASSERT_TRUE(f.Mask());
  EXPECT_EQ(f.Mask()->GetPixelColor(0, 3), clWhite);
  EXPECT_EQ(f.Mask()->GetPixelColor(5, 0), clBlack);
}

TEST(GifImage, BoundsAndPixels) {
  TGIFImage gif;
  Warnings w;
  w.Attach(gif);
  auto* f = AddFrame(gif, 0, 0, 10, 10, 4, 1);
  EXPECT_EQ(gif.Width(), 10);
  EXPECT_TRUE(w.Texts.empty());
  f->SetBoundsValue(1, 5);  // now reaches x = 15
  EXPECT_EQ(gif.Width(), 15);
  EXPECT_EQ(w.Texts, (std::vector<std::string>{"Image width too small for contained frames",
                                               "Image exceeds Logical Screen size"}));
  EXPECT_THROW(gif.SetWidth(14), GIFException);
  EXPECT_NO_THROW(gif.SetWidth(20));
  EXPECT_THROW(f->SetBoundsValue(3, 65536), GIFException);
  EXPECT_THROW(f->GetPixel(10, 0), GIFException);
  EXPECT_THROW(f->GetPixel(0, -1), GIFException);
  f->SetBoundsValue(3, 4);
  EXPECT_EQ(f->DataSize(), 40);
  EXPECT_EQ(f->GetPixel(3, 9), 0);
}

TEST(GifImage, ColorMapOperations) {
  TGIFImage gif;
  auto& map = gif.Header().ColorMap();
  EXPECT_EQ(map.Add(clRed), 0);
  EXPECT_EQ(map.Add(clBlue), 1);
  EXPECT_EQ(map.AddUnique(clRed), 0);
  EXPECT_EQ(map.Capacity(), 16);
  EXPECT_EQ(map.IndexOf(clLime), -1);
  EXPECT_THROW(map.Delete(2), GIFException);
  map.Delete(0);
  EXPECT_EQ(map.Colors(0), clBlue);
  for (int i = 1; i < 256; ++i) map.Add(RGB(i, 0, 0));
  EXPECT_EQ(map.Capacity(), 256);
  try {
    map.Add(clWhite);
    ADD_FAILURE();
  } catch (const GIFException& e) {
    EXPECT_STREQ(e.what(), "Color table overflow");
  }
  map.Clear();
  EXPECT_THROW(map.Colors(0), GIFException);
}

TEST(GifImage, OptimizeSortsByUseAndRemapsBackgroundAndTransparency) {
  TGIFImage gif;
  auto& map = gif.Header().ColorMap();
  map.Add(clRed);    // used once
  map.Add(clBlue);   // unused
  map.Add(clLime);   // used three times
  gif.Header().BackgroundColorIndex = 2;
  auto frame = std::make_unique<TGIFSubImage>(&gif);
  frame->SetBoundsValue(3, 4);
  frame->SetBoundsValue(4, 1);
  frame->MutableData() = {2, 0, 2, 2};
  auto* f = frame.get();
  auto gce = std::make_unique<TGIFGraphicControlExtension>(f);
  gce->SetTransparent(true);
  gce->SetTransparentColorIndex(0);
  f->Extensions().Add(std::move(gce));
  gif.Add(std::move(frame));
  gif.OptimizeColorMap();
  EXPECT_TRUE(map.Optimized);
  ASSERT_EQ(map.Count(), 2);
  EXPECT_EQ(map.Colors(0), clLime);
  EXPECT_EQ(map.Colors(1), clRed);
  EXPECT_EQ(f->Data(), (std::vector<std::uint8_t>{0, 1, 0, 0}));
  EXPECT_EQ(gif.Header().BackgroundColorIndex, 0);
  EXPECT_EQ(f->TransparentIndex(), 1);
  // The sort flag makes it a GIF89a file.
  EXPECT_EQ(gif.GetVersion(), gv89a);
}

TEST(GifImage, AddAndAssignCopyForeignFrames) {
  TGIFImage a, b;
  AddFrame(a, 0, 0, 4, 3, 4, 1);
  b.Add(*a.Images()[0]);
  EXPECT_EQ(b.Images()[0]->Image(), &b);
  EXPECT_EQ(b.Images()[0]->Data(), a.Images()[0]->Data());
  a.Images().Delete(0);  // b's frame does not hang on a's
  EXPECT_EQ(b.Images()[0]->Width(), 4);

  TGIFImage source, target;
  AddFrame(source, 0, 0, 6, 2, 8, 2);
  source.ColorReduction = rmGrayScale;
  source.Compression = 1;
  source.ReductionBits = 3;
  target.Compression = 0;
  target.ReductionBits = 6;
  target.Assign(source);
  EXPECT_EQ(target.Images().Count(), 1);
  EXPECT_EQ(target.ColorReduction, rmGrayScale);
  EXPECT_EQ(target.Compression, 0);
  EXPECT_EQ(target.ReductionBits, 6);
  EXPECT_EQ(target.Width(), 6);
}

TEST(GifImage, DrawOptionsAndTheCompositeBitmap) {
  TGIFImage gif;
  AddFrame(gif, 0, 0, 8, 8, 4, 1);
  EXPECT_EQ(gif.DrawOptions(), 0x060F);
  EXPECT_TRUE(gif.GetAnimate());
  gif.SetAnimate(false);
  EXPECT_EQ(gif.DrawOptions(), 0x060B);
  // One frame and no global table: its table became the global one.
  EXPECT_EQ(gif.Header().ColorMap().Count(), 4);
  EXPECT_EQ(gif.Images()[0]->ColorMap().Count(), 0);
  TBitmap out;
  gif.AssignTo(out);
  EXPECT_EQ(out.Width(), 8);
  EXPECT_EQ(out.GetPixelColor(3, 3), gif.Header().ColorMap().Colors(gif.Images()[0]->GetPixel(3, 3)));
}

TEST(GifImage, RegisteredForGifFiles) {
  RegisterImageFormats();
  EXPECT_EQ(TPicture::FindFileFormat("GIF"), &TGIFImage::StaticClass());
  testsupport::TempDir dir;
  TGIFImage gif;
  AddFrame(gif, 0, 0, 5, 5, 4, 1);
  gif.SaveToFile(dir.File("pic.gif"));
  TPicture picture;
  picture.LoadFromFile(dir.File("pic.gif"));
  EXPECT_EQ(picture.Width(), 5);
}

TEST(GifImage, DrawPutsTheFirstFrameIntoTheTarget) {
  TGIFImage gif;
  AddFrame(gif, 0, 0, 6, 6, 4, 1);
  AddFrame(gif, 2, 2, 2, 2, 4, 2);
  TBitmap target(6, 6, pf24bit);
  target.Canvas().Draw(0, 0, gif);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ(target.GetPixelColor(x, y), gif.Images()[0]->ColorMap().Colors(gif.Images()[0]->GetPixel(x, y)));
  // Without animation too.
  gif.SetAnimate(false);
  TBitmap again(6, 6, pf24bit);
  again.Canvas().Draw(0, 0, gif);
  EXPECT_EQ(again.GetPixelColor(4, 5), target.GetPixelColor(4, 5));
}

TEST(GifImage, DitheredRenderingForPaletteDisplays) {
  SetGIFPaletteDisplay(true);
  TGIFImage gif;
  auto* f = AddFrame(gif, 0, 0, 9, 5, 16, 4);
  auto gce = std::make_unique<TGIFGraphicControlExtension>(f);
  gce->SetTransparent(true);
  gce->SetTransparentColorIndex(f->Data()[0]);
  f->Extensions().Add(std::move(gce));
  EXPECT_TRUE(gif.DoDither());
  TBitmap& bmp = f->GetBitmap();
  EXPECT_EQ(bmp.Palette().size(), 216u);
  ASSERT_TRUE(f->Mask());
  EXPECT_EQ(f->Mask()->GetPixelColor(0, 0), clWhite);
  EXPECT_FALSE(f->NeedMask());
  f->FreeBitmap();
  EXPECT_TRUE(f->NeedMask());
  SetGIFPaletteDisplay(false);
  EXPECT_FALSE(gif.DoDither());
  EXPECT_EQ(f->GetBitmap().Palette().size(), 16u);
}

TEST(GifImage, ProgressIsReportedWhileLoadingAndSaving) {
  TGIFImage gif;
  std::vector<std::pair<TProgressStage, int>> events;
  std::vector<std::string> texts;
  gif.OnProgress = [&](TGraphic&, TProgressStage stage, int percent, const std::string& text) {
    events.emplace_back(stage, percent);
    texts.push_back(text);
  };
  Load(gif, MinimalFile(kFrame));
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events.front().first, TProgressStage::psStarting);
  EXPECT_EQ(events.back(), std::make_pair(TProgressStage::psEnding, 100));
  EXPECT_EQ(texts.front(), "Loading...");
  events.clear();
  EXPECT_THROW(Load(gif, Bytes({'n', 'o', 'p', 'e', 0, 0, 0, 0, 0, 0})), GIFException);
  EXPECT_EQ(events.back(), std::make_pair(TProgressStage::psEnding, 0));
  Load(gif, MinimalFile(kFrame));
  texts.clear();
  Save(gif);
  EXPECT_EQ(texts.front(), "Saving...");
}

TEST(GifImage, ClipboardData) {
  TGIFImage gif;
  std::vector<std::uint8_t> gifData, bmpData;
  gif.SaveToClipboardFormat(gifData, bmpData);
  EXPECT_TRUE(gifData.empty());
  AddFrame(gif, 0, 0, 7, 3, 4, 5);
  gif.SaveToClipboardFormat(gifData, bmpData);
  TGIFImage fromGif, fromBitmap;
  fromGif.LoadFromClipboardFormat(GIFClipboardFormatName, gifData);
  EXPECT_EQ(fromGif.Images()[0]->Data(), gif.Images()[0]->Data());
  fromBitmap.LoadFromClipboardFormat(GIFClipboardBitmapFormat, bmpData);
  EXPECT_EQ(fromBitmap.Width(), 7);
  try {
    fromBitmap.LoadFromClipboardFormat("Text", gifData);
    ADD_FAILURE();
  } catch (const GIFException& e) {
    EXPECT_STREQ(e.what(), "Unsupported clipboard format");
  }
}

TEST(GifImage, IconsBringTheirMask) {
  if (!testsupport::HavePillow()) GTEST_SKIP() << "Pillow is not installed for /usr/bin/python3";
  testsupport::TempDir dir;
  const std::string script =
      "import sys\n"
      "from PIL import Image\n"
      "im = Image.new('RGBA', (16, 16), (0, 0, 255, 255))\n"
      "for x in range(8):\n"
      "    for y in range(16):\n"
      "        im.putpixel((x, y), (0, 0, 0, 0))\n"
      "im.save(sys.argv[1], sizes=[(16, 16)], bitmap_format='bmp')\n";
  auto r = testsupport::Run({"/usr/bin/python3", "-c", script, dir.File("i.ico")});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  TIcon icon;
  icon.LoadFromFile(dir.File("i.ico"));
  TGIFImage gif;
  gif.Add(icon);
  auto& f = *gif.Images()[0];
  ASSERT_TRUE(f.Transparent());
  EXPECT_EQ(f.GetPixel(2, 5), f.TransparentIndex());
  EXPECT_NE(f.GetPixel(12, 5), f.TransparentIndex());
  EXPECT_EQ(f.ActiveColorMap().Colors(f.GetPixel(12, 5)), clBlue);
}
