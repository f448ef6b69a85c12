#pragma once
// The main window's rules that need no widget: the conversion list (what
// is added, the summary caption), the shell list's sort order, the mark
// list and the layer list, the hand-over file, dropped files, the preview
// picture and the preview's layout. The form keeps its widgets in step
// with these; the tests drive them without a window.
//
// File names are compared exactly, letter case included: "a.JPG" and
// "a.jpg" are two files here.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/routines.h"
#include "core/bitmap.h"
#include "core/types.h"

// ---- Conversion list ---------------------------------------------------------

// The candidates that are not yet listed, in their order. A candidate is
// taken once: a name that comes twice, or is already listed, is passed
// over, so the list never holds a file twice (the batch would otherwise
// convert it twice and meet its own output at the overwrite question).
std::vector<std::string> UnlistedFiles(const std::vector<std::string>& listed,
                                       const std::vector<std::string>& candidates);

// The dropped names that join the list: each trimmed, an existing regular
// file (a folder is never added, whatever its name) that passes
// IsImageFile and is not listed yet. Names are taken whole, however long.
std::vector<std::string> DroppedImageFiles(const std::vector<std::string>& names,
                                           const std::vector<std::string>& listed);

// The files a folder search found that join the list: image files
// (IsImageFile) not listed yet.
std::vector<std::string> FoundImageFiles(const std::vector<std::string>& found,
                                         const std::vector<std::string>& listed);

// The size of the listed files: the sum of their sizes (a missing file
// counts 0).
std::int64_t TotalFileSize(const std::vector<std::string>& files);
// The size as the conversion list's caption shows it: from 1 MiB on
// "0.00MB" (MiB with two decimals), from 1 KiB on "0.00KB", below that
// the byte count with at least three digits and thousands grouping
// ("005B"); decimals round half away from zero.
std::string FileSizeText(std::int64_t total);
// The caption of the conversion list's column: the list's text alone for
// an empty total, else the text, the number of files and the size text
// separated by blanks. Joined, never formatted, so a "%" in a translation
// is shown as it is.
std::string ConversionListCaption(const std::string& text, int count, std::int64_t total);

// ---- Shell list ----------------------------------------------------------------

// Columns of the shell list.
enum TShellColumn { scName = 0, scSize = 1, scType = 2, scModified = 3 };

// One file of the shell list with the values of its columns.
struct TShellEntry {
  std::string Name;
  std::int64_t Size = 0;
  std::string Type;
  std::int64_t Modified = 0;  // milliseconds since 1970
};

// The order of the shell list: the name and type columns compare their
// texts without regard to case, the size and date columns their values;
// equal values fall back to the names (without regard to case, then
// exactly), so the order never depends on the sorting algorithm.
// Descending swaps the two entries. Negative when a comes first.
int ShellListCompare(const TShellEntry& a, const TShellEntry& b, int column, bool descending);
void SortShellEntries(std::vector<TShellEntry>& entries, int column, bool descending);

// ---- Marks and layers ------------------------------------------------------------

// The marks of the mark folder: every regular file whose name ends in
// ".spm", shown as the name without that final ".spm" (so "logo.v2.spm"
// is the mark "logo.v2", the one GetMarkFileName finds again). Sorted by
// name, without regard to case first. A missing folder gives none.
std::vector<std::string> MarkNamesInFolder(const std::string& folder);

// One entry of the mark list: its name and check.
struct TMarkEntry {
  std::string Name;
  bool Checked = false;
};

// One layer: a mark name and whether it is selected in the layer list.
struct TLayerItem {
  std::string Name;
  bool Selected = false;
  friend bool operator==(const TLayerItem&, const TLayerItem&) = default;
};

// The layer list: item 0 is the top layer.
class TLayerList : public TListItems {
 public:
  std::vector<TLayerItem> Items;

  int Count() const override { return static_cast<int>(Items.size()); }
  std::string Caption(int index) const override;
  std::vector<std::string> SubItems(int index) const override;
  void Delete(int index) override;
  void Insert(int index, const std::string& caption, const std::vector<std::string>& subItems) override;
  void Select(int index) override;

  int IndexOf(const std::string& name) const;
  std::vector<std::string> Names() const;
  // The names from the bottom layer to the top one: the order the marks
  // are drawn in.
  std::vector<std::string> NamesBottomFirst() const;
};

