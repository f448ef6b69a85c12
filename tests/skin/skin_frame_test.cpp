// The skinned frame without a window: title-button visibility and
// placement, the caption's place, what a point of the frame is for, and
// the composed pictures and shape of the test skin, probed pixel by pixel.

#include <gtest/gtest.h>

#include <QPainter>

#include "skin/skin_frame.h"
#include "skin/skin_window_fixture.h"

using namespace skintest;

namespace {

TFrameLook Look(QSize size = {200, 100}, bool active = true) {
  TFrameLook look;
  look.Size = size;
  look.Active = active;
  look.CaptionButtons = cbSystemMenu | cbMinimize | cbMaximize;
  look.Caption = "Caption";
  look.Icon = QImage(16, 16, QImage::Format_RGB32);
  look.Icon.fill(0xFF00FF);
  return look;
}

}  // namespace

TEST(SkinFrame, VisibilityTable) {
  struct Row {
    int Value;
    bool Visibility;
    int Action;
    int ShowState;
    bool Active;
    int Kind;
    int Buttons;
    bool Shown;
  };
  const int all = cbSystemMenu | cbMinimize | cbMaximize;
  const Row rows[] = {
      {0, true, 5, ssNormal, true, fkFramed, all, true},
      {0, true, 5, ssNormal, true, fkThin, all, false},       // thin frame hides Visibility 0
      {0, false, 5, ssNormal, true, fkThin, all, true},       // ... not Visibility1 0
      {0, true, 0, ssNormal, true, fkFramed, 0, false},       // close without a system menu
      {1, true, 5, ssMaximized, true, fkFramed, all, true},   //
      {1, true, 5, ssNormal, true, fkFramed, all, false},     //
      {2, true, 5, ssNormal, true, fkFramed, all, true},      //
      {3, true, 5, ssNormal, false, fkFramed, all, false},    // active only
      {4, true, 5, ssNormal, false, fkFramed, all, true},     // inactive only
      {5, true, 5, ssNormal, true, fkFramed, all, false},     //
      {6, true, 5, ssNormal, true, fkFramed, cbMaximize, false},  // needs a system menu too
      {6, false, 5, ssNormal, true, fkFramed, cbMaximize, true},  // ... not as Visibility1
      {7, true, 5, ssNormal, true, fkFramed, cbMinimize, true},   //
      {8, true, 5, ssNormal, true, fkFramed, all, true},          //
      {9, true, 5, ssNormal, true, fkFramed, all, false},         //
      {100, true, 5, ssNormal, true, fkFramed, all, false},       // multiple-document bar
      {200, true, 5, ssNormal, true, fkFramed, 0, true},          //
      {2000, true, 5, ssNormal, true, fkFramed, 0, true},         //
      {2001, true, 5, ssNormal, true, fkFramed, all, false},      //
      {-1, true, 5, ssNormal, true, fkFramed, all, false},        //
  };
  for (const Row& r : rows) {
    TFrameLook look = Look();
    look.ShowState = r.ShowState;
    look.Active = r.Active;
    look.FrameKind = r.Kind;
    look.CaptionButtons = r.Buttons;
    EXPECT_EQ(VisibilityAllows(r.Value, r.Visibility, r.Action, look), r.Shown)
        << "value " << r.Value << " visibility " << r.Visibility;
  }
  // A maximise or minimise button needs its box whatever it says.
  TDataSkinSysButton max("BUTTON2");
  max.Action = 1;
  TFrameLook look = Look();
  EXPECT_TRUE(TitleButtonVisible(max, look));
  look.CaptionButtons = cbSystemMenu | cbMinimize;
  EXPECT_FALSE(TitleButtonVisible(max, look));
  max.Action = 2;
  EXPECT_TRUE(TitleButtonVisible(max, look));
  look.CaptionButtons = cbSystemMenu;
  EXPECT_FALSE(TitleButtonVisible(max, look));
}

TEST(SkinFrame, ButtonPlacementByAlign) {
  TSkinDescription skin;
  const QRect caption(50, 4, 60, 12);  // right edge at 110
  const TFrameSizes frame{6, 20, 6, 4};
  struct Row {
    int Align;
    QPoint At;
  };
  const Row rows[] = {{0, {7, 3}}, {1, {300 - 7, 3}}, {2, {50 - 7 - 16, 3}}, {8, {50 - 7 - 16, 3}},
                      {3, {110 + 7, 3}}, {9, {110 + 7, 3}}, {100, {300 - 7 - 6, 20 + (18 - 14) / 2}}, {42, {0, 0}}};
  for (const Row& r : rows) {
    TDataSkinSysButton b("B");
    b.Align = r.Align;
    b.Xcoord = 7;
    b.Ycoord = 3;
    EXPECT_EQ(PlaceTitleButton(b, {16, 14}, 300, caption, frame, 18, skin), QRect(r.At, QSize(16, 14)))
        << "align " << r.Align;
  }
}

