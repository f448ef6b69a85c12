#include "windows/main_models.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <set>

#include "app/routines.h"
#include "core/exceptions.h"
#include "core/files.h"
#include "core/graphic.h"
#include "core/strings.h"
#include "formats/gif/gif_image.h"
#include "imaging/drawing.h"
#include "imaging/source_picture.h"
#include "windows/viewer/view_navigation.h"

// ---- Conversion list ---------------------------------------------------------

std::vector<std::string> UnlistedFiles(const std::vector<std::string>& listed,
                                       const std::vector<std::string>& candidates) {
  std::set<std::string> known(listed.begin(), listed.end());
  std::vector<std::string> added;
  for (const std::string& name : candidates) {
    if (known.insert(name).second) added.push_back(name);
  }
  return added;
}

std::vector<std::string> DroppedImageFiles(const std::vector<std::string>& names,
                                           const std::vector<std::string>& listed) {
  std::vector<std::string> files;
  for (const std::string& raw : names) {
    std::string name = Trim(raw);
    if (!name.empty() && FileExists(name) && IsImageFile(name)) files.push_back(std::move(name));
  }
  return UnlistedFiles(listed, files);
}

std::vector<std::string> FoundImageFiles(const std::vector<std::string>& found,
                                         const std::vector<std::string>& listed) {
  std::vector<std::string> files;
  for (const std::string& name : found) {
    if (IsImageFile(name)) files.push_back(name);
  }
  return UnlistedFiles(listed, files);
}

std::int64_t TotalFileSize(const std::vector<std::string>& files) {
  std::int64_t total = 0;
  for (const std::string& file : files) {
    const std::int64_t size = GetFileSizeByName(file);
    if (size > 0 && total <= INT64_MAX - size) total += size;
  }
  return total;
}

namespace {

// Digits of a whole number with "," between groups of three.
std::string Grouped(std::int64_t value, int minDigits) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < minDigits) digits.insert(0, minDigits - digits.size(), '0');
  std::string out;
  const int n = static_cast<int>(digits.size());
  for (int i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// value / unit with two decimals, rounded half away from zero; exact in
// integers, so no binary fraction decides a tie.
std::string TwoDecimals(std::int64_t value, std::int64_t unit) {
  const std::int64_t whole = value / unit;
  const std::int64_t rest = value % unit;
  std::int64_t hundredths = whole * 100 + (rest * 100 + unit / 2) / unit;
  const std::int64_t fraction = hundredths % 100;
  return std::to_string(hundredths / 100) + "." + (fraction < 10 ? "0" : "") + std::to_string(fraction);
}

}  // namespace

std::string FileSizeText(std::int64_t total) {
  if (total >= 1048576) return TwoDecimals(total, 1048576) + "MB";
  if (total >= 1024) return TwoDecimals(total, 1024) + "KB";
  return Grouped(std::max<std::int64_t>(total, 0), 3) + "B";
}

std::string ConversionListCaption(const std::string& text, int count, std::int64_t total) {
  if (total <= 0) return text;
  return text + " " + std::to_string(count) + " " + FileSizeText(total);
}

// ---- Shell list ----------------------------------------------------------------

namespace {

int Sign(std::int64_t d) { return d < 0 ? -1 : (d > 0 ? 1 : 0); }

int CompareNames(const std::string& a, const std::string& b) {
  const int c = CompareText(a, b);
  if (c != 0) return Sign(c);
  return Sign(a.compare(b));
}

}  // namespace

int ShellListCompare(const TShellEntry& a, const TShellEntry& b, int column, bool descending) {
  if (descending) return ShellListCompare(b, a, column, false);
  int c = 0;
  switch (column) {
    case scSize:
      c = a.Size < b.Size ? -1 : (a.Size > b.Size ? 1 : 0);
      break;
    case scType:
      c = Sign(CompareText(a.Type, b.Type));
      break;
    case scModified:
      c = a.Modified < b.Modified ? -1 : (a.Modified > b.Modified ? 1 : 0);
      break;
    default:
      break;
  }
  return c != 0 ? c : CompareNames(a.Name, b.Name);
}

void SortShellEntries(std::vector<TShellEntry>& entries, int column, bool descending) {
  std::sort(entries.begin(), entries.end(), [column, descending](const TShellEntry& a, const TShellEntry& b) {
    return ShellListCompare(a, b, column, descending) < 0;
  });
}

// ---- Marks and layers ------------------------------------------------------------

