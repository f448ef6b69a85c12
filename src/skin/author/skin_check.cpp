#include "skin/author/skin_check.h"

#include <algorithm>
#include <optional>

#include "core/inifile.h"
#include "core/strings.h"

namespace {

struct TImageRule {
  const char* Section;
  const char* Key;
  int Frames;              // fixed count, or 0: read from FrameKey
  const char* FrameKey;    // in the same section
  bool Stacked;
  bool HasMargins;         // LeftWidth, TopHeight, RightWidth, BottomHeight
};

// Every image of a complete skin, with how it divides into frames.
const TImageRule ImageRules[] = {
    {"Personality", "Left", 0, "LeftFrame", false, false},
    {"Personality", "Right", 0, "RightFrame", false, false},
    {"Personality", "Top", 0, "TopFrame", true, false},
    {"Personality", "Bottom", 0, "BottomFrame", true, false},
    {"Personality", "TextBack", 2, nullptr, true, false},
    {"Personality", "menuBar", 2, nullptr, true, false},
    {"Buttons", "Bitmap", 5, nullptr, false, true},
    {"Buttons", "CheckButton", 0, "CheckButtonFrame", false, false},
    {"Buttons", "RadioButton", 0, "RadioButtonFrame", false, false},
    {"Progress", "Bitmap", 2, nullptr, false, true},
    {"Tabs", "Image", 5, nullptr, false, true},
    {"Tabs", "Border", 1, nullptr, false, false},
    {"StatusBarEdges", "Image", 3, nullptr, false, true},
    {"ComboButton", "Image", 4, nullptr, false, false},
    {"SunkEdge", "Image", 4, nullptr, false, true},
    {"ExtraImages", "Image", 5, nullptr, false, false},
    {"Headerbar", "Image", 5, nullptr, false, true},
    {"MenuItem", "Image", 5, nullptr, false, true},
    {"MenuBackground", "Image", 1, nullptr, false, true},
    {"Scrollbar", "Image", 23, nullptr, false, false},
    {"HorzScroll", "Image", 4, nullptr, false, true},
    {"VertScroll", "Image", 4, nullptr, false, true},
    {"HorzScrollThumb", "Image", 0, "FrameCount", false, true},
    {"VertScrollThumb", "Image", 0, "FrameCount", false, true},
    {"UpDown.Horz", "Image", 8, nullptr, false, false},
    {"UpDown.Horz", "GlyphImage", 8, nullptr, false, false},
    {"UpDown.Vert", "Image", 8, nullptr, false, false},
    {"UpDown.Vert", "GlyphImage", 8, nullptr, false, false},
};

// Keys a complete skin gives besides its images.
const std::vector<std::pair<std::string, std::vector<std::string>>>& RequiredKeys() {
  static const std::vector<std::pair<std::string, std::vector<std::string>>> keys = [] {
    std::vector<std::pair<std::string, std::vector<std::string>>> k = {
        {"TitlebarSkin", {"SkinName"}},
        {"Personality",
         {"TextShift", "TextShiftVert", "TextRightClip", "TextAlignment", "TXTBackleft", "TXTBackRight", "TileMenu",
          "TileLeftMenu", "TileRightMenu", "ActiveTextR", "ActiveTextG", "ActiveTextB", "InActiveTextR",
          "InActiveTextG", "InActiveTextB"}},
        {"Fonts", {"FontHeight"}},
        {"Colours",
         {"WindowText", "ButtonFace", "Scrollbar", "HilightText", "Hilight", "Menubar", "Menu", "MenuText",
          "ButtonText", "ButtonHilight", "Buttonlight", "ButtonShadow", "ButtonDkShadow", "MenuBarText",
          "TitleTextActive"}},
        {"Buttons", {"Trans", "NormalColour2", "MouseOverColour2", "PressedColour2"}},
        {"Progress", {"Trans", "Tile"}},
    };
    for (const char* edge : {"Left", "Right", "Top", "Bottom"}) {
      for (const char* part : {"TopHeight", "BotHeight", "Frame", "Stretch", "Trans"}) {
        k[1].second.push_back(std::string(edge) + part);
      }
    }
    return k;
  }();
  return keys;
}

struct TRegion {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
};

class TChecker {
 public:
  explicit TChecker(const TSkinSource& source) : source_(source), ini_(TIniFile::FromText(source.Ini)) {}