// Layers after a check changed: the mark list is walked from its last
// entry to its first; an unchecked mark that is a layer leaves the layer
// list, a checked mark that is not one becomes the top layer. Layers whose
// mark is no longer in the mark list are dropped as well.
void SyncLayersFromChecks(const std::vector<TMarkEntry>& marks, TLayerList& layers);
// The checks after layers were removed: exactly the marks that are layers
// are checked.
void SyncChecksFromLayers(std::vector<TMarkEntry>& marks, const TLayerList& layers);

// Removes the selected layers.
void DeleteSelectedLayers(TLayerList& layers);
// Moves every selected layer one place up (direction -1, visiting from the
// first to the last) or down (+1, visiting from the last to the first). A
// layer at the edge stays, and so does one that would pass a selected
// layer that stayed: a block of selected layers keeps its order.
void MoveSelectedLayers(TLayerList& layers, int direction);
// A drop of the selected layers on the layer at target: every selected
// layer moves by the distance from the first selected layer to target,
// cut so that the last (or first) selected one still fits in the list;
// the selected layers keep their order. Returns whether anything moved.
bool DropSelectedLayers(TLayerList& layers, int target);

// ---- Hand-over file ----------------------------------------------------------------

// What the hand-over lines ask for.
struct THandOverPlan {
  std::vector<std::string> Added;  // files to append, in order
  std::string Folder;              // where the folder tree goes ("" stays)
};

// Works out the hand-over: each line naming an existing folder sends the
// tree there and adds the folder's image files (folderImages gives them
// in the shell list's order); each line naming an existing regular image
// file adds it. Nothing already listed, or added by an earlier line, is
// added again. When the first line names an existing file, the tree ends
// at that file's folder. Blank lines are passed over.
THandOverPlan PlanHandOver(const std::vector<std::string>& lines, const std::vector<std::string>& listed,
                           const std::function<std::vector<std::string>(const std::string& folder)>& folderImages);

// The hand-over file beside the program.
std::string HandOverFileName();
// Reads the hand-over file's lines and deletes it at once, so a failure
// later in the hand-over does not repeat at the next start. No file, or
// one that cannot be read, gives no lines.
std::vector<std::string> TakeHandOverLines(const std::string& fileName);

// ---- Preview -------------------------------------------------------------------------

// Loads a picture through the picture registry into a 24-bit bitmap over
// white (a GIF gives its first frame). Raises what the reader raises.
TBitmap LoadPreviewPicture(const std::string& fileName);
// The status text of a previewed file: label + ":" + extension + " Size:"
// + kilobytes + "K " + width + "x" + height + " ".
std::string PreviewStatusText(const std::string& label, const std::string& fileName, std::int64_t fileSize,
                              int width, int height);

// One scroll bar of the 1:1 preview.
struct TScrollSetup {
  bool Visible = false;
  int Max = 0;
  int PageStep = 0;
  int LineStep = 0;
  friend bool operator==(const TScrollSetup&, const TScrollSetup&) = default;
};

// Where the parts of the preview go inside the preview panel.
struct TPreviewLayout {
  TPoint ViewSize;      // the view beside the scroll bars
  TRect PictureRect;    // the paint box inside the view
  TPoint DisplaySize;   // the size of the picture shown
  bool Stretched = false;  // the picture is drawn at DisplaySize, not 1:1
  TScrollSetup Horizontal;
  TScrollSetup Vertical;
};

// Auto-fit: the view fills the panel and the picture is shrunk (never
// enlarged) into it, 2 pixels from each edge, centred. 1:1: both scroll
// bars are shown, the view is what they leave of the panel, and a scroll
// bar whose direction holds more picture than view scrolls over the rest
// (page the view's size, line a tenth of it); a smaller picture is
// centred.
TPreviewLayout LayoutPreviewArea(bool autoFit, TPoint panel, TPoint picture, int scrollBarWidth,
                                 int scrollBarHeight);

// The smallest size the preview panel takes, so the window can always be
// resized.
constexpr int PreviewMinimumSize = 101;

// ---- Save As of the preview ---------------------------------------------------------------

// The default extension of the preview's save dialog for its file type
// (counted from 1): "jpg", "jpeg", "gif", "bmp", "png"; any other "bmp".
std::string PreviewSaveDefaultExt(int filterIndex);
// The filter of the preview's save dialog.
extern const char* const PreviewSaveFilter;
// The file a picture is saved as from that dialog: a name whose extension
// is one the program writes pictures as keeps it; any other ("v1..2",
// "photo.tmp", "notes.") gets the extension of the chosen type (counted
// from 1), so that the data written are what the name says.
std::string PictureSaveName(const std::string& chosen, int filterIndex);
