// The skinned controls' pictures without a widget: frame choice, the
// bitmap button's layout, the check cell, the scroll-bar geometry (and
// that Qt's drag maps it back), the progress fill, the turns of the tab
// strip, which icons are dark glyphs and how they are tinted, and pixel
// probes of composed pictures.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPainter>
#include <QStyle>

#include <climits>
#include <tuple>
#include <memory>
#include <vector>

#include "skin/skin_control_draw.h"
#include "skin/skin_data.h"
#include "skin/skin_control_pictures.h"
#include "skin/skin_window_fixture.h"

using namespace skintest;

TEST(SkinControlDraw, FrameChoice) {
  struct Case {
    TButtonState s;
    int button, speed;
  };
  const Case cases[] = {
      {{true, false, false, false, false}, 1, 1},  // normal
      {{true, true, false, false, false}, 4, 1},   // focused: a speed button has no focus frame
      {{true, false, true, false, false}, 2, 2},   // pressed
      {{true, false, false, true, false}, 4, 4},   // hot
      {{true, true, true, true, false}, 2, 2},     // pressed wins
      {{false, true, true, true, false}, 3, 3},    // disabled wins
      {{true, false, false, true, true}, 4, 2},    // a down speed button is pressed
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ButtonFrame(c.s), c.button);
    EXPECT_EQ(SpeedButtonFrame(c.s), c.speed);
  }
  // Glyph images by frame, with enough images and with too few.
  const int glyphs[][3] = {{1, 3, 1}, {4, 3, 1}, {3, 3, 2}, {2, 3, 3}, {2, 2, 1}, {3, 1, 1}};
  for (const auto& g : glyphs) EXPECT_EQ(SpeedButtonGlyph(g[0], g[1]), g[2]) << g[0] << " " << g[1];
  // Check and radio frames: a disabled check box is 3 whatever its state.
  EXPECT_EQ(CheckFrame(false, true), 1);
  EXPECT_EQ(CheckFrame(true, true), 2);
  EXPECT_EQ(CheckFrame(true, false), 3);
  EXPECT_EQ(CheckFrame(false, false), 3);
  EXPECT_EQ(RadioFrame(false, false), 3);
  EXPECT_EQ(RadioFrame(true, false), 4);
  EXPECT_EQ(RadioFrame(true, true), 2);
  EXPECT_EQ(ComboFrame(false, false, false), 3);
  EXPECT_EQ(ComboFrame(true, true, true), 2);
  EXPECT_EQ(ComboFrame(true, false, true), 4);
  EXPECT_EQ(UpDownState(false, true, true, true), 3);
  EXPECT_EQ(UpDownState(true, false, true, true), 1);
  EXPECT_EQ(UpDownState(true, true, true, true), 2);
  EXPECT_EQ(UpDownState(true, true, false, true), 4);
}

TEST(SkinControlDraw, GlyphLayout) {
  // Client 100 x 30, glyph 16 x 16, text 40 x 12.
  struct Case {
    TButtonLayout layout;
    int margin, spacing;
    QSize text;
    QPoint glyph;
    QRect textRect;
  };
  const QSize client(100, 30);
  const QSize glyph(16, 16);
  const Case cases[] = {
      // -1 / -1: (100 - 16 - 40) / 3 = 14 before, between and after.
      {blGlyphLeft, -1, -1, {40, 12}, {14, 7}, {44, 9, 40, 12}},
      // Margin -1 only: (100 - 16 - 4 - 40) / 2 = 20.
      {blGlyphLeft, -1, 4, {40, 12}, {20, 7}, {40, 9, 40, 12}},
      // Spacing -1 only: (100 - 2 - 16 - 40) / 2 = 21.
      {blGlyphLeft, 2, -1, {40, 12}, {2, 7}, {39, 9, 40, 12}},
      {blGlyphRight, 2, 4, {40, 12}, {82, 7}, {38, 9, 40, 12}},
      // Top and bottom work on the height: (30 - 16 - 12) / 3 = 0.
      {blGlyphTop, -1, -1, {40, 12}, {42, 0}, {30, 16, 40, 12}},
      {blGlyphBottom, 1, 1, {40, 12}, {42, 13}, {30, 0, 40, 12}},
      // No text: the spacing is 0 and the glyph centred by the margin.
      {blGlyphLeft, -1, 4, {0, 0}, {42, 7}, {58, 15, 0, 0}},
  };
  for (const Case& c : cases) {
    const TGlyphPlacement p = PlaceGlyph(client, glyph, c.text, c.layout, c.margin, c.spacing);
    EXPECT_EQ(p.Glyph, c.glyph) << c.layout << " " << c.margin << " " << c.spacing;
    EXPECT_EQ(p.Text, c.textRect) << c.layout << " " << c.margin << " " << c.spacing;
  }
}