  std::vector<std::string> Run() {
    Keys();
    Images();
    Buttons();
    Pixels();
    Contrasts();
    return problems_;
  }

 private:
  void Problem(const std::string& text) { problems_.push_back(text); }

  std::string Image(const std::string& section, const std::string& key) const {
    return ini_.ReadString(section, key, "");
  }
  const TSkinPicture* Picture(const std::string& section, const std::string& key) const {
    const std::string name = Image(section, key);
    return name.empty() ? nullptr : source_.Picture(LowerCase(name));
  }

  void Keys() {
    for (const auto& [section, keys] : RequiredKeys()) {
      for (const std::string& key : keys) {
        if (!ini_.ValueExists(section, key)) Problem("[" + section + "] " + key + " is missing");
      }
    }
  }

  int FrameCount(const TImageRule& rule, const std::string& section) const {
    return rule.Frames > 0 ? rule.Frames : ini_.ReadInteger(section, rule.FrameKey, 0);
  }

  // The frame of a picture, or nothing when the picture does not divide.
  static std::optional<TRegion> Frame(const TSkinPicture& p, int count, int index, bool stacked) {
    if (count < 1) return std::nullopt;
    if (stacked) {
      if (p.Height() % count != 0) return std::nullopt;
      const int h = p.Height() / count;
      return TRegion{0, (index - 1) * h, p.Width(), index * h};
    }
    if (p.Width() % count != 0) return std::nullopt;
    const int w = p.Width() / count;
    return TRegion{(index - 1) * w, 0, index * w, p.Height()};
  }

  void CheckImage(const TImageRule& rule, const std::string& section) {
    const std::string where = "[" + section + "] " + rule.Key;
    const std::string name = Image(section, rule.Key);
    if (name.empty()) {
      Problem(where + " names no image");
      return;
    }
    if (name != LowerCase(name) || name.size() < 5 || name.substr(name.size() - 4) != ".bmp") {
      Problem(where + " \"" + name + "\" is not a lower-case .bmp name");
    }
    const TSkinPicture* p = source_.Picture(LowerCase(name));
    if (!p) {
      Problem(where + " \"" + name + "\" is not in the skin");
      return;
    }
    const int count = FrameCount(rule, section);
    if (rule.FrameKey && !ini_.ValueExists(section, rule.FrameKey)) Problem(where + ": its frame count is not written");
    const auto frame = Frame(*p, count, 1, rule.Stacked);
    if (!frame) {
      Problem(where + " \"" + name + "\" does not divide into " + std::to_string(count) + " frames");
      return;
    }
    if (rule.HasMargins) {
      const int l = ini_.ReadInteger(section, "LeftWidth", 0);
      const int t = ini_.ReadInteger(section, "TopHeight", 0);
      const int r = ini_.ReadInteger(section, "RightWidth", 0);
      const int b = ini_.ReadInteger(section, "BottomHeight", 0);
      if (l < 0 || t < 0 || r < 0 || b < 0 || l + r >= frame->Right - frame->Left || t + b >= frame->Bottom - frame->Top) {
        Problem(where + ": its margins leave no middle in a frame");
      }
    }
  }

  void Images() {
    for (const TImageRule& rule : ImageRules) CheckImage(rule, rule.Section);
  }

  void Buttons() {
    std::vector<int> actions;
    for (const std::string& section : ini_.ReadSections()) {
      const std::string upper = UpperCase(section);
      if (upper.rfind("BUTTON", 0) != 0 || upper == "BUTTONS" || upper == "BUTTON.RADIO" || upper == "BUTTON.CHECKBOX") {
        continue;
      }
      for (const char* key : {"Action", "Align", "Xcoord", "Ycoord", "Visibility", "Visibility1", "CombineOp", "frame"}) {
        if (!ini_.ValueExists(section, key)) Problem("[" + section + "] " + key + " is missing");
      }
      actions.push_back(ini_.ReadInteger(section, "Action", -1));
      if (!Image(section, "ButtonImage").empty()) {
        CheckImage(TImageRule{"", "ButtonImage", 0, "frame", false, false}, section);
      } else if (ini_.ReadInteger(section, "frame", 0) != 1) {
        Problem("[" + section + "] without an image shows the window icon: its frame count must be 1");
      }
    }
    for (int action : {0, 1, 2, 3}) {
      if (std::find(actions.begin(), actions.end(), action) == actions.end()) {
        Problem("no title button has the action " + std::to_string(action));
      }
    }
  }