TEST(SkinFrame, CaptionPlace) {
  struct Row {
    int Alignment;
    int Shift;
    int ShiftVert;
    int RightClip;
    int BackLeft;
    int BackRight;
    QRect Box;
    QRect Text;
  };
  // Caption area (10, 0, 200 x 20), text 50 x 12.
  const Row rows[] = {
      {0, 5, 0, 0, 0, 0, {15, 4, 50, 12}, {15, 4, 50, 12}},
      {0, 5, 3, 0, 4, 6, {15, 5, 60, 12}, {19, 5, 50, 12}},      // shift down by half of 3, caps
      {1, 0, 0, 0, 0, 0, {85, 4, 50, 12}, {85, 4, 50, 12}},      // centred
      {2, 0, 0, -20, 0, 0, {140, 4, 50, 12}, {140, 4, 50, 12}},  // ends 20 left of the area's end
      {2, 0, 0, 10, 0, 0, {170, 4, 30, 12}, {170, 4, 30, 12}},   // cut 10 before the end
      {7, 9, 0, 0, 0, 0, {10, 4, 50, 12}, {10, 4, 50, 12}},      // any other: no shift
  };
  for (const Row& r : rows) {
    TDataSkinTitle title("Title");
    title.TextAlignment = r.Alignment;
    title.TextShift = r.Shift;
    title.TextShiftVert = r.ShiftVert;
    title.TextRightClip = r.RightClip;
    title.TextBackLeft = r.BackLeft;
    title.TextBackRight = r.BackRight;
    const TCaptionPlace p = PlaceCaption(title, QRect(10, 0, 200, 20), QSize(50, 12));
    EXPECT_EQ(p.Box, r.Box) << "alignment " << r.Alignment << " clip " << r.RightClip;
    EXPECT_EQ(p.Text, r.Text) << "alignment " << r.Alignment << " clip " << r.RightClip;
  }
}

TEST(SkinFrame, HitTest) {
  const TFrameSizes f{6, 20, 6, 4};
  const QSize size(200, 100);
  struct Row {
    QPoint P;
    bool Sizeable;
    TFrameHit Hit;
  };
  const Row rows[] = {
      {{100, 50}, true, fhClient},     {{100, 2}, true, fhTop},         {{100, 10}, true, fhCaption},
      {{100, 2}, false, fhCaption},    {{2, 50}, true, fhLeft},         {{2, 50}, false, fhBorder},
      {{197, 50}, true, fhRight},      {{100, 98}, true, fhBottom},     {{2, 2}, true, fhTopLeft},
      {{2, 10}, true, fhTopLeft},      {{10, 1}, true, fhTopLeft},      {{197, 99}, true, fhBottomRight},
      {{190, 98}, true, fhBottomRight}, {{2, 95}, true, fhBottomLeft},  {{198, 3}, true, fhTopRight},
      {{2, 10}, false, fhCaption},     {{250, 10}, true, fhBorder},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(HitTestFrame(r.P, size, f, r.Sizeable), r.Hit) << r.P.x() << "," << r.P.y() << " " << r.Sizeable;
  }
}

class SkinFramePicture : public ::testing::Test {
 protected:
  void SetUp() override { data_ = LoadTestSkin(); }
  std::unique_ptr<TSkinData> data_;
};

TEST_F(SkinFramePicture, EdgesStripAndButtonsActiveAndInactive) {
  const TFrameSizes f = SkinFrameSizes(data_->Skin(), fkFramed);
  EXPECT_EQ(f, (TFrameSizes{EdgeWidth, TopHeight, EdgeWidth, BottomHeight}));
  EXPECT_EQ(SkinFrameSizes(data_->Skin(), fkBorderless), TFrameSizes{});
  struct Row {
    bool Active;
    QColor Left, Right, Top, Bottom, Close, Max;
  };
  const Row rows[] = {
      {true, LeftActive, RightActive, TopActive, BottomActive, CloseFrames[0], MaxFrames[0]},
      // Inactive: frame 4 for a 4-frame button, frame 1 for a 3-frame one.
      {false, LeftInactive, RightInactive, TopInactive, BottomInactive, CloseFrames[3], MaxFrames[0]},
  };
  for (const Row& r : rows) {
    const TFramePicture p = ComposeFrame(*data_, Look({200, 100}, r.Active), {});
    EXPECT_EQ(At(p.Left, 2, 50), r.Left);
    EXPECT_EQ(At(p.Right, 3, 50), r.Right);
    EXPECT_EQ(At(p.Strip, 100, 10), r.Top);
    EXPECT_EQ(At(p.Bottom, 90, 2), r.Bottom);
    // The strip's corners show the side edges' tops.
    EXPECT_EQ(At(p.Strip, 3, 10), r.Left);
    EXPECT_EQ(At(p.Strip, 197, 10), r.Right);
    ASSERT_EQ(p.Buttons.size(), 3u);
    EXPECT_EQ(p.Buttons[0].Bounds, QRect(200 - 22, 3, ButtonWidth, ButtonHeight));
    EXPECT_EQ(p.Buttons[1].Bounds, QRect(200 - 42, 3, ButtonWidth, ButtonHeight));
    EXPECT_EQ(At(p.Strip, 200 - 22 + 8, 10), r.Close);
    EXPECT_EQ(At(p.Strip, 200 - 42 + 8, 10), r.Max);
    // Visibility 3: only while active.
    EXPECT_EQ(p.Buttons[2].Shown, r.Active);
    EXPECT_EQ(At(p.Strip, 12, 10), r.Active ? CustomFrames[0] : r.Top);
  }
}

