#include "formats/color/color_manager.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <thread>

#include "core/exceptions.h"
#include "support/test_support.h"

namespace {

using S = TColorScheme;
using O = TConversionOptions;
using Bytes = std::vector<std::uint8_t>;

struct Layout {
  S Source = S::RGB;
  S Target = S::BGR;
  int SourceBits = 8;
  int TargetBits = 8;
  int SourceSamples = 3;
  int TargetSamples = 3;
  O SourceOptions = O::None;
  O TargetOptions = O::None;

  void Apply(TColorManager& cm) const {
    cm.SetSourceColorScheme(Source);
    cm.SetTargetColorScheme(Target);
    cm.SetSourceBitsPerSample(SourceBits);
    cm.SetTargetBitsPerSample(TargetBits);
    cm.SetSourceSamplesPerPixel(SourceSamples);
    cm.SetTargetSamplesPerPixel(TargetSamples);
    cm.SourceOptions = SourceOptions;
    cm.TargetOptions = TargetOptions;
  }
};

// 16-bit samples as the machine stores them.
Bytes Words(std::initializer_list<std::uint16_t> values) {
  Bytes b;
  for (std::uint16_t v : values) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  return b;
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EColorConversionError& e) {
    return e.what();
  }
  return "(no error)";
}

void Convert(TColorManager& cm, const std::vector<Bytes>& planes, Bytes& target, std::uint32_t count,
             std::uint8_t mask) {
  std::vector<std::span<const std::uint8_t>> spans(planes.begin(), planes.end());
  cm.ConvertRow(TRowPlanes(spans), target, count, mask);
}

struct RowCase {
  const char* Name;
  Layout L;
  std::vector<Bytes> Source;
  std::uint32_t Count;
  std::uint8_t Mask;
  Bytes Target;  // before the conversion
  Bytes Expected;
};

