#pragma once
// The parameters of the four stored skins: colours, sizes and the style
// of their frames, title buttons and controls. Everything the skin author
// paints follows from these.

#include <string>
#include <vector>

#include "skin/author/skin_picture.h"

enum class TTitleButtonStyle {
  Glyph,   // the glyph alone; a rounded tint behind it when hot or pressed
  Flat,    // full-height blocks that light up when hot
  Circle,  // coloured discs
  Bevel    // raised little buttons that sink when pressed
};

// What lies under the caption text.
enum class TTextBackStyle { Band, Underline, Pill, Plate };

enum class TControlStyle {
  Soft,  // rounded, a light gradient
  Flat,  // nearly square, no gradient
  Round, // well rounded
  Bevel  // square with a raised edge
};

// The title bar and frame in one window state.
struct TFrameColours {
  TRgb TitleTop;
  TRgb TitleBottom;
  TRgb Outline;
  TRgb Border;
  // A line under the title; the title's bottom colour when the same.
  TRgb TitleLine;
  TRgb Text;
  TRgb Glyph;
};

struct TSkinDesign {
  std::string SkinName;

  // The window frame, in pixels.
  int TitleHeight = 28;
  int BorderWidth = 4;
  int BottomHeight = 4;
  double TopCorner = 0;
  double BottomCorner = 0;
  TCornerStyle Corners = TCornerStyle::Round;
  // A light line just inside the top outline, and its colour.
  bool Gloss = false;
  TRgb GlossColour;
  // A line between the side borders and the window's inside.
  bool InnerLine = true;
  TFrameColours Active;
  TFrameColours Inactive;

  // The caption: 0 left (after the window icon), 1 centred.
  int TextAlignment = 0;
  TTextBackStyle TextBack = TTextBackStyle::Band;
  TRgb TextBackColour;
  double TextBackStrength = 0.15;

  TTitleButtonStyle TitleButtons = TTitleButtonStyle::Glyph;
  int TitleButtonWidth = 24;
  int TitleButtonHeight = 18;
  int TitleButtonGap = 2;
  double GlyphWidth = 1.5;
  int GlyphSize = 8;
  TRgb CloseColour;
  TRgb MaximiseColour;
  TRgb MinimiseColour;
  // Bevel and circle buttons: the face and the glyph.
  TRgb TitleButtonFace;
  TRgb TitleButtonGlyph;
  TRgb InactiveButtonFace;

  // The menu bar.
  TRgb MenuBarTop;
  TRgb MenuBarBottom;
  TRgb MenuBarLine;
  TRgb MenuBarText;

  // The colours of the window's inside.
  TRgb Face;
  TRgb Light;
  TRgb Shadow;
  TRgb DarkShadow;
  TRgb Text;
  TRgb Accent;
  TRgb AccentText;
  TRgb Menu;
  TRgb MenuText;
  TRgb Input;
  TRgb ScrollTrack;
  TRgb Thumb;

  TControlStyle Controls = TControlStyle::Soft;
  double ControlCorner = 3;
  TRgb ButtonTop;
  TRgb ButtonBottom;
  TRgb ButtonBorder;
  TRgb ButtonText;
  // The text of a selected tab.
  TRgb SelectedTabText;
};

// The four stored skins, in the order of the Skin menu.
const std::vector<TSkinDesign>& StoredSkinDesigns();
