#include "app/settings.h"

#include <exception>
#include <limits>
#include <memory>
#include <type_traits>
#include <vector>

#include "app/routines.h"
#include "core/exceptions.h"
#include "core/files.h"

const char* const DefaultImageFilter =
    "*.png;*.psp;*.cut;*.pcd;*.pic;*.cel;*.pbm;*.pgm;*.ppm;*.pdd;*.psd;*.bw;*.rgb;*.rgba;"
    "*.sgi;*.rla;*.rpf;*.scr;*.pcc;*.pcx;*.eps;*.fax;*.tif;*.tiff;*.icb;*.tga;*.vda;*.vst;"
    "*.win;*.dib;*.rle;*.jpeg;*.jpe;*.jpg;*.jfif;*.emf;*.wmf;*.ico;*.bmp;*.gif";

namespace {

const char* const kTrue = "TRUE";
const char* const kFalse = "FALSE";

// A whole decimal number: an optional "-" and at least one digit, nothing
// else. Values beyond 64 bits fail.
bool ParseWholeNumber(const std::string& text, std::int64_t& out) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && text[i] == '-') {
    negative = true;
    ++i;
  }
  if (i == text.size()) return false;
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return false;
    if (value > (std::numeric_limits<std::int64_t>::max() - (c - '0')) / 10) return false;
    value = value * 10 + (c - '0');
  }
  out = negative ? -value : value;
  return true;
}

}  // namespace

TProgramInfo::TProgramInfo() {
  LanguageDir = GetProgramDir() + "language";
  ScratchBitmap.SetPixelFormat(pf24bit);
  SetDefaults();
  try {
    LoadConfig();
    ReadSettings();
    LoadLanguage();
  } catch (const std::exception& e) {
    ShowMsg(e.what(), 0, MessageText(msg::SettingsCaption));
  }
  if (!UnreadableSettings.empty()) {
    std::string text = MessageText(msg::SettingsUnreadable);
    for (const std::string& line : UnreadableSettings) text += "\n" + line;
    ShowMsg(text, 2, MessageText(msg::SettingsCaption));
  }
}

std::string TProgramInfo::GetProgramDir() const { return ProgramDir(); }

std::string TProgramInfo::GetConfigFileName() const { return GetProgramDir() + "config.inf"; }

std::string TProgramInfo::GetMarkDir() const { return GetProgramDir() + "spm/"; }

bool TProgramInfo::LoadConfig() {
  const std::string name = GetConfigFileName();
  try {
    ConfigUnreadable = false;
    if (!FileExists(name)) return true;
    TStringList lines;
    lines.LoadFromFile(name);
    ScrambleLines(lines, ConfigScrambleKey, false);
    for (int i = 0; i < lines.Count(); ++i) lines[i] = EscapeLineBreaks(lines[i], false);
    ConfigLines = std::move(lines);
    return true;
  } catch (const std::exception&) {
    ConfigUnreadable = FileExists(name);
    return false;
  }
}

void TProgramInfo::SetDefaults() {
  const std::string dir = GetProgramDir();
  LanguagePackNow = "english";
  CfgDefPath.clear();
  EnableShellnook = false;
  CfgSkin = 0;
  AutoLocateOldPath = true;
  CfgAutoResize = true;
  ExportPath.clear();
  DefaultMarkPath = dir;
  DefaultPreviewPath = dir;
  DefaultSourceBackgroundPath = dir + "background";
  DefaultSourceFramePath = dir + "background";
  DefaultMaskPath = dir + "mask";
  OutputFileType = 0;
  ImageFilter.Clear();
  SplitString(DefaultImageFilter, ImageFilter, ';');
  MarkMakeImageFile.clear();
  KeepJpgCompress = true;
  JpgCompress = 100;
  GifEnablePalette = true;
  GifPalette = 0;
  GifEnableDither = false;
  GifDither = 0;
  GifCompress = 0;
  GifMarkFirst = false;
  GifDisableAnimate = false;
  BmpKeepColor = true;
  BmpColorSetup = 1;
  ViewShrinkFit = true;
  ViewZoomFit = false;
  ViewAlwaysTop = false;
  ViewImageFullScreen = false;
  ViewHideMouse = false;
  ViewEnableTiledImage = false;
  ViewSolidColor = 9855488;
  ViewTiledImage.clear();
  ViewImageViewMain = true;
  ViewShowToolbar = true;
  ViewShowFullPath = false;
  ZoomLock = false;
  LocationLock = false;
  SlideSequence = 0;
  SlideDelay = 2000;
}