TEST(ColorManager, ConvertsRows) {
  // The default gamma table (1.0 and 2.2): 64 -> 136, 128 -> 186.
  // clang-format off
  const RowCase cases[] = {
      {"rgb to bgr", {}, {{1, 2, 3, 4, 5, 6}}, 2, 0xFF, Bytes(6), {3, 2, 1, 6, 5, 4}},
      {"bgr to bgr keeps order", {S::BGR, S::BGR}, {{1, 2, 3}}, 1, 0xFF, Bytes(3), {1, 2, 3}},
      {"rgb planes to bgr", {}, {{1, 4}, {2, 5}, {3, 6}}, 2, 0xFF, Bytes(6), {3, 2, 1, 6, 5, 4}},
      {"rgba to bgra with gamma corrects colour, copies alpha", {S::RGBA, S::BGRA, 8, 8, 4, 4, O::None, O::UseGamma},
       {{64, 128, 255, 64}}, 1, 0xFF, Bytes(4), {255, 186, 136, 64}},
      {"rgba to bgr drops alpha", {S::RGBA, S::BGR, 8, 8, 4, 3}, {{1, 2, 3, 9}}, 1, 0xFF, Bytes(3), {3, 2, 1}},
      {"rgb to bgra leaves alpha", {S::RGB, S::BGRA, 8, 8, 3, 4}, {{1, 2, 3}}, 1, 0xFF, {0, 0, 0, 77}, {3, 2, 1, 77}},
      {"16-bit reduction", {S::RGB, S::BGR, 16, 8}, {Words({0xFFFF, 0x0101, 0x00FF})}, 1, 0xFF, Bytes(3), {0, 1, 255}},
      // Stored bytes FF 00 and 00 FF: swapped 0xFF00 and 0x00FF.
      {"16-bit reduction with swap", {S::RGB, S::RGB, 16, 8, 3, 3, O::SwapBytes},
       {{0xFF, 0x00, 0x00, 0xFF, 0xFF, 0xFF}}, 1, 0xFF, Bytes(3), {254, 0, 255}},
      {"16-bit swap keeps 16 bits", {S::BGR, S::BGR, 16, 16, 3, 3, O::SwapBytes},
       {{1, 2, 3, 4, 5, 6}}, 1, 0xFF, Bytes(6), {2, 1, 4, 3, 6, 5}},
      {"8 to 16 widens", {S::BGR, S::RGB, 8, 16}, {{1, 2, 0xFF}}, 1, 0xFF, Bytes(6), Words({0xFFFF, 0x0202, 0x0101})},
      {"interlaced rgb through mask 0x55", {S::RGB, S::RGB},
       {{1, 1, 1, 2, 2, 2}}, 4, 0x55, Bytes(12, 9), {9, 9, 9, 1, 1, 1, 9, 9, 9, 2, 2, 2}},
      {"cmyk red", {S::CMYK, S::RGB, 8, 8, 4, 3}, {{0, 255, 255, 0}}, 1, 0xFF, Bytes(3), {255, 0, 0}},
      {"cmyk halves", {S::CMYK, S::BGR, 8, 8, 4, 3}, {{128, 128, 128, 128}}, 1, 0xFF, Bytes(3), {63, 63, 63}},
      {"cmyk planes", {S::CMYK, S::BGR, 8, 8, 4, 3}, {{0}, {255}, {255}, {0}}, 1, 0xFF, Bytes(3), {0, 0, 255}},
      {"cmyk 16-bit", {S::CMYK, S::RGB, 16, 8, 4, 3}, {Words({0, 0xFFFF, 0xFFFF, 0})}, 1, 0xFF, Bytes(3), {255, 0, 0}},
      {"ycbcr", {S::YCbCr, S::RGB}, {{128, 128, 255}}, 1, 0xFF, Bytes(3), {255, 37, 128}},
      {"ycbcr to bgr", {S::YCbCr, S::BGR}, {{128, 128, 255}}, 1, 0xFF, Bytes(3), {128, 37, 255}},
      {"lab white", {S::CIELab, S::RGB}, {{100, 0, 0}}, 1, 0xFF, Bytes(3), {255, 255, 255}},
      {"lab black", {S::CIELab, S::BGR}, {{0, 0, 0}}, 1, 0xFF, Bytes(3), {0, 0, 0}},
      {"lab white scaled and offset", {S::CIELab, S::RGB, 8, 8, 3, 3, O::LabScaledL | O::LabOffsetChroma},
       {{255, 128, 128}}, 1, 0xFF, Bytes(3), {255, 255, 255}},
      {"indexed 1 to 8", {S::Indexed, S::Indexed, 1, 8, 1, 1}, {{0xA0}}, 4, 0xFF, Bytes(4), {255, 0, 255, 0}},
      {"indexed 8 to 4", {S::Indexed, S::Indexed, 8, 4, 1, 1}, {{255, 16, 17}}, 3, 0xFF, Bytes(2), {0xF0, 0x10}},
      {"1 to 8 with mask 0x55", {S::Indexed, S::Indexed, 1, 8, 1, 1},
       {{0xA0}}, 8, 0x55, Bytes(8, 7), {7, 255, 7, 0, 7, 255, 7, 0}},
      {"8 to 4 with mask 0x55 keeps the other bits", {S::Gray, S::Gray, 8, 4, 1, 1},
       {{255, 0, 255, 0}}, 8, 0x55, Bytes(4, 0xAA), {0xAF, 0xA0, 0xAF, 0xA0}},
      {"equal depths copy", {S::Indexed, S::Indexed, 4, 4, 1, 1}, {{0x12, 0x34}}, 3, 0xFF, Bytes(2), {0x12, 0x34}},
      {"indexed 16 to 16 swapped", {S::Indexed, S::Indexed, 16, 16, 1, 1, O::SwapBytes},
       {{1, 2}}, 1, 0xFF, Bytes(2), {2, 1}},
      {"indexed 16 to 4", {S::Indexed, S::Indexed, 16, 4, 1, 1}, {Words({0xFFFF, 0x1111})}, 2, 0xFF, Bytes(1), {0xF1}},
      {"indexed 2 to 16", {S::Indexed, S::Indexed, 2, 16, 1, 1},
       {{0x6C}}, 4, 0xFF, Bytes(8), Words({0x5555, 0xAAAA, 0xFFFF, 0x0000})},
      {"gray 16 to 8 swapped", {S::Gray, S::Gray, 16, 8, 1, 1, O::SwapBytes}, {{0xFF, 0x00}}, 1, 0xFF, Bytes(1), {254}},
      {"gray alpha to gray drops alpha", {S::GrayAlpha, S::Gray, 8, 8, 2, 1},
       {{10, 99, 20, 99}}, 2, 0xFF, Bytes(2), {10, 20}},
      {"gray alpha as one sample", {S::GrayAlpha, S::Indexed, 16, 8, 1, 1},
       {Words({0xFFFF, 0, 0x0101, 0})}, 2, 0xFF, Bytes(2), {255, 1}},
      {"count 0 writes nothing", {}, {{1, 2, 3}}, 0, 0xFF, Bytes(3, 5), Bytes(3, 5)},
      {"mask 0 writes nothing", {}, {{}}, 3, 0x00, Bytes(9, 5), Bytes(9, 5)},
  };
  // clang-format on
  for (const RowCase& c : cases) {
    TColorManager cm;
    c.L.Apply(cm);
    Bytes target = c.Target;
    Convert(cm, c.Source, target, c.Count, c.Mask);
    EXPECT_EQ(target, c.Expected) << c.Name;
  }
}

