#pragma once
// The pictures of the skinned controls, composed without a widget: which
// frame a control shows in which state, where a bitmap button's glyph and
// caption go, the geometry of a skin-drawn scroll bar, and the composed
// images of buttons, scroll bars, up-down buttons, combo boxes, progress
// bars and tab strips. The skinned controls (skin_controls.h) paint what
// these give; tests probe their pixels.

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <cstdint>
#include <vector>

class TDataSkinObject;
class TSkinData;

// ---- The shared routines ----

// Fills rect with the skin's button-face colour.
void FillFace(QImage& target, const QRect& rect, const TSkinData& data);
// Frame frameIndex of frameCount of element's bitmap as a nine-part image
// of rect's size (its margins and Tile), copied leaving out magenta when
// the element's Trans is 1 and opaquely otherwise.
void DrawElementFrame(QImage& target, const QRect& rect, const TDataSkinObject& element, int frameIndex,
                      int frameCount);
// Frame frameIndex of frameCount of a strip (side by side) stretched onto
// rect, magenta left out.
void DrawStripFrame(QImage& target, const QRect& rect, const QImage& strip, int frameIndex, int frameCount);
// The text of a caption box: measured with its line breaks (tabs
// expanded) from rect's top-left, moved down by (height - text height)
// div 2 - 1 and, when centred, right by (width - text width) div 2. Only
// Qt::AlignHCenter centres; Qt::AlignRight ends the text at rect's right.
void DrawSkinCaption(QImage& target, const QRect& rect, const QString& text, Qt::Alignment alignment,
                     const QFont& font, const QColor& colour);
// A tab's glyph (16 x 16, none when the icon is null) and its single-line
// text as one group centred in rect, the text 1 pixel after the glyph;
// each centred vertically.
void DrawGlyphAndText(QImage& target, const QRect& rect, const QIcon& icon, const QString& text, const QFont& font,
                      const QColor& colour);
// The system's button-shadow colour: a disabled control's caption.
QColor SystemShadowColour();

// ---- Buttons ----

struct TButtonState {
  bool Enabled = true;
  bool Focused = false;
  bool Pressed = false;
  bool Hot = false;
  // A speed button that stays down.
  bool Down = false;
};

// A push button's frame of the Buttons element's 5: 1 normal, 4 focused,
// 2 pressed, else 4 hot; 3 disabled.
int ButtonFrame(const TButtonState& s);
// A speed button's frame: 1 normal, 2 pressed, 4 hot, 3 disabled, and 2
// whenever it is down.
int SpeedButtonFrame(const TButtonState& s);
// The glyph image a speed button shows for its frame: 1 for normal and
// hot, 2 disabled, 3 pressed; 1 whenever the strip has fewer images.
int SpeedButtonGlyph(int frame, int numGlyphs);
// The caption colour for a button frame: the element's NormalColour2
// (frame 1), MouseOverColour2 (4), PressedColour2 (2), else the skin's
// button text; the system's shadow colour when disabled.
QColor ButtonTextColour(const TSkinData& data, int frame, bool enabled);

enum TButtonLayout { blGlyphLeft = 0, blGlyphRight = 1, blGlyphTop = 2, blGlyphBottom = 3 };

// Where a bitmap button's glyph and text go inside client (the glyph's
// top-left corner, the text's box and its alignment).
struct TGlyphPlacement {
  QPoint Glyph;
  QRect Text;
  Qt::Alignment TextAlignment = Qt::AlignLeft;
};
// margin and spacing -1 mean "spread"; see the bitmap button's rules.
TGlyphPlacement PlaceGlyph(QSize client, QSize glyph, QSize text, TButtonLayout layout, int margin, int spacing);

