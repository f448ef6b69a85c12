#include "skin/author/skin_builder.h"

#include <algorithm>
#include <cmath>

#include "core/inifile.h"
#include "core/strings.h"

namespace {

constexpr TRgb Black = Rgb(0, 0, 0);
constexpr TRgb White = Rgb(255, 255, 255);
// The corner caps of the top and bottom edges.
constexpr int EdgeCap = 14;
constexpr int EdgeMiddle = 24;
// The caps and middle of the caption's back strip and of the menu bar.
constexpr int TextBackCap = 10;
constexpr int MenuBarHeight = 20;
constexpr int SmallIcon = 16;

enum class TTitleGlyph { Close, Maximise, Restore, Minimise };
// The title button frames: 1 normal, 2 pressed, 3 hot, 4 inactive.
enum class TTitleState { Normal, Pressed, Hot, Inactive };

// Everything a design's pictures share while they are painted.
class TSkinPainter {
 public:
  explicit TSkinPainter(const TSkinDesign& d) : d_(d) {}

  TSkinSource Build();

 private:
  int BottomCap() const { return std::max(d_.BottomHeight, static_cast<int>(std::ceil(d_.BottomCorner)) + 1); }
  TSkinPicture FrameTemplate(const TFrameColours& c) const;
  void Edges();
  TRgb TitleAt(bool active, int y) const;
  TSkinPicture TitleButton(TTitleGlyph glyph, TTitleState state) const;
  void TitleButtons();
  void TextBack();
  void MenuBar();
  void PushButtons();
  void Checks();
  void Progress();
  void Tabs();
  void StatusBar();
  void Combo();
  void Header();
  void Menus();
  void ScrollBars();
  void UpDowns();

  // The outline and face of a control over a known background: edges
  // are blended into bg and what the shape does not touch is left
  // transparent.
  void ControlFace(TSkinPicture& p, const TShape& shape, TRgb top, TRgb bottom, TRgb border, TRgb bg,
                   bool sunken = false) const;
  double Corner() const { return d_.ControlCorner; }
  TCornerStyle CornerStyle() const {
    return d_.Controls == TControlStyle::Bevel ? TCornerStyle::Square : TCornerStyle::Round;
  }
  void Arrow(TSkinPicture& p, int direction, int tipX, int tipY, int depth, TRgb c) const;

  void Add(const std::string& name, TSkinPicture picture) { source_.Pictures.emplace_back(name, std::move(picture)); }
  void Put(const std::string& section, const std::string& key, const std::string& value) {
    ini_.WriteString(section, key, value);
  }
  void Put(const std::string& section, const std::string& key, int value) { ini_.WriteInteger(section, key, value); }
  void Put(const std::string& section, const std::string& key, TRgb value) {
    ini_.WriteString(section, key, RgbText(value));
  }
  struct TElementKeys {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Trans = 0;
    const char* ImageKey = "Image";
  };
  // An element section: its picture, the key that names it, its margins
  // and Trans; no element of ours tiles.
  void Element(const std::string& section, const std::string& file, TSkinPicture picture, const TElementKeys& keys) {
    Add(file, std::move(picture));
    Put(section, keys.ImageKey, file);
    Put(section, "LeftWidth", keys.Left);
    Put(section, "TopHeight", keys.Top);
    Put(section, "RightWidth", keys.Right);
    Put(section, "BottomHeight", keys.Bottom);
    Put(section, "Trans", keys.Trans);
    Put(section, "Tile", 0);
  }
  void TextColours(const std::string& section, TRgb normal, TRgb hot, TRgb pressed) {
    Put(section, "NormalColour2", normal);
    Put(section, "MouseOverColour2", hot);
    Put(section, "PressedColour2", pressed);
  }