struct RefusedCase {
  const char* Name;
  Layout L;
  const char* Text;
};

TEST(ColorManager, RefusesLayoutsWithoutAConverter) {
  const RefusedCase cases[] = {
      {"grey to rgb", {S::Gray, S::RGB, 8, 8, 1, 3}, colortext::IndexedMixed},
      {"grey alpha to grey alpha", {S::GrayAlpha, S::GrayAlpha, 8, 8, 2, 2}, colortext::IndexedMixed},
      {"rgb to indexed", {S::RGB, S::Indexed, 8, 8, 3, 1}, colortext::IndexedMixed},
      {"unnamed scheme 8", {static_cast<S>(8), S::BGR}, colortext::NoMethod},
      {"scheme above 12", {static_cast<S>(13), S::BGR}, colortext::NoMethod},
      {"cmyk target", {S::RGB, S::CMYK, 8, 8, 3, 4}, colortext::NoMethod},
      {"rgb of 5 bits", {S::RGB, S::BGR, 5, 8}, colortext::NoMethod},
      {"indexed of 3 bits", {S::Indexed, S::Indexed, 3, 8, 1, 1}, colortext::NoMethod},
      {"grey 16 to 4", {S::Gray, S::Gray, 16, 4, 1, 1}, colortext::NoMethod},
      {"grey 12 to 16", {S::Gray, S::Gray, 12, 16, 1, 1}, colortext::NoMethod},
      {"grey alpha of 4 bits", {S::GrayAlpha, S::Gray, 4, 8, 2, 1}, colortext::NoMethod},
      {"rgb of 2 samples", {S::RGB, S::BGR, 8, 8, 2, 3}, colortext::InvalidSampleCount},
      {"rgba of 3 samples", {S::RGBA, S::BGRA, 8, 8, 3, 4}, colortext::InvalidSampleCount},
      {"cmyk of 3 samples", {S::CMYK, S::BGR, 8, 8, 3, 3}, colortext::InvalidSampleCount},
      {"lab of 1 sample", {S::CIELab, S::BGR, 8, 8, 1, 3}, colortext::InvalidSampleCount},
      {"bgr target of 4 samples", {S::RGB, S::BGR, 8, 8, 3, 4}, colortext::InvalidSampleCount},
      {"bgra target of 3 samples", {S::RGBA, S::BGRA, 8, 8, 4, 3}, colortext::InvalidSampleCount},
      {"indexed target of 2 samples", {S::Gray, S::Indexed, 8, 8, 1, 2}, colortext::InvalidSampleCount},
  };
  for (const RefusedCase& c : cases) {
    TColorManager cm;
    c.L.Apply(cm);
    Bytes source(64), target(64);
    EXPECT_EQ(ErrorOf([&] { Convert(cm, {source}, target, 2, 0xFF); }), c.Text) << c.Name;
    EXPECT_EQ(target, Bytes(64)) << c.Name;
  }
}

