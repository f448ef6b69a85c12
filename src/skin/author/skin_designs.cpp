#include "skin/author/skin_design.h"

namespace {

// Cool blue-grey with a glossy title and soft rounded controls.
TSkinDesign Slate() {
  TSkinDesign d;
  d.SkinName = "Slate";
  d.TitleHeight = 28;
  d.BorderWidth = 4;
  d.BottomHeight = 4;
  d.TopCorner = 7;
  d.BottomCorner = 2;
  d.Corners = TCornerStyle::Round;
  d.Gloss = true;
  d.GlossColour = Rgb(112, 146, 194);
  d.Active = {Rgb(70, 104, 152), Rgb(44, 72, 116), Rgb(28, 48, 80), Rgb(44, 72, 116), Rgb(32, 56, 92),
              Rgb(255, 255, 255), Rgb(255, 255, 255)};
  d.Inactive = {Rgb(125, 138, 156), Rgb(103, 117, 137), Rgb(84, 95, 112), Rgb(103, 117, 137), Rgb(95, 108, 127),
                Rgb(242, 244, 247), Rgb(230, 233, 238)};
  d.TextAlignment = 0;
  d.TextBack = TTextBackStyle::Band;
  d.TextBackColour = Rgb(255, 255, 255);
  d.TextBackStrength = 0.08;
  d.TitleButtons = TTitleButtonStyle::Glyph;
  d.TitleButtonWidth = 26;
  d.TitleButtonHeight = 20;
  d.TitleButtonGap = 2;
  d.GlyphWidth = 1.6;
  d.GlyphSize = 9;
  d.CloseColour = Rgb(208, 71, 63);
  d.MenuBarTop = Rgb(246, 248, 251);
  d.MenuBarBottom = Rgb(228, 233, 240);
  d.MenuBarLine = Rgb(201, 210, 222);
  d.MenuBarText = Rgb(30, 38, 48);
  d.Face = Rgb(233, 237, 242);
  d.Light = Rgb(255, 255, 255);
  d.Shadow = Rgb(150, 162, 178);
  d.DarkShadow = Rgb(93, 107, 125);
  d.Text = Rgb(30, 38, 48);
  d.Accent = Rgb(48, 94, 154);
  d.AccentText = Rgb(255, 255, 255);
  d.Menu = Rgb(250, 251, 252);
  d.MenuText = Rgb(30, 38, 48);
  d.Input = Rgb(255, 255, 255);
  d.ScrollTrack = Rgb(221, 227, 234);
  d.Thumb = Rgb(170, 182, 198);
  d.Controls = TControlStyle::Soft;
  d.ControlCorner = 3;
  d.ButtonTop = Rgb(253, 254, 255);
  d.ButtonBottom = Rgb(225, 231, 238);
  d.ButtonBorder = Rgb(150, 162, 178);
  d.ButtonText = Rgb(30, 38, 48);
  d.SelectedTabText = Rgb(30, 38, 48);
  return d;
}

// Dark charcoal with square corners, flat title blocks and an orange
// accent.
TSkinDesign Graphite() {
  TSkinDesign d;
  d.SkinName = "Graphite";
  d.TitleHeight = 30;
  d.BorderWidth = 4;
  d.BottomHeight = 4;
  d.TopCorner = 0;
  d.BottomCorner = 0;
  d.Corners = TCornerStyle::Square;
  d.Gloss = false;
  d.InnerLine = false;
  d.Active = {Rgb(52, 55, 60), Rgb(43, 46, 51), Rgb(18, 19, 22), Rgb(43, 46, 51), Rgb(43, 46, 51),
              Rgb(242, 242, 242), Rgb(232, 232, 232)};
  d.Inactive = {Rgb(60, 63, 68), Rgb(54, 57, 62), Rgb(30, 32, 35), Rgb(54, 57, 62), Rgb(54, 57, 62),
                Rgb(158, 162, 168), Rgb(140, 144, 150)};
  d.TextAlignment = 0;
  d.TextBack = TTextBackStyle::Underline;
  d.TextBackColour = Rgb(240, 145, 75);
  d.TitleButtons = TTitleButtonStyle::Flat;
  d.TitleButtonWidth = 40;
  d.TitleButtonHeight = 28;
  d.TitleButtonGap = 0;
  d.GlyphWidth = 1.1;
  d.GlyphSize = 10;
  d.CloseColour = Rgb(196, 43, 28);
  d.MenuBarTop = Rgb(43, 46, 51);
  d.MenuBarBottom = Rgb(40, 43, 48);
  d.MenuBarLine = Rgb(28, 30, 33);
  d.MenuBarText = Rgb(230, 230, 230);
  d.Face = Rgb(47, 50, 55);
  d.Light = Rgb(78, 83, 90);
  d.Shadow = Rgb(112, 117, 125);
  d.DarkShadow = Rgb(20, 21, 23);
  d.Text = Rgb(230, 230, 230);
  d.Accent = Rgb(240, 145, 75);
  d.AccentText = Rgb(27, 27, 27);
  d.Menu = Rgb(38, 40, 44);
  d.MenuText = Rgb(230, 230, 230);
  d.Input = Rgb(31, 33, 36);
  d.ScrollTrack = Rgb(39, 41, 45);
  d.Thumb = Rgb(90, 95, 103);
  d.Controls = TControlStyle::Flat;
  d.ControlCorner = 1.5;
  d.ButtonTop = Rgb(64, 68, 74);
  d.ButtonBottom = Rgb(58, 62, 68);
  d.ButtonBorder = Rgb(90, 95, 103);
  d.ButtonText = Rgb(237, 237, 237);
  d.SelectedTabText = Rgb(240, 145, 75);
  return d;
}

// Leaf green and cream: big round corners, a centred caption on a pill and
// round title buttons.
TSkinDesign Meadow() {
  TSkinDesign d;
  d.SkinName = "Meadow";
  d.TitleHeight = 28;
  d.BorderWidth = 5;
  d.BottomHeight = 5;
  d.TopCorner = 10;
  d.BottomCorner = 4;
  d.Corners = TCornerStyle::Round;
  d.Gloss = true;
  d.GlossColour = Rgb(138, 190, 116);
  d.Active = {Rgb(94, 158, 74), Rgb(59, 116, 49), Rgb(39, 82, 33), Rgb(59, 116, 49), Rgb(44, 92, 38),
              Rgb(255, 255, 255), Rgb(58, 42, 32)};
  d.Inactive = {Rgb(147, 168, 139), Rgb(124, 145, 116), Rgb(98, 115, 92), Rgb(124, 145, 116), Rgb(110, 130, 103),
                Rgb(243, 246, 241), Rgb(120, 130, 116)};
  d.TextAlignment = 1;
  d.TextBack = TTextBackStyle::Pill;
  d.TextBackColour = Rgb(0, 0, 0);
  d.TextBackStrength = 0.25;
  d.TitleButtons = TTitleButtonStyle::Circle;
  d.TitleButtonWidth = 22;
  d.TitleButtonHeight = 20;
  d.TitleButtonGap = 0;
  d.GlyphWidth = 1.5;
  d.GlyphSize = 6;
  d.CloseColour = Rgb(229, 103, 95);
  d.MaximiseColour = Rgb(244, 211, 94);
  d.MinimiseColour = Rgb(247, 243, 227);
  d.TitleButtonGlyph = Rgb(58, 42, 32);
  d.InactiveButtonFace = Rgb(197, 206, 192);
  d.MenuBarTop = Rgb(248, 246, 236);
  d.MenuBarBottom = Rgb(236, 232, 214);
  d.MenuBarLine = Rgb(211, 205, 179);
  d.MenuBarText = Rgb(44, 58, 36);
  d.Face = Rgb(241, 238, 226);
  d.Light = Rgb(255, 255, 255);
  d.Shadow = Rgb(163, 158, 136);
  d.DarkShadow = Rgb(110, 106, 88);
  d.Text = Rgb(44, 58, 36);
  d.Accent = Rgb(56, 112, 46);
  d.AccentText = Rgb(255, 255, 255);
  d.Menu = Rgb(251, 250, 244);
  d.MenuText = Rgb(44, 58, 36);
  d.Input = Rgb(255, 255, 252);
  d.ScrollTrack = Rgb(230, 226, 210);
  d.Thumb = Rgb(176, 192, 164);
  d.Controls = TControlStyle::Round;
  d.ControlCorner = 5;
  d.ButtonTop = Rgb(255, 255, 251);
  d.ButtonBottom = Rgb(232, 228, 211);
  d.ButtonBorder = Rgb(168, 163, 140);
  d.ButtonText = Rgb(44, 58, 36);
  d.SelectedTabText = Rgb(44, 58, 36);
  return d;
}

// Wine red and ivory: chamfered corners, the caption on an engraved plate
// and classic raised buttons.
TSkinDesign Rosewood() {
  TSkinDesign d;
  d.SkinName = "Rosewood";
  d.TitleHeight = 27;
  d.BorderWidth = 5;
  d.BottomHeight = 5;
  d.TopCorner = 6;
  d.BottomCorner = 3;
  d.Corners = TCornerStyle::Chamfer;
  d.Gloss = false;
  d.Active = {Rgb(147, 64, 76), Rgb(106, 41, 52), Rgb(69, 24, 32), Rgb(106, 41, 52), Rgb(201, 162, 90),
              Rgb(255, 244, 230), Rgb(90, 30, 39)};
  d.Inactive = {Rgb(150, 127, 132), Rgb(126, 106, 110), Rgb(94, 78, 82), Rgb(126, 106, 110), Rgb(168, 150, 128),
                Rgb(255, 248, 240), Rgb(122, 108, 108)};
  d.TextAlignment = 0;
  d.TextBack = TTextBackStyle::Plate;
  d.TextBackColour = Rgb(201, 162, 90);
  d.TextBackStrength = 0.22;
  d.TitleButtons = TTitleButtonStyle::Bevel;
  d.TitleButtonWidth = 21;
  d.TitleButtonHeight = 18;
  d.TitleButtonGap = 2;
  d.GlyphWidth = 1.8;
  d.GlyphSize = 7;
  d.CloseColour = Rgb(242, 196, 188);
  d.TitleButtonFace = Rgb(232, 213, 204);
  d.TitleButtonGlyph = Rgb(90, 30, 39);
  d.InactiveButtonFace = Rgb(196, 182, 178);
  d.MenuBarTop = Rgb(246, 236, 228);
  d.MenuBarBottom = Rgb(234, 219, 208);
  d.MenuBarLine = Rgb(205, 181, 166);
  d.MenuBarText = Rgb(59, 34, 38);
  d.Face = Rgb(243, 233, 225);
  d.Light = Rgb(255, 255, 255);
  d.Shadow = Rgb(168, 143, 133);
  d.DarkShadow = Rgb(107, 80, 72);
  d.Text = Rgb(59, 34, 38);
  d.Accent = Rgb(142, 59, 70);
  d.AccentText = Rgb(255, 255, 255);
  d.Menu = Rgb(251, 245, 240);
  d.MenuText = Rgb(59, 34, 38);
  d.Input = Rgb(255, 253, 251);
  d.ScrollTrack = Rgb(234, 221, 211);
  d.Thumb = Rgb(205, 178, 167);
  d.Controls = TControlStyle::Bevel;
  d.ControlCorner = 0;
  d.ButtonTop = Rgb(251, 243, 238);
  d.ButtonBottom = Rgb(233, 217, 207);
  d.ButtonBorder = Rgb(140, 112, 102);
  d.ButtonText = Rgb(59, 34, 38);
  d.SelectedTabText = Rgb(59, 34, 38);
  return d;
}

}  // namespace

const std::vector<TSkinDesign>& StoredSkinDesigns() {
  static const std::vector<TSkinDesign> designs = {Slate(), Graphite(), Meadow(), Rosewood()};
  return designs;
}