void TProgramInfo::ReadSettings() {
  SetDefaults();
  UnreadableSettings.clear();

  // About fifty keys are looked up in a list that may hold many lines.
  const TNameIndex names(ConfigLines);
  auto value = [&](const char* key) {
    const int i = names.IndexOfName(key);
    return i < 0 ? std::string() : ConfigLines.ValueFromIndex(i);
  };
  auto trueUnlessFalse = [&](const char* key) { return value(key) != kFalse; };
  auto falseUnlessTrue = [&](const char* key) { return value(key) == kTrue; };
  // Reads a number in lo..hi; anything else leaves the field alone. A
  // value the number test accepts but that is no usable whole number is
  // noted, so the user learns why the setting fell back.
  auto number = [&](const char* key, std::int64_t lo, std::int64_t hi, auto& field) {
    const std::string v = value(key);
    if (!IsNumeric(v)) return false;
    std::int64_t n = 0;
    if (!ParseWholeNumber(v, n) || n < lo || n > hi) {
      UnreadableSettings.push_back(std::string(key) + "=" + v);
      return false;
    }
    field = static_cast<std::remove_reference_t<decltype(field)>>(n);
    return true;
  };
  auto byteField = [&](const char* key, std::uint8_t& field) { number(key, 0, 255, field); };
  auto defaultIfBlank = [](std::string& field, const std::string& fallback) {
    if (Trim(field).empty()) field = fallback;
  };

  LanguagePackNow = value("LanguagePackNow");
  defaultIfBlank(LanguagePackNow, "english");
  CfgDefPath = value("CfgDefPath");
  EnableShellnook = Trim(value("EnableShellnook")) == kTrue;
  if (number("CfgSkin", 0, 255, CfgSkin) && CfgSkin > 4) CfgSkin = 4;
  AutoLocateOldPath = trueUnlessFalse("AutoLocateOldPath");
  CfgAutoResize = trueUnlessFalse("CfgAutoResize");
  ExportPath = value("ExportPath");

  const std::string dir = GetProgramDir();
  DefaultMarkPath = value("DefaultMarkPath");
  DefaultPreviewPath = value("DefaultPreviewPath");
  DefaultSourceBackgroundPath = value("DefaultSourceBackgroundPath");
  DefaultSourceFramePath = value("DefaultSourceFramePath");
  DefaultMaskPath = value("DefaultMaskPath");
  defaultIfBlank(DefaultMarkPath, dir);
  defaultIfBlank(DefaultPreviewPath, dir);
  defaultIfBlank(DefaultSourceBackgroundPath, dir + "background");
  defaultIfBlank(DefaultSourceFramePath, dir + "background");
  defaultIfBlank(DefaultMaskPath, dir + "mask");

  byteField("OutputFileType", OutputFileType);
  const std::string filter = value("ImageFilter");
  if (!filter.empty()) {
    ImageFilter.Clear();
    SplitString(filter, ImageFilter, ';');
  }
  MarkMakeImageFile = value("MarkMakeImageFile");
  KeepJpgCompress = trueUnlessFalse("KeepJpgCompress");
  byteField("JpgCompress", JpgCompress);
  GifEnablePalette = trueUnlessFalse("GifEnablePalette");
  byteField("GifPalette", GifPalette);
  GifEnableDither = falseUnlessTrue("GifEnableDither");
  byteField("GifDither", GifDither);
  GifCompress = value("GifCompress") == "1" ? 1 : 0;
  GifMarkFirst = falseUnlessTrue("GifMarkFirst");
  GifDisableAnimate = falseUnlessTrue("GifDisableAnimate");
  BmpKeepColor = trueUnlessFalse("BmpKeepColor");
  byteField("BmpColorSetup", BmpColorSetup);
  ViewShrinkFit = trueUnlessFalse("ViewShrinkFit");
  ViewZoomFit = falseUnlessTrue("ViewZoomFit");
  ViewAlwaysTop = falseUnlessTrue("ViewAlwaysTop");
  ViewImageFullScreen = falseUnlessTrue("ViewImageFullScreen");
  ViewHideMouse = falseUnlessTrue("ViewHideMouse");
  ViewEnableTiledImage = falseUnlessTrue("ViewEnableTiledImage");
  // Colours are 32-bit patterns; older files wrote system colours as
  // negative numbers, newer values may be written unsigned.
  std::int64_t color = 0;
  if (number("ViewSolidColor", std::numeric_limits<std::int32_t>::min(),
             std::numeric_limits<std::uint32_t>::max(), color)) {
    ViewSolidColor = static_cast<TColor>(static_cast<std::uint32_t>(color & 0xFFFFFFFF));
  }
  ViewTiledImage = value("ViewTiledImage");
  ViewImageViewMain = trueUnlessFalse("ViewImageViewMain");
  ViewShowToolbar = trueUnlessFalse("ViewShowToolbar");
  ViewShowFullPath = falseUnlessTrue("ViewShowFullPath");
  ZoomLock = falseUnlessTrue("ZoomLock");
  LocationLock = falseUnlessTrue("LocationLock");
  byteField("SlideSequence", SlideSequence);
  number("SlideDelay", 0, std::numeric_limits<std::int32_t>::max(), SlideDelay);
}