TEST(ColorManager, BuffersTooSmallForTheLayoutAreRefused) {
  struct Case {
    const char* Name;
    Layout L;
    std::vector<Bytes> Source;
    std::size_t TargetSize;
    std::uint32_t Count;
    std::uint8_t Mask;
  };
  const Case cases[] = {
      {"short interleaved source", {}, {Bytes(5)}, 6, 2, 0xFF},
      {"short target", {}, {Bytes(6)}, 5, 2, 0xFF},
      {"two planes for three samples", {}, {Bytes(2), Bytes(2)}, 6, 2, 0xFF},
      {"short plane", {}, {Bytes(2), Bytes(1), Bytes(2)}, 6, 2, 0xFF},
      {"16-bit source of 8-bit size", {S::RGB, S::BGR, 16, 8}, {Bytes(6)}, 6, 2, 0xFF},
      {"alpha source of 3 samples' size", {S::RGBA, S::BGRA, 8, 8, 4, 4}, {Bytes(6)}, 8, 2, 0xFF},
      {"short packed source", {S::Indexed, S::Indexed, 1, 8, 1, 1}, {Bytes(1)}, 9, 9, 0xFF},
      {"short packed target", {S::Indexed, S::Indexed, 8, 4, 1, 1}, {Bytes(3)}, 1, 3, 0xFF},
      {"masked pixels still need the target", {}, {Bytes(3)}, 3, 2, 0x80},
      {"grey alpha needs two samples", {S::GrayAlpha, S::Gray, 8, 8, 1, 1}, {Bytes(2)}, 2, 2, 0xFF},
  };
  for (const Case& c : cases) {
    TColorManager cm;
    c.L.Apply(cm);
    Bytes target(c.TargetSize);
    EXPECT_EQ(ErrorOf([&] { Convert(cm, c.Source, target, c.Count, c.Mask); }), colortext::BufferTooSmall) << c.Name;
  }
  // A mask that converts one pixel in eight needs only that pixel's source.
  TColorManager cm;
  Bytes target(24);
  Convert(cm, {Bytes{1, 2, 3}}, target, 8, 0x80);
  EXPECT_EQ(Bytes(target.begin(), target.begin() + 3), (Bytes{3, 2, 1}));
}

TEST(ColorManager, LayoutPropertiesCheckAndTrackChanges) {
  TColorManager cm;
  EXPECT_TRUE(cm.Changed());
  EXPECT_EQ(cm.SourceColorScheme(), S::RGB);
  EXPECT_EQ(cm.TargetColorScheme(), S::BGR);
  EXPECT_EQ(ErrorOf([&] { cm.SetSourceBitsPerSample(17); }), colortext::InvalidDepth);
  EXPECT_EQ(ErrorOf([&] { cm.SetTargetBitsPerSample(0); }), colortext::InvalidDepth);
  EXPECT_EQ(ErrorOf([&] { cm.SetSourceSamplesPerPixel(5); }), colortext::InvalidSampleCount);
  EXPECT_EQ(ErrorOf([&] { cm.SetTargetSamplesPerPixel(0); }), colortext::InvalidSampleCount);
  EXPECT_EQ(cm.SourceBitsPerSample(), 8);
  EXPECT_EQ(cm.SourceSamplesPerPixel(), 3);
  cm.PrepareConversion();
  EXPECT_FALSE(cm.Changed());
  cm.SetSourceBitsPerSample(8);  // no change
  cm.SourceOptions = O::SwapBytes;
  EXPECT_FALSE(cm.Changed());
  cm.SetSourceBitsPerSample(5);  // a depth the text does not name is accepted
  EXPECT_TRUE(cm.Changed());
  cm.PrepareConversion();
  EXPECT_FALSE(cm.Changed()) << "cleared also without a converter";
  EXPECT_FALSE(cm.HasConverter());

  // PrepareConversion decides HasAlpha from the schemes.
  cm.SetSourceBitsPerSample(8);
  cm.SourceOptions = O::HasAlpha;
  cm.TargetOptions = O::None;
  cm.SetTargetColorScheme(S::BGRA);
  cm.SetTargetSamplesPerPixel(4);
  cm.PrepareConversion();
  EXPECT_EQ(cm.SourceOptions, O::None);
  EXPECT_EQ(cm.TargetOptions, O::HasAlpha);
}

