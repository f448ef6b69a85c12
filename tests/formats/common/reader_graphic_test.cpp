#include "formats/common/reader_graphic.h"

#include <gtest/gtest.h>

#include "core/exceptions.h"
#include "core/streams.h"
#include "formats/common/reader_texts.h"
#include "support/test_support.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A reader of a made-up format: "FK", width, height (one byte each), then
// grey pixels, one byte each, rows top first.
class TFakeReader : public TReaderGraphic {
 public:
  static const TGraphicClass& StaticClass() {
    static const TGraphicClass cls{"TFakeReader", [] { return std::unique_ptr<TGraphic>(new TFakeReader); }};
    return cls;
  }
  const TGraphicClass& ClassType() const override { return StaticClass(); }

  bool ReadImageHeader(TStream& stream, int imageIndex) override {
    TReaderGraphic::ReadImageHeader(stream, imageIndex);
    std::uint8_t h[4];
    stream.ReadBuffer(h, 4);
    if (h[0] != 'F' || h[1] != 'K') return false;
    TImageProperties& p = ImageProperties();
    p.Width = h[2];
    p.Height = h[3];
    p.ColorScheme = TColorScheme::Gray;
    p.BitsPerSample = 8;
    p.SamplesPerPixel = 1;
    p.RowsPerStrip = {1, 2, 3};
    return true;
  }

  void LoadFromStream(TStream& stream) override {
    BeginLoad(stream);
    if (!ReadImageHeader(stream, 0)) RaiseInvalidImage("FAKE");
    stream.SetPosition(BasePosition() + 4);
    const TImageProperties& p = ImageProperties();
    ProgressStart(readertext::Transfering, static_cast<int>(p.Width));
    TColorManager& cm = ColorManager();
    cm.SetSourceColorScheme(TColorScheme::Gray);
    cm.SetTargetColorScheme(TColorScheme::Gray);
    cm.SetSourceSamplesPerPixel(1);
    cm.SetTargetSamplesPerPixel(1);
    SetPalette(cm.CreateGrayscalePalette(false));
    SetSizeForDecoding(static_cast<int>(p.Width), static_cast<int>(p.Height), cm.GetPixelFormat(1));
    Bytes row(p.Width);
    for (int y = 0; y < static_cast<int>(p.Height); ++y) {
      stream.ReadBuffer(row.data(), static_cast<std::int64_t>(row.size()));
      cm.ConvertRow(row, ScanLineSpan(y), p.Width);
      ProgressRow(y, static_cast<int>(p.Height));
    }
    ProgressEnd();
  }

 protected:
  bool ProbeStream(TStream& stream) const override {
    std::uint8_t h[2];
    stream.ReadBuffer(h, 2);  // raises at the end of the stream
    return h[0] == 'F' && h[1] == 'K';
  }
};

TEST(ReaderGraphic, ProbeNeverMovesTheStream) {
  struct Case {
    Bytes Data;
    std::int64_t Start;
    bool Answer;
  };
  const Case cases[] = {{{'F', 'K', 1, 1, 0}, 0, true},
                        {{'x', 'F', 'K'}, 1, true},
                        {{'F', 'X'}, 0, false},
                        {{'F'}, 0, false},  // the probe raises: not this format
                        {{}, 0, false}};
  TFakeReader reader;
  for (const Case& c : cases) {
    TMemoryStream stream(c.Data);
    stream.SetPosition(c.Start);
    EXPECT_EQ(reader.CanLoadStream(stream), c.Answer) << c.Data.size();
    EXPECT_EQ(stream.Position(), c.Start);
  }
  TReaderGraphic base;
  TMemoryStream any(Bytes{'F', 'K'});
  EXPECT_FALSE(base.CanLoadStream(any));
}

