#include "skin/skin_description.h"

#include <QGuiApplication>
#include <QPalette>
#include <algorithm>

#include "core/bitmap.h"
#include "core/bmp.h"
#include "core/exceptions.h"
#include "core/strings.h"

TSkinColours SystemSkinColours() {
  TSkinColours c;
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
    const QPalette p = QGuiApplication::palette();
    c.WindowText = p.color(QPalette::WindowText);
    c.ButtonFace = p.color(QPalette::Button);
    c.Scrollbar = p.color(QPalette::Midlight);
    c.HilightText = p.color(QPalette::HighlightedText);
    c.Hilight = p.color(QPalette::Highlight);
    c.Menu = p.color(QPalette::Window);
    c.MenuText = p.color(QPalette::WindowText);
    c.ButtonText = p.color(QPalette::ButtonText);
    c.ButtonHilight = p.color(QPalette::Light);
    c.ButtonShadow = p.color(QPalette::Dark);
    c.TitleTextActive = p.color(QPalette::Active, QPalette::WindowText);
    c.TitleTextInactive = p.color(QPalette::Disabled, QPalette::WindowText);
  } else {
    c.WindowText = QColor(0, 0, 0);
    c.ButtonFace = QColor(240, 240, 240);
    c.Scrollbar = QColor(200, 200, 200);
    c.HilightText = QColor(255, 255, 255);
    c.Hilight = QColor(0, 120, 215);
    c.Menu = QColor(240, 240, 240);
    c.MenuText = QColor(0, 0, 0);
    c.ButtonText = QColor(0, 0, 0);
    c.ButtonHilight = QColor(255, 255, 255);
    c.ButtonShadow = QColor(160, 160, 160);
    c.TitleTextActive = QColor(0, 0, 0);
    c.TitleTextInactive = QColor(109, 109, 109);
  }
  c.Buttonlight = c.ButtonHilight;
  c.ButtonDkShadow = c.ButtonShadow;
  c.Menubar = c.ButtonFace;
  c.MenuBarText = c.MenuText;
  return c;
}

QColor ParseSkinColour(std::string_view text, const QColor& defaultColour) {
  if (Trim(text).empty()) return defaultColour;
  int values[3] = {0, 0, 0};
  int count = 0;
  bool inNumber = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      if (!inNumber) {
        if (count == 3) break;
        ++count;
        inNumber = true;
      }
      int& v = values[count - 1];
      v = std::min(255, v * 10 + (c - '0'));
    } else {
      inNumber = false;
    }
  }
  return QColor(values[0], values[1], values[2]);
}

namespace {

QImage ToImage(TBitmap& bitmap) {
  bitmap.SetPixelFormat(pf24bit);
  QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_RGB32);
  for (int y = 0; y < bitmap.Height(); ++y) {
    const std::uint8_t* in = bitmap.ScanLine(y);
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < bitmap.Width(); ++x) out[x] = qRgb(in[3 * x + 2], in[3 * x + 1], in[3 * x]);
  }
  return image;
}

int Int(const TIniFile& ini, const std::string& section, const std::string& key, int defaultValue) {
  return ini.ReadInteger(section, key, defaultValue);
}

// A frame count as given, with counts below 1 taken as 1 (they would
// leave no frame to draw).
int Frames(int count) { return std::max(1, count); }

// An integer colour key: -1 (or any value that is no colour) is "not given".
QColor IntColour(const TIniFile& ini, const std::string& section, const std::string& key) {
  const int v = ini.ReadInteger(section, key, -1);
  if (v < 0 || v > 0xFFFFFF) return QColor();
  return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}

// A colour given as three integer keys K+"R", K+"G", K+"B": used only
// when all three are 0 or more (each held to 255); otherwise current.
QColor KeyColour(const TIniFile& ini, const std::string& section, const std::string& key, const QColor& current) {
  const int r = Int(ini, section, key + "R", -1);
  const int g = Int(ini, section, key + "G", -1);
  const int b = Int(ini, section, key + "B", -1);
  if (r < 0 || g < 0 || b < 0) return current;
  return QColor(std::min(r, 255), std::min(g, 255), std::min(b, 255));
}

QColor TextColour(const TIniFile& ini, const std::string& section, const std::string& key, const QColor& def) {
  return ParseSkinColour(ini.ReadString(section, key, ""), def);
}

// The margins and Trans of a section.
void ReadMargins(const TIniFile& ini, const std::string& section, TDataSkinObject& e) {
  e.LeftWidth = Int(ini, section, "LeftWidth", 0);
  e.RightWidth = Int(ini, section, "RightWidth", 0);
  e.TopHeight = Int(ini, section, "TopHeight", 0);
  e.BottomHeight = Int(ini, section, "BottomHeight", 0);
  e.Trans = Int(ini, section, "Trans", 0);
}