std::vector<std::string> MarkNamesInFolder(const std::string& folder) {
  std::vector<std::string> names;
  const std::string dir = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  DIR* d = ::opendir(dir.c_str());
  if (!d) return names;
  static const std::string ext = ".spm";
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name.size() <= ext.size() || name.compare(name.size() - ext.size(), ext.size(), ext) != 0) continue;
    if (!FileExists(dir + name)) continue;
    names.push_back(name.substr(0, name.size() - ext.size()));
  }
  ::closedir(d);
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return CompareNames(a, b) < 0;
  });
  return names;
}

std::string TLayerList::Caption(int index) const { return Items.at(static_cast<std::size_t>(index)).Name; }

std::vector<std::string> TLayerList::SubItems(int) const { return {}; }

void TLayerList::Delete(int index) {
  if (index < 0 || index >= Count()) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  Items.erase(Items.begin() + index);
}

void TLayerList::Insert(int index, const std::string& caption, const std::vector<std::string>&) {
  if (index < 0 || index > Count()) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  Items.insert(Items.begin() + index, TLayerItem{caption, false});
}

void TLayerList::Select(int index) {
  if (index >= 0 && index < Count()) Items[static_cast<std::size_t>(index)].Selected = true;
}

int TLayerList::IndexOf(const std::string& name) const {
  for (int i = 0; i < Count(); ++i) {
    if (Items[static_cast<std::size_t>(i)].Name == name) return i;
  }
  return -1;
}

std::vector<std::string> TLayerList::Names() const {
  std::vector<std::string> names;
  for (const TLayerItem& item : Items) names.push_back(item.Name);
  return names;
}

std::vector<std::string> TLayerList::NamesBottomFirst() const {
  std::vector<std::string> names = Names();
  std::reverse(names.begin(), names.end());
  return names;
}

void SyncLayersFromChecks(const std::vector<TMarkEntry>& marks, TLayerList& layers) {
  for (auto it = marks.rbegin(); it != marks.rend(); ++it) {
    const int index = layers.IndexOf(it->Name);
    if (!it->Checked && index >= 0) {
      layers.Delete(index);
    } else if (it->Checked && index < 0) {
      layers.Insert(0, it->Name, {});
    }
  }
  // A layer whose mark file went away would draw an empty default mark.
  std::erase_if(layers.Items, [&marks](const TLayerItem& layer) {
    return std::none_of(marks.begin(), marks.end(), [&layer](const TMarkEntry& m) { return m.Name == layer.Name; });
  });
}

void SyncChecksFromLayers(std::vector<TMarkEntry>& marks, const TLayerList& layers) {
  for (TMarkEntry& mark : marks) mark.Checked = layers.IndexOf(mark.Name) >= 0;
}

void DeleteSelectedLayers(TLayerList& layers) {
  std::erase_if(layers.Items, [](const TLayerItem& layer) { return layer.Selected; });
}

void MoveSelectedLayers(TLayerList& layers, int direction) {
  if (direction != -1 && direction != 1) return;
  const int count = layers.Count();
  const auto selected = [&layers](int i) { return layers.Items[static_cast<std::size_t>(i)].Selected; };
  for (int k = 0; k < count; ++k) {
    const int i = direction < 0 ? k : count - 1 - k;
    if (!selected(i)) continue;
    const int target = i + direction;
    // The place taken is a selected layer that could not move: stay, or
    // the block would turn around.
    if (target < 0 || target >= count || selected(target)) continue;
    MoveListItem(layers, i, direction);
  }
}

bool DropSelectedLayers(TLayerList& layers, int target) {
  const int count = layers.Count();
  if (target < 0 || target >= count) return false;
  int first = -1, last = -1;
  for (int i = 0; i < count; ++i) {
    if (!layers.Items[static_cast<std::size_t>(i)].Selected) continue;
    if (first < 0) first = i;
    last = i;
  }
  if (first < 0) return false;
  const int delta = std::clamp(target - first, -first, count - 1 - last);
  if (delta == 0) return false;
  // Visiting toward the move's direction first keeps every selected layer
  // clear of the others.
  for (int k = 0; k < count; ++k) {
    const int i = delta < 0 ? k : count - 1 - k;
    if (layers.Items[static_cast<std::size_t>(i)].Selected) MoveListItem(layers, i, delta);
  }
  return true;
}

// ---- Hand-over file ----------------------------------------------------------------