void TProgramInfo::WriteSettings() {
  // Each key is written once. Its first line is replaced in place, a new
  // key is added at the end, and the lines of keys written empty go at
  // the end, so the index of the lines as they were stays right.
  const TNameIndex names(ConfigLines);
  std::vector<int> dropped;
  auto text = [&](const char* key, const std::string& v) {
    const int first = names.IndexOfName(key);
    if (v.empty()) {
      // Every line of the key goes, so a later duplicate cannot take its
      // place: an empty text reads back as its default.
      for (int i = first; i >= 0; i = names.NextOfName(i)) dropped.push_back(i);
      return;
    }
    std::string line = std::string(key) + "=" + v;
    if (first < 0) {
      ConfigLines.Add(std::move(line));
    } else {
      ConfigLines[first] = std::move(line);
    }
  };
  auto flag = [&](const char* key, bool v) { text(key, IfThenStr(v, kTrue, kFalse)); };
  auto num = [&](const char* key, std::int64_t v) { text(key, std::to_string(v)); };

  text("LanguagePackNow", LanguagePackNow);
  text("CfgDefPath", CfgDefPath);
  flag("CfgAutoResize", CfgAutoResize);
  num("OutputFileType", OutputFileType);
  flag("AutoLocateOldPath", AutoLocateOldPath);
  text("ExportPath", ExportPath);
  text("DefaultMarkPath", DefaultMarkPath);
  text("DefaultPreviewPath", DefaultPreviewPath);
  text("DefaultSourceBackgroundPath", DefaultSourceBackgroundPath);
  text("DefaultSourceFramePath", DefaultSourceFramePath);
  text("DefaultMaskPath", DefaultMaskPath);
  text("ImageFilter", JoinStrings(ImageFilter, ';'));
  flag("EnableShellnook", EnableShellnook);
  num("CfgSkin", CfgSkin);
  flag("KeepJpgCompress", KeepJpgCompress);
  num("JpgCompress", JpgCompress);
  flag("GifEnablePalette", GifEnablePalette);
  num("GifPalette", GifPalette);
  flag("GifEnableDither", GifEnableDither);
  num("GifDither", GifDither);
  num("GifCompress", GifCompress);
  text("MarkMakeImageFile", MarkMakeImageFile);
  flag("GifMarkFirst", GifMarkFirst);
  flag("GifDisableAnimate", GifDisableAnimate);
  flag("BmpKeepColor", BmpKeepColor);
  num("BmpColorSetup", BmpColorSetup);
  flag("ViewShrinkFit", ViewShrinkFit);
  flag("ViewZoomFit", ViewZoomFit);
  flag("ViewAlwaysTop", ViewAlwaysTop);
  flag("ViewImageFullScreen", ViewImageFullScreen);
  flag("ViewHideMouse", ViewHideMouse);
  flag("ViewEnableTiledImage", ViewEnableTiledImage);
  // Written as the signed 32-bit number older files hold.
  num("ViewSolidColor", static_cast<std::int32_t>(ViewSolidColor));
  text("ViewTiledImage", ViewTiledImage);
  flag("ViewImageViewMain", ViewImageViewMain);
  flag("ViewShowToolbar", ViewShowToolbar);
  flag("ViewShowFullPath", ViewShowFullPath);
  flag("ZoomLock", ZoomLock);
  flag("LocationLock", LocationLock);
  num("SlideSequence", SlideSequence);
  num("SlideDelay", SlideDelay);

  if (dropped.empty()) return;
  std::vector<bool> drop(static_cast<std::size_t>(ConfigLines.Count()), false);
  for (int i : dropped) drop[static_cast<std::size_t>(i)] = true;
  TStringList kept;
  for (int i = 0; i < ConfigLines.Count(); ++i) {
    if (!drop[static_cast<std::size_t>(i)]) kept.Add(std::move(ConfigLines[i]));
  }
  ConfigLines = std::move(kept);
}

