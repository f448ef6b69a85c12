#pragma once
// Routines the windows and the mark code share: message boxes, packed
// streams, path and text helpers, image types and output names, and the
// desktop stand-ins (clipboard, fonts, file-manager action, help file).
// Paths use "/" only; ":" is an ordinary file-name character.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/gui_handler.h"
#include "core/streams.h"
#include "core/strings.h"

class TZlibStream;

// ---- Message boxes and the message pump ----------------------------------

// The caption every caller passes.
inline constexpr const char* SystemMessageCaption = "System message";

// Shows a modal message box of the given kind (a TMsgKind) and
// returns the button id (idOK, idCancel, idYes, idNo). Without a window
// side the text goes to standard error and the kind's default answer
// comes back. Never fails.
int ShowMsg(const std::string& text, int kind, const std::string& caption);

// Lets the window side handle every pending event, then returns.
void ProcessMessages();

// ---- Overwrite answers ------------------------------------------------------

// The answers to the question asked before a file is replaced, as the
// batch, the copies of the viewer and the question window exchange them.
enum TOverwriteAnswer : int { owNo = 0, owYes = 1, owAllYes = 2, owAllNo = 3 };

// ---- Packed streams --------------------------------------------------------
// A packed stream is the unpacked length as 4 bytes little-endian, then a
// zlib stream of exactly that many bytes.

// Compression levels: none, fastest, zlib's default, maximum.
enum TCompressionLevel { zcNone = 0, zcFastest = 1, zcDefault = 2, zcMax = 3 };

// Packs the whole of source; afterwards both source and dest hold the
// packed stream. False (streams in an unspecified state) on failure.
bool CompressStream(int level, TMemoryStream& source, TStream& dest);

// The largest unpacked length accepted (1 GiB).
inline constexpr std::uint32_t MaxUnpackedLength = 1u << 30;

// Unpacks the whole of source (from its start) and appends the bytes to
// dest, whose position then goes to 0. False, with dest unchanged, when the
// stream is damaged, does not unpack to exactly the stored length, or
// states a length that its compressed size cannot produce.
bool DecompressStream(TStream& source, TStream& dest);

// The same over bytes in memory. PackBytes gives the packed stream of
// plain, or of pieces that follow each other (raising Exception on
// failure). UnpackBytes gives in plain the bytes of a packed stream, or
// hands them to a sink piece by piece with their offsets; False (plain
// unchanged) for what DecompressStream refuses. A sink may have been
// given pieces of a stream that then proves damaged.
using TUnpackSink = std::function<void(std::uint64_t offset, std::span<const std::uint8_t> piece)>;
std::vector<std::uint8_t> PackBytes(int level, std::span<const std::uint8_t> plain);
std::vector<std::uint8_t> PackBytes(int level, std::span<const std::span<const std::uint8_t>> pieces);
// The same through a deflate state the caller keeps for many calls (it is
// reset first), for callers that pack often: starting zlib afresh costs
// more than packing a few kilobytes.
std::vector<std::uint8_t> PackBytes(TZlibStream& deflater, std::span<const std::span<const std::uint8_t>> pieces);
bool UnpackBytes(std::span<const std::uint8_t> packed, std::vector<std::uint8_t>& plain);
bool UnpackBytes(std::span<const std::uint8_t> packed, const TUnpackSink& sink);

// ---- Files and paths -------------------------------------------------------

// The display name of the node that stands for the whole file system in
// the folder trees.
std::string GetMyComputerName();
// Size in bytes of a file; 0 when there is none.
std::int64_t GetFileSizeByName(const std::string& fileName);
// The name up to its last "." (the whole name when it has none).
std::string ExtractFileNameNoExt(const std::string& name);
// The folder part of a path (up to its last "/") with exactly one "/"
// at the end; a path without a folder gives "/".
std::string ExtractFilePathSlash(const std::string& path);
// The part after the last "/".
std::string ExtractFileName(const std::string& path);
// The extension from the last "." of the file name, with the dot ("" when
// there is none).
std::string ExtractFileExt(const std::string& path);

// The first / last n bytes of text, never cutting a UTF-8 character.
std::string LeftStr(const std::string& text, int n);
std::string RightStr(const std::string& text, int n);
// The 1-based position of the last ch at or before position
// length - fromEnd + 1 (clamped to the text), searching backwards; 0 when
// there is none.
int LastCharPos(char ch, const std::string& text, int fromEnd);
// The n-th (1-based) field between delimiters; "" when there are fewer.
std::string GetField(const std::string& text, char delimiter, int n);

// A date-time value: days since 30 December 1899 and the fraction of a day.
using TDateTime = double;
// The local date and time now.
TDateTime Now();
// Whole seconds of a time span given as a date-time value (milliseconds
// dropped after rounding to the nearest millisecond).
std::int64_t TimeToSeconds(TDateTime span);

