#include "app/settings.h"

#include <algorithm>
#include <array>
#include <exception>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <type_traits>
#include <variant>
#include <vector>

#include "app/routines.h"
#include "core/exceptions.h"
#include "core/files.h"

namespace {

constexpr char kDefaultImageFilter[] =
    "*.png;*.psp;*.cut;*.pcd;*.pic;*.cel;*.pbm;*.pgm;*.ppm;*.pdd;*.psd;*.bw;*.rgb;*.rgba;"
    "*.sgi;*.rla;*.rpf;*.scr;*.pcc;*.pcx;*.eps;*.fax;*.tif;*.tiff;*.icb;*.tga;*.vda;*.vst;"
    "*.win;*.dib;*.rle;*.jpeg;*.jpe;*.jpg;*.jfif;*.emf;*.wmf;*.ico;*.bmp;*.gif";

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

// ---------------------------------------------------------------------------
// The keys of "config.inf". One row per key says where its value lives, how
// it is read and written, its default and its range; the defaults, the
// reading and the writing all walk this table.

enum class TSettingKind {
  Text,           // the value as it stands, blanks included; empty when absent
  TextOrDefault,  // a value that is blank once trimmed takes the default
  Flag,           // the default, unless the value is exactly the other word
  Number,         // a whole number in Lo..Hi, capped at Most
  Colour,         // a 32-bit pattern read signed or unsigned, written signed
  OneOrZero,      // 1 only for the value "1"
  Patterns,       // ";"-separated patterns; an empty value keeps the default
};

using TSettingField =
    std::variant<std::string TProgramInfo::*, bool TProgramInfo::*, std::uint8_t TProgramInfo::*,
                 std::int32_t TProgramInfo::*, TColor TProgramInfo::*, TStringList TProgramInfo::*>;

struct TSettingKey {
  const char* Key = "";
  // The place of the key in the reading order. Reading has its own older
  // order, in which unusable numbers are reported; the rows stand in the
  // order of the lines of a new file.
  int ReadRank = 0;
  TSettingKind Kind = TSettingKind::Text;
  TSettingField Field;
  std::int64_t Default = 0;        // Flag (0 or 1), Number, Colour, OneOrZero
  const char* DefaultText = "";    // TextOrDefault, Patterns
  bool BelowProgramFolder = false;  // DefaultText names a place in the program folder
  bool Trimmed = false;            // Flag: blanks around the word do not count
  std::int64_t Lo = 0;
  std::int64_t Hi = 0;
  std::int64_t Most = 0;  // a number above it (still within Lo..Hi) becomes Most
};

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

constexpr TSettingKey Text(const char* key, int rank, std::string TProgramInfo::* field) {
  return {.Key = key, .ReadRank = rank, .Kind = TSettingKind::Text, .Field = field};
}
constexpr TSettingKey TextOr(const char* key, int rank, std::string TProgramInfo::* field, const char* fallback) {
  return {.Key = key, .ReadRank = rank, .Kind = TSettingKind::TextOrDefault, .Field = field, .DefaultText = fallback};
}
// A folder below the program folder as its fallback ("" for the folder itself).
constexpr TSettingKey Folder(const char* key, int rank, std::string TProgramInfo::* field, const char* sub) {
  TSettingKey k = TextOr(key, rank, field, sub);
  k.BelowProgramFolder = true;
  return k;
}
constexpr TSettingKey Flag(const char* key, int rank, bool TProgramInfo::* field, bool fallback) {
  return {.Key = key, .ReadRank = rank, .Kind = TSettingKind::Flag, .Field = field, .Default = fallback};
}
constexpr TSettingKey Byte(const char* key, int rank, std::uint8_t TProgramInfo::* field, std::int64_t fallback,
                           std::int64_t most = 255) {
  return {.Key = key, .ReadRank = rank, .Kind = TSettingKind::Number, .Field = field, .Default = fallback,
          .Lo = 0, .Hi = 255, .Most = most};
}

// The keys in the order of the lines of a new "config.inf".
constexpr TSettingKey kSettingKeys[] = {
    TextOr("LanguagePackNow", 1, &TProgramInfo::LanguagePackNow, "english"),
    Text("CfgDefPath", 2, &TProgramInfo::CfgDefPath),
    Flag("CfgAutoResize", 6, &TProgramInfo::CfgAutoResize, true),
    Byte("OutputFileType", 13, &TProgramInfo::OutputFileType, otSameAsSource),
    Flag("AutoLocateOldPath", 5, &TProgramInfo::AutoLocateOldPath, true),
    Text("ExportPath", 7, &TProgramInfo::ExportPath),
    Folder("DefaultMarkPath", 8, &TProgramInfo::DefaultMarkPath, ""),
    Folder("DefaultPreviewPath", 9, &TProgramInfo::DefaultPreviewPath, ""),
    Folder("DefaultSourceBackgroundPath", 10, &TProgramInfo::DefaultSourceBackgroundPath, "background"),
    Folder("DefaultSourceFramePath", 11, &TProgramInfo::DefaultSourceFramePath, "background"),
    Folder("DefaultMaskPath", 12, &TProgramInfo::DefaultMaskPath, "mask"),
    {.Key = "ImageFilter", .ReadRank = 14, .Kind = TSettingKind::Patterns, .Field = &TProgramInfo::ImageFilter,
     .DefaultText = kDefaultImageFilter},
    // Older files wrote the switch with blanks around it.
    {.Key = "EnableShellnook", .ReadRank = 3, .Kind = TSettingKind::Flag, .Field = &TProgramInfo::EnableShellnook,
     .Default = false, .Trimmed = true},
    Byte("CfgSkin", 4, &TProgramInfo::CfgSkin, 0, 4),  // 0 none, 1..4 a stored skin
    Flag("KeepJpgCompress", 16, &TProgramInfo::KeepJpgCompress, true),
    Byte("JpgCompress", 17, &TProgramInfo::JpgCompress, 100),
    Flag("GifEnablePalette", 18, &TProgramInfo::GifEnablePalette, true),
    Byte("GifPalette", 19, &TProgramInfo::GifPalette, 0),
    Flag("GifEnableDither", 20, &TProgramInfo::GifEnableDither, false),
    Byte("GifDither", 21, &TProgramInfo::GifDither, 0),
    {.Key = "GifCompress", .ReadRank = 22, .Kind = TSettingKind::OneOrZero, .Field = &TProgramInfo::GifCompress},
    Text("MarkMakeImageFile", 15, &TProgramInfo::MarkMakeImageFile),
    Flag("GifMarkFirst", 23, &TProgramInfo::GifMarkFirst, false),
    Flag("GifDisableAnimate", 24, &TProgramInfo::GifDisableAnimate, false),
    Flag("BmpKeepColor", 25, &TProgramInfo::BmpKeepColor, true),
    Byte("BmpColorSetup", 26, &TProgramInfo::BmpColorSetup, 1),
    Flag("ViewShrinkFit", 27, &TProgramInfo::ViewShrinkFit, true),
    Flag("ViewZoomFit", 28, &TProgramInfo::ViewZoomFit, false),
    Flag("ViewAlwaysTop", 29, &TProgramInfo::ViewAlwaysTop, false),
    Flag("ViewImageFullScreen", 30, &TProgramInfo::ViewImageFullScreen, false),
    Flag("ViewHideMouse", 31, &TProgramInfo::ViewHideMouse, false),
    Flag("ViewEnableTiledImage", 32, &TProgramInfo::ViewEnableTiledImage, false),
    // Colours are 32-bit patterns; older files wrote system colours as
    // negative numbers, newer values may be written unsigned. Written as
    // the signed number older files hold. 9855488: red 0, green 98, blue 150.
    {.Key = "ViewSolidColor", .ReadRank = 33, .Kind = TSettingKind::Colour, .Field = &TProgramInfo::ViewSolidColor,
     .Default = 9855488, .Lo = std::numeric_limits<std::int32_t>::min(),
     .Hi = std::numeric_limits<std::uint32_t>::max()},
    Text("ViewTiledImage", 34, &TProgramInfo::ViewTiledImage),
    Flag("ViewImageViewMain", 35, &TProgramInfo::ViewImageViewMain, true),
    Flag("ViewShowToolbar", 36, &TProgramInfo::ViewShowToolbar, true),
    Flag("ViewShowFullPath", 37, &TProgramInfo::ViewShowFullPath, false),
    Flag("ZoomLock", 38, &TProgramInfo::ZoomLock, false),
    Flag("LocationLock", 39, &TProgramInfo::LocationLock, false),
    Byte("SlideSequence", 40, &TProgramInfo::SlideSequence, 0),
    {.Key = "SlideDelay", .ReadRank = 41, .Kind = TSettingKind::Number, .Field = &TProgramInfo::SlideDelay,
     .Default = 2000, .Lo = 0, .Hi = kInt32Max, .Most = kInt32Max},  // milliseconds
};

constexpr std::size_t kSettingCount = std::size(kSettingKeys);

// Each key once, and the reading ranks 1..N each once.
constexpr bool SameKey(const char* a, const char* b) {
  for (; *a != '\0' || *b != '\0'; ++a, ++b) {
    const char la = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
    const char lb = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b - 'A' + 'a') : *b;
    if (la != lb) return false;
  }
  return true;
}
constexpr bool TableIsSound() {
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    const TSettingKey& k = kSettingKeys[i];
    if (k.ReadRank < 1 || k.ReadRank > static_cast<int>(kSettingCount)) return false;
    if (k.Kind == TSettingKind::Number && !(k.Lo <= k.Default && k.Default <= k.Most && k.Most <= k.Hi)) {
      return false;
    }
    for (std::size_t j = i + 1; j < kSettingCount; ++j) {
      if (SameKey(k.Key, kSettingKeys[j].Key) || k.ReadRank == kSettingKeys[j].ReadRank) return false;
    }
  }
  return true;
}
static_assert(TableIsSound(), "every key once, every reading rank once, each number's default in its range");