// The three integer colours and the three text colours of a section.
void ReadColourKeys(const TIniFile& ini, const std::string& section, TDataSkinObject& e, const QColor& textColour) {
  e.NormalColour = IntColour(ini, section, "NormalColour");
  e.MouseOverColour = IntColour(ini, section, "MouseOverColour");
  e.PressedColour = IntColour(ini, section, "PressedColour");
  e.NormalColour2 = TextColour(ini, section, "NormalColour2", textColour);
  e.MouseOverColour2 = TextColour(ini, section, "MouseOverColour2", textColour);
  e.PressedColour2 = TextColour(ini, section, "PressedColour2", textColour);
}

// The keys every element section has.
void ReadCommon(const TIniFile& ini, const TSkinReader& reader, const std::string& section, TDataSkinObject& e,
                const QColor& textColour) {
  e.Bitmap = LoadSkinImage(reader, ini.ReadString(section, "Image", ""));
  ReadMargins(ini, section, e);
  e.Tile = Int(ini, section, "Tile", 0);
  ReadColourKeys(ini, section, e, textColour);
}

template <class Element>
std::unique_ptr<Element> ReadElement(const TIniFile& ini, const TSkinReader& reader, const std::string& section,
                                     int frameCount, const QColor& textColour) {
  if (ini.ReadString(section, "Image", "").empty()) return nullptr;
  auto e = std::make_unique<Element>(section);
  ReadCommon(ini, reader, section, *e, textColour);
  e->FrameCount = Frames(frameCount);
  return e;
}

bool IsTitleButtonSection(const std::string& section) {
  const std::string upper = UpperCase(section);
  return upper.rfind("BUTTON", 0) == 0 && upper != "BUTTONS" && upper != "BUTTON.RADIO" && upper != "BUTTON.CHECKBOX";
}

// A check-box or radio frame count of 0 is worked out from the picture:
// cells 13 pixels wide when it is under 16 pixels high, else 16.
int CellFrames(int given, const QImage& bitmap) {
  if (given > 0) return given;
  if (given < 0 || bitmap.isNull()) return 1;
  const int cell = bitmap.height() < 16 ? 13 : 16;
  return std::max(1, bitmap.width() / cell);
}

void ReadEdges(const TIniFile& ini, const TSkinReader& reader, TSkinDescription& skin) {
  const std::string s = "Personality";
  for (TDataSkinBorder* e : {&skin.Left, &skin.Right, &skin.Top, &skin.Bottom}) {
    const std::string& n = e->Name;
    e->Bitmap = LoadSkinImage(reader, ini.ReadString(s, n, ""));
    const int first = Int(ini, s, n + "TopHeight", 0);
    const int second = Int(ini, s, n + "BotHeight", 0);
    if (n == "Left" || n == "Right") {
      e->TopHeight = first;
      e->BottomHeight = second;
      e->LeftWidth = e->RightWidth = 0;
    } else {
      e->LeftWidth = first;
      e->RightWidth = second;
      e->TopHeight = e->BottomHeight = 0;
    }
    e->FrameCount = Frames(Int(ini, s, n + "Frame", 1));
    e->Tile = Int(ini, s, n + "Stretch", 1);
    e->Trans = Int(ini, s, n + "Trans", 1);
  }
}

void ReadColours(const TIniFile& ini, TSkinDescription& skin) {
  const std::string s = "Colours";
  TSkinColours& c = skin.Colours;
  const TSkinColours system = SystemSkinColours();
  c.WindowText = TextColour(ini, s, "WindowText", system.WindowText);
  c.ButtonFace = TextColour(ini, s, "ButtonFace", system.ButtonFace);
  c.Scrollbar = TextColour(ini, s, "Scrollbar", system.Scrollbar);
  c.HilightText = TextColour(ini, s, "HilightText", system.HilightText);
  c.Hilight = TextColour(ini, s, "Hilight", system.Hilight);
  c.Menubar = TextColour(ini, s, "Menubar", c.ButtonFace);
  c.Menu = TextColour(ini, s, "Menu", system.Menu);
  c.MenuText = TextColour(ini, s, "MenuText", system.MenuText);
  c.ButtonText = TextColour(ini, s, "ButtonText", system.ButtonText);
  c.ButtonHilight = TextColour(ini, s, "ButtonHilight", system.ButtonHilight);
  c.Buttonlight = TextColour(ini, s, "Buttonlight", system.ButtonHilight);
  c.ButtonShadow = TextColour(ini, s, "ButtonShadow", system.ButtonShadow);
  c.ButtonDkShadow = TextColour(ini, s, "ButtonDkShadow", system.ButtonShadow);
  // Menu-bar captions stand on the menu bar: their own default is the
  // menu text colour (the menu colour would hide them).
  c.MenuBarText = TextColour(ini, s, "MenuBarText", c.MenuText);
  c.TitleTextActive = TextColour(ini, s, "TitleTextActive", system.TitleTextActive);
  c.TitleTextInactive = system.TitleTextInactive;

  for (const std::string& section : ini.ReadSections()) {
    const std::string upper = UpperCase(section);
    if (upper.rfind("COLOUR", 0) == 0 && upper != "COLOURS") {
      skin.ExtraColours.push_back(TextColour(ini, section, "color", system.WindowText));
    }
  }
}