TEST(ColorManager, PixelFormats) {
  struct Case {
    int Samples, Bits;
    TPixelFormat Format;
  };
  const Case cases[] = {{1, 1, pf1bit},   {1, 2, pf4bit},  {1, 4, pf4bit},   {1, 5, pfCustom},
                        {1, 8, pf8bit},   {1, 16, pf8bit}, {3, 5, pf15bit},  {3, 6, pf24bit},
                        {3, 16, pf24bit}, {4, 8, pf32bit}, {4, 5, pfCustom}, {2, 8, pfCustom}};
  for (const Case& c : cases) {
    TColorManager cm;
    cm.SetTargetSamplesPerPixel(c.Samples);
    cm.SetTargetBitsPerSample(c.Bits);
    EXPECT_EQ(cm.GetPixelFormat(1), c.Format) << c.Samples << " x " << c.Bits;
    EXPECT_EQ(cm.GetPixelFormat(0), pf24bit) << "the source stays RGB 8";
  }
}

TEST(ColorManager, GammaTable) {
  TColorManager cm;
  const auto& g = cm.GammaTable();
  EXPECT_EQ(g[0], 0);
  EXPECT_EQ(g[1], 21);
  EXPECT_EQ(g[64], 136);
  EXPECT_EQ(g[128], 186);
  EXPECT_EQ(g[255], 255);
  cm.SetGamma(std::numeric_limits<float>::quiet_NaN(), 0.0f);
  EXPECT_EQ(cm.MainGamma(), 1.0f);
  EXPECT_EQ(cm.DisplayGamma(), 2.2f);
  EXPECT_EQ(cm.GammaTable()[64], 136);
  cm.SetGamma(1.0f, 1.0f);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(cm.GammaTable()[i], i);
  // A packed source into a 16-bit target: the table stays within its 256
  // entries.
  cm.SetSourceBitsPerSample(4);
  cm.SetTargetBitsPerSample(16);
  cm.SetGamma(2.0f, 1.0f);
  EXPECT_EQ(cm.GammaTable()[255], 255);
  // Into a 4-bit target: values 0..15.
  cm.SetSourceBitsPerSample(8);
  cm.SetTargetBitsPerSample(4);
  cm.SetGamma(1.0f, 1.0f);
  EXPECT_EQ(cm.GammaTable()[255], 15);
  EXPECT_EQ(cm.GammaTable()[17], 1);
  // Tables kept from one setting never stand in for another.
  TColorManager fresh;
  EXPECT_EQ(fresh.GammaTable()[64], 136);
  EXPECT_EQ(fresh.GammaTable()[255], 255);
  cm.SetGamma(1.0f, 2.2f);
  EXPECT_EQ(cm.GammaTable()[255], 15);
  EXPECT_EQ(cm.GammaTable()[64], 8);  // 15 x (64 / 255)^(1 / 2.2)
}