bool TProgramInfo::SaveConfig() {
  // A settings file that could not be read is not replaced by what this
  // run made of its defaults; it may have become readable meanwhile.
  if (ConfigUnreadable && !LoadConfig() && ConfigUnreadable) {
    ShowMsg(MessageText(msg::ConfigNotReadable) + "\n" + GetConfigFileName(), 0, MessageText(msg::SettingsCaption));
    return false;
  }
  try {
    WriteSettings();
    // ConfigLines keeps its plain lines; only the copy is escaped and
    // scrambled, so a failed write cannot leave it half encoded.
    TStringList stored = ConfigLines;
    for (int i = 0; i < stored.Count(); ++i) stored[i] = EscapeLineBreaks(stored[i], true);
    ScrambleLines(stored, ConfigScrambleKey, true);
    stored.SaveToFile(GetConfigFileName());
    LoadConfig();
    return true;
  } catch (const std::exception& e) {
    ShowMsg(e.what(), 0, MessageText(msg::SettingsCaption));
    return false;
  }
}

void TProgramInfo::LoadLanguage() {
  std::string name = LanguageDir + "/" + LanguagePackNow;
  if (!FileExists(name)) {
    // A chosen language that has gone keeps the texts there are; with
    // none yet (at start) every window would be blank, so the default
    // language stands in. The choice itself stays as stored.
    if (!LanguageTexts.Empty()) return;
    name = LanguageDir + "/english";
    if (!FileExists(name)) return;
  }
  TStringList texts;
  texts.LoadFromFile(name);
  LanguageTexts = std::move(texts);
}

std::string TProgramInfo::MessageText(int number) const {
  return LanguageTexts.Values(std::to_string(number));
}

// ---------------------------------------------------------------------------

namespace {
std::unique_ptr<TProgramInfo> g_programInfo;
}  // namespace

void CreateProgramInfo() {
  g_programInfo.reset();
  g_programInfo = std::make_unique<TProgramInfo>();
}

void FreeProgramInfo() { g_programInfo.reset(); }

bool ProgramInfoExists() { return g_programInfo != nullptr; }

TProgramInfo& ProgramInfo() {
  if (!g_programInfo) throw Exception("The settings object has not been created.");
  return *g_programInfo;
}

std::string GetMessageText(int number) {
  return g_programInfo ? g_programInfo->MessageText(number) : std::string();
}

std::string GetConfigValue(const std::string& key) {
  return g_programInfo ? g_programInfo->ConfigLines.Values(key) : std::string();
}