// The rows in the order of their reading ranks.
const std::array<const TSettingKey*, kSettingCount>& ReadingOrder() {
  static const auto order = [] {
    std::array<const TSettingKey*, kSettingCount> o{};
    for (const TSettingKey& k : kSettingKeys) o[static_cast<std::size_t>(k.ReadRank - 1)] = &k;
    return o;
  }();
  return order;
}

template <typename T>
T& FieldOf(TProgramInfo& p, const TSettingKey& k) {
  return p.*std::get<T TProgramInfo::*>(k.Field);
}
template <typename T>
const T& FieldOf(const TProgramInfo& p, const TSettingKey& k) {
  return p.*std::get<T TProgramInfo::*>(k.Field);
}

// Calls f with the member of a number row: a byte or a 32-bit integer.
template <typename F>
decltype(auto) WithNumberField(const TSettingKey& k, F&& f) {
  if (const auto* byte = std::get_if<std::uint8_t TProgramInfo::*>(&k.Field)) return f(*byte);
  return f(std::get<std::int32_t TProgramInfo::*>(k.Field));
}
void SetNumber(TProgramInfo& p, const TSettingKey& k, std::int64_t n) {
  WithNumberField(k, [&](auto member) { p.*member = static_cast<std::remove_reference_t<decltype(p.*member)>>(n); });
}
std::int64_t NumberOf(const TProgramInfo& p, const TSettingKey& k) {
  return WithNumberField(k, [&](auto member) -> std::int64_t { return p.*member; });
}