TEST(SkinControlDraw, CheckCell) {
  // A 13-wide cell in the 14-pixel column; a 20-wide one at the edge.
  EXPECT_EQ(CheckCell({100, 20}, {13, 13}, false), QRect(0, 3, 13, 13));
  EXPECT_EQ(CheckCell({100, 20}, {10, 10}, false), QRect(2, 5, 10, 10));
  EXPECT_EQ(CheckCell({100, 20}, {20, 14}, false), QRect(0, 3, 20, 14));
  EXPECT_EQ(CheckCell({100, 20}, {10, 10}, true), QRect(88, 5, 10, 10));
  EXPECT_EQ(CheckCell({100, 20}, {20, 14}, true), QRect(79, 3, 20, 14));
}

TEST(SkinControlDraw, ScrollGeometry) {
  struct Case {
    int n, arrow;
    TScrollRange range;
    bool control;
    TScrollGeometry expected;
  };
  const Case cases[] = {
      // A page as large as the range: the thumb fills the track less one
      // pixel and sits at the start.
      {116, 16, {0, 100, 100, 0}, false, {116, 16, 84, 83, 0, true}},
      {116, 16, {0, 99, 100, 0}, true, {116, 16, 84, 83, 0, true}},
      // A bar shorter than two arrows: half-length arrows, no track.
      {20, 16, {0, 99, 10, 0}, false, {20, 10, 0, 0, 0, false}},
      {31, 16, {0, 99, 10, 0}, true, {31, 15, 0, 0, 0, false}},
      // The thumb is at least 8 long.
      {232, 16, {0, 999, 1, 500}, true, {232, 16, 200, 8, 96, true}},
      // Control: range 99 - 0 + 1 = 100 with a page of 10: L = 200 * 10 / 100.
      {232, 16, {0, 99, 10, 90}, true, {232, 16, 200, 20, 180, true}},
      // Without a page the thumb is as long as an arrow.
      {232, 16, {0, 100, 0, 50}, true, {232, 16, 200, 16, 91, true}},
      // The frame's bars count one less: the last position lies past the
      // end, and the thumb stays at the track's end.
      {232, 16, {0, 99, 10, 90}, false, {232, 16, 200, 20, 180, true}},
      // An empty range shows no thumb.
      {232, 16, {5, 5, 0, 5}, false, {232, 16, 200, 0, 0, false}},
  };
  for (const Case& c : cases) {
    const TScrollGeometry g = ScrollGeometry(c.n, c.arrow, c.range, c.control);
    const auto& e = c.expected;
    SCOPED_TRACE(testing::Message() << "n " << c.n << " pos " << c.range.Pos << " control " << c.control);
    EXPECT_EQ(g.Arrow, e.Arrow);
    EXPECT_EQ(g.Track, e.Track);
    EXPECT_EQ(g.Thumb, e.Thumb);
    EXPECT_EQ(g.Offset, e.Offset);
    EXPECT_EQ(g.ThumbShown, e.ThumbShown);
  }
}