void ReadTitleButtons(const TIniFile& ini, const TSkinReader& reader, TSkinDescription& skin) {
  for (const std::string& section : ini.ReadSections()) {
    if (!IsTitleButtonSection(section)) continue;
    TDataSkinSysButton b(UpperCase(section));
    b.Action = Int(ini, section, "Action", 0);
    b.Align = Int(ini, section, "Align", 0);
    b.Xcoord = Int(ini, section, "Xcoord", 0);
    b.Ycoord = Int(ini, section, "Ycoord", 0);
    b.Visibility = Int(ini, section, "Visibility", 0);
    b.Visibility1 = Int(ini, section, "Visibility1", 0);
    b.CombineOp = Int(ini, section, "CombineOp", -1);
    b.Bitmap = LoadSkinImage(reader, ini.ReadString(section, "ButtonImage", ""));
    const int frames = Int(ini, section, "frame", 0);
    if (frames == 0) {
      b.FrameCount = (!b.Bitmap.isNull() && b.Bitmap.width() <= 3.8 * b.Bitmap.height()) ? 3 : 6;
      if (b.Action < 0) b.FrameCount = 6;
      // The system-menu button then shows the window's icon.
      if (b.Action == 3 || b.Action == 11) b.Bitmap = QImage();
    } else {
      b.FrameCount = Frames(frames);
    }
    skin.SysButtons.push_back(std::move(b));
  }
  skin.MDIControls = ReadElement<TDataSkinObject>(ini, reader, "MDICONTROLS", 1, skin.Colours.ButtonText);
}

void ReadButtons(const TIniFile& ini, const TSkinReader& reader, TSkinDescription& skin) {
  const std::string s = "Buttons";
  TDataSkinButton& b = skin.Buttons;
  b.Bitmap = LoadSkinImage(reader, ini.ReadString(s, "Bitmap", ""));
  b.CheckBitmap = LoadSkinImage(reader, ini.ReadString(s, "CheckButton", ""));
  b.RadioBitmap = LoadSkinImage(reader, ini.ReadString(s, "RadioButton", ""));
  ReadMargins(ini, s, b);
  ReadColourKeys(ini, s, b, skin.Colours.ButtonText);
  b.CheckFrameCount = CellFrames(Int(ini, s, "CheckButtonFrame", 0), b.CheckBitmap);
  b.RadioFrameCount = CellFrames(Int(ini, s, "RadioButtonFrame", 0), b.RadioBitmap);
  b.FrameCount = 5;
}

void ReadTitle(const TIniFile& ini, const TSkinReader& reader, TSkinDescription& skin) {
  const std::string s = "Personality";
  TDataSkinTitle& t = skin.Title;
  t.Bitmap = LoadSkinImage(reader, ini.ReadString(s, "TextBack", ""));
  t.TextShift = Int(ini, s, "TextShift", 0);
  t.TextShiftVert = Int(ini, s, "TextShiftVert", 0);
  t.TextRightClip = Int(ini, s, "TextRightClip", 0);
  t.TextAlignment = Int(ini, s, "TextAlignment", 0);
  t.TextBackground = Int(ini, s, "Textbackground", 0);
  t.TextBackLeft = Int(ini, s, "TXTBackleft", 0);
  t.TextBackRight = Int(ini, s, "TXTBackRight", 0);
  t.FontHeight = Int(ini, "Fonts", "FontHeight", 14);
  t.ActiveText = KeyColour(ini, s, "ActiveText", QColor());
  t.InActiveText = KeyColour(ini, s, "InActiveText", QColor());
  t.FrameCount = 2;
}

void ReadProgress(const TIniFile& ini, const TSkinReader& reader, TSkinDescription& skin) {
  const std::string s = "Progress";
  if (ini.ReadString(s, "Bitmap", "").empty()) return;
  auto p = std::make_unique<TDataSkinObject>(s);
  p->Bitmap = LoadSkinImage(reader, ini.ReadString(s, "Bitmap", ""));
  ReadMargins(ini, s, *p);
  p->Tile = Int(ini, s, "Tile", 0);
  p->FrameCount = 2;
  skin.Progress = std::move(p);
}