// Program folder + "spm/~temp" + a random number below 10100000 + ext. No
// file is made.
std::string GetTempMarkFileName(const std::string& ext);

// ---- Image types and output names -----------------------------------------

// The type of a picture file by its extension: the six types the program
// writes, and itOther for every other.
enum TImageType : int { itJpeg = 1, itGif = 2, itBmp = 3, itPng = 4, itPcx = 5, itTarga = 6, itOther = 10 };

// The output types of the setting OutputFileType, stored as these numbers:
// the source's own type, or one of the written image types, which have
// the same numbers.
enum TOutputType : int {
  otSameAsSource = 0,
  otJpeg = itJpeg,
  otGif = itGif,
  otBmp = itBmp,
  otPng = itPng,
  otPcx = itPcx,
  otTarga = itTarga,
};

// itJpeg ".jpeg"/".jpg", itGif ".gif", itBmp ".bmp"/".dib", itPng ".png",
// itPcx ".pcx", itTarga ".tga", itOther anything else; the extension in
// any case.
TImageType GetImageType(const std::string& fileName);
// The output name for name (output folder + source file name) with the
// output type of the settings (see the overload).
std::string MakeOutputFileName(const std::string& name);
// otSameAsSource (and any number that is no output type) keeps the
// source's name, except that a source the program cannot write (itOther)
// gets ".bmp", the data it is written as. otJpeg .. otTarga give ".jpeg",
// ".gif", ".bmp", ".png", ".pcx", ".tga" in place of the last extension.
std::string MakeOutputFileName(const std::string& name, int outputType);
// True when the name ends in one of the ImageFilter patterns of the
// settings (a leading "*" dropped, compared without regard to case).
bool IsImageFile(const std::string& fileName);
bool IsImageFile(const std::string& fileName, const TStringList& patterns);

// ---- Lists -----------------------------------------------------------------

// The items of a list view, as MoveListItem sees them.
class TListItems {
 public:
  virtual ~TListItems() = default;
  virtual int Count() const = 0;
  virtual std::string Caption(int index) const = 0;
  virtual std::vector<std::string> SubItems(int index) const = 0;
  virtual void Delete(int index) = 0;
  virtual void Insert(int index, const std::string& caption, const std::vector<std::string>& subItems) = 0;
  virtual void Select(int index) = 0;
};

// Moves item by delta places (caption and sub-item texts only) and selects
// it. False, changing nothing, when delta is 0 or the new place lies
// outside the list.
bool MoveListItem(TListItems& items, int item, int delta);

// ---- Desktop stand-ins -----------------------------------------------------

// The clipboard forms of one file: a URL list, the file manager's
// "copied files" form and the path as plain text.
std::vector<TClipboardFormat> FileClipboardFormats(const std::string& fileName);
// "file://" + the absolute path, percent-encoded.
std::string FileUrl(const std::string& fileName);
// Puts the file on the clipboard. Raises Exception when the clipboard does
// not take it ("Could not allocate memory.").
void CopyFileToClipboard(const std::string& fileName);

// The locale that names the user's interface language: LC_ALL, else
// LC_MESSAGES, else LANG.
std::string SystemLocaleName();
// True for Chinese in simplified characters (zh, zh_CN, zh_SG, zh_Hans...).
bool IsChineseSimplifiedLocale(std::string_view locale);
// The window font of Chinese systems: "宋体" at 9 points, then CJK
// fallbacks.
TFontChoice ChineseWindowFont();
// On a Chinese (simplified) system, asks the window side to give the form
// the Chinese window font; elsewhere does nothing.
void ApplyLanguageFont(void* form);

// The file-manager context action: a service menu and a file-manager
// script that write the selected paths, one per line, into "~righ.dat"
// beside the program and start it. Both live under $HOME.
std::string ShellnookServiceMenuFile();  // ~/.local/share/kio/servicemenus/stampwise-shellnook.desktop
std::string ShellnookScriptFile();       // ~/.local/share/nautilus/scripts/Stampwise
bool RegisterShellnook();
bool UnregisterShellnook();

// The help: HTML pages in the "help" folder beside the program, read in
// the desktop's browser. The pages the program opens: the contents (Help),
// how to make a mark (the mark editor's help) and the tutorial.
extern const char* const HelpIndexPage;
extern const char* const HelpMakingAMarkPage;
extern const char* const HelpTutorialPage;
// The file of a help page.
std::string HelpFileName(const std::string& page = HelpIndexPage);
// True when a window side that can open the help is installed.
bool HtmlHelpLoaded();
// Opens a help page with the desktop. A missing page, and a desktop that
// cannot open it, are reported in a message box with its file name; false
// then.
bool HtmlHelp(const std::string& page);