// The rectangles of the parts and the hit test agree pixel for pixel, and
// Qt's drag, which maps the thumb's place over the groove and thumb
// rectangles back to a value, lands on the value the thumb was drawn for.
TEST(SkinControlDraw, ScrollPartsHitTestAndDrag) {
  const TScrollPart parts[] = {spLineUp, spPageUp, spThumb, spPageDown, spLineDown};
  struct Bar {
    int min, max, page;
  };
  for (const Bar bar : {Bar{0, 90, 10}, Bar{-50, 50, 25}, Bar{0, 1000, 7}, Bar{0, 3, 1}}) {
    for (int value = bar.min; value <= bar.max; value += std::max(1, (bar.max - bar.min) / 9)) {
      const TScrollRange range = ScrollRangeFromQt(bar.min, bar.max, bar.page, value);
      const TScrollGeometry g = ScrollGeometry(200, 16, range, true);
      ASSERT_TRUE(g.ThumbShown);
      for (int x = 0; x < 200; ++x) {
        int in = 0;
        TScrollPart owner = spNone;
        for (TScrollPart p : parts) {
          if (ScrollPartRect(g, p, {200, 16}, true).contains(x, 8)) {
            ++in;
            owner = p;
          }
        }
        ASSERT_EQ(in, 1) << x;
        ASSERT_EQ(ScrollHitTest(g, x), owner) << x;
      }
      const QRect groove(g.Arrow, 0, g.Track, 16);
      const QRect thumb = ScrollPartRect(g, spThumb, {200, 16}, true);
      const int span = groove.width() - thumb.width();
      const int back = QStyle::sliderValueFromPosition(bar.min, bar.max, thumb.left() - groove.left(), span);
      // The value dragged to is drawn where the thumb was; it is the value
      // itself wherever every value has a pixel of its own.
      const TScrollGeometry again = ScrollGeometry(200, 16, ScrollRangeFromQt(bar.min, bar.max, bar.page, back), true);
      EXPECT_EQ(again.Offset, g.Offset) << bar.min << ".." << bar.max << " at " << value;
      if (span >= bar.max - bar.min) {
        EXPECT_EQ(back, value) << bar.min << ".." << bar.max << " page " << bar.page;
      }
    }
  }
  // The parts of a vertical bar run down it.
  const TScrollGeometry g = ScrollGeometry(100, 16, ScrollRangeFromQt(0, 10, 5, 0), true);
  EXPECT_EQ(ScrollPartRect(g, spLineDown, {16, 100}, false), QRect(0, 84, 16, 16));
  EXPECT_EQ(PressedScrollPart(spThumb, false), 6);
  EXPECT_EQ(PressedScrollPart(spLineUp, true), 1);
}

TEST(SkinControlDraw, ProgressFill) {
  struct Case {
    int width, min, max, pos, fill;
  };
  const Case cases[] = {
      {200, 0, 0, 0, -1},      // max 0: only the trough
      {200, 10, 10, 10, -1},   // an empty range
      {200, 0, 100, 50, 100},
      {200, 50, 150, 100, 100},  // the minimum counts
      {200, 0, 100, 150, 200},   // clamped
      {200, 0, 100, -5, 0},
      {200, INT_MIN, INT_MAX, 0, 100},  // no 32-bit overflow
      {1000, 0, INT_MAX, INT_MAX, 1000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProgressFill(c.width, c.min, c.max, c.pos), c.fill) << c.min << ".." << c.max << " at " << c.pos;
  }
}

TEST(SkinControlDraw, TurnsAndTabStripRoundTrip) {
  QImage image(3, 2, QImage::Format_RGB32);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) image.setPixel(x, y, qRgb(x, y, 7));
  }
  QImage a = image;
  ImgRotate90(a);
  ASSERT_EQ(a.size(), QSize(2, 3));
  EXPECT_EQ(a.pixel(1, 2), qRgb(0, 1, 7));  // (0, 1) goes to (1, 3 - 1 - 0)
  QImage b = image;
  ImgRotate270(b);
  EXPECT_EQ(b.pixel(0, 2), qRgb(2, 1, 7));  // (2, 1) goes to (2 - 1 - 1, 2)
  ImgRotate90(b);
  EXPECT_EQ(b, image);
  QImage f = image;
  ImgFlipVertical(f);
  EXPECT_EQ(f.pixel(2, 0), qRgb(2, 1, 7));
  ImgFlipVertical(f);
  EXPECT_EQ(f, image);

  // An item marked in the strip (composed upright) comes back at its
  // rectangle once the strip is turned.
  const QSize bar(24, 120);
  const QRect item(0, 30, 22, 40);
  for (TTabPosition position : {tpLeft, tpRight}) {
    QImage strip(bar.transposed(), QImage::Format_RGB32);
    strip.fill(Qt::black);
    const QRect in = TabRectInStrip(item, position, bar);
    for (int y = in.top(); y <= in.bottom(); ++y) {
      for (int x = in.left(); x <= in.right(); ++x) strip.setPixel(x, y, qRgb(255, 255, 255));
    }
    position == tpLeft ? ImgRotate90(strip) : ImgRotate270(strip);
    ASSERT_EQ(strip.size(), bar);
    QRect found;
    for (int y = 0; y < bar.height(); ++y) {
      for (int x = 0; x < bar.width(); ++x) {
        if (strip.pixel(x, y) == qRgb(255, 255, 255)) found |= QRect(x, y, 1, 1);
      }
    }
    EXPECT_EQ(found, item) << position;
  }
}