  void Pixels() {
    for (const auto& [name, p] : source_.Pictures) {
      for (int y = 0; y < p.Height(); ++y) {
        for (int x = 0; x < p.Width(); ++x) {
          if (p.Opaque(x, y) && (p.At(x, y) == SkinKey || p.At(x, y) == SkinKeyNear)) {
            Problem(name + ": the opaque pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                    ") would be transparent");
            return;
          }
        }
      }
    }
  }

  // A colour given as "r,g,b".
  std::optional<TRgb> TextColour(const std::string& section, const std::string& key) const {
    const std::string text = ini_.ReadString(section, key, "");
    int values[3] = {0, 0, 0};
    int n = 0;
    bool inNumber = false;
    for (char c : text) {
      if (c >= '0' && c <= '9') {
        if (!inNumber && n == 3) return std::nullopt;
        if (!inNumber) ++n;
        inNumber = true;
        values[n - 1] = std::min(255, values[n - 1] * 10 + (c - '0'));
      } else {
        inNumber = false;
      }
    }
    if (n != 3) return std::nullopt;
    return Rgb(values[0], values[1], values[2]);
  }
  std::optional<TRgb> KeyColour(const std::string& section, const std::string& key) const {
    const int r = ini_.ReadInteger(section, key + "R", -1);
    const int g = ini_.ReadInteger(section, key + "G", -1);
    const int b = ini_.ReadInteger(section, key + "B", -1);
    if (r < 0 || g < 0 || b < 0 || r > 255 || g > 255 || b > 255) return std::nullopt;
    return Rgb(r, g, b);
  }

  // The opaque pixels of a frame's middle (inside its margins), or of
  // given rows of it.
  std::vector<TRgb> Middle(const std::string& section, const std::string& key, int frames, int index, bool stacked,
                           bool margins) const {
    std::vector<TRgb> colours;
    const TSkinPicture* p = Picture(section, key);
    if (!p) return colours;
    const auto frame = Frame(*p, frames, index, stacked);
    if (!frame) return colours;
    const int l = margins ? ini_.ReadInteger(section, "LeftWidth", 0) : 0;
    const int t = margins ? ini_.ReadInteger(section, "TopHeight", 0) : 0;
    const int r = margins ? ini_.ReadInteger(section, "RightWidth", 0) : 0;
    const int b = margins ? ini_.ReadInteger(section, "BottomHeight", 0) : 0;
    for (int y = frame->Top + t; y < frame->Bottom - b; ++y) {
      for (int x = frame->Left + l; x < frame->Right - r; ++x) {
        if (p->Opaque(x, y)) colours.push_back(p->At(x, y));
      }
    }
    return colours;
  }

  // What a caption stands on: the caption's back strip where it is
  // opaque, the title elsewhere, over the rows the text takes.
  std::vector<TRgb> CaptionBack(int frame) const {
    std::vector<TRgb> colours;
    const TSkinPicture* top = Picture("Personality", "Top");
    const TSkinPicture* back = Picture("Personality", "TextBack");
    if (!top || !back || top->Height() % 2 != 0 || back->Height() % 2 != 0) return colours;
    const int th = top->Height() / 2;
    const int bh = back->Height() / 2;
    const int capLeft = ini_.ReadInteger("Personality", "TXTBackleft", 0);
    const int capRight = ini_.ReadInteger("Personality", "TXTBackRight", 0);
    const int titleColumn = top->Width() / 2;
    for (int y = th / 2 - 6; y < th / 2 + 6; ++y) {
      for (int x = capLeft; x < back->Width() - capRight; ++x) {
        const int by = (frame - 1) * bh + y;
        if (y < bh && back->Opaque(x, by)) {
          colours.push_back(back->At(x, by));
        } else {
          colours.push_back(top->At(titleColumn, (frame - 1) * th + y));
        }
      }
    }
    return colours;
  }

