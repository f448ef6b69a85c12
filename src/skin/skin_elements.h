#pragma once
// The elements of a loaded skin: each is a skin bitmap with the margins
// of its nine-part layout, its frame count and its colours, read from
// one section (or group of keys) of the skin's description.

#include <QColor>
#include <QImage>
#include <memory>
#include <string>
#include <vector>

#include "skin/skin_draw.h"

class TDataSkinObject {
 public:
  explicit TDataSkinObject(std::string name) : Name(std::move(name)) {}
  virtual ~TDataSkinObject() = default;
  TDataSkinObject(const TDataSkinObject&) = default;
  TDataSkinObject& operator=(const TDataSkinObject&) = default;

  // The fixed edges of the nine-part image, in pixels of a frame.
  int LeftWidth = 0;
  int TopHeight = 0;
  int RightWidth = 0;
  int BottomHeight = 0;
  QImage Bitmap;
  // 1: drawn with the transparent colour left out.
  int Trans = 0;
  // 1: the middle parts are repeated instead of stretched. For the four
  // edges this field keeps the description's Stretch value instead, where
  // 1 means stretched and anything else tiled (see TileMiddle).
  int Tile = 0;
  std::string Name;
  // Equal frames side by side (or stacked, for the edges that say so);
  // never below 1.
  int FrameCount = 1;
  // Colours the description gives as integers; invalid when not given.
  QColor NormalColour;
  QColor MouseOverColour;
  QColor PressedColour;
  // Text colours for the normal, hot and pressed states.
  QColor NormalColour2;
  QColor MouseOverColour2;
  QColor PressedColour2;

  TSkinMargins Margins() const { return {LeftWidth, TopHeight, RightWidth, BottomHeight}; }
  bool Empty() const { return Bitmap.isNull(); }
};

// A window edge ("Left", "Right", "Top", "Bottom"), and the elements that
// carry a second picture: Tabs (the page border) and the up-down buttons
// (their glyphs).
class TDataSkinBorder : public TDataSkinObject {
 public:
  using TDataSkinObject::TDataSkinObject;
  QImage Bitmap2;
  // Edges: their middle is stretched when the description's Stretch is 1
  // and tiled otherwise.
  bool TileMiddle() const { return Tile != 1; }
};

// [Buttons]: the push-button picture (5 frames: 1 normal, 2 pressed,
// 3 disabled, 4 hot or focused, 5 spare) and the check-box and
// radio-button pictures.
class TDataSkinButton : public TDataSkinObject {
 public:
  using TDataSkinObject::TDataSkinObject;
  QImage RadioBitmap;
  QImage CheckBitmap;
  int RadioFrameCount = 1;
  int CheckFrameCount = 1;
};

// The caption: its back strip (Bitmap, 2 frames stacked: active and
// inactive) and how the text is placed.
class TDataSkinTitle : public TDataSkinObject {
 public:
  using TDataSkinObject::TDataSkinObject;
  int TextShift = 0;
  int TextShiftVert = 0;
  int TextRightClip = 0;
  int TextAlignment = 0;
  int TextBackground = 0;
  int TextBackLeft = 0;   // TXTBackleft: the strip's left cap
  int TextBackRight = 0;  // TXTBackRight: its right cap
  int FontHeight = 14;
  // [Personality] ActiveText and InActiveText; invalid when not given.
  QColor ActiveText;
  QColor InActiveText;
};

// A title-bar button (a BUTTON section): its picture holds FrameCount
// frames side by side (1 normal, 2 pressed, 3 hot, 4 inactive).
class TDataSkinSysButton : public TDataSkinObject {
 public:
  using TDataSkinObject::TDataSkinObject;
  int Action = 0;
  int Align = 0;
  int Xcoord = 0;
  int Ycoord = 0;
  int CombineOp = -1;
  int Visibility = 0;
  int Visibility1 = 0;
};

// The [Colours] of a skin (system colours stand in for keys it leaves
// out) and the caption colour of inactive windows.
struct TSkinColours {
  QColor WindowText;
  QColor ButtonFace;
  QColor Scrollbar;
  QColor HilightText;
  QColor Hilight;
  QColor Menubar;
  QColor Menu;
  QColor MenuText;
  QColor ButtonText;
  QColor ButtonHilight;
  QColor Buttonlight;
  QColor ButtonShadow;
  QColor ButtonDkShadow;
  QColor MenuBarText;
  QColor TitleTextActive;
  QColor TitleTextInactive;
};

// The system colours: the application's palette when there is one, the
// classic desktop colours otherwise.
TSkinColours SystemSkinColours();

// Everything one skin description gives. Optional elements are null when
// their section names no image.
struct TSkinDescription {
  std::string SkinName;
  TSkinColours Colours = SystemSkinColours();
  std::vector<QColor> ExtraColours;
  TDataSkinTitle Title{"Title"};
  TDataSkinButton Buttons{"Buttons"};
  TDataSkinBorder Left{"Left"};
  TDataSkinBorder Right{"Right"};
  TDataSkinBorder Top{"Top"};
  TDataSkinBorder Bottom{"Bottom"};
  std::vector<TDataSkinSysButton> SysButtons;

  std::unique_ptr<TDataSkinObject> MDIControls;
  std::unique_ptr<TDataSkinObject> Progress;
  std::unique_ptr<TDataSkinObject> MenuBar;
  std::unique_ptr<TDataSkinObject> GroupBoxEdge;
  std::unique_ptr<TDataSkinObject> Toolbars;
  std::unique_ptr<TDataSkinBorder> Tabs;
  std::unique_ptr<TDataSkinObject> StatusBarEdges;
  std::unique_ptr<TDataSkinObject> ComboButton;
  std::unique_ptr<TDataSkinObject> SunkEdge;
  std::unique_ptr<TDataSkinObject> ExtraImages;
  std::unique_ptr<TDataSkinObject> Headerbar;
  std::unique_ptr<TDataSkinObject> MenuItem;
  std::unique_ptr<TDataSkinObject> MenuBackground;
  std::unique_ptr<TDataSkinObject> Scrollbar;
  std::unique_ptr<TDataSkinObject> HorzScroll;
  std::unique_ptr<TDataSkinObject> VertScroll;
  std::unique_ptr<TDataSkinObject> HorzScrollThumb;
  std::unique_ptr<TDataSkinObject> VertScrollThumb;
  std::unique_ptr<TDataSkinBorder> UpDownHorz;
  std::unique_ptr<TDataSkinBorder> UpDownVert;
};