std::string DefaultTextOf(const TSettingKey& k, const std::string& programDir) {
  return k.BelowProgramFolder ? programDir + k.DefaultText : std::string(k.DefaultText);
}

void SetDefault(TProgramInfo& p, const TSettingKey& k, const std::string& programDir) {
  switch (k.Kind) {
    case TSettingKind::Text:
      FieldOf<std::string>(p, k).clear();
      break;
    case TSettingKind::TextOrDefault:
      FieldOf<std::string>(p, k) = DefaultTextOf(k, programDir);
      break;
    case TSettingKind::Flag:
      FieldOf<bool>(p, k) = k.Default != 0;
      break;
    case TSettingKind::Number:
      SetNumber(p, k, k.Default);
      break;
    case TSettingKind::Colour:
      FieldOf<TColor>(p, k) = static_cast<TColor>(k.Default);
      break;
    case TSettingKind::OneOrZero:
      FieldOf<std::uint8_t>(p, k) = static_cast<std::uint8_t>(k.Default);
      break;
    case TSettingKind::Patterns: {
      TStringList& list = FieldOf<TStringList>(p, k);
      list.Clear();
      SplitString(k.DefaultText, list, ';');
      break;
    }
  }
}

// A number of the key's range, or nothing (the field keeps its default). A
// value the number test accepts but that is no usable whole number is
// noted, so the user learns why the setting fell back.
std::optional<std::int64_t> ReadNumber(TProgramInfo& p, const TSettingKey& k, const std::string& value) {
  if (!IsNumeric(value)) return std::nullopt;
  std::int64_t n = 0;
  if (!ParseWholeNumber(value, n) || n < k.Lo || n > k.Hi) {
    p.UnreadableSettings.push_back(std::string(k.Key) + "=" + value);
    return std::nullopt;
  }
  return n;
}

