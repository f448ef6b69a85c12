#pragma once
// The mark editor's decisions, without a window: the options its controls
// show and how they map onto the mark record in both directions, the
// checks before a preview and before saving, the pieces of a mark text,
// the size presets, saving under a new or changed name, the size of the
// marked sample, the checkerboard, the pixel read-outs, colour picking and
// dragging. TfrmMakeMark keeps its widgets in step with these.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/messages.h"
#include "core/bitmap.h"
#include "core/types.h"
#include "imaging/mark.h"

// Replaces each "%s" of format, in order, with the next argument; a "%s"
// without an argument is left out.
std::string FormatText(std::string_view format, std::initializer_list<std::string_view> args);

// ---- The options ------------------------------------------------------------------

// The font of a text mark as the record keeps it.
enum TMarkFontStyle : std::uint32_t { mfsBold = 1, mfsItalic = 2, mfsUnderline = 4, mfsStrikeOut = 8 };
struct TMarkFont {
  std::string Name = "Arial";
  std::int32_t Size = 9;  // points
  std::uint32_t Style = 0;
  TColor Color = clBlack;
  friend bool operator==(const TMarkFont&, const TMarkFont&) = default;
};

// The number edits, in the order ValidateOptions checks them.
enum TNumberField {
  nfXOffset,
  nfYOffset,
  nfTolerance,
  nfAngle,
  nfMosaicX,
  nfResizeX,
  nfResizeY,
  nfSourceWidth,
  nfSourceHeight,
  nfScale,  // the scale combo: a decimal text
  nfFrameX,
  nfFrameY,
  nfBevelWidth,
  nfContrast,
  nfMosaicY,
  nfMaskLeft,
  nfMaskTop,
  nfMaskWidth,
  nfMaskHeight,
  nfCount
};

// What ValidateOptions keeps a number edit in, and the edit's own range
// (a spin edit whose minimum equals its maximum has none). A text that is
// no number sets the edit to Reset when there is one, and always ends the
// check.
struct TNumberRule {
  const char* Control;
  std::int64_t Low;
  std::int64_t High;
  std::int64_t OwnMin;
  std::int64_t OwnMax;
  const char* Reset;  // nullptr: the text stays
  // Low..High limited to the edit's own range: what a spin box that
  // carries the validation bounds holds.
  std::int64_t Min() const { return OwnMin != OwnMax && OwnMin > Low ? OwnMin : Low; }
  std::int64_t Max() const { return OwnMin != OwnMax && OwnMax < High ? OwnMax : High; }
};
const TNumberRule& NumberRule(TNumberField field);

// The effect check boxes and the flag bit each one sets.
struct TFlagBox {
  const char* Control;
  std::uint32_t Flag;
};
const std::array<TFlagBox, 13>& FlagBoxes();
// Every bit a check box sets.
std::uint32_t EditorFlagBits();

// Everything the editor's controls show that goes into the record. The
// number edits are kept as their texts, as typed.
struct TMarkOptions {
  std::string Name;
  bool TextMark = false;
  std::string PictureFile;
  std::string Text;  // the memo's text, lines joined by CR LF
  TMarkFont Font;
  TColor TextBackColor = clWhite;
  int Position = 0;  // the anchor, 0..8
  bool ColorKeyOn = false;
  TColor KeyColor = clWhite;
  TColor RotateBackColor = clWhite;
  int Transparency = 0;  // 0..100
  bool AutoFit = true;   // the mark view fitted to its frame
  std::uint32_t Flags = 0;  // the check boxes of FlagBoxes
  TColor SourceBackColor = clWhite;
  TColor FrameColor = clWhite;
  // Item indices of the combos; -1 when none is chosen.
  int BevelInner = 0;
  int BevelOuter = 2;
  int FrameStyle = 0;
  std::array<std::string, nfCount> Numbers;

