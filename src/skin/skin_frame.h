#pragma once
// A skinned window's frame worked out without a window: its sizes, which
// title buttons show and where, where the caption goes, the pictures of
// the four edges and of the title strip, the window's shape cut from
// them, and what a point of the frame is for.
//
// Rectangles are given as QRect; where the rules speak of a right or a
// bottom edge, it is the first pixel past the rectangle (left + width).

#include <QFont>
#include <QImage>
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <QString>

#include <optional>
#include <vector>

#include "skin/skin_elements.h"

class QPainter;
class TSkinData;

// Frame kinds.
enum TFrameKind {
  // A window with a caption: the skin draws its frame.
  fkFramed = 0,
  // A borderless window (no caption of its own, or full screen): no
  // skinned frame at all.
  fkBorderless = 2,
  // A window with a border but no caption bar of its own: framed, but
  // title buttons of Visibility 0 stay hidden.
  fkThin = 3,
};

// Caption-button flags of a window.
inline constexpr int cbMaximize = 1;
inline constexpr int cbMinimize = 2;
inline constexpr int cbSystemMenu = 8;

// Show states.
inline constexpr int ssNormal = 0;
inline constexpr int ssMaximized = 1;
inline constexpr int ssMinimized = 2;

struct TFrameSizes {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  QMargins Margins() const { return {Left, Top, Right, Bottom}; }
  friend bool operator==(const TFrameSizes&, const TFrameSizes&) = default;
};

// The frame of a loaded skin: each edge's thickness is its picture's
// size along the edge's depth divided by its frame count (top and bottom
// frames are stacked, left and right side by side); all 0 for a
// borderless window.
TFrameSizes SkinFrameSizes(const TSkinDescription& skin, int frameKind);

// What a window's frame shows, as far as its pictures depend on it.
struct TFrameLook {
  QSize Size;
  bool Active = true;
  int ShowState = ssNormal;
  int FrameKind = fkFramed;
  int CaptionButtons = 0;
  QString Caption;
  QFont CaptionFont;
  // The window's small icon on the transparent colour.
  QImage Icon;
};

// Whether a title button shows: both its Visibility and its Visibility1
// must allow it, and a maximise (Action 1) or minimise (Action 2) button
// needs the window's box. The values 100 belong to multiple-document
// windows, which this program has none of, so they never show.
bool VisibilityAllows(int value, bool visibility, int action, const TFrameLook& look);
bool TitleButtonVisible(const TDataSkinSysButton& button, const TFrameLook& look);

// The system-menu button shows the window's icon in its place.
inline bool IsSystemMenuButton(const TDataSkinSysButton& b) { return b.Action == 3 || b.Action == 11; }

// A button's size: one frame of its picture (the icon's size for a
// system-menu button without a picture).
QSize TitleButtonSize(const TDataSkinSysButton& button, const QImage& icon);

// A button's place by its Align, Xcoord and Ycoord: 0 at (X, Y); 1 at
// (window width - X, Y); 2 and 8 ending X pixels left of the caption
// text; 3 and 9 starting X pixels right of it; 100 in a multiple-document
// menu bar; any other at (0, 0).
QRect PlaceTitleButton(const TDataSkinSysButton& button, QSize size, int windowWidth, const QRect& captionText,
                       const TFrameSizes& frame, int menuHeight, const TSkinDescription& skin);

// Where the caption goes in the caption area: the text box (which the
// caption back strip fills and buttons of Align 2, 3, 8 and 9 lean on)
// and the rectangle the text is drawn into. measured is the text's size
// in the caption font.
struct TCaptionPlace {
  QRect Box;
  QRect Text;
};
TCaptionPlace PlaceCaption(const TDataSkinTitle& title, const QRect& area, QSize measured);

// A title button as the frame drew it.
struct TTitleButtonPlace {
  QRect Bounds;
  bool Shown = false;
};

// The composed frame of a window.
struct TFramePicture {
  QSize Size;
  TFrameSizes Sizes;
  bool Active = true;
  // Left and right edges run the window's full height; the bottom edge
  // lies between them; the title strip is the window's width by the top
  // frame and holds the top edge, the caption and the title buttons.
  QImage Left;
  QImage Right;
  QImage Bottom;
  QImage Strip;
  QRect CaptionText;
  // One per title button of the skin, in its order.
  std::vector<TTitleButtonPlace> Buttons;
  bool Empty() const { return Size.isEmpty(); }
};

// An edge's picture: edge 1 Left, 2 Right, 3 Top, 4 Bottom; frame 1 while
// active and 2 while inactive (1 for a one-frame edge); its caps fixed and
// its middle stretched or tiled.
QImage PaintSkinEdge(const TSkinDescription& skin, int edge, QSize size, bool active);

// Composes the frame. buttonStates holds, for each title button of the
// skin, 1 normal, 2 pressed or 3 hot: the strip draws every shown button
// in frame 1 (frame 4 while inactive, when it has 4 frames), and a
// pressed or hot one once more over that in the frame of its state.
TFramePicture ComposeFrame(const TSkinData& data, const TFrameLook& look, const std::vector<int>& buttonStates);

// The window's shape: the client rectangle joined with each edge's
// opaque pixels (the transparent colour with a tolerance of 1 is cut
// away) or, for an edge that is not transparent or too thin, its whole
// rectangle; the top edge is cut from the composed title strip. Nothing
// (the whole window) when no edge is transparent.
std::optional<QRegion> FrameRegion(const TSkinDescription& skin, const TFramePicture& picture);

// Draws the frame's parts onto a painter on the window.
void PaintFramePicture(QPainter& painter, const TFramePicture& picture);

// What a point of the window is for.
enum TFrameHit {
  fhClient,
  fhCaption,
  fhBorder,
  fhLeft,
  fhRight,
  fhTop,
  fhBottom,
  fhTopLeft,
  fhTopRight,
  fhBottomLeft,
  fhBottomRight,
};

// The sizing bands lie on the frame of a sizeable window in its normal
// state: the whole side and bottom frames, the top 4 pixels of the title
// bar, and 16 pixels along each side from a corner for the corners. The
// rest of the title bar is the caption.
TFrameHit HitTestFrame(QPoint point, QSize size, const TFrameSizes& frame, bool sizeable);
inline constexpr int FrameSizingBand = 4;
inline constexpr int FrameCornerLength = 16;