TEST(ReaderGraphic, CanLoadFileOpensAndAsks) {
  testsupport::TempDir dir;
  testsupport::WriteBytes(dir.File("yes.fk"), {'F', 'K', 0, 0});
  testsupport::WriteBytes(dir.File("no.fk"), {'N', 'O'});
  TFakeReader reader;
  EXPECT_TRUE(reader.CanLoadFile(dir.File("yes.fk")));
  EXPECT_FALSE(reader.CanLoadFile(dir.File("no.fk")));
  EXPECT_THROW(reader.CanLoadFile(dir.File("missing.fk")), EFOpenError);
}

TEST(ReaderGraphic, BaseHeaderClearsTheProperties) {
  TFakeReader reader;
  TMemoryStream stream(Bytes{'F', 'K', 3, 2});
  ASSERT_TRUE(reader.ReadImageHeader(stream, 0));
  EXPECT_EQ(stream.Position(), 4) << "left after the bytes read";
  EXPECT_EQ(reader.ImageProperties().Width, 3u);
  reader.ImageProperties().XResolution = 72;
  reader.ImageProperties().Options = ioBigEndian;
  TReaderGraphic& base = reader;
  EXPECT_FALSE(base.TReaderGraphic::ReadImageHeader(stream, 0));
  const TImageProperties& p = reader.ImageProperties();
  EXPECT_EQ(p.FileGamma, 1.0f);
  EXPECT_EQ(p.Width, 0u);
  EXPECT_EQ(p.Options, 0);
  EXPECT_EQ(p.XResolution, 0.0f);
  EXPECT_TRUE(p.RowsPerStrip.empty());
  EXPECT_EQ(p.ColorScheme, TColorScheme::Unknown);
  EXPECT_EQ(stream.Position(), 4);
}

TEST(ReaderGraphic, LoadsThroughTheColourManagerWithProgress) {
  TFakeReader reader;
  std::vector<std::string> events;
  reader.OnProgress = [&](TGraphic& sender, TProgressStage stage, int percent, const std::string& message) {
    const auto& r = static_cast<TReaderGraphic&>(sender).ProgressRect();
    events.push_back(std::to_string(static_cast<int>(stage)) + " " + std::to_string(percent) + " " + message + " " +
                     std::to_string(r.Top) + "-" + std::to_string(r.Bottom) + "/" + std::to_string(r.Right));
  };
  TMemoryStream stream(Bytes{'F', 'K', 2, 3, 1, 2, 3, 4, 5, 6});
  reader.LoadFromStream(stream);
  ASSERT_EQ(reader.Width(), 2);
  ASSERT_EQ(reader.Height(), 3);
  EXPECT_EQ(reader.PixelFormat(), pf8bit);
  EXPECT_EQ(reader.ScanLine(2)[1], 6);
  EXPECT_EQ(reader.Palette().size(), 256u);
  EXPECT_EQ(events, (std::vector<std::string>{"0 0 Transfering... 0-1/2", "1 0 Transfering... 0-1/2",
                                              "1 33 Transfering... 1-2/2", "1 67 Transfering... 2-3/2", "2 0  3-4/2"}));

  // Loading releases the old picture first; a bad header leaves it empty.
  TMemoryStream bad(Bytes{'N', 'O', 1, 1});
  try {
    reader.LoadFromStream(bad);
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "Cannot load image. Invalid or unexpected FAKE image format.");
  }
  EXPECT_TRUE(reader.Empty());
  EXPECT_TRUE(reader.Palette().empty());
}

TEST(ReaderGraphic, AssignCopiesThePropertiesWithTheirArrays) {
  TFakeReader a;
  TMemoryStream stream(Bytes{'F', 'K', 1, 1, 9});
  a.LoadFromStream(stream);
  TFakeReader b;
  b.Assign(a);
  EXPECT_EQ(b.ImageProperties().RowsPerStrip, (TCardinalArray{1, 2, 3}));
  EXPECT_EQ(b.ImageProperties().Width, 1u);
  EXPECT_EQ(b.Width(), 1);
  EXPECT_EQ(b.ScanLine(0)[0], 9);
  a.ImageProperties().RowsPerStrip[0] = 7;
  EXPECT_EQ(b.ImageProperties().RowsPerStrip[0], 1u) << "an own copy";
  // From a plain bitmap only the picture comes over.
  TBitmap plain(4, 2);
  b.Assign(plain);
  EXPECT_EQ(b.Width(), 4);
  EXPECT_EQ(b.ImageProperties().Width, 1u);
}