  void Contrast(const std::string& what, std::optional<TRgb> text, const std::vector<TRgb>& backs, double least) {
    if (!text) {
      Problem(what + ": no colour given");
      return;
    }
    if (backs.empty()) {
      Problem(what + ": nothing to compare it with");
      return;
    }
    double worst = 21;
    for (TRgb b : backs) worst = std::min(worst, ContrastRatio(*text, b));
    if (worst < least) {
      Problem(what + ": contrast " + std::to_string(worst).substr(0, 4) + " is below " + std::to_string(least).substr(0, 3));
    }
  }

  void Contrasts() {
    const auto colour = [&](const char* key) { return TextColour("Colours", key); };
    const auto one = [](std::optional<TRgb> c) { return c ? std::vector<TRgb>{*c} : std::vector<TRgb>{}; };
    const double text = 4.5;
    Contrast("active caption", KeyColour("Personality", "ActiveText"), CaptionBack(1), text);
    Contrast("inactive caption", KeyColour("Personality", "InActiveText"), CaptionBack(2), 3.0);
    Contrast("TitleTextActive", colour("TitleTextActive"), CaptionBack(1), text);
    for (int frame : {1, 2}) {
      Contrast("menu bar text", colour("MenuBarText"), Middle("Personality", "menuBar", 2, frame, true, false), text);
    }
    Contrast("menu bar text on the plain bar", colour("MenuBarText"), one(colour("Menubar")), text);
    Contrast("hot menu-bar item outline", colour("ButtonHilight"), Middle("Personality", "menuBar", 2, 1, true, false),
             2.0);
    Contrast("menu text", colour("MenuText"), one(colour("Menu")), text);
    Contrast("menu text on the menu frame", colour("MenuText"), Middle("MenuBackground", "Image", 1, 1, false, true), text);
    Contrast("selected menu text", colour("HilightText"), one(colour("Hilight")), text);
    Contrast("selected menu item text", TextColour("MenuItem", "MouseOverColour2"), Middle("MenuItem", "Image", 5, 4, false, true),
             text);
    Contrast("window text", colour("WindowText"), one(colour("ButtonFace")), text);
    // Skinned windows draw their links in the highlight colour.
    Contrast("link text", colour("Hilight"), one(colour("ButtonFace")), text);
    Contrast("button text", colour("ButtonText"), one(colour("ButtonFace")), text);
    Contrast("disabled text", colour("ButtonShadow"), one(colour("ButtonFace")), 2.0);
    Contrast("disabled menu text", colour("ButtonShadow"), one(colour("Menu")), 2.0);
    Contrast("button caption", TextColour("Buttons", "NormalColour2"), Middle("Buttons", "Bitmap", 5, 1, false, true), text);
    Contrast("hot button caption", TextColour("Buttons", "MouseOverColour2"), Middle("Buttons", "Bitmap", 5, 4, false, true),
             text);
    Contrast("pressed button caption", TextColour("Buttons", "PressedColour2"),
             Middle("Buttons", "Bitmap", 5, 2, false, true), text);
    Contrast("tab text", TextColour("Tabs", "NormalColour2"), Middle("Tabs", "Image", 5, 1, false, true), text);
    Contrast("selected tab text", TextColour("Tabs", "MouseOverColour2"), Middle("Tabs", "Image", 5, 2, false, true), text);
    for (int frame : {1, 2, 3}) {
      Contrast("status bar text", TextColour("StatusBarEdges", "NormalColour2"),
               Middle("StatusBarEdges", "Image", 3, frame, false, true), text);
    }
    Contrast("header text", TextColour("Headerbar", "NormalColour2"), Middle("Headerbar", "Image", 5, 1, false, true), text);
    // Single-colour glyphs on the tool bars and buttons of a skinned
    // window are drawn in the button-text colour: non-text contrast on the
    // face the bars show and on the button pictures a glyph sits on.
    const double glyph = 3.0;
    Contrast("glyphs on the bars", colour("ButtonText"), one(colour("ButtonFace")), glyph);
    const std::pair<int, const char*> pictures[] = {{1, "normal"}, {2, "pressed"}, {4, "hot"}};
    for (const auto& [frame, state] : pictures) {
      Contrast(std::string("glyphs on the ") + state + " button", colour("ButtonText"),
               Middle("Buttons", "Bitmap", 5, frame, false, true), glyph);
    }
  }

  const TSkinSource& source_;
  TIniFile ini_;
  std::vector<std::string> problems_;
};

}  // namespace

std::vector<std::string> CheckSkin(const TSkinSource& source) { return TChecker(source).Run(); }