// What a button shows.
struct TButtonPicture {
  QSize Size;
  int Frame = 1;
  QString Caption;
  QFont Font;
  QColor TextColour;
  // A glyph strip of NumGlyphs images side by side, its transparent colour
  // its bottom-left pixel; null for none.
  QImage Glyph;
  int NumGlyphs = 1;
  // The image of the strip to draw (from 1).
  int GlyphIndex = 1;
  TButtonLayout Layout = blGlyphLeft;
  int Margin = -1;
  int Spacing = 4;
};
// The face-filled picture with frame Frame of the skin's Buttons element
// (nine-part) and the caption centred, or glyph and caption laid out when
// there is a glyph. A skin without a Buttons picture gives a null image.
QImage ComposeButton(const TSkinData& data, const TButtonPicture& p);
// One image of a glyph strip with its bottom-left pixel's colour made
// transparent.
QImage GlyphImage(const QImage& strip, int numGlyphs, int index);

// ---- Icons on skinned bars and buttons ----

// Whether an icon is a glyph of one dark grey, as the style's stop, play,
// close and window glyphs are: each pixel at least a quarter opaque is
// grey and dark. Such a glyph is drawn for a light face and vanishes on a
// dark one; coloured pictures carry their own contrast.
bool IsDarkGlyph(const QImage& icon);
// The icon in one colour, each pixel keeping its opacity.
QImage TintGlyph(const QImage& icon, const QColor& colour);
// An icon as a skinned bar or button shows it: a dark glyph in the skin's
// button-text colour (which the skin check holds to 3:1 against the face
// and the button pictures), any other icon as it is.
QImage SkinnedIcon(const QImage& icon, const TSkinData& data);
QIcon SkinnedIcon(const QIcon& icon, QSize size, qreal devicePixelRatio, QIcon::State state, const TSkinData& data);

// ---- Check boxes and radio buttons ----

// Frames of the check picture (1 unchecked, 2 checked, 3 disabled) and of
// the radio picture (1, 2, 3 disabled unchecked, 4 disabled checked).
int CheckFrame(bool checked, bool enabled);
int RadioFrame(bool checked, bool enabled);
// Where the check cell (cell wide and high) lies in a control of client's
// size: centred vertically; at the left edge or, with leftText, the right
// one; a cell narrower than 15 centred in a 14-pixel column at that edge,
// a wider one starting at the left edge or ending 1 pixel inside the
// right one.
QRect CheckCell(QSize client, QSize cell, bool leftText);

// ---- Scroll bars ----

// A scroll bar's range as the skin counts it: Max includes the page, so
// the last position reachable is Max - Page + 1.
struct TScrollRange {
  int Min = 0;
  int Max = 0;
  int Page = 0;
  int Pos = 0;
};
// Qt's range (maximum the last reachable value) in the skin's count.
TScrollRange ScrollRangeFromQt(int minimum, int maximum, int pageStep, int value);

// The parts along a bar (offsets from its start, in pixels).
struct TScrollGeometry {
  int Length = 0;  // n
  int Arrow = 0;   // the arrow size, n div 2 when the bar is shorter than two
  int Track = 0;   // T = n - 2 * arrow size
  int Thumb = 0;   // L
  int Offset = 0;  // the thumb's start from the track's start
  bool ThumbShown = false;
};
// The geometry of a bar n long with arrows of size arrow. control: a
// scroll-bar control, whose range counts one more (Max - Min + 1);
// otherwise Max - Min. minThumb: the shortest thumb; pageless: the thumb
// length of a bar without a page. A bar whose range is empty keeps no
// thumb.
TScrollGeometry ScrollGeometry(int n, int arrow, const TScrollRange& range, bool control, int minThumb = 8,
                               int pageless = -1);

enum TScrollPart { spNone, spLineUp, spPageUp, spThumb, spPageDown, spLineDown };
// The part under a coordinate along the bar (first match).
TScrollPart ScrollHitTest(const TScrollGeometry& g, int along);
// The rectangle of a part of a bar of size (horizontal when horizontal).
QRect ScrollPartRect(const TScrollGeometry& g, TScrollPart part, QSize size, bool horizontal);

// The pressed part of a bar: 0 none, 1 left arrow, 2 right arrow, 3 up
// arrow, 4 down arrow, 5 horizontal thumb, 6 vertical thumb.
int PressedScrollPart(TScrollPart part, bool horizontal);
// The bar composed n long and 16 thick in the skin's Scrollbar colour,
// with the track, the two arrows and the thumb, then stretched to size.
// Null when the skin has no Scrollbar picture.
QImage ComposeScrollBar(const TSkinData& data, QSize size, bool horizontal, const TScrollGeometry& g, int pressed);

