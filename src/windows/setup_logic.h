#pragma once
// The settings window's rules that need no window: the slideshow delay
// table, the JPEG quality scale, the reading of the typed filter and
// delay, how a choice that shows nothing is saved, and which control
// carries which language text.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/strings.h"

// ---- Slideshow delays --------------------------------------------------------

// The longest delay the window offers: ten days.
inline constexpr std::int32_t MaxSlideDelay = 864000000;

// One row of the delay table as the window holds it: the milliseconds and
// the label (empty for the short delays, which need none).
struct TDelayRow {
  const char* Milliseconds;
  const char* Label;
};

// Rows 0..36; the track bar's position is the row.
inline constexpr int DelayRowCount = 37;
const TDelayRow& DelayRow(int row);  // raises ERangeError outside 0..36

std::int32_t DelayMilliseconds(int row);
// "(" + label + ")", so the short delays show empty brackets.
std::string DelayCaption(int row);
// The first row whose delay is at least ms; the last row for anything
// longer than the table goes.
int DelayRowOf(std::int64_t ms);
// The delay a typed text stands for: a whole decimal number with an
// optional "-", blanks around it ignored, clamped to 0..MaxSlideDelay
// however many digits it has. Anything else ("", "-", "1.5", "2s") is 0.
std::int32_t DelayFromText(std::string_view text);

// ---- JPEG quality ------------------------------------------------------------

inline constexpr int MinJpgQuality = 1;
inline constexpr int MaxJpgQuality = 100;
// The slider position for a stored quality. A stored 0 would make every
// JPEG output fail, so it shows (and is saved back) as 1; above 100 shows
// as 100.
int JpgSliderPosition(int stored);
// The label beside the slider: the position and "%".
std::string JpgCompressCaption(int position);

// ---- Image filter ------------------------------------------------------------

// The patterns of the filter edit: split at ";", each entry trimmed, empty
// entries dropped. A text without any pattern gives the default patterns,
// as a filter that accepts nothing is never what the user wants.
TStringList ImageFilterFromText(std::string_view text);
std::string ImageFilterText(const TStringList& patterns);

// ---- Choices -----------------------------------------------------------------

// The value a radio group or list saves: the chosen index, or the old
// value when nothing is chosen (a stored value outside the group shows no
// choice and must not turn into something else by saving).
std::uint8_t ChosenOrKept(int chosen, std::uint8_t old);

// The items of the BMP colour depth list, index = stored value 0..5.
const std::vector<std::string>& BmpColorSetupItems();

// ---- Language texts ----------------------------------------------------------

// A control (by object name) and the number of its text. The window's own
// title is named "frmSetup".
struct TSetupCaption {
  const char* Name;
  int Number;
};
const std::vector<TSetupCaption>& SetupCaptions();