  bool Has(std::uint32_t flag) const { return (Flags & flag) != 0; }
  void Set(std::uint32_t flag, bool on) { Flags = on ? (Flags | flag) : (Flags & ~flag); }
  std::string& Number(TNumberField field) { return Numbers[static_cast<std::size_t>(field)]; }
  const std::string& Number(TNumberField field) const { return Numbers[static_cast<std::size_t>(field)]; }
  friend bool operator==(const TMarkOptions&, const TMarkOptions&) = default;
};

// Items of the bevel combos and the frame-style combo.
constexpr int BevelItemCount = 3;
constexpr int FrameStyleItemCount = 6;

// The controls as the window is made: a new mark's record shown, with an
// empty name and mosaic cells of 10.
TMarkOptions CreationOptions();

// The record shown in the controls. The parts of the other kind of mark
// (the memo and font of a picture mark, the picture file of a text mark)
// and a combo whose stored index lies above its item count keep what
// options held. An index equal to the count leaves the combo without a
// choice; an anchor above 8 shows as 0; a resize of 0 shows as 100.
void MarkToForm(const TMarkInfo& record, TMarkOptions& options);
// The controls written into the record: it is reset first, the trimmed
// name and every field follow, the flags last. A number that does not
// parse reads as its edit's minimum; values are kept inside their fields.
void FormToMark(const TMarkOptions& options, TMarkInfo& record);

// The number of an edit as FormToMark reads it.
std::int64_t NumberValue(const TMarkOptions& options, TNumberField field);

// Integers are an optional "-" and digits, nothing else ("1.5", "-",
// "1-2", " 5" and "+5" are not). Values beyond 64 bits saturate.
std::optional<std::int64_t> ParseInteger(std::string_view text);
// Decimals are an optional "-", digits and at most one ".", with a digit
// somewhere ("12.5", "12.", ".5").
std::optional<long double> ParseDecimal(std::string_view text);
// The shortest text that reads back as the same float ("100", "12.5").
std::string FloatText(float value);

// Checks the number edits in order: a value outside its bounds is set to
// the nearer one; a text that is no number ends the check with false
// (after setting the edit's reset text, if it has one).
bool ValidateOptions(TMarkOptions& options);

// ---- Saving -----------------------------------------------------------------------

// What may still be typed into the record's name and picture fields.
constexpr std::size_t MarkNameBytes = 30;
constexpr std::size_t PictureFileBytes = 255;

enum TSaveFocus { sfNone, sfName, sfText };
struct TSaveCheck {
  bool Ok = true;
  int Message = 0;  // 0: none to show
  TSaveFocus Focus = sfNone;
};
// The checks of OK, first failure first: the text does not fit into the
// record (1558, picture marks too), there is no mark picture (1557), the
// trimmed name is empty (1552), is no plain file name (1559) or longer
// than 30 bytes (1560), a text mark has no text (1553), and a tolerance
// below 0 is set to 0 and fails without a message.
TSaveCheck ValidateBeforeSave(TMarkOptions& options, bool pictureEmpty);

// Where a mark goes: the name being edited (when editing) and the trimmed
// name to save under.
struct TSaveTarget {
  bool EditExisting = false;
  std::string OldName;
  std::string Name;
};
// Writes mark 0 of the set as the mark file of target.Name. A file of
// that name that is not the one being edited must be confirmed with Yes
// to message 1551 first. A failed write shows message 1555 and gives
// false. After saving an edited mark under another name the old file is
// deleted, unless it is the file just written (two spellings of one name
// on a volume that ignores case).
bool SaveMark(TMark& set, const TSaveTarget& target);

// ---- Mark text --------------------------------------------------------------------