TEST(ColorManager, YCbCrParametersAndTables) {
  TColorManager cm;
  const float weights[] = {0.2125f, 0.7154f, 0.0721f};
  cm.SetYCbCrParameters(weights, 4, 2);
  EXPECT_EQ(cm.HorizontalSubsampling(), 4);
  EXPECT_EQ(cm.VerticalSubsampling(), 2);
  EXPECT_EQ(cm.YCbCrCoefficients()[1], 0.7154f);
  EXPECT_EQ(ErrorOf([&] { cm.SetYCbCrParameters({}, 2, 4); }), colortext::VerticalSubsampling);
  EXPECT_EQ(ErrorOf([&] { cm.SetYCbCrParameters({}, 3, 1); }), colortext::InvalidSubsampling);
  EXPECT_EQ(ErrorOf([&] { cm.SetYCbCrParameters({}, 1, 0); }), colortext::InvalidSubsampling);
  EXPECT_EQ(cm.HorizontalSubsampling(), 4) << "a refused call keeps the subsampling";

  auto tables = [](S scheme, std::vector<float> weights) {
    TColorManager m;
    if (!weights.empty()) m.SetYCbCrParameters(weights, 1, 1);
    m.SetSourceColorScheme(scheme);
    m.PrepareConversion();
    return std::vector<std::array<std::int32_t, 256>>{m.CrToRed(), m.CbToBlue(), m.CrToGreen(), m.CbToGreen()};
  };
  auto ycbcr = tables(S::YCbCr, {});
  EXPECT_EQ(ycbcr[0][0], -179);
  EXPECT_EQ(ycbcr[0][255], 178);
  auto photo = tables(S::PhotoYCC, {});
  EXPECT_EQ(photo[0][0], -192);
  EXPECT_EQ(photo[0][255], 165);
  // Weights a file can make zero or not a number fall back to the defaults.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(tables(S::YCbCr, {0.299f, 0.0f, 0.114f}), ycbcr);
  EXPECT_EQ(tables(S::YCbCr, {0.299f, nan, 0.114f}), ycbcr);
  EXPECT_EQ(tables(S::YCbCr, {-1.0f}), ycbcr);
  // One weight given changes red's only.
  EXPECT_NE(tables(S::YCbCr, {0.2f})[0], ycbcr[0]);
}

// Tables are kept from one setting to the next within a thread; whatever
// order settings come in, they must equal the tables a thread that never
// computed any builds for the same setting.
TEST(ColorManager, KeptTablesEqualFreshOnes) {
  struct Setting {
    float Main, Display;
    int SourceBits, TargetBits;
    S Scheme;
    std::vector<float> Weights;
  };
  const std::vector<Setting> settings = {
      {1.0f, 2.2f, 8, 8, S::YCbCr, {}},           {1.8f, 1.0f, 8, 8, S::PhotoYCC, {0.2125f, 0.7154f, 0.0721f}},
      {1.0f, 2.2f, 4, 16, S::YCbCr, {0.3f}},      {1.8f, 1.0f, 8, 4, S::PhotoYCC, {0.2125f, 0.7154f, 0.0721f}},
      {0.5f, 1.5f, 8, 8, S::YCbCr, {}},           {1.0f, 2.2f, 8, 8, S::YCbCr, {}},
      {1.8f, 1.0f, 8, 8, S::YCbCr, {0.2125f, 0.7154f, 0.0721f}}, {1.0f, 2.2f, 8, 4, S::PhotoYCC, {}},
  };
  using Tables = std::vector<std::vector<std::int32_t>>;
  auto build = [](const Setting& s) {
    TColorManager m;
    m.SetSourceBitsPerSample(s.SourceBits);
    m.SetTargetBitsPerSample(s.TargetBits);
    m.SetGamma(s.Main, s.Display);
    if (!s.Weights.empty()) m.SetYCbCrParameters(s.Weights, 1, 1);
    m.SetSourceColorScheme(s.Scheme);
    m.SetSourceBitsPerSample(8);
    m.SetTargetBitsPerSample(8);
    m.PrepareConversion();
    Tables t;
    t.emplace_back(m.GammaTable().begin(), m.GammaTable().end());
    for (const auto* table : {&m.CrToRed(), &m.CbToBlue(), &m.CrToGreen(), &m.CbToGreen()}) {
      t.emplace_back(table->begin(), table->end());
    }
    return t;
  };
  for (std::size_t i = 0; i < settings.size(); ++i) {
    Tables fresh;
    std::thread([&] { fresh = build(settings[i]); }).join();
    // Here: after every other setting, in two orders.
    for (const Setting& other : settings) (void)build(other);
    EXPECT_EQ(build(settings[i]), fresh) << "setting " << i;
    for (std::size_t j = settings.size(); j-- > 0;) (void)build(settings[j]);
    EXPECT_EQ(build(settings[i]), fresh) << "setting " << i << ", reversed";
  }
}