// The style's glyphs drawn for a light face are told from its coloured
// pictures and from pictures made here; only a glyph is tinted, each
// pixel keeping its opacity.
TEST(SkinControlDraw, DarkGlyphsAreToldFromPicturesAndTinted) {
  const std::pair<QStyle::StandardPixmap, bool> standard[] = {
      {QStyle::SP_MediaStop, true},  {QStyle::SP_MediaPlay, true},  {QStyle::SP_DialogCloseButton, true},
      {QStyle::SP_TitleBarMaxButton, true}, {QStyle::SP_FileIcon, false}, {QStyle::SP_TrashIcon, false},
      {QStyle::SP_DesktopIcon, false},  {QStyle::SP_FileDialogDetailedView, false},
  };
  for (const auto& [icon, glyph] : standard) {
    for (int size : {16, 24}) {
      EXPECT_EQ(IsDarkGlyph(QApplication::style()->standardIcon(icon).pixmap(size, size).toImage()), glyph)
          << icon << " " << size;
    }
  }
  const auto painted = [](QColor ink, QColor halo) {
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(halo);
    QPainter(&image).fillRect(4, 4, 8, 8, ink);
    return image;
  };
  const std::tuple<const char*, QImage, bool> made[] = {
      {"black with a faint light edge", painted(Qt::black, QColor(255, 255, 255, 40)), true},
      {"half-transparent dark grey", painted(QColor(90, 90, 90, 80), Qt::transparent), true},
      {"mid grey", painted(QColor(128, 128, 128), Qt::transparent), false},
      {"dark red", painted(QColor(90, 10, 10), Qt::transparent), false},
      {"black on a white plate", painted(Qt::black, Qt::white), false},
      {"nothing visible", painted(QColor(0, 0, 0, 60), Qt::transparent), false},
  };
  for (const auto& [name, icon, glyph] : made) EXPECT_EQ(IsDarkGlyph(icon), glyph) << name;

  QImage icon(4, 1, QImage::Format_ARGB32);
  const QRgb pixels[] = {qRgba(0, 0, 0, 255), qRgba(20, 20, 20, 128), qRgba(0, 0, 0, 1), 0};
  for (int x = 0; x < 4; ++x) icon.setPixel(x, 0, pixels[x]);
  const QColor ink(237, 230, 220);
  const QImage tinted = TintGlyph(icon, ink);
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(tinted.pixel(x, 0), x < 3 ? qRgba(237, 230, 220, qAlpha(pixels[x])) : 0u) << x;
  }
  const std::unique_ptr<TSkinData> data = LoadTestSkin();
  data->Skin().Colours.ButtonText = ink;
  EXPECT_EQ(SkinnedIcon(painted(Qt::black, Qt::transparent), *data).pixel(8, 8), ink.rgb());
  const QImage picture = painted(QColor(200, 0, 0), Qt::white);
  EXPECT_EQ(SkinnedIcon(picture, *data), picture);
}

class SkinComposeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    data_ = LoadTestSkin();
    ASSERT_TRUE(data_->SkinLoaded());
  }
  std::unique_ptr<TSkinData> data_;
};