TEST_F(SkinFramePicture, ButtonStatesOverlayTheirFrames) {
  const QColor expected[] = {CloseFrames[0], CloseFrames[1], CloseFrames[2]};
  for (int state = 1; state <= 3; ++state) {
    const TFramePicture p = ComposeFrame(*data_, Look(), {state, 1, 1});
    EXPECT_EQ(At(p.Strip, 200 - 22 + 8, 10), expected[state - 1]) << "state " << state;
  }
}

TEST_F(SkinFramePicture, CaptionIsDrawnInTheCaptionColour) {
  TFrameLook look = Look({400, 100});
  look.Caption = QString(20, QChar(0x2588));  // full blocks
  QFont font;
  font.setPixelSize(14);
  look.CaptionFont = font;
  const TFramePicture p = ComposeFrame(*data_, look, {});
  // The text box starts at the caption area plus the shift.
  EXPECT_EQ(p.CaptionText.left(), EdgeWidth + 30);
  bool white = false;
  for (int x = p.CaptionText.left(); x < p.CaptionText.left() + 40; ++x) {
    white = white || At(p.Strip, x, TopHeight / 2) == QColor(255, 255, 255);
  }
  EXPECT_TRUE(white);
}

TEST_F(SkinFramePicture, RegionCutsTheMagentaAndKeepsTheRest) {
  const TFramePicture p = ComposeFrame(*data_, Look(), {});
  const std::optional<QRegion> r = FrameRegion(data_->Skin(), p);
  ASSERT_TRUE(r.has_value());
  struct Probe {
    QPoint P;
    bool Inside;
  };
  const Probe probes[] = {
      {{0, 0}, false},  {{1, 0}, false},   {{0, 1}, false},    {{2, 0}, true},   // left corner
      {{199, 0}, false}, {{197, 0}, true},                                     // right corner
      {{100, 0}, false}, {{100, 1}, true},  {{8, 0}, true},                     // top notch, caps
      {{100, 50}, true}, {{100, 99}, true}, {{0, 99}, true},                    // client, bottom
  };
  for (const Probe& pr : probes) EXPECT_EQ(r->contains(pr.P), pr.Inside) << pr.P.x() << "," << pr.P.y();
}

TEST_F(SkinFramePicture, RegionRules) {
  // No transparent edge: the whole window.
  auto opaque = LoadTestSkin(TestSkinPackage());
  for (TDataSkinBorder* e : {&opaque->Skin().Left, &opaque->Skin().Right, &opaque->Skin().Top,
                             &opaque->Skin().Bottom}) {
    e->Trans = 0;
  }
  EXPECT_FALSE(FrameRegion(opaque->Skin(), ComposeFrame(*opaque, Look(), {})).has_value());
  // Only the bottom edge transparent still shapes the window (its
  // rectangle here, for it has no magenta), and the others are whole.
  opaque->Skin().Bottom.Trans = 1;
  const std::optional<QRegion> r = FrameRegion(opaque->Skin(), ComposeFrame(*opaque, Look(), {}));
  ASSERT_TRUE(r.has_value());
  EXPECT_TRUE(r->contains(QPoint(0, 0)));
  EXPECT_TRUE(r->contains(QPoint(100, 0)));
  EXPECT_EQ(r->boundingRect(), QRect(0, 0, 200, 100));
  // The top's shape comes from the strip at the size asked for.
  const TFramePicture wide = ComposeFrame(*data_, Look({300, 80}), {});
  const std::optional<QRegion> w = FrameRegion(data_->Skin(), wide);
  ASSERT_TRUE(w.has_value());
  EXPECT_FALSE(w->contains(QPoint(250, 0)));
  EXPECT_TRUE(w->contains(QPoint(250, 1)));
}