TEST(ColorManager, GrayscalePalettes) {
  TColorManager cm;
  cm.SetTargetSamplesPerPixel(1);
  cm.SetTargetBitsPerSample(4);
  auto p = cm.CreateGrayscalePalette(false);
  ASSERT_EQ(p.size(), 16u);
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(p[i], (TPaletteEntry{std::uint8_t(17 * i), std::uint8_t(17 * i), std::uint8_t(17 * i), 0}));
  auto white = cm.CreateGrayscalePalette(true);
  EXPECT_EQ(white[0].Red, 255);
  EXPECT_EQ(white[15].Red, 0);
  cm.SetTargetBitsPerSample(16);
  EXPECT_EQ(cm.CreateGrayscalePalette(false).size(), 256u);
  cm.SetTargetBitsPerSample(1);
  cm.TargetOptions = O::UseGamma;
  cm.SetGamma(1.0f, 2.2f);
  auto two = cm.CreateGrayscalePalette(false);
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[1].Green, 255) << "palette entries are 8-bit colours whatever the target's depth";
  cm.SetTargetBitsPerSample(4);
  cm.SetGamma(1.0f, 2.2f);
  EXPECT_EQ(cm.CreateGrayscalePalette(false)[1].Green, 74) << "17 on the 8-bit curve";
}

TEST(ColorManager, ColorPalettes) {
  TColorManager cm;
  // Two-bit source colours into an 8-bit target: the packed converters'
  // scaling decides which colour an entry takes.
  cm.SetSourceBitsPerSample(2);
  cm.SetTargetBitsPerSample(8);
  const Bytes rgb = {10, 11, 12, 20, 21, 22, 30, 31, 32, 40, 41, 42};
  auto p = cm.CreateColorPalette({rgb}, 0, 4, false);
  ASSERT_EQ(p.size(), 256u);
  for (int i = 0; i < 256; ++i) {
    const int colour = i <= 84 ? 0 : i <= 169 ? 1 : i <= 254 ? 2 : 3;
    ASSERT_EQ(p[i].Red, 10 * (colour + 1)) << i;
  }

  EXPECT_EQ(cm.CreateColorPalette({rgb}, 0, 2, false)[255], TPaletteEntry{}) << "colours the data lacks are black";

  cm.SetSourceBitsPerSample(8);
  auto reversed = cm.CreateColorPalette({rgb}, 0, 2, true);
  ASSERT_EQ(reversed.size(), 2u);
  EXPECT_EQ(reversed[1], (TPaletteEntry{22, 21, 20, 0}));
  auto four = cm.CreateColorPalette({rgb}, 1, 3, false);
  EXPECT_EQ(four[1], (TPaletteEntry{21, 22, 30, 0})) << "4 bytes an entry skip the fourth";
  EXPECT_EQ(four[2], (TPaletteEntry{32, 40, 41, 0}));
  auto planar = cm.CreateColorPalette({Bytes{1, 2}, Bytes{3, 4}, Bytes{5, 6}}, 2, 2, false);
  EXPECT_EQ(planar[1], (TPaletteEntry{2, 4, 6, 0}));
  // Words: blue, green, red unless reversed.
  auto words = cm.CreateColorPalette({Words({0x0101, 0x0202, 0xFFFF})}, 4, 1, false);
  EXPECT_EQ(words[0], (TPaletteEntry{255, 2, 1, 0}));
  cm.SourceOptions = O::SwapBytes;
  auto swapped = cm.CreateColorPalette({Bytes{0xFF, 0x00}, Bytes{0x01, 0x01}, Bytes{0x00, 0xFF}}, 6, 1, false);
  EXPECT_EQ(swapped[0], (TPaletteEntry{254, 1, 0, 0}));
  auto black = cm.CreateColorPalette({}, 9, 3, false);
  EXPECT_EQ(black[2], TPaletteEntry{});
  EXPECT_EQ(ErrorOf([&] { cm.CreateColorPalette({Bytes(5)}, 0, 2, false); }), colortext::BufferTooSmall);
  EXPECT_EQ(ErrorOf([&] { cm.CreateColorPalette({Bytes(2), Bytes(2)}, 2, 2, false); }), colortext::BufferTooSmall);
  // A 16-bit indexed source: entry i of the 8-bit palette is colour i x 257.
  cm.SourceOptions = O::None;
  cm.SetSourceBitsPerSample(16);
  Bytes big(65536 * 3);
  big[257 * 3] = 99;
  auto reduced = cm.CreateColorPalette({big}, 0, 65536, false);
  ASSERT_EQ(reduced.size(), 256u);
  EXPECT_EQ(reduced[1].Red, 99);
}