// Reads one key over its default; value is empty when the key is absent.
void ReadKey(TProgramInfo& p, const TSettingKey& k, const std::string& value, const std::string& programDir) {
  switch (k.Kind) {
    case TSettingKind::Text:
      FieldOf<std::string>(p, k) = value;
      break;
    case TSettingKind::TextOrDefault:
      FieldOf<std::string>(p, k) = Trim(value).empty() ? DefaultTextOf(k, programDir) : value;
      break;
    case TSettingKind::Flag: {
      const bool fallback = k.Default != 0;
      const char* other = fallback ? kFalse : kTrue;
      FieldOf<bool>(p, k) = (k.Trimmed ? Trim(value) : value) == other ? !fallback : fallback;
      break;
    }
    case TSettingKind::Number:
      if (const auto n = ReadNumber(p, k, value)) SetNumber(p, k, std::min(*n, k.Most));
      break;
    case TSettingKind::Colour:
      if (const auto n = ReadNumber(p, k, value)) {
        FieldOf<TColor>(p, k) = static_cast<TColor>(static_cast<std::uint32_t>(*n & 0xFFFFFFFF));
      }
      break;
    case TSettingKind::OneOrZero:
      FieldOf<std::uint8_t>(p, k) = value == "1" ? 1 : 0;
      break;
    case TSettingKind::Patterns:
      if (!value.empty()) {
        TStringList& list = FieldOf<TStringList>(p, k);
        list.Clear();
        SplitString(value, list, ';');
      }
      break;
  }
}

// The value a key is written with; empty drops its line.
std::string WrittenValue(const TProgramInfo& p, const TSettingKey& k) {
  switch (k.Kind) {
    case TSettingKind::Text:
    case TSettingKind::TextOrDefault:
      return FieldOf<std::string>(p, k);
    case TSettingKind::Flag:
      return IfThenStr(FieldOf<bool>(p, k), kTrue, kFalse);
    case TSettingKind::Number:
      return std::to_string(NumberOf(p, k));
    case TSettingKind::Colour:
      return std::to_string(static_cast<std::int32_t>(FieldOf<TColor>(p, k)));
    case TSettingKind::OneOrZero:
      return std::to_string(FieldOf<std::uint8_t>(p, k));
    case TSettingKind::Patterns:
      return JoinStrings(FieldOf<TStringList>(p, k), ';');
  }
  return {};
}

}  // namespace

const char* const DefaultImageFilter = kDefaultImageFilter;

TProgramInfo::TProgramInfo() {
  LanguageDir = GetProgramDir() + "language";
  ScratchBitmap.SetPixelFormat(pf24bit);
  SetDefaults();
  try {
    LoadConfig();
    ReadSettings();
    LoadLanguage();
  } catch (const std::exception& e) {
    ShowMsg(e.what(), mkError, MessageText(msg::SettingsCaption));
  }
  if (!UnreadableSettings.empty()) {
    std::string text = MessageText(msg::SettingsUnreadable);
    for (const std::string& line : UnreadableSettings) text += "\n" + line;
    ShowMsg(text, mkWarning, MessageText(msg::SettingsCaption));
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
  for (const TSettingKey& k : kSettingKeys) SetDefault(*this, k, dir);
}

void TProgramInfo::ReadSettings() {
  SetDefaults();
  UnreadableSettings.clear();
  // About fifty keys are looked up in a list that may hold many lines.
  const TNameIndex names(ConfigLines);
  const std::string dir = GetProgramDir();
  for (const TSettingKey* k : ReadingOrder()) {
    const int i = names.IndexOfName(k->Key);
    ReadKey(*this, *k, i < 0 ? std::string() : ConfigLines.ValueFromIndex(i), dir);
  }
}

void TProgramInfo::WriteSettings() {
  // Each key is written once. Its first line is replaced in place, a new
  // key is added at the end, and the lines of keys written empty go at
  // the end, so the index of the lines as they were stays right.
  const TNameIndex names(ConfigLines);
  std::vector<int> dropped;
  for (const TSettingKey& k : kSettingKeys) {
    const int first = names.IndexOfName(k.Key);
    std::string value = WrittenValue(*this, k);
    if (value.empty()) {
      // Every line of the key goes, so a later duplicate cannot take its
      // place: an empty text reads back as its default.
      for (int i = first; i >= 0; i = names.NextOfName(i)) dropped.push_back(i);
      continue;
    }
    std::string line = std::string(k.Key) + "=" + value;
    if (first < 0) {
      ConfigLines.Add(std::move(line));
    } else {
      ConfigLines[first] = std::move(line);
    }
  }

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
    ShowMsg(MessageText(msg::ConfigNotReadable) + "\n" + GetConfigFileName(), mkError, MessageText(msg::SettingsCaption));
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
    ShowMsg(e.what(), mkError, MessageText(msg::SettingsCaption));
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