  const TSkinDesign& d_;
  TSkinSource source_;
  TIniFile ini_ = TIniFile::FromText("");
  TSkinPicture activeTop_;
  TSkinPicture inactiveTop_;
};

// ---- Window frame --------------------------------------------------------------

TSkinPicture TSkinPainter::FrameTemplate(const TFrameColours& c) const {
  const int l = d_.BorderWidth;
  const int t = d_.TitleHeight;
  const int w = 2 * l + 2 * EdgeCap + EdgeMiddle;
  const int h = t + 24 + BottomCap();
  TSkinPicture p(w, h);
  const TShape outer{0, 0, static_cast<double>(w), static_cast<double>(h), d_.TopCorner, d_.BottomCorner, d_.Corners};
  p.FillShape(outer, c.Outline);
  const TShape inner = outer.Inset(1);
  p.FillShape(inner, c.Border);
  TShape title = inner;
  title.Bottom = t - 1;
  title.BottomCorner = 0;
  p.FillShapeVertical(title, c.TitleTop, c.TitleBottom);
  for (int x = 1; x < w - 1; ++x) p.Set(x, t - 1, c.TitleLine);
  if (d_.Gloss) {
    for (int x = 0; x < w; ++x) {
      if (inner.Contains(x + 0.5, 1.5)) p.Cover(x, 1, d_.GlossColour, 0.8);
    }
  }
  if (d_.InnerLine) {
    const TRgb line = Mix(c.Border, Black, 0.3);
    const int b = d_.BottomHeight;
    for (int y = t; y <= h - b; ++y) {
      p.Set(l - 1, y, line);
      p.Set(w - l, y, line);
    }
    for (int x = l - 1; x <= w - l; ++x) p.Set(x, h - b, line);
  }
  p.Fill(l, t, w - l, h - d_.BottomHeight, d_.Face);
  return p;
}

void TSkinPainter::Edges() {
  const TSkinPicture active = FrameTemplate(d_.Active);
  const TSkinPicture inactive = FrameTemplate(d_.Inactive);
  const int l = d_.BorderWidth;
  const int w = active.Width();
  const int h = active.Height();
  const int t = d_.TitleHeight;
  const int b = d_.BottomHeight;
  Add("left.bmp", FramesSideBySide({active.Crop(0, 0, l, h), inactive.Crop(0, 0, l, h)}));
  Add("right.bmp", FramesSideBySide({active.Crop(w - l, 0, w, h), inactive.Crop(w - l, 0, w, h)}));
  activeTop_ = active.Crop(l, 0, w - l, t);
  inactiveTop_ = inactive.Crop(l, 0, w - l, t);
  Add("top.bmp", FramesStacked({activeTop_, inactiveTop_}));
  Add("bottom.bmp", FramesStacked({active.Crop(l, h - b, w - l, h), inactive.Crop(l, h - b, w - l, h)}));

  const char* section = "Personality";
  const bool shaped = d_.TopCorner > 0 || d_.BottomCorner > 0;
  struct Edge {
    const char* Name;
    int First;
    int Second;
  };
  const Edge edges[] = {{"Left", t, BottomCap()}, {"Right", t, BottomCap()}, {"Top", EdgeCap, EdgeCap},
                        {"Bottom", EdgeCap, EdgeCap}};
  for (const Edge& e : edges) {
    const std::string n = e.Name;
    Put(section, n, LowerCase(n) + ".bmp");
    Put(section, n + "TopHeight", e.First);
    Put(section, n + "BotHeight", e.Second);
    Put(section, n + "Frame", 2);
    Put(section, n + "Stretch", 1);
    Put(section, n + "Trans", shaped ? 1 : 0);
  }
}

TRgb TSkinPainter::TitleAt(bool active, int y) const {
  const TSkinPicture& top = active ? activeTop_ : inactiveTop_;
  return top.At(EdgeCap + EdgeMiddle / 2, std::clamp(y, 0, top.Height() - 1));
}

// ---- Title buttons -------------------------------------------------------------

void DrawTitleGlyph(TSkinPicture& p, TTitleGlyph glyph, double cx, double cy, int size, double width, TRgb c) {
  // Pixel centres, so that straight strokes of about one pixel stay sharp.
  const double l = std::floor(cx - size / 2.0) + 0.5;
  const double t = std::floor(cy - size / 2.0) + 0.5;
  const double r = l + size - 1;
  const double b = t + size - 1;
  switch (glyph) {
    case TTitleGlyph::Close:
      p.Line(l, t, r, b, width * 1.15, c);
      p.Line(l, b, r, t, width * 1.15, c);
      break;
    case TTitleGlyph::Maximise:
      p.Line(l, t, r, t, width * 1.6, c);
      p.Line(l, b, r, b, width, c);
      p.Line(l, t, l, b, width, c);
      p.Line(r, t, r, b, width, c);
      break;
    case TTitleGlyph::Restore: {
      const double step = std::max(2.0, std::round(size / 4.0));
      p.Line(l, t + step, r - step, t + step, width * 1.4, c);
      p.Line(l, b, r - step, b, width, c);
      p.Line(l, t + step, l, b, width, c);
      p.Line(r - step, t + step, r - step, b, width, c);
      p.Line(l + step, t, r, t, width, c);
      p.Line(r, t, r, b - step, width, c);
      p.Line(l + step, t, l + step, t + step, width, c);
      p.Line(r - step, b - step, r, b - step, width, c);
      break;
    }
    case TTitleGlyph::Minimise:
      p.Line(l, b, r, b, width * 1.3, c);
      break;
  }
}

TSkinPicture TSkinPainter::TitleButton(TTitleGlyph glyph, TTitleState state) const {
  const int w = d_.TitleButtonWidth;
  const int h = d_.TitleButtonHeight;
  const int y0 = (d_.TitleHeight - h) / 2;
  const bool active = state != TTitleState::Inactive;
  const bool close = glyph == TTitleGlyph::Close;
  TSkinPicture p(w, h);
  for (int y = 0; y < h; ++y) p.Fill(0, y, w, y + 1, TitleAt(active, y0 + y));
  const TFrameColours& fc = active ? d_.Active : d_.Inactive;
  TRgb glyphColour = fc.Glyph;
  bool showGlyph = true;
  double dx = 0;
  switch (d_.TitleButtons) {
    case TTitleButtonStyle::Glyph: {
      const TShape shape = RectShape(1, 0, w - 1, h, 4);
      if (state == TTitleState::Hot) p.FillShape(shape, close ? d_.CloseColour : White, close ? 1.0 : 0.22);
      if (state == TTitleState::Pressed) p.FillShape(shape, close ? Mix(d_.CloseColour, Black, 0.25) : Black, close ? 1.0 : 0.22);
      break;
    }
    case TTitleButtonStyle::Flat:
      if (state == TTitleState::Hot) p.Fill(0, 0, w, h, close ? d_.CloseColour : Mix(d_.Active.TitleTop, White, 0.12));
      if (state == TTitleState::Pressed) {
        p.Fill(0, 0, w, h, close ? Mix(d_.CloseColour, Black, 0.25) : Mix(d_.Active.TitleBottom, Black, 0.3));
      }
      if (state == TTitleState::Hot && close) glyphColour = White;
      break;
    case TTitleButtonStyle::Circle: {
      TRgb face = close ? d_.CloseColour : (glyph == TTitleGlyph::Minimise ? d_.MinimiseColour : d_.MaximiseColour);
      if (state == TTitleState::Hot) face = Mix(face, White, 0.3);
      if (state == TTitleState::Pressed) face = Mix(face, Black, 0.2);
      if (!active) face = d_.InactiveButtonFace;
      const double size = std::min(w, h) - 6;
      const double cx = w / 2.0;
      const double cy = h / 2.0;
      const TShape disc{cx - size / 2, cy - size / 2, cx + size / 2, cy + size / 2, size / 2, size / 2,
                        TCornerStyle::Round};
      p.FillShape(disc, Mix(face, Black, active ? 0.35 : 0.2));
      p.FillShape(disc.Inset(1), face);
      glyphColour = Mix(d_.TitleButtonGlyph, face, state == TTitleState::Normal ? 0.25 : 0.0);
      showGlyph = active;
      break;
    }
    case TTitleButtonStyle::Bevel: {
      TRgb face = active ? d_.TitleButtonFace : d_.InactiveButtonFace;
      if (state == TTitleState::Hot) face = close ? d_.CloseColour : Mix(face, White, 0.45);
      if (state == TTitleState::Pressed) face = Mix(face, Black, 0.12);
      const bool sunken = state == TTitleState::Pressed;
      p.Fill(0, 0, w, h, Mix(face, Black, active ? 0.6 : 0.35));
      p.FillVertical(1, 1, w - 1, h - 1, Mix(face, White, 0.3), face);
      const TRgb lightLine = sunken ? Mix(face, Black, 0.25) : Mix(face, White, 0.7);
      const TRgb darkLine = sunken ? Mix(face, White, 0.4) : Mix(face, Black, 0.25);
      p.Fill(1, 1, w - 1, 2, lightLine);
      p.Fill(1, 1, 2, h - 1, lightLine);
      p.Fill(1, h - 2, w - 1, h - 1, darkLine);
      p.Fill(w - 2, 1, w - 1, h - 1, darkLine);
      glyphColour = active ? d_.TitleButtonGlyph : Mix(d_.TitleButtonGlyph, face, 0.5);
      if (sunken) dx = 1;
      break;
    }
  }
  if (showGlyph) {
    DrawTitleGlyph(p, glyph, w / 2.0 + dx, h / 2.0 + dx, d_.GlyphSize, d_.GlyphWidth, glyphColour);
  }
  return p;
}

void TSkinPainter::TitleButtons() {
  struct Button {
    const char* File;
    TTitleGlyph Glyph;
    int Action;
    int Visibility;
    int Slot;  // 0 the rightmost
  };
  const Button buttons[] = {{"close.bmp", TTitleGlyph::Close, 0, 0, 0},
                            {"maximise.bmp", TTitleGlyph::Maximise, 1, 2, 1},
                            {"restore.bmp", TTitleGlyph::Restore, 1, 1, 1},
                            {"minimise.bmp", TTitleGlyph::Minimise, 2, 0, 2}};
  const int y = (d_.TitleHeight - d_.TitleButtonHeight) / 2;
  const int edge = d_.TitleButtons == TTitleButtonStyle::Flat ? d_.BorderWidth : d_.BorderWidth + 3;
  int n = 1;
  int leftmost = 0;
  for (const Button& b : buttons) {
    std::vector<TSkinPicture> frames;
    for (TTitleState s : {TTitleState::Normal, TTitleState::Pressed, TTitleState::Hot, TTitleState::Inactive}) {
      frames.push_back(TitleButton(b.Glyph, s));
    }
    Add(b.File, FramesSideBySide(frames));
    const std::string section = "BUTTON" + std::to_string(n++);
    const int x = edge + (b.Slot + 1) * d_.TitleButtonWidth + b.Slot * d_.TitleButtonGap;
    leftmost = std::max(leftmost, x);
    Put(section, "ButtonImage", b.File);
    Put(section, "Action", b.Action);
    Put(section, "Align", 1);
    Put(section, "Xcoord", x);
    Put(section, "Ycoord", y);
    Put(section, "Visibility", b.Visibility);
    Put(section, "Visibility1", 0);
    Put(section, "CombineOp", -1);
    Put(section, "frame", 4);
  }
  // The system menu shows the window's icon in its place.
  const std::string section = "BUTTON" + std::to_string(n);
  Put(section, "Action", 3);
  Put(section, "Align", 0);
  Put(section, "Xcoord", d_.BorderWidth + 5);
  Put(section, "Ycoord", (d_.TitleHeight - SmallIcon) / 2);
  Put(section, "Visibility", 0);
  Put(section, "Visibility1", 0);
  Put(section, "CombineOp", -1);
  Put(section, "frame", 1);

  const char* p = "Personality";
  Put(p, "TextShift", 5 + SmallIcon + 6);
  Put(p, "TextShiftVert", 0);
  // The caption stops short of the title buttons.
  Put(p, "TextRightClip", leftmost - d_.BorderWidth + 6);
  Put(p, "TextAlignment", d_.TextAlignment);
}

// ---- Caption back and menu bar -------------------------------------------------

void TSkinPainter::TextBack() {
  const int t = d_.TitleHeight;
  const int w = 2 * TextBackCap + 12;
  std::vector<TSkinPicture> frames;
  for (bool active : {true, false}) {
    TSkinPicture p(w, t);
    for (int y = 0; y < t; ++y) p.Fill(0, y, w, y + 1, TitleAt(active, y));
    const auto bgAt = [&](int, int y) { return TitleAt(active, y); };
    TShape shape;
    switch (d_.TextBack) {
      case TTextBackStyle::Band:
        shape = RectShape(1, 5, w - 1, t - 5, (t - 10) / 2.0);
        p.FillShape(shape, d_.TextBackColour, active ? d_.TextBackStrength : d_.TextBackStrength * 0.6);
        break;
      case TTextBackStyle::Underline:
        shape = RectShape(3, t - 6, w - 3, t - 4, 1);
        p.FillShape(shape, active ? d_.TextBackColour : Mix(d_.TextBackColour, TitleAt(false, t - 5), 0.65));
        break;
      case TTextBackStyle::Pill:
        shape = RectShape(0, 4, w, t - 4, (t - 8) / 2.0);
        p.FillShape(shape, d_.TextBackColour, d_.TextBackStrength);
        break;
      case TTextBackStyle::Plate: {
        shape = RectShape(0, 4, w, t - 4, 3);
        const TRgb line = active ? d_.TextBackColour : Mix(d_.TextBackColour, TitleAt(false, t / 2), 0.5);
        p.FillShape(shape, line);
        p.FillShapeWith(shape.Inset(1), [&](int x, int y) { return Mix(bgAt(x, y), Black, d_.TextBackStrength); });
        break;
      }
    }
    p.EraseOutside(shape);
    frames.push_back(p);
  }
  Add("textback.bmp", FramesStacked(frames));
  const char* s = "Personality";
  Put(s, "TextBack", "textback.bmp");
  Put(s, "TXTBackleft", TextBackCap);
  Put(s, "TXTBackRight", TextBackCap);
  Put(s, "Textbackground", 1);
  const TRgb active = d_.Active.Text;
  const TRgb inactive = d_.Inactive.Text;
  Put(s, "ActiveTextR", active.R);
  Put(s, "ActiveTextG", active.G);
  Put(s, "ActiveTextB", active.B);
  Put(s, "InActiveTextR", inactive.R);
  Put(s, "InActiveTextG", inactive.G);
  Put(s, "InActiveTextB", inactive.B);
}

void TSkinPainter::MenuBar() {
  const int w = 20;
  std::vector<TSkinPicture> frames;
  for (double fade : {0.0, 0.5}) {
    TSkinPicture p(w, MenuBarHeight);
    p.FillVertical(0, 0, w, MenuBarHeight - 1, Mix(d_.MenuBarTop, d_.Face, fade), Mix(d_.MenuBarBottom, d_.Face, fade));
    p.Fill(0, MenuBarHeight - 1, w, MenuBarHeight, d_.MenuBarLine);
    frames.push_back(p);
  }
  Add("menubar.bmp", FramesStacked(frames));
  const char* s = "Personality";
  Put(s, "menuBar", "menubar.bmp");
  Put(s, "TileMenu", 0);
  Put(s, "TileLeftMenu", 2);
  Put(s, "TileRightMenu", 2);
}

// ---- Controls ------------------------------------------------------------------

void TSkinPainter::ControlFace(TSkinPicture& p, const TShape& shape, TRgb top, TRgb bottom, TRgb border, TRgb bg,
                               bool sunken) const {
  p.Fill(static_cast<int>(shape.Left), static_cast<int>(shape.Top), static_cast<int>(std::ceil(shape.Right)),
         static_cast<int>(std::ceil(shape.Bottom)), bg);
  p.FillShape(shape, border);
  const TShape inside = shape.Inset(1);
  p.FillShapeVertical(inside, top, bottom);
  if (d_.Controls == TControlStyle::Bevel) {
    const int l = static_cast<int>(inside.Left);
    const int t = static_cast<int>(inside.Top);
    const int r = static_cast<int>(inside.Right);
    const int b = static_cast<int>(inside.Bottom);
    const TRgb lightLine = sunken ? Mix(bottom, Black, 0.18) : d_.Light;
    const TRgb darkLine = sunken ? Mix(top, d_.Light, 0.5) : Mix(bottom, Black, 0.15);
    p.Fill(l, t, r, t + 1, lightLine);
    p.Fill(l, t, l + 1, b, lightLine);
    p.Fill(l, b - 1, r, b, darkLine);
    p.Fill(r - 1, t, r, b, darkLine);
  } else if (d_.Controls == TControlStyle::Soft && !sunken) {
    TShape gloss = inside;
    gloss.Bottom = inside.Top + 1;
    gloss.BottomCorner = 0;
    p.FillShape(gloss, White, 0.6);
  }
  p.EraseOutside(shape);
}

void TSkinPainter::PushButtons() {
  const int m = static_cast<int>(std::ceil(Corner())) + 3;
  const int w = 2 * m + 12;
  const int h = 2 * m + 10;
  const TShape shape = RectShape(0, 0, w, h, Corner(), CornerStyle());
  struct Look {
    TRgb Top, Bottom, Border;
    bool Sunken;
  };
  const TRgb hotBorder = d_.Accent;
  const Look looks[] = {
      {d_.ButtonTop, d_.ButtonBottom, d_.ButtonBorder, false},
      {Mix(d_.ButtonBottom, d_.Shadow, 0.3), Mix(d_.ButtonBottom, d_.Shadow, 0.1), Mix(d_.ButtonBorder, d_.DarkShadow, 0.4), true},
      {Mix(d_.Face, d_.Light, 0.25), Mix(d_.Face, d_.Light, 0.25), Mix(d_.ButtonBorder, d_.Face, 0.5), false},
      {Mix(d_.ButtonTop, d_.Light, 0.5), Mix(d_.ButtonBottom, d_.Accent, 0.08), hotBorder, false},
      {d_.ButtonTop, d_.ButtonBottom, Mix(d_.ButtonBorder, d_.Accent, 0.6), false},
  };
  std::vector<TSkinPicture> frames;
  for (const Look& look : looks) {
    TSkinPicture p(w, h);
    ControlFace(p, shape, look.Top, look.Bottom, look.Border, d_.Face, look.Sunken);
    frames.push_back(p);
  }
  const char* s = "Buttons";
  Element(s, "button.bmp", FramesSideBySide(frames), {m, m, m, m, 1, "Bitmap"});
  TextColours(s, d_.ButtonText, d_.ButtonText, d_.ButtonText);
}

void TSkinPainter::Checks() {
  const int size = 13;
  const TRgb border = Mix(d_.Shadow, d_.DarkShadow, 0.35);
  const TRgb disabledBorder = Mix(d_.Shadow, d_.Face, 0.45);
  const TRgb disabledFill = Mix(d_.Input, d_.Face, 0.6);
  const bool bevel = d_.Controls == TControlStyle::Bevel;
  const double corner = bevel ? 0 : std::min(3.0, Corner());
  const auto box = [&](TRgb edge, TRgb fill) {
    TSkinPicture p(size, size);
    ControlFace(p, RectShape(0, 0, size, size, corner), fill, fill, edge, d_.Face, true);
    return p;
  };
  const auto tick = [&](TSkinPicture& p, TRgb c) {
    p.Line(3.2, 6.6, 5.6, 9.0, 1.8, c);
    p.Line(5.6, 9.0, 10.0, 3.8, 1.8, c);
  };
  TSkinPicture unchecked = box(border, d_.Input);
  TSkinPicture checked = bevel ? box(border, d_.Input) : box(d_.Accent, d_.Accent);
  tick(checked, bevel ? d_.Accent : d_.AccentText);
  TSkinPicture disabled = box(disabledBorder, disabledFill);
  Add("check.bmp", FramesSideBySide({unchecked, checked, disabled}));

  const TShape circle = RectShape(0, 0, size, size, size / 2.0);
  const TShape dot{3.5, 3.5, 9.5, 9.5, 3, 3, TCornerStyle::Round};
  const auto radio = [&](TRgb edge, TRgb fill, bool on, TRgb dotColour) {
    TSkinPicture p(size, size);
    p.Fill(0, 0, size, size, d_.Face);
    p.FillShape(circle, edge);
    p.FillShape(circle.Inset(1), fill);
    if (on) p.FillShape(dot, dotColour);
    p.EraseOutside(circle);
    return p;
  };
  Add("radio.bmp", FramesSideBySide({radio(border, d_.Input, false, d_.Accent), radio(d_.Accent, d_.Input, true, d_.Accent),
                                      radio(disabledBorder, disabledFill, false, d_.Shadow),
                                      radio(disabledBorder, disabledFill, true, d_.Shadow)}));
  const char* s = "Buttons";
  Put(s, "CheckButton", "check.bmp");
  Put(s, "CheckButtonFrame", 3);
  Put(s, "RadioButton", "radio.bmp");
  Put(s, "RadioButtonFrame", 4);
}

void TSkinPainter::Progress() {
  const int h = 14;
  const double corner = d_.Controls == TControlStyle::Round ? h / 2.0 : std::min(3.0, Corner());
  const int m = static_cast<int>(std::ceil(corner)) + 2;
  // A round bar's ends take its whole height: keep a middle row to stretch.
  const int mv = std::min(m, (h - 1) / 2);
  const int w = 2 * m + 8;
  const TShape shape = RectShape(0, 0, w, h, corner, CornerStyle());
  const TRgb trough = Mix(d_.ScrollTrack, d_.Input, 0.3);
  TSkinPicture back(w, h);
  ControlFace(back, shape, Mix(trough, d_.Shadow, 0.15), trough, Mix(d_.Shadow, d_.Face, 0.2), d_.Face, true);
  TSkinPicture bar(w, h);
  ControlFace(bar, shape, Mix(d_.Accent, White, 0.3), d_.Accent, Mix(d_.Accent, Black, 0.25), trough);
  Element("Progress", "progress.bmp", FramesSideBySide({back, bar}), {m, mv, m, mv, 1, "Bitmap"});
}

void TSkinPainter::Tabs() {
  const int w = 48;
  const int h = 24;
  const double corner = d_.Controls == TControlStyle::Bevel ? 0 : std::max(2.0, Corner());
  const int m = static_cast<int>(std::ceil(corner)) + 2;
  // The top margin keeps the outline, the raised line and the accent out
  // of what is stretched.
  const int mt = static_cast<int>(std::ceil(corner)) + 5;
  const TRgb border = d_.Shadow;
  const auto tab = [&](TRgb top, TRgb bottom, bool selected, bool accent) {
    TSkinPicture p(w, h);
    p.Fill(0, 0, w, h, d_.Face);
    const TShape shape{0, selected ? 0.0 : 2.0, static_cast<double>(w), static_cast<double>(h + (selected ? 1 : 0)),
                       corner, 0, CornerStyle()};
    p.FillShape(shape, border);
    TShape inside = shape.Inset(1);
    p.FillShapeVertical(inside, top, bottom);
    if (accent) {
      TShape line = inside;
      line.Bottom = inside.Top + 2;
      p.FillShape(line, d_.Accent);
    } else if (d_.Controls == TControlStyle::Bevel) {
      p.Fill(static_cast<int>(inside.Left), static_cast<int>(inside.Top), static_cast<int>(inside.Right),
             static_cast<int>(inside.Top) + 1, d_.Light);
    }
    if (!selected) p.Fill(0, h - 1, w, h, border);
    p.EraseOutside(shape);
    return p;
  };
  const bool accent = d_.Controls != TControlStyle::Bevel;
  const TRgb idleTop = Mix(d_.Face, d_.Shadow, 0.06);
  const TRgb idleBottom = Mix(d_.Face, d_.Shadow, 0.16);
  TSkinPicture normal = tab(idleTop, idleBottom, false, false);
  const char* s = "Tabs";
  Element(s, "tabs.bmp", FramesSideBySide({normal, tab(Mix(d_.Face, d_.Light, 0.3), d_.Face, true, accent),
                                     tab(Mix(d_.Face, d_.Light, 0.2), Mix(d_.Face, d_.Light, 0.2), false, false),
                                     tab(Mix(idleTop, d_.Light, 0.4), Mix(idleBottom, d_.Light, 0.3), false, false),
                                     normal}),
          {m, mt, m, 2, 1});
  TSkinPicture page(16, 16);
  page.Fill(0, 0, 16, 16, border);
  page.Fill(1, 1, 15, 15, d_.Face);
  if (d_.Controls == TControlStyle::Bevel) {
    page.Fill(1, 1, 15, 2, d_.Light);
    page.Fill(1, 1, 2, 15, d_.Light);
  }
  Add("tabborder.bmp", page);
  Put(s, "Border", "tabborder.bmp");
  TextColours(s, d_.Text, d_.SelectedTabText, d_.Text);
}

void TSkinPainter::StatusBar() {
  const int size = 12;
  const TRgb dark = Mix(d_.Face, d_.Shadow, 0.7);
  const TRgb light = Mix(d_.Face, d_.Light, 0.8);
  const auto panel = [&](TRgb topLeft, TRgb bottomRight) {
    TSkinPicture p(size, size);
    p.Fill(0, 0, size, size, d_.Face);
    p.Fill(0, 0, size, 1, topLeft);
    p.Fill(0, 0, 1, size, topLeft);
    p.Fill(0, size - 1, size, size, bottomRight);
    p.Fill(size - 1, 0, size, size, bottomRight);
    return p;
  };
  TSkinPicture none(size, size);
  none.Fill(0, 0, size, size, d_.Face);
  const char* s = "StatusBarEdges";
  Element(s, "statusbar.bmp", FramesSideBySide({panel(dark, light), panel(light, dark), none}), {2, 2, 2, 2, 0});
  TextColours(s, d_.Text, d_.Text, d_.Text);
}

void TSkinPainter::Arrow(TSkinPicture& p, int direction, int tipX, int tipY, int depth, TRgb c) const {
  // direction: 0 left, 1 right, 2 up, 3 down; a filled triangle whose
  // point is at the tip, 2 * depth - 1 pixels across its base.
  for (int k = 0; k < depth; ++k) {
    for (int j = -k; j <= k; ++j) {
      switch (direction) {
        case 0: p.Set(tipX + k, tipY + j, c); break;
        case 1: p.Set(tipX - k, tipY + j, c); break;
        case 2: p.Set(tipX + j, tipY + k, c); break;
        default: p.Set(tipX + j, tipY - k, c); break;
      }
    }
  }
}

void TSkinPainter::Combo() {
  const int w = 18;
  const int h = 20;
  const TRgb tops[] = {d_.ButtonTop, Mix(d_.ButtonBottom, d_.Shadow, 0.3), Mix(d_.Face, d_.Light, 0.25),
                       Mix(d_.ButtonTop, d_.Light, 0.5)};
  const TRgb bottoms[] = {d_.ButtonBottom, Mix(d_.ButtonBottom, d_.Shadow, 0.1), Mix(d_.Face, d_.Light, 0.25),
                          Mix(d_.ButtonBottom, d_.Accent, 0.08)};
  std::vector<TSkinPicture> frames;
  for (int i = 0; i < 4; ++i) {
    TSkinPicture p(w, h);
    p.FillVertical(0, 0, w, h, tops[i], bottoms[i]);
    p.Fill(0, 0, 1, h, i == 3 ? d_.Accent : d_.ButtonBorder);
    frames.push_back(p);
  }
  Element("ComboButton", "combobutton.bmp", FramesSideBySide(frames), {1, 1, 1, 1, 1});

  const TRgb glyphs[] = {d_.Text, d_.Text, d_.Shadow, d_.Accent, d_.Text};
  std::vector<TSkinPicture> arrows;
  for (TRgb c : glyphs) {
    TSkinPicture p(9, 5);
    Arrow(p, 3, 4, 4, 5, c);
    arrows.push_back(p);
  }
  Element("ExtraImages", "comboarrow.bmp", FramesSideBySide(arrows), {0, 0, 0, 0, 1});

  const auto edge = [&](TRgb outer) {
    TSkinPicture p(8, 8);
    p.Fill(0, 0, 8, 8, d_.Input);
    p.Fill(0, 0, 8, 1, outer);
    p.Fill(0, 0, 1, 8, outer);
    p.Fill(0, 7, 8, 8, outer);
    p.Fill(7, 0, 8, 8, outer);
    p.Fill(1, 1, 7, 2, Mix(d_.Input, d_.Shadow, 0.25));
    p.Fill(1, 1, 2, 7, Mix(d_.Input, d_.Shadow, 0.25));
    return p;
  };
  const TRgb frame = Mix(d_.ButtonBorder, d_.DarkShadow, 0.15);
  Element("SunkEdge", "sunkedge.bmp",
          FramesSideBySide({edge(frame), edge(d_.Accent), edge(Mix(frame, d_.Face, 0.5)), edge(frame)}), {2, 2, 2, 2, 0});
}

void TSkinPainter::Header() {
  const int size = 20;
  const TRgb base = Mix(d_.Face, d_.Light, 0.45);
  const TRgb tops[] = {base, Mix(d_.Face, d_.Shadow, 0.2), d_.Face, Mix(base, d_.Light, 0.5), base};
  std::vector<TSkinPicture> frames;
  for (TRgb top : tops) {
    TSkinPicture p(size, size);
    p.FillVertical(0, 0, size, size - 1, top, d_.Face);
    p.Fill(0, size - 1, size, size, d_.Shadow);
    p.Fill(size - 2, 3, size - 1, size - 4, Mix(d_.Face, d_.Shadow, 0.7));
    p.Fill(size - 1, 3, size, size - 4, Mix(d_.Face, d_.Light, 0.7));
    frames.push_back(p);
  }
  const char* s = "Headerbar";
  Element(s, "header.bmp", FramesSideBySide(frames), {3, 3, 3, 3, 0});
  TextColours(s, d_.Text, d_.Text, d_.Text);
}

void TSkinPainter::Menus() {
  const int w = 24;
  const int h = 20;
  TSkinPicture blank(w, h);
  TSkinPicture separator(w, h);
  separator.Fill(4, h - 5, w - 4, h - 4, Mix(d_.Menu, d_.Shadow, 0.55));
  if (d_.Controls == TControlStyle::Bevel) separator.Fill(4, h - 4, w - 4, h - 3, d_.Light);
  const double corner = d_.Controls == TControlStyle::Flat ? 0 : std::min(3.0, std::max(2.0, Corner()));
  TSkinPicture selected(w, h);
  const TShape shape = RectShape(1, 1, w - 1, h - 1, corner, CornerStyle());
  selected.Fill(0, 0, w, h, d_.Menu);
  selected.FillShapeVertical(shape, Mix(d_.Accent, White, d_.Controls == TControlStyle::Soft ? 0.12 : 0.0), d_.Accent);
  selected.EraseOutside(shape);
  const char* s = "MenuItem";
  Element(s, "menuitem.bmp", FramesSideBySide({blank, separator, blank, selected, selected}), {4, 4, 4, 4, 1});
  TextColours(s, d_.MenuText, d_.AccentText, d_.AccentText);

  TSkinPicture back(24, 24);
  back.Fill(0, 0, 24, 24, Mix(d_.Shadow, d_.DarkShadow, 0.3));
  back.Fill(1, 1, 23, 23, d_.Menu);
  Element("MenuBackground", "menuback.bmp", back, {4, 4, 4, 4, 0});
}

void TSkinPainter::ScrollBars() {
  const int size = 16;
  const double corner = d_.Controls == TControlStyle::Round ? 4 : (d_.Controls == TControlStyle::Soft ? 2 : 0);
  // The arrow buttons: normal, pressed, hot, disabled for each direction,
  // then spare blank buttons up to 23 frames.
  const TRgb backs[] = {Mix(d_.ScrollTrack, d_.Light, 0.35), Mix(d_.ScrollTrack, d_.Shadow, 0.45),
                        Mix(d_.ScrollTrack, d_.Light, 0.65), Mix(d_.ScrollTrack, d_.Light, 0.2)};
  const TRgb glyphs[] = {Mix(d_.Text, d_.ScrollTrack, 0.25), d_.Text, d_.Text, d_.Shadow};
  const TShape shape = RectShape(1, 1, size - 1, size - 1, corner, CornerStyle());
  const auto button = [&](int state) {
    TSkinPicture p(size, size);
    p.Fill(0, 0, size, size, d_.ScrollTrack);
    p.FillShape(shape, backs[state]);
    if (d_.Controls == TControlStyle::Bevel) {
      const bool sunken = state == 1;
      p.Fill(1, 1, size - 1, 2, sunken ? d_.Shadow : d_.Light);
      p.Fill(1, 1, 2, size - 1, sunken ? d_.Shadow : d_.Light);
      p.Fill(1, size - 2, size - 1, size - 1, sunken ? d_.Light : d_.Shadow);
      p.Fill(size - 2, 1, size - 1, size - 1, sunken ? d_.Light : d_.Shadow);
    }
    return p;
  };
  std::vector<TSkinPicture> frames;
  for (int direction = 0; direction < 4; ++direction) {
    for (int state = 0; state < 4; ++state) {
      TSkinPicture p = button(state);
      const int tips[4][2] = {{6, 7}, {9, 7}, {7, 6}, {7, 9}};
      Arrow(p, direction, tips[direction][0], tips[direction][1], 4, glyphs[state]);
      frames.push_back(p);
    }
  }
  while (frames.size() < 23) frames.push_back(button(0));
  Add("scrollbar.bmp", FramesSideBySide(frames));
  Put("Scrollbar", "Image", "scrollbar.bmp");
  Put("Scrollbar", "Trans", 1);

  const TRgb groove = Mix(d_.ScrollTrack, d_.Shadow, 0.25);
  for (bool horizontal : {true, false}) {
    const int w = horizontal ? 32 : size;
    const int h = horizontal ? size : 32;
    std::vector<TSkinPicture> tracks;
    for (double shade : {0.0, 0.15, 0.0, 0.05}) {
      TSkinPicture p(w, h);
      p.Fill(0, 0, w, h, Mix(d_.ScrollTrack, d_.Shadow, shade));
      if (horizontal) {
        p.Fill(0, 0, w, 1, groove);
      } else {
        p.Fill(0, 0, 1, h, groove);
      }
      tracks.push_back(p);
    }
    const std::string name = horizontal ? "HorzScroll" : "VertScroll";
    const std::string file = horizontal ? "hscroll.bmp" : "vscroll.bmp";
    Element(name, file, FramesSideBySide(tracks), {2, 2, 2, 2, 0});

    const int length = 24;
    const int tw = horizontal ? length : size;
    const int th = horizontal ? size : length;
    const double thumbCorner = d_.Controls == TControlStyle::Round ? 5 : std::min(3.0, Corner());
    const TShape thumb = horizontal ? RectShape(1, 3, tw - 1, th - 3, thumbCorner, CornerStyle())
                                    : RectShape(3, 1, tw - 3, th - 1, thumbCorner, CornerStyle());
    const TRgb thumbs[] = {d_.Thumb, Mix(d_.Thumb, d_.Accent, 0.55), Mix(d_.Thumb, d_.DarkShadow, 0.15)};
    std::vector<TSkinPicture> thumbFrames;
    for (TRgb c : thumbs) {
      TSkinPicture p(tw, th);
      ControlFace(p, thumb, Mix(c, White, 0.15), c, Mix(c, Black, 0.2), d_.ScrollTrack);
      thumbFrames.push_back(p);
    }
    const std::string thumbName = horizontal ? "HorzScrollThumb" : "VertScrollThumb";
    const std::string thumbFile = horizontal ? "hthumb.bmp" : "vthumb.bmp";
    const int cap = static_cast<int>(std::ceil(thumbCorner)) + 3;
    Element(thumbName, thumbFile, FramesSideBySide(thumbFrames),
            horizontal ? TElementKeys{cap, 3, cap, 3, 1} : TElementKeys{3, cap, 3, cap, 1});
    Put(thumbName, "FrameCount", 3);
  }
}

void TSkinPainter::UpDowns() {
  // Frames: 1 normal, 2 pressed, 3 disabled, 4 hot; the first four of
  // the up (or left) button, the next four of the down (or right) one.
  const TRgb backs[] = {Mix(d_.ScrollTrack, d_.Light, 0.35), Mix(d_.ScrollTrack, d_.Shadow, 0.45),
                        Mix(d_.ScrollTrack, d_.Light, 0.2), Mix(d_.ScrollTrack, d_.Light, 0.65)};
  const TRgb glyphs[] = {d_.Text, d_.Text, d_.Shadow, d_.Accent};
  for (bool horizontal : {false, true}) {
    const int w = horizontal ? 10 : 16;
    const int h = horizontal ? 16 : 10;
    const int gw = horizontal ? 4 : 7;
    const int gh = horizontal ? 7 : 4;
    std::vector<TSkinPicture> frames;
    std::vector<TSkinPicture> glyphFrames;
    for (int button = 0; button < 2; ++button) {
      for (int state = 0; state < 4; ++state) {
        TSkinPicture p(w, h);
        p.Fill(0, 0, w, h, Mix(d_.ButtonBorder, d_.Face, 0.3));
        p.Fill(1, 1, w - 1, h - 1, backs[state]);
        frames.push_back(p);
        TSkinPicture g(gw, gh);
        const int direction = horizontal ? button : 2 + button;
        const int tipX = horizontal ? (button == 0 ? 0 : 3) : 3;
        const int tipY = horizontal ? 3 : (button == 0 ? 0 : 3);
        Arrow(g, direction, tipX, tipY, 4, glyphs[state]);
        glyphFrames.push_back(g);
      }
    }
    const std::string name = horizontal ? "UpDown.Horz" : "UpDown.Vert";
    const std::string file = horizontal ? "updownh.bmp" : "updownv.bmp";
    const std::string glyphFile = horizontal ? "updownhglyph.bmp" : "updownvglyph.bmp";
    Add(file, FramesSideBySide(frames));
    Add(glyphFile, FramesSideBySide(glyphFrames));
    Put(name, "Image", file);
    Put(name, "GlyphImage", glyphFile);
    Put(name, "Trans", 1);
  }
}

TSkinSource TSkinPainter::Build() {
  source_.IniName = LowerCase(d_.SkinName) + ".ini";
  Put("TitlebarSkin", "SkinName", d_.SkinName);
  Edges();
  TextBack();
  MenuBar();
  Put("Fonts", "FontHeight", 14);
  const char* c = "Colours";
  Put(c, "WindowText", d_.Text);
  Put(c, "ButtonFace", d_.Face);
  Put(c, "Scrollbar", d_.ScrollTrack);
  Put(c, "HilightText", d_.AccentText);
  Put(c, "Hilight", d_.Accent);
  Put(c, "Menubar", d_.MenuBarTop);
  Put(c, "Menu", d_.Menu);
  Put(c, "MenuText", d_.MenuText);
  Put(c, "ButtonText", d_.ButtonText);
  // The outline of a hot menu-bar item.
  Put(c, "ButtonHilight", Mix(d_.Accent, d_.MenuBarTop, 0.2));
  Put(c, "Buttonlight", d_.Light);
  Put(c, "ButtonShadow", d_.Shadow);
  Put(c, "ButtonDkShadow", d_.DarkShadow);
  Put(c, "MenuBarText", d_.MenuBarText);
  Put(c, "TitleTextActive", d_.Active.Text);
  TitleButtons();
  PushButtons();
  Checks();
  Progress();
  Tabs();
  StatusBar();
  Combo();
  Header();
  Menus();
  ScrollBars();
  UpDowns();
  source_.Ini = ini_.Text();
  return std::move(source_);
}

}  // namespace

const TSkinPicture* TSkinSource::Picture(const std::string& name) const {
  for (const auto& [entry, picture] : Pictures) {
    if (entry == name) return &picture;
  }
  return nullptr;
}

TSkinSource BuildSkin(const TSkinDesign& design) { return TSkinPainter(design).Build(); }

std::vector<TSkinEntry> SkinEntries(const TSkinSource& source) {
  std::vector<TSkinEntry> entries;
  entries.push_back({source.IniName, std::vector<std::uint8_t>(source.Ini.begin(), source.Ini.end())});
  for (const auto& [name, picture] : source.Pictures) entries.push_back({name, picture.ToBmp()});
  return entries;
}

std::vector<std::uint8_t> SkinPackage(const TSkinSource& source) {
  const std::vector<std::uint8_t> container = WriteSkinContainer(SkinEntries(source));
  return PackSkinStream(container);
}