constexpr std::size_t MarkTextPieceBytes = 100;
using TMarkTextPieces = std::array<std::string, TMarkInfo::TextPieces>;
// The text cut from its start into pieces of up to 100 bytes, never
// inside a character; what does not fit into the 51 pieces is dropped.
TMarkTextPieces SplitMarkText(std::string_view text);
void SplitMarkText(std::string_view text, TMarkInfo& record);
std::string JoinMarkText(const TMarkTextPieces& pieces);
std::string JoinMarkText(const TMarkInfo& record);
// True when SplitMarkText keeps the whole text.
bool MarkTextFits(std::string_view text);
// The memo's line breaks ("\n") as the record keeps them (CR LF), and back.
std::string StoredLineBreaks(std::string_view memoText);
std::string MemoLineBreaks(std::string_view storedText);

// ---- Lists and small rules --------------------------------------------------------

// The 28 size presets of cbxDefaultSize, in order.
const std::vector<std::string>& DefaultSizeItems();
// The items of the scale combo.
const std::vector<std::string>& ScaleItems();
// "W" "x" "H", optionally followed by a bracketed note: the two numbers.
std::optional<TPoint> ParseSizePreset(std::string_view item);

// The version label: the text of message 1556, ":" and the version.
std::string VersionCaption(const std::string& label, const std::string& version);

// The resize percentages that make the mark as large as the composite
// (each 1..4096); none when the mark has no width or height.
std::optional<TPoint> FitToBackgroundPercent(TPoint composite, TPoint mark);

// ---- The mark view and the preview ------------------------------------------------

// Where the mark picture is shown in its frame: fitted (shrunk, never
// enlarged, 5-pixel margins, centred) or at its own size at (0, 0).
TRect MarkViewRect(bool autoFit, TPoint frame, TPoint picture);
// Where the composite is shown in the preview panel: shrunk, never
// enlarged, 1-pixel margins, centred.
TRect PreviewRect(TPoint panel, TPoint composite);

// What the marked sample is built on.
struct TCompositePlan {
  TPoint Size;            // the composite before the marks are drawn
  bool UseSample = false;  // a copy of the sample, else the checkerboard
  TPoint Base;            // the size DrawMarks scales the source by
  bool Fits = true;       // within the pixel cap
};
// The sample when there is one; else the checkerboard at the new source
// size (when the source is resized) or at the panel's size, which is at
// least 1 x 1. The base is the sample's size, or the composite's without
// one.
TCompositePlan PlanComposite(bool resizeSource, TPoint sourceSize, bool haveSample, TPoint sampleSize,
                             TPoint panelSize);

// Fills the bitmap white with grey (206, 206, 206) cells of 8 x 8 pixels
// where column + row is odd; cell (0, 0) is white.
void DrawCheckerboard(TBitmap& bitmap);

// The read-outs of a pixel of a shown picture; none outside it.
struct TPixelReadout {
  TColor Color = 0;
  TColor FontColor = 0;
  std::string ColorText;   // " RGB:r,g,b"
  std::string LocateText;  // "X:Y x:y"
};
std::optional<TPixelReadout> ReadPixel(const TBitmap& picture, int x, int y);
// Black when a channel lies in 101..149, else the inverted colour.
TColor ReadoutFontColor(TColor c);
// Each channel inverted, and 0 where the inverted value lies within 50 of
// 127.
TColor ContrastColor(TColor c);
// The caption colour on a colour swatch: black or white, whichever stands
// out more against the swatch (by the ratio of their luminances).
TColor CaptionColorOn(TColor back);

// What a click on a picture picks: the right button with an angle takes
// the rotation's corner colour, the left button with the colour key on
// takes the key colour.
enum TPickTarget { ptNone, ptRotateBack, ptKeyColor };
TPickTarget PickTarget(bool leftButton, bool rightButton, bool angleSet, bool keyOn);

// Dragging the mark in the preview: the offsets follow the pointer pixel
// for pixel, whatever the preview's scale.
class TOffsetDrag {
 public:
  void Begin(TPoint pointer, TPoint offsets);
  void End() { active_ = false; }
  bool Active() const { return active_; }
  TPoint OffsetsAt(TPoint pointer) const;

 private:
  bool active_ = false;
  TPoint start_;
  TPoint startOffsets_;
};