THandOverPlan PlanHandOver(const std::vector<std::string>& lines, const std::vector<std::string>& listed,
                           const std::function<std::vector<std::string>(const std::string& folder)>& folderImages) {
  THandOverPlan plan;
  std::vector<std::string> known = listed;
  const auto add = [&plan, &known](const std::vector<std::string>& candidates) {
    for (std::string& file : UnlistedFiles(known, candidates)) {
      known.push_back(file);
      plan.Added.push_back(std::move(file));
    }
  };
  for (const std::string& line : lines) {
    if (Trim(line).empty()) continue;
    if (DirectoryExists(line)) {
      plan.Folder = line;
      if (folderImages) add(folderImages(line));
    } else if (FileExists(line) && IsImageFile(line)) {
      add({line});
    }
  }
  // The first line's folder wins over the folders named later.
  if (!lines.empty() && FileExists(lines.front())) {
    std::string folder = ExtractFilePathSlash(lines.front());
    if (folder.size() > 1) folder.pop_back();
    plan.Folder = folder;
  }
  return plan;
}

std::string HandOverFileName() { return ProgramDir() + "~righ.dat"; }

std::vector<std::string> TakeHandOverLines(const std::string& fileName) {
  if (!FileExists(fileName)) return {};
  std::vector<std::string> lines;
  try {
    const std::vector<std::uint8_t> bytes = ReadFileBytes(fileName);
    lines = SplitLines(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  } catch (const std::exception&) {
    lines.clear();
  }
  DeleteFile(fileName);
  return lines;
}

// ---- Preview -------------------------------------------------------------------------

TBitmap LoadPreviewPicture(const std::string& fileName) { return LoadSourcePicture(fileName); }

std::string PreviewStatusText(const std::string& label, const std::string& fileName, std::int64_t fileSize,
                              int width, int height) {
  return label + ":" + ExtractFileExt(fileName) + " " + "Size:" + std::to_string(std::max<std::int64_t>(fileSize, 0) / 1024) +
         "K" + " " + std::to_string(width) + "x" + std::to_string(height) + " ";
}

namespace {

TScrollSetup ScrollFor(int picture, int view) {
  TScrollSetup s;
  s.Visible = true;
  if (view > 0 && picture >= view) {
    s.Max = picture - view;
    s.PageStep = view;
    s.LineStep = view / 10;
  }
  return s;
}

// Start of a length centred in a room, or 0 when it does not fit.
int Centred(int room, int length) { return length < room ? (room - length) / 2 : 0; }

}  // namespace

TPreviewLayout LayoutPreviewArea(bool autoFit, TPoint panel, TPoint picture, int scrollBarWidth,
                                 int scrollBarHeight) {
  TPreviewLayout layout;
  if (autoFit) {
    layout.ViewSize = panel;
    layout.PictureRect = FitRect(panel, picture, false, true, 2, 2);
    layout.DisplaySize = {layout.PictureRect.Width(), layout.PictureRect.Height()};
    layout.Stretched = true;
    return layout;
  }
  // The scroll bars take their room first; the ranges are those of the
  // view that is left.
  layout.ViewSize = {std::max(0, panel.X - scrollBarWidth), std::max(0, panel.Y - scrollBarHeight)};
  layout.Horizontal = ScrollFor(picture.X, layout.ViewSize.X);
  layout.Vertical = ScrollFor(picture.Y, layout.ViewSize.Y);
  const int w = std::min(picture.X, layout.ViewSize.X);
  const int h = std::min(picture.Y, layout.ViewSize.Y);
  const int left = Centred(layout.ViewSize.X, picture.X);
  const int top = Centred(layout.ViewSize.Y, picture.Y);
  layout.PictureRect = {left, top, left + std::max(0, w), top + std::max(0, h)};
  layout.DisplaySize = picture;
  return layout;
}

// ---- Save As of the preview ---------------------------------------------------------------

const char* const PreviewSaveFilter =
    "JPG(*.jpg)|*.jpg|JPEG(*.jpeg)|*.jpeg|GIF(*.gif)|*.gif|BMP(*.bmp)|*.bmp|PNG(*.png)|*.png";

std::string PictureSaveName(const std::string& chosen, int filterIndex) {
  if (chosen.empty() || GetImageType(chosen) != itOther) return chosen;
  return chosen + "." + PreviewSaveDefaultExt(filterIndex);
}

// The preview's dialog lists the file types in the viewer's order.
std::string PreviewSaveDefaultExt(int filterIndex) { return SaveDefaultExt(filterIndex); }
