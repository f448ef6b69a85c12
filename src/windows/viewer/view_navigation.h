#pragma once
// Stepping through a list of pictures, the slideshow's order and timing,
// and the small rules of the viewer's file commands. Plain functions, so
// they are tested without a window.

#include <functional>
#include <string>

// What the viewer shows: the pictures of the main window's file list or of
// its conversion list, or one picture it is given, without a file. The
// numbers are those the windows exchange; the main window's preview names
// where its picture came from the same way.
enum TViewMode : int { vmShellList = 0, vmConvList = 1, vmBitmap = 2 };

// What moves to another picture.
enum class TNavigateKey { Space, PageUp, PageDown, Home, End };

// The slideshow orders of the setting SlideSequence.
enum TSlideSequence { ssForward = 0, ssBackward = 1, ssRandom = 2 };

// A random index below a count (count > 0).
using TRandomIndex = std::function<int(int count)>;

// The index a key leads to in a list of count items from current (-1 or
// out of range: the first item). Space follows the sequence: forward and
// backward wrap at the ends, random picks any index below the count;
// Page Up and Page Down stop at the ends; Home and End go to the first and
// last item. -1 for an empty list.
int NavigateIndex(TNavigateKey key, int current, int count, int sequence, const TRandomIndex& random);

// The picture to load ahead once a key took the viewer to index: the next
// one in the direction of travel (Page Down and Home index + 1, Page Up
// and End index - 1, Space as its sequence goes, wrapping at the ends; a
// random order has no next). -1 for none, and never index itself.
int PrefetchIndex(TNavigateKey key, int index, int count, int sequence);

// The slideshow waits at least this long between pictures, so a delay of
// 0 never keeps the viewer loading without a pause.
inline constexpr int MinSlideInterval = 100;
int SlideInterval(int delay);

// Save writes over the shown file only for the types the program writes
// itself (JPEG, GIF, BMP, PNG, PCX, Targa) and never without a file
// (vmBitmap); the other types go through Save As.
bool CanSaveInPlace(int mode, const std::string& fileName);
// The name Save As writes: the chosen name, with the extension of the
// chosen filter (1 ".jpg", 2 ".jpeg", 3 ".gif", 4 ".bmp", 5 ".png", other
// ".bmp") added when the chosen name's type is not one the program writes.
std::string SaveAsTarget(const std::string& chosen, int filterIndex);
// The default extension of a filter of the save dialog ("jpg" ... "bmp").
std::string SaveDefaultExt(int filterIndex);
// The name the save dialog starts with: the file's name without its
// folder, or "newfile1" without a file.
std::string SaveDialogName(int mode, const std::string& fileName);