TEST_F(SkinComposeTest, ButtonFramesAndCaption) {
  data_->Skin().Buttons.Bitmap = SolidFrames(12, 12, ButtonColours);
  data_->Skin().Buttons.LeftWidth = data_->Skin().Buttons.RightWidth = 2;
  TButtonPicture p;
  p.Size = {60, 24};
  for (int frame = 1; frame <= 5; ++frame) {
    p.Frame = frame;
    const QImage image = ComposeButton(*data_, p);
    ASSERT_EQ(image.size(), p.Size);
    EXPECT_EQ(At(image, 1, 1), ButtonColours[frame - 1]) << frame;
    EXPECT_EQ(At(image, 30, 12), ButtonColours[frame - 1]) << frame;
  }
  // The caption is drawn centred in its colour.
  p.Frame = 1;
  p.Caption = "WWWW";
  p.TextColour = QColor(255, 255, 0);
  const QImage captioned = ComposeButton(*data_, p);
  int inked = 0;
  int left = 60;
  int right = 0;
  for (int y = 0; y < 24; ++y) {
    for (int x = 0; x < 60; ++x) {
      if (At(captioned, x, y) == QColor(255, 255, 0)) {
        ++inked;
        left = std::min(left, x);
        right = std::max(right, x);
      }
    }
  }
  EXPECT_GT(inked, 0);
  EXPECT_LE(std::abs(left - (59 - right)), 3);
  // A glyph strip keyed by its bottom-left pixel: its first image shows,
  // its key colour lets the frame through.
  QImage glyph = SolidFrames(8, 8, {{0, 0, 200}, {0, 200, 0}});
  glyph.setPixel(0, 7, qRgb(1, 2, 3));
  glyph.setPixel(3, 3, qRgb(1, 2, 3));
  p.Caption.clear();
  p.Glyph = glyph;
  p.NumGlyphs = 2;
  const QImage withGlyph = ComposeButton(*data_, p);
  const TGlyphPlacement at = PlaceGlyph(p.Size, {8, 8}, {0, 0}, blGlyphLeft, -1, 4);
  EXPECT_EQ(At(withGlyph, at.Glyph.x() + 1, at.Glyph.y() + 1), QColor(0, 0, 200));
  EXPECT_EQ(At(withGlyph, at.Glyph.x() + 3, at.Glyph.y() + 3), ButtonColours[0]);
  // Without a Buttons picture the skin draws no button.
  data_->Skin().Buttons.Bitmap = QImage();
  EXPECT_TRUE(ComposeButton(*data_, p).isNull());
}

TEST_F(SkinComposeTest, ProgressAndScrollBar) {
  const QColor trough(0, 0, 90);
  const QColor fill(0, 90, 0);
  data_->Skin().Progress = SolidElement("Progress", 10, 10, {trough, fill});
  const QImage empty = ComposeProgress(*data_, {100, 10}, ProgressFill(100, 0, 0, 0));
  for (int x : {0, 50, 99}) EXPECT_EQ(At(empty, x, 5), trough) << x;
  const QImage half = ComposeProgress(*data_, {100, 10}, ProgressFill(100, 0, 100, 50));
  EXPECT_EQ(At(half, 49, 5), fill);
  EXPECT_EQ(At(half, 50, 5), trough);

  // Scroll bar: arrows 23 frames of 16, track and thumb.
  const std::vector<QColor> arrows = ArrowColours();
  data_->Skin().Scrollbar = SolidElement("Scrollbar", 16, 16, arrows);
  data_->Skin().HorzScroll = SolidElement("HorzScroll", 8, 16, {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {4, 4, 4}});
  data_->Skin().HorzScrollThumb = SolidElement("HorzScrollThumb", 8, 16, {{200, 0, 0}, {250, 0, 0}, {220, 0, 0}});
  const TScrollGeometry g = ScrollGeometry(200, 16, ScrollRangeFromQt(0, 90, 10, 0), true);
  struct Probe {
    int pressed, x;
    QColor colour;
  };
  const Probe probes[] = {
      {0, 8, arrows[0]},   {1, 8, arrows[1]},    {0, 191, arrows[4]}, {2, 191, arrows[5]},
      {0, 20, {200, 0, 0}}, {5, 20, {250, 0, 0}}, {0, 150, {1, 1, 1}},
  };
  for (const Probe& p : probes) {
    const QImage image = ComposeScrollBar(*data_, {200, 16}, true, g, p.pressed);
    EXPECT_EQ(At(image, p.x, 8), p.colour) << p.pressed << " at " << p.x;
  }
  // Stretched onto a thicker bar.
  EXPECT_EQ(ComposeScrollBar(*data_, {200, 32}, true, g, 0).size(), QSize(200, 32));
}