// Pillow converts YCbCr and CMYK pixels to RGB with its own arithmetic;
// ours may round differently by one step.
TEST(ColorManager, AgreesWithPillowOnYCbCrAndCMYK) {
  if (!testsupport::HavePillow()) GTEST_SKIP() << "Pillow is not installed";
  Bytes ycc, cmyk;
  for (int a = 0; a < 256; a += 15) {
    for (int b = 0; b < 256; b += 17) {
      for (int c = 0; c < 256; c += 51) {
        ycc.insert(ycc.end(), {std::uint8_t(a), std::uint8_t(b), std::uint8_t(c)});
        cmyk.insert(cmyk.end(), {std::uint8_t(a), std::uint8_t(b), std::uint8_t(c), std::uint8_t((a + c) / 2)});
      }
    }
  }
  const std::uint32_t n = static_cast<std::uint32_t>(ycc.size() / 3);
  testsupport::TempDir dir;
  testsupport::WriteBytes(dir.File("ycc"), ycc);
  testsupport::WriteBytes(dir.File("cmyk"), cmyk);
  std::ostringstream script;
  script << "import sys\nfrom PIL import Image\n"
         << "for name, mode in (('ycc', 'YCbCr'), ('cmyk', 'CMYK')):\n"
         << "    data = open(sys.argv[1] + name, 'rb').read()\n"
         << "    im = Image.frombytes(mode, (" << n << ", 1), data).convert('RGB')\n"
         << "    open(sys.argv[1] + name + '.rgb', 'wb').write(im.tobytes())\n";
  auto r = testsupport::Run({"/usr/bin/python3", "-c", script.str(), dir.Path()});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;

  struct Case {
    const char* File;
    Layout L;
    const Bytes* Source;
  };
  const Case cases[] = {{"ycc.rgb", {S::YCbCr, S::RGB}, &ycc}, {"cmyk.rgb", {S::CMYK, S::RGB, 8, 8, 4, 3}, &cmyk}};
  for (const Case& c : cases) {
    const Bytes expected = testsupport::ReadBytes(dir.File(c.File));
    ASSERT_EQ(expected.size(), n * 3u);
    TColorManager cm;
    c.L.Apply(cm);
    Bytes ours(n * 3);
    cm.ConvertRow(*c.Source, ours, n);
    int worst = 0;
    for (std::size_t i = 0; i < ours.size(); ++i) worst = std::max(worst, std::abs(ours[i] - expected[i]));
    EXPECT_LE(worst, 1) << c.File;
  }
}

}  // namespace