void ReadMenuBar(const TIniFile& ini, const TSkinReader& reader, TSkinDescription& skin) {
  const std::string s = "Personality";
  const std::string image = ini.ReadString(s, "menuBar", "");
  if (image.empty()) return;
  auto m = std::make_unique<TDataSkinObject>("MenuBar");
  m->Bitmap = LoadSkinImage(reader, image);
  m->Tile = Int(ini, s, "TileMenu", 0);
  m->LeftWidth = Int(ini, s, "TileLeftMenu", 1);
  m->RightWidth = Int(ini, s, "TileRightMenu", 1);
  m->FrameCount = 2;
  skin.MenuBar = std::move(m);
}

void ReadElementSections(const TIniFile& ini, const TSkinReader& reader, TSkinDescription& skin) {
  const QColor text = skin.Colours.ButtonText;
  const auto plain = [&](const char* section, int frames) {
    return ReadElement<TDataSkinObject>(ini, reader, section, frames, text);
  };
  skin.GroupBoxEdge = plain("GroupBoxEdge", 2);
  skin.Toolbars = plain("Toolbars", 5);
  skin.Tabs = ReadElement<TDataSkinBorder>(ini, reader, "Tabs", 5, text);
  if (skin.Tabs) skin.Tabs->Bitmap2 = LoadSkinImage(reader, ini.ReadString("Tabs", "Border", ""));
  skin.StatusBarEdges = plain("StatusBarEdges", 3);
  skin.ComboButton = plain("ComboButton", 4);
  skin.SunkEdge = plain("SunkEdge", 4);
  skin.ExtraImages = plain("ExtraImages", 5);
  skin.Headerbar = plain("Headerbar", 5);
  skin.MenuItem = plain("MenuItem", 5);
  skin.MenuBackground = plain("MenuBackground", 1);
  skin.Scrollbar = plain("Scrollbar", 23);
  skin.HorzScroll = plain("HorzScroll", 4);
  skin.VertScroll = plain("VertScroll", 4);
  skin.HorzScrollThumb = plain("HorzScrollThumb", Int(ini, "HorzScrollThumb", "FrameCount", 3));
  skin.VertScrollThumb = plain("VertScrollThumb", Int(ini, "VertScrollThumb", "FrameCount", 3));
  skin.UpDownHorz = ReadElement<TDataSkinBorder>(ini, reader, "UpDown.Horz", 8, text);
  if (skin.UpDownHorz) skin.UpDownHorz->Bitmap2 = LoadSkinImage(reader, ini.ReadString("UpDown.Horz", "GlyphImage", ""));
  skin.UpDownVert = ReadElement<TDataSkinBorder>(ini, reader, "UpDown.Vert", 8, text);
  if (skin.UpDownVert) skin.UpDownVert->Bitmap2 = LoadSkinImage(reader, ini.ReadString("UpDown.Vert", "GlyphImage", ""));
}

}  // namespace

QImage LoadSkinImage(const TSkinReader& reader, const std::string& value) {
  const std::size_t slash = value.find_last_of("\\/");
  const std::string name = slash == std::string::npos ? value : value.substr(slash + 1);
  if (name.empty() || name.size() < 4 || name.compare(name.size() - 4, 4, ".bmp") != 0) return QImage();
  TMemoryStream entry;
  reader.ExtractByName(name, entry);
  if (entry.Size() == 0) return QImage();
  try {
    TBitmap bitmap;
    ReadBmp(entry.Bytes(), bitmap);
    return ToImage(bitmap);
  } catch (const Exception&) {
    return QImage();
  }
}

void ReadSkinIni(const TIniFile& ini, const TSkinReader& reader, TSkinDescription& skin) {
  skin.SkinName = ini.ReadString("TitlebarSkin", "SkinName", "");
  ReadEdges(ini, reader, skin);
  ReadColours(ini, skin);
  ReadTitleButtons(ini, reader, skin);
  ReadButtons(ini, reader, skin);
  ReadTitle(ini, reader, skin);
  ReadProgress(ini, reader, skin);
  ReadMenuBar(ini, reader, skin);
  ReadElementSections(ini, reader, skin);
}

bool ReadSkinDescription(const TSkinReader& reader, TSkinDescription& skin) {
  TMemoryStream entry;
  std::string name;
  reader.ExtractFirstContaining(".ini", entry, name);
  if (name.empty()) return false;
  const std::vector<std::uint8_t>& bytes = entry.Bytes();
  ReadSkinIni(TIniFile::FromText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())), reader,
              skin);
  return true;
}