// ---- Up-down buttons ----

// The state (1 normal, 2 pressed, 3 disabled, 4 hot) of one of the two
// buttons.
int UpDownState(bool enabled, bool underCursor, bool pressed, bool hot);
// The two buttons in area, split at half its height (or width when
// horizontal): first the up (left) one, then the down (right) one.
std::pair<QRect, QRect> UpDownButtons(const QRect& area, bool horizontal);
// Draws one button (direction 0 up, 1 down, 2 left, 3 right) in its
// state: from the UpDown element when its glyphs are there, otherwise
// plainly with an arrow.
void DrawUpDownButton(QImage& target, const QRect& rect, const TSkinData& data, int direction, int state);

// ---- Combo boxes ----

// The drop-down button's frame: 2 pressed, else 4 hot or focused, else 3
// disabled, else 1.
int ComboFrame(bool enabled, bool pressed, bool hotOrFocused);
// The drop-down button at the right edge of a control of size,
// buttonWidth wide over the full height.
QRect ComboButtonRect(QSize size, int buttonWidth);
// Draws the combo box's ring, button and sunken edges onto target (the
// control's size); false when the skin lacks ComboButton or SunkEdge.
bool DrawSkinCombo(QImage& target, const TSkinData& data, const QColor& brush, int buttonWidth, int frame);

// ---- Progress bars ----

// How far the bar reaches from the left of a control width wide:
// (position - min) / (max - min) of the width, clamped, in 64 bits;
// -1 when max is not above min (only the trough is drawn).
int ProgressFill(int width, int min, int max, int position);
QImage ComposeProgress(const TSkinData& data, QSize size, int fill);

// ---- Tabs ----

// Turns of a 32-bit image (in place): upside down; a quarter anticlockwise
// ((x, y) goes to (y, W - 1 - x)); a quarter clockwise ((x, y) goes to
// (H - 1 - y, x)).
void ImgFlipVertical(QImage& image);
void ImgRotate90(QImage& image);
void ImgRotate270(QImage& image);

// Tab positions.
enum TTabPosition { tpTop = 0, tpBottom = 1, tpLeft = 2, tpRight = 3 };
// An item rectangle of a strip of size (bar coordinates) in the strip
// picture (composed upright), so that the picture's turn puts it back.
QRect TabRectInStrip(const QRect& item, TTabPosition position, QSize barSize);
// The tab and border pictures prepared for a position.
struct TTabImages {
  QImage Tab;
  QImage Border;
};
TTabImages PrepareTabImages(const TSkinData& data, TTabPosition position);

struct TTabItem {
  QRect Rect;  // in the bar's coordinates
  QString Text;
  QIcon Icon;
  bool Current = false;
};
// The strip of a bar of size with its items, composed upright and turned
// for the position. Null without a Tabs picture.
QImage ComposeTabStrip(const TSkinData& data, const TTabImages& images, TTabPosition position, QSize size,
                       const std::vector<TTabItem>& items, const QFont& font);

// ---- Status bars ----

enum TPanelBevel { pbLowered = 1, pbRaised = 2, pbNone = 3 };
struct TStatusPanel {
  QRect Rect;
  QString Text;
  TPanelBevel Bevel = pbLowered;
  Qt::Alignment Alignment = Qt::AlignLeft;
};
// The panels of a status bar: in simple mode one lowered left-aligned
// panel over the whole bar with the simple text.
struct TStatusPanels {
  bool Simple = false;
  QString SimpleText;
  std::vector<TStatusPanel> Panels;
};
// The text is the StatusBarEdges element's NormalColour2, or text when
// the skin has no such element.
QImage ComposeStatusBar(const TSkinData& data, QSize size, const TStatusPanels& panels, const QFont& font,
                        const QColor& text);

// ---- Headers ----

// Where a header item's text goes: 4 pixels inside the right edge when
// right-aligned, centred, or 4 pixels from the left edge; always centred
// vertically.
QRect HeaderTextRect(const QRect& item, QSize text, Qt::Alignment alignment);