TEST(ReaderGraphic, ErrorTexts) {
  EXPECT_EQ(FormatText("Cannot load image. %s not supported for %s files.", {"The compression scheme is", "PNG"}),
            "Cannot load image. The compression scheme is not supported for PNG files.");
  EXPECT_EQ(FormatText("100%% of %s and %s", {"a"}), "100% of a and ");
  try {
    RaiseInvalidGraphicFmt(readertext::RegisterTwice, {"tga"});
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "Attempt to register tga twice.");
  }
  EXPECT_THROW(RaiseInvalidGraphic("x"), EInvalidGraphic);
}

// A reader of the family's shape: "SK", width and height (16 bits, little
// end first), a depth byte, then grey pixels. It notes how its pixel step
// was entered.
class TSkeletonReader : public TReaderClass<TSkeletonReader> {
 public:
  static constexpr const char* kClassName = "TSkeletonReader";
  static constexpr const char* kFormatName = "SKELETON";

  bool ReadImageHeader(TStream& stream, int imageIndex) override {
    TReaderGraphic::ReadImageHeader(stream, imageIndex);
    Bytes h(7);
    if (stream.Read(h.data(), 7) != 7 || h[0] != 'S' || h[1] != 'K') return false;
    ImageProperties().Width = h[2] | (h[3] << 8);
    ImageProperties().Height = h[4] | (h[5] << 8);
    ImageProperties().BitsPerSample = h[6];
    headerIndex = imageIndex;
    return true;
  }

  int headerIndex = -1;
  int pixelSteps = 0;
  std::int64_t positionAtPixels = -1;

 protected:
  void LoadPixels(TStream& stream) override {
    ++pixelSteps;
    positionAtPixels = stream.Position();
    const TImageProperties& p = ImageProperties();
    SetSizeForDecoding(static_cast<int>(p.Width), static_cast<int>(p.Height), pf8bit);
    stream.SetPosition(BasePosition() + 7);
    for (int y = 0; y < Height(); ++y) stream.ReadBuffer(ScanLine(y), Width());
  }
};

// The same format, loading image 2 and refusing a depth other than 8
// before the size.
class TPickyReader : public TReaderClass<TPickyReader, TSkeletonReader> {
 public:
  static constexpr const char* kClassName = "TPickyReader";
  static constexpr const char* kFormatName = "PICKY";

 protected:
  bool ReadLoadHeader(TStream& stream) override { return ReadImageHeader(stream, 2); }
  void CheckLoadHeader() override {
    if (ImageProperties().BitsPerSample != 8) RaiseInvalidGraphic("depth");
    TSkeletonReader::CheckLoadHeader();
  }
};