TEST_F(SkinComposeTest, StatusBarPanels) {
  const QColor lowered(10, 10, 10);
  const QColor raised(20, 20, 20);
  data_->Skin().StatusBarEdges = SolidElement("StatusBarEdges", 6, 6, {lowered, raised, {30, 30, 30}});
  TStatusPanels panels;
  panels.Panels = {{{0, 0, 50, 20}, "", pbLowered, Qt::AlignLeft}, {{52, 0, 48, 20}, "", pbRaised, Qt::AlignLeft}};
  const QImage image = ComposeStatusBar(*data_, {100, 20}, panels, QFont(), Qt::black);
  EXPECT_EQ(At(image, 10, 10), lowered);
  EXPECT_EQ(At(image, 60, 10), raised);
  EXPECT_EQ(At(image, 51, 10), Face);
  // Simple mode: one lowered panel over the whole bar.
  panels.Simple = true;
  const QImage simple = ComposeStatusBar(*data_, {100, 20}, panels, QFont(), Qt::black);
  EXPECT_EQ(At(simple, 60, 10), lowered);
  EXPECT_EQ(At(simple, 51, 10), lowered);
}

TEST_F(SkinComposeTest, ComboAndUpDownButtons) {
  const std::vector<QColor> buttons = {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}};
  data_->Skin().ComboButton = SolidElement("ComboButton", 10, 20, buttons);
  data_->Skin().SunkEdge = SolidElement("SunkEdge", 8, 8, {{0, 0, 9}, {0, 0, 8}, {0, 0, 7}, {0, 0, 6}});
  data_->Skin().SunkEdge->LeftWidth = data_->Skin().SunkEdge->TopHeight = 2;
  data_->Skin().SunkEdge->BottomHeight = 1;
  data_->Skin().ExtraImages = SolidElement("ExtraImages", 4, 4, {{0, 50, 0}, {0, 60, 0}, {0, 70, 0}, {0, 80, 0}, {0, 90, 0}});
  for (int frame = 1; frame <= 4; ++frame) {
    QImage image(100, 22, QImage::Format_RGB32);
    image.fill(Qt::white);
    ASSERT_TRUE(DrawSkinCombo(image, *data_, Qt::white, 18, frame));
    EXPECT_EQ(At(image, 84, 2), buttons[frame - 1]) << frame;           // the button, full height
    EXPECT_EQ(At(image, 91, 11), QColor(0, 40 + 10 * frame, 0)) << frame;  // its arrow, centred
    EXPECT_EQ(At(image, 1, 10), QColor(0, 0, 9));                        // the left edge, 2 thick
    EXPECT_EQ(At(image, 40, 21), QColor(0, 0, 9));                       // the bottom edge, 1 thick
    EXPECT_EQ(At(image, 40, 20), QColor(Qt::white));
  }
  data_->Skin().SunkEdge.reset();
  QImage image(100, 22, QImage::Format_RGB32);
  EXPECT_FALSE(DrawSkinCombo(image, *data_, Qt::white, 18, 1));

  // Up-down buttons from the element: frame direction x 4 + state of 8,
  // the glyph of the same frame centred over it.
  std::vector<QColor> frames;
  std::vector<QColor> glyphs;
  for (int i = 1; i <= 8; ++i) {
    frames.push_back(QColor(i, 100, 0));
    glyphs.push_back(QColor(i, 200, 0));
  }
  auto vert = std::make_unique<TDataSkinBorder>("UpDown.Vert");
  vert->Bitmap = SolidFrames(10, 10, frames);
  vert->Bitmap2 = SolidFrames(4, 4, glyphs);
  vert->FrameCount = 8;
  data_->Skin().UpDownVert = std::move(vert);
  const auto [up, down] = UpDownButtons(QRect(0, 0, 16, 20), false);
  EXPECT_EQ(up, QRect(0, 0, 16, 10));
  EXPECT_EQ(down, QRect(0, 10, 16, 10));
  QImage buttonsImage(16, 20, QImage::Format_RGB32);
  DrawUpDownButton(buttonsImage, up, *data_, 0, 4);
  DrawUpDownButton(buttonsImage, down, *data_, 1, 2);
  EXPECT_EQ(At(buttonsImage, 1, 1), frames[3]);
  EXPECT_EQ(At(buttonsImage, 8, 5), glyphs[3]);
  EXPECT_EQ(At(buttonsImage, 1, 18), frames[5]);
  EXPECT_EQ(At(buttonsImage, 8, 15), glyphs[5]);
}
