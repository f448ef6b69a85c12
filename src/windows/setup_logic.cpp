#include "windows/setup_logic.h"

#include <cstdlib>

#include "app/settings.h"
#include "app/text_routines.h"
#include "core/exceptions.h"

namespace {

// Held as texts, as the window always kept it; the numbers are read where
// they are used.
const TDelayRow kDelayRows[DelayRowCount] = {
    {"0", "No delay"},        {"30", ""},
    {"100", ""},              {"500", ""},
    {"1000", "1 second"},     {"2000", "2 second"},
    {"3000", "3 second"},     {"4000", "4 second"},
    {"5000", "5 second"},     {"6000", "6 second"},
    {"7000", "7 second"},     {"8000", "8 second"},
    {"9000", "9 second"},     {"10000", "10 second"},
    {"15000", "15 second"},   {"20000", "20 second"},
    {"30000", "30 second"},   {"45000", "45 second"},
    {"60000", "1 minute"},    {"120000", "2 minute"},
    {"180000", "3 minute"},   {"240000", "4 minute"},
    {"300000", "5 minute"},   {"360000", "6 minute"},
    {"420000", "7 minute"},   {"480000", "8 minute"},
    {"540000", "9 minute"},   {"600000", "10 minute"},
    {"1200000", "20 minute"}, {"1800000", "30 minute"},
    {"2400000", "40 minute"}, {"3600000", "1 hour"},
    {"7200000", "2 hour"},    {"14400000", "4 hour"},
    {"28800000", "8 hour"},   {"86400000", "1 day"},
    {"864000000", "10 day"},
};

}  // namespace

const TDelayRow& DelayRow(int row) {
  if (row < 0 || row >= DelayRowCount) throw ERangeError("Delay row out of range (" + std::to_string(row) + ")");
  return kDelayRows[row];
}

std::int32_t DelayMilliseconds(int row) {
  return static_cast<std::int32_t>(std::strtol(DelayRow(row).Milliseconds, nullptr, 10));
}

std::string DelayCaption(int row) { return "(" + std::string(DelayRow(row).Label) + ")"; }

int DelayRowOf(std::int64_t ms) {
  for (int row = 0; row < DelayRowCount; ++row) {
    if (DelayMilliseconds(row) >= ms) return row;
  }
  return DelayRowCount - 1;
}

std::int32_t DelayFromText(std::string_view text) {
  const std::string t = Trim(text);
  std::size_t i = 0;
  const bool negative = !t.empty() && t[0] == '-';
  if (negative) ++i;
  if (i == t.size()) return 0;
  std::int64_t value = 0;
  for (; i < t.size(); ++i) {
    const char c = t[i];
    if (c < '0' || c > '9') return 0;
    // Past the limit the rest of the digits change nothing but the clamp.
    if (value <= MaxSlideDelay) value = value * 10 + (c - '0');
  }
  if (negative) return 0;
  return value > MaxSlideDelay ? MaxSlideDelay : static_cast<std::int32_t>(value);
}

int JpgSliderPosition(int stored) {
  return stored < MinJpgQuality ? MinJpgQuality : (stored > MaxJpgQuality ? MaxJpgQuality : stored);
}

std::string JpgCompressCaption(int position) { return std::to_string(position) + "%"; }

TStringList ImageFilterFromText(std::string_view text) {
  TStringList pieces;
  SplitString(text, pieces, ';');
  TStringList patterns;
  for (const std::string& piece : pieces) {
    std::string pattern = Trim(piece);
    if (!pattern.empty()) patterns.Add(std::move(pattern));
  }
  if (patterns.Empty()) SplitString(DefaultImageFilter, patterns, ';');
  return patterns;
}

std::string ImageFilterText(const TStringList& patterns) { return JoinStrings(patterns, ';'); }

std::uint8_t ChosenOrKept(int chosen, std::uint8_t old) {
  return chosen >= 0 && chosen <= 255 ? static_cast<std::uint8_t>(chosen) : old;
}

const std::vector<std::string>& BmpColorSetupItems() {
  static const std::vector<std::string> items = {
      "32bit(4294967296 Color)", "24bit(16777216 Color)", "16bit(65536 Color)",
      "8bit(256 Color)",         "4bit(16 Color)",        "1bit(2 Color)",
  };
  return items;
}

const std::vector<TSetupCaption>& SetupCaptions() {
  static const std::vector<TSetupCaption> captions = {
      {"frmSetup", 710},
      {"btnOK", 101},
      {"btnExit", 103},
      {"tsGeneral", 711},
      {"tsJPG", 712},
      {"tsGIF", 713},
      {"tsBMP", 714},
      {"tsViewer", 715},
      {"tsSlideShow", 716},
      {"rgOutFileFormat", 720},
      {"rbOutputDefault", 721},
      {"rbOutputJpg", 722},
      {"rbOutputGif", 723},
      {"rbOutputBmp", 724},
      {"rbOutputPng", 725},
      {"rbOutputPcx", 726},
      {"rbOutputTga", 727},
      {"chkAutoLocateOldPath", 730},
      {"chkEnabledShellnook", 732},
      {"btnShowMouse", 733},
      {"lblFileFilter", 740},
      {"lblExt1", 741},
      {"lblExt2", 741},
      {"lblExt3", 741},
      {"chkKeepJpgCompress", 750},
      {"chkDither", 760},
      {"gbDither", 761},
      {"rbDither0", 762},
      {"rbDither1", 763},
      {"rbDither2", 764},
      {"rbDither3", 765},
      {"rbDither4", 766},
      {"rbDither5", 767},
      {"rbDither6", 768},
      {"chkPalette", 770},
      {"gbPalette", 771},
      {"rbPalette0", 772},
      {"rbPalette1", 773},
      {"rbPalette2", 774},
      {"rbPalette3", 775},
      {"rbPalette4", 776},
      {"rbPalette5", 777},
      {"rbPalette6", 778},
      {"rbPalette7", 779},
      {"chkOnlyAddFirst", 780},
      {"chkDisableAnimate", 781},
      {"gbCompress", 785},
      {"chkKeepSourceFileColor", 790},
      {"gbBmpColorSetup", 791},
      {"chkHideMainAtViewImage", 1110},
      {"gbAutoSize", 1111},
      {"chkShrinkFit", 1112},
      {"chkZoomFit", 1113},
      {"gbWindowAttributes", 1120},
      {"chkAlwaysTop", 1121},
      {"chkFullScreen", 1122},
      {"chkHideMouse", 1123},
      {"gbBackground", 1130},
      {"rbSolidColor", 1131},
      {"rbTiledImage", 1132},
      {"gbShowHide", 1140},
      {"chkShowToolbar", 1141},
      {"chkShowFullPath", 1142},
      {"gbSequence", 1160},
      {"rbForward", 1161},
      {"rbReverse", 1162},
      {"rbRandom", 1163},
      {"gbDelay", 1164},
      {"lblMilliseconds", 1165},
  };
  return captions;
}
