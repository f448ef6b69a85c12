#pragma once
// Skinned windows in tests: one QApplication for the test program, and a
// small skin made here of solid colours with magenta cut-outs, whose every
// part has a colour of its own so that a pixel tells where it came from.
//
// The test skin:
//   Left, Right  6 wide, frames side by side (active, inactive); the outer
//                top corner pixels (a 3-pixel triangle) are magenta.
//   Top          20 high, stacked frames, 4-pixel caps; row 0 of the middle
//                is magenta (a notch along the top edge).
//   Bottom       4 high, stacked, no magenta.
//   BUTTON1      close (Action 0), 16 x 14, 4 frames, Align 1, Xcoord 22.
//   BUTTON2      maximise (Action 1, Visibility 2), 3 frames, Xcoord 42.
//   BUTTON3      Action 40, Visibility 3 (active only), Align 0 at (4, 3).
//   MenuItem     5 frames of 20 x 10: 1 and 3 magenta, 2 magenta with two
//                separator rows at its bottom, 4 the selected colour.
//   MenuBackground  12 x 12: a 3-pixel border colour round a middle.
//   menuBar      two stacked frames (active, inactive).

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "skin/skin_data.h"

namespace skintest {

inline const QColor LeftActive{200, 0, 0};
inline const QColor LeftInactive{100, 0, 0};
inline const QColor RightActive{0, 200, 0};
inline const QColor RightInactive{0, 100, 0};
inline const QColor TopActive{0, 0, 200};
inline const QColor TopInactive{0, 0, 100};
inline const QColor BottomActive{200, 200, 0};
inline const QColor BottomInactive{100, 100, 0};
// Close button frames: normal, pressed, hot, inactive.
inline const QColor CloseFrames[4] = {{255, 128, 0}, {0, 255, 255}, {128, 0, 255}, {128, 128, 128}};
// Maximise button frames (3).
inline const QColor MaxFrames[3] = {{10, 10, 10}, {20, 20, 20}, {30, 30, 30}};
inline const QColor CustomFrames[4] = {{40, 0, 0}, {50, 0, 0}, {60, 0, 0}, {70, 0, 0}};
inline const QColor Face{210, 220, 230};
inline const QColor MenuColour{250, 250, 240};
inline const QColor MenuTextColour{1, 2, 3};
inline const QColor ShadowColour{4, 5, 6};
inline const QColor ItemSelected{50, 60, 70};
inline const QColor SeparatorRows{7, 8, 9};
inline const QColor PopupBorder{90, 0, 90};
inline const QColor PopupMiddle{240, 240, 200};
inline const QColor BarActive{0, 90, 90};
inline const QColor BarInactive{0, 45, 45};

constexpr int EdgeWidth = 6;
constexpr int TopHeight = 20;
constexpr int BottomHeight = 4;
constexpr int ButtonWidth = 16;
constexpr int ButtonHeight = 14;

// The package of the test skin; changes to the description (extra lines
// per section) can be given as "[Section]\nKey=Value" text appended.
std::vector<std::uint8_t> TestSkinPackage(const std::string& extra = "");

// A skin component holding the test skin (or package), not yet active.
std::unique_ptr<TSkinData> LoadTestSkin(const std::vector<std::uint8_t>& package = TestSkinPackage());

// The colour of a pixel.
QColor At(const QImage& image, int x, int y);
// What a window shows: rendered into an image first filled with sentinel.
QImage Rendered(QWidget& window, QColor sentinel = QColor(1, 254, 1));

}  // namespace skintest

// Installs the real skin manager for each test and removes it afterwards,
// with every window the test left behind.
class SkinWindowTest : public ::testing::Test {
 public:
  // Waits until the manager's waiting action has run (its timer may fire
  // late on a loaded machine), then settles.
  static void RunAction();

 protected:
  void SetUp() override;
  void TearDown() override;
  // A component with the test skin, made and switched on.
  TSkinData& ActiveSkin(const std::vector<std::uint8_t>& package = skintest::TestSkinPackage());
  // Lets the posted set-up messages (and anything else queued) run.
  static void Settle(int ms = 0);

  std::unique_ptr<TSkinData> skin_;
};