Bytes Skeleton(int width, int height, int depth, const Bytes& pixels = {}, const Bytes& before = {}) {
  Bytes b = before;
  b.insert(b.end(), {'S', 'K', static_cast<std::uint8_t>(width), static_cast<std::uint8_t>(width >> 8),
                     static_cast<std::uint8_t>(height), static_cast<std::uint8_t>(height >> 8),
                     static_cast<std::uint8_t>(depth)});
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

// What loading the bytes from the position raises; "" when they load.
std::string LoadError(TGraphic& reader, const Bytes& data, std::int64_t start = 0) {
  TMemoryStream stream(data);
  stream.SetPosition(start);
  try {
    reader.LoadFromStream(stream);
  } catch (const EInvalidGraphic& e) {
    return e.what();
  }
  return "";
}

// The bitmap's pixels, rows top first.
Bytes Grey(const TBitmap& b) {
  Bytes out;
  for (int y = 0; y < b.Height(); ++y) out.insert(out.end(), b.ScanLine(y), b.ScanLine(y) + b.Width());
  return out;
}

// The load every reader runs: the header or the format's error, an empty
// or too large picture refused before the reader's pixel step, which
// starts at the base position with the header read.
TEST(ReaderGraphic, TheLoadRunsThePixelStepOnlyAfterTheHeaderAndItsChecks) {
  const std::string invalid = "Cannot load image. Invalid or unexpected %s image format.";
  const struct {
    const char* Name;
    Bytes Data;
    std::int64_t Start;  // where the stream is when the load starts
    std::string Error;   // "%s" stands for the format's name; "" for a picture
    Bytes Pixels;
  } cases[] = {
      {"a picture", Skeleton(2, 1, 8, {5, 6}), 0, "", {5, 6}},
      {"a picture further on in the stream", Skeleton(1, 2, 8, {7, 8}, {1, 2, 3}), 3, "", {7, 8}},
      {"another format", Bytes{'N', 'O', 1, 0, 1, 0, 8, 0}, 0, invalid, {}},
      {"a header cut short", Bytes{'S', 'K', 1}, 0, invalid, {}},
      {"no columns", Skeleton(0, 3, 8), 0, invalid, {}},
      {"no rows", Skeleton(3, 0, 8), 0, invalid, {}},
      {"beyond the pixel cap", Skeleton(65535, 65535, 8), 0,
       "Cannot load image. The %s image is too large (65535 x 65535 pixels).", {}},
  };
  for (const auto& c : cases) {
    for (const bool picky : {false, true}) {
      std::unique_ptr<TGraphic> made = (picky ? TPickyReader::StaticClass() : TSkeletonReader::StaticClass()).Create();
      auto& reader = dynamic_cast<TSkeletonReader&>(*made);
      const std::string format = picky ? "PICKY" : "SKELETON";
      const std::string name = std::string(c.Name) + " (" + format + ")";
      ASSERT_EQ(LoadError(reader, Skeleton(1, 1, 8, {9})), "") << name;
      std::string expected = c.Error;
      if (const std::size_t at = expected.find("%s"); at != std::string::npos) expected.replace(at, 2, format);
      EXPECT_EQ(LoadError(reader, c.Data, c.Start), expected) << name;
      EXPECT_EQ(reader.pixelSteps, c.Error.empty() ? 2 : 1) << name;
      if (c.Error.empty()) {
        EXPECT_EQ(reader.positionAtPixels, c.Start) << name;
        EXPECT_EQ(reader.headerIndex, picky ? 2 : 0) << name;
        EXPECT_EQ(Grey(reader), c.Pixels) << name;
      } else {
        EXPECT_TRUE(reader.Empty()) << name << ": the old picture is released first";
      }
    }
  }
}

TEST(ReaderGraphic, ReadersOrderTheirOwnChecksAndNameTheirClass) {
  // The picky reader's own check comes before the size.
  TPickyReader picky;
  EXPECT_EQ(LoadError(picky, Skeleton(65535, 65535, 16)), "depth");
  EXPECT_EQ(LoadError(picky, Skeleton(1, 1, 16, {1})), "depth");
  EXPECT_EQ(picky.pixelSteps, 0);
  TSkeletonReader plain;
  EXPECT_EQ(LoadError(plain, Skeleton(1, 1, 16, {1})), "");

  // The class helper: one class each, named, making its own reader.
  const TGraphicClass& skeleton = TSkeletonReader::StaticClass();
  const TGraphicClass& pickyClass = TPickyReader::StaticClass();
  EXPECT_STREQ(skeleton.Name, "TSkeletonReader");
  EXPECT_STREQ(pickyClass.Name, "TPickyReader");
  EXPECT_NE(&skeleton, &pickyClass);
  EXPECT_EQ(&skeleton.Create()->ClassType(), &skeleton);
  EXPECT_EQ(&pickyClass.Create()->ClassType(), &pickyClass);
  EXPECT_NE(dynamic_cast<TPickyReader*>(pickyClass.Create().get()), nullptr);

  // The base reader reads no format.
  TReaderGraphic base;
  EXPECT_NE(LoadError(base, Skeleton(1, 1, 8, {1})), "");
  EXPECT_TRUE(base.Empty());
}

}  // namespace
