#pragma once
// The GIF picture: a tree of items (header with the global colour table,
// frames with their extensions and local colour tables), read from and
// written to GIF87a/GIF89a files block by block, frames made from bitmaps
// and rendered back into bitmaps, and the animation of its frames.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/exceptions.h"
#include "core/graphic.h"
#include "core/streams.h"
#include "core/strings.h"
#include "formats/gif/gif_coding.h"
#include "formats/gif/gif_reduce.h"

class TGIFImage;
class TGIFSubImage;
class TGIFExtension;
class TGIFGraphicControlExtension;
class TGIFPainter;
class TGIFItem;

// File versions: 0 unknown, 1 GIF87a, 2 GIF89a.
enum TGIFVersion { gvUnknown = 0, gv87a = 1, gv89a = 2 };

using TGIFWarningEvent = std::function<void(const TGIFItem* sender, TGIFSeverity severity, const std::string& message)>;
using TGIFDrawEvent = std::function<void(TGIFImage& image)>;

// DrawOptions bits.
enum TGIFDrawOption : std::uint16_t {
  goAsync = 1 << 0,             // animate on its own (by the animation timer)
  goTransparent = 1 << 1,       // draw transparent frames transparently
  goAnimate = 1 << 2,
  goLoop = 1 << 3,
  goLoopContinously = 1 << 4,   // loop for ever whatever the looping extension says
  goValidateCanvas = 1 << 5,
  goDirectDraw = 1 << 6,
  goClearOnLoop = 1 << 7,       // disposal 2 in use, background restored before frame 0
  goTile = 1 << 8,
  goDither = 1 << 9,
  goAutoDither = 1 << 10
};
constexpr std::uint16_t GIFDefaultDrawOptions = 0x060F;
constexpr std::uint8_t GIFDefaultColorReduction = rmNetscape;
constexpr int GIFDefaultReductionBits = 8;
constexpr std::uint8_t GIFDefaultDitherMode = dmNearest;
constexpr std::uint8_t GIFDefaultCompression = 0;  // 0 LZW, 1 run-length
constexpr std::uint8_t GIFDefaultThreadPriority = 3;
constexpr int GIFDefaultAnimationSpeed = 100;

// ---------------------------------------------------------------------------

class TGIFItem {
 public:
  explicit TGIFItem(TGIFImage* image) : image_(image) {}
  virtual ~TGIFItem() = default;
  TGIFItem(const TGIFItem&) = delete;
  TGIFItem& operator=(const TGIFItem&) = delete;

  TGIFImage* Image() const { return image_; }
  virtual int GetVersion() const { return gv87a; }
  virtual void Warning(TGIFSeverity severity, const std::string& message) const;
  virtual void SaveToStream(TStream& stream) = 0;
  virtual void LoadFromStream(TStream& stream) = 0;
  // Written through a temporary file renamed into place.
  virtual void SaveToFile(const std::string& fileName);
  virtual void LoadFromFile(const std::string& fileName);

 protected:
  TGIFImage* image_;
};

// An ordered list that owns its items.
template <class T>
class TGIFList {
 public:
  explicit TGIFList(TGIFImage* image) : image_(image) {}
  virtual ~TGIFList() { Clear(); }
  TGIFList(const TGIFList&) = delete;
  TGIFList& operator=(const TGIFList&) = delete;

  TGIFImage* Image() const { return image_; }
  int Count() const { return static_cast<int>(items_.size()); }
  int GetCount() const { return Count(); }
  // Raises EListError outside 0..Count-1.
  T* Items(int index) const {
    CheckIndex(index);
    return items_[static_cast<std::size_t>(index)].get();
  }
  T* operator[](int index) const { return Items(index); }
  int Add(std::unique_ptr<T> item) {
    items_.push_back(std::move(item));
    return Count() - 1;
  }
  void Insert(int index, std::unique_ptr<T> item) {
    if (index < 0 || index > Count()) CheckIndex(index);
    items_.insert(items_.begin() + index, std::move(item));
  }
  int IndexOf(const T* item) const {
    for (std::size_t i = 0; i < items_.size(); ++i)
      if (items_[i].get() == item) return static_cast<int>(i);
    return -1;
  }
  // Removes and frees.
  void Delete(int index) {
    CheckIndex(index);
    // Take the item out first: its destructor may look at the list.
    std::unique_ptr<T> item = std::move(items_[static_cast<std::size_t>(index)]);
    items_.erase(items_.begin() + index);
    item.reset();
  }
  // Removes without freeing; the caller takes the item.
  std::unique_ptr<T> Remove(const T* item) {
    const int index = IndexOf(item);
    if (index < 0) return nullptr;
    std::unique_ptr<T> out = std::move(items_[static_cast<std::size_t>(index)]);
    items_.erase(items_.begin() + index);
    return out;
  }
  // Frees every item, the first one first. The items leave the list
  // before any is freed (a destructor may look at the list), so clearing
  // costs one step per item, not a shift of the rest for each.
  void Clear() {
    std::vector<std::unique_ptr<T>> taken = std::move(items_);
    items_.clear();
    for (auto& item : taken) item.reset();
  }
  // Removes and frees every item for which drop is true, keeping the
  // order of the others; one pass over the list.
  template <class Predicate>
  void DeleteIf(Predicate drop) {
    std::vector<std::unique_ptr<T>> dropped;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < items_.size(); ++i) {
      if (drop(static_cast<const T&>(*items_[i]))) {
        dropped.push_back(std::move(items_[i]));
      } else {
        if (kept != i) items_[kept] = std::move(items_[i]);
        ++kept;
      }
    }
    items_.resize(kept);
    for (auto& item : dropped) item.reset();
  }
  void SaveToStream(TStream& stream) {
    for (auto& item : items_) item->SaveToStream(stream);
  }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 protected:
  void CheckIndex(int index) const;
  TGIFImage* image_;
  std::vector<std::unique_ptr<T>> items_;
};

template <class T>
void TGIFList<T>::CheckIndex(int index) const {
  if (index < 0 || index >= Count())
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

class TGIFImageList : public TGIFList<TGIFSubImage> {
 public:
  using TGIFList::TGIFList;
  TGIFSubImage* GetImage(int index) const { return Items(index); }
};

class TGIFExtensionList : public TGIFList<TGIFExtension> {
 public:
  TGIFExtensionList(TGIFImage* image, TGIFSubImage* frame) : TGIFList(image), frame_(frame) {}
  // Reads extensions while the next block starts with "!" (see the
  // reader for what ends the list).
  void LoadFromStream(TStream& stream);

 private:
  TGIFSubImage* frame_;
};

// ---------------------------------------------------------------------------
// Colour tables

struct TGIFColor {
  std::uint8_t Red = 0;
  std::uint8_t Green = 0;
  std::uint8_t Blue = 0;
  friend bool operator==(const TGIFColor&, const TGIFColor&) = default;
};

class TGIFColorMap {
 public:
  explicit TGIFColorMap(TGIFImage* image) : image_(image) {}
  virtual ~TGIFColorMap() = default;
  TGIFColorMap(const TGIFColorMap&) = delete;
  TGIFColorMap& operator=(const TGIFColorMap&) = delete;

  static TGIFColor ColorToTriple(TColor c) {
    return {static_cast<std::uint8_t>(c & 0xFF), static_cast<std::uint8_t>((c >> 8) & 0xFF),
            static_cast<std::uint8_t>((c >> 16) & 0xFF)};
  }
  static TColor TripleToColor(const TGIFColor& t) { return RGB(t.Red, t.Green, t.Blue); }

  int Count() const { return static_cast<int>(data_.size()); }
  int Capacity() const { return capacity_; }
  const std::vector<TGIFColor>& Data() const { return data_; }
  bool Optimized = false;

  // The smallest number of bits, at least 1, whose power of two holds
  // Count (a table of one entry still needs one bit).
  int BitsPerPixel() const;
  int ColorResolution() const { return BitsPerPixel() - 1; }

  // Colour of an entry; outside the table: warning "Invalid color index"
  // and entry 0; an empty table raises "Color table is empty".
  TColor Colors(int index) const;
  void SetColor(int index, TColor color);
  int IndexOf(TColor color) const;
  int Add(TColor color);
  int AddUnique(TColor color);
  void Delete(int index);
  void Clear();
  void Assign(const TGIFColorMap& source);

  void ImportPalette(const std::vector<TPaletteEntry>& palette);
  // A table of 4-byte blue, green, red, reserved entries.
  void ImportColorTable(const std::uint8_t* bgrx, int count);
  std::vector<TPaletteEntry> ExportPalette() const;
  // The table as a palette of 256 entries, black beyond Count, so that
  // any pixel index has a colour.
  std::vector<TPaletteEntry> PaddedPalette(int entries = 256) const;

  // count triples; "Premature end of data" when the stream has fewer.
  void LoadFromStream(TStream& stream, int count);
  // Count triples padded with black to 2^BitsPerPixel.
  void SaveToStream(TStream& stream) const;

  virtual void Warning(TGIFSeverity severity, const std::string& message) const;
  // Use count of every entry over the pixels that use this table.
  virtual std::vector<std::int64_t> BuildHistogram() const = 0;
  // Rewrites those pixels and the frames' transparent indices.
  virtual void MapImages(const std::vector<int>& map) = 0;
  // Sorts the entries by use, most used first, and drops unused ones.
  virtual void Optimize();
  virtual void Changed() {}

 protected:
  void SetCapacity(int count);
  TGIFImage* image_;
  std::vector<TGIFColor> data_;
  int capacity_ = 0;
};

class TGIFGlobalColorMap : public TGIFColorMap {
 public:
  using TGIFColorMap::TGIFColorMap;
  std::vector<std::int64_t> BuildHistogram() const override;
  void MapImages(const std::vector<int>& map) override;
  void Optimize() override;
  void Changed() override;
};

class TGIFLocalColorMap : public TGIFColorMap {
 public:
  TGIFLocalColorMap(TGIFImage* image, TGIFSubImage* frame) : TGIFColorMap(image), frame_(frame) {}
  std::vector<std::int64_t> BuildHistogram() const override;
  void MapImages(const std::vector<int>& map) override;
  void Changed() override;

 private:
  TGIFSubImage* frame_;
};

// ---------------------------------------------------------------------------

class TGIFHeader : public TGIFItem {
 public:
  explicit TGIFHeader(TGIFImage* image) : TGIFItem(image), colorMap_(image) {}

  std::uint16_t Width = 0;
  std::uint16_t Height = 0;
  std::uint8_t Packed = 0;
  std::uint8_t BackgroundColorIndex = 0;
  std::uint8_t AspectRatio = 0;

  TGIFGlobalColorMap& ColorMap() { return colorMap_; }
  const TGIFGlobalColorMap& ColorMap() const { return colorMap_; }
  int GetVersion() const override;
  TColor BackgroundColor() const;
  void Assign(const TGIFHeader& source);
  // Recomputes the packed fields from the tables (see the writer).
  void Prepare();
  void SaveToStream(TStream& stream) override;
  void LoadFromStream(TStream& stream) override;

 private:
  TGIFGlobalColorMap colorMap_;
};

class TGIFTrailer : public TGIFItem {
 public:
  using TGIFItem::TGIFItem;
  void SaveToStream(TStream& stream) override { stream.WriteByte(';'); }
  void LoadFromStream(TStream& stream) override;
};

// One frame.
class TGIFSubImage : public TGIFItem {
 public:
  explicit TGIFSubImage(TGIFImage* image);
  ~TGIFSubImage() override;

  // Bounds by index: 1 Left, 2 Top, 3 Width, 4 Height.
  int GetBoundsValue(int index) const;
  // Each value must be below 65536. A new size drops the bitmap, mask and
  // pixels and allocates Width x Height zero bytes; a frame reaching past
  // the logical screen grows it (with warnings).
  void SetBoundsValue(int index, int value);
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

  bool Empty() const { return data_.empty() || width_ == 0 || height_ == 0; }
  bool Interlaced() const { return (packed_ & 0x40) != 0; }
  void SetInterlaced(bool value);
  std::uint8_t Packed() const { return packed_; }

  // One byte per pixel, rows top-down, Width bytes per row.
  const std::vector<std::uint8_t>& Data() const { return data_; }
  std::vector<std::uint8_t>& MutableData();
  std::int64_t DataSize() const { return static_cast<std::int64_t>(data_.size()); }
  // The colour index at (x, y).
  int GetPixel(int x, int y);

  TGIFLocalColorMap& ColorMap() { return colorMap_; }
  const TGIFLocalColorMap& ColorMap() const { return colorMap_; }
  // The local table when it has entries, else the global one when it has
  // entries, else the (empty) local table.
  TGIFColorMap& ActiveColorMap();
  const TGIFColorMap& ActiveColorMap() const;

  TGIFExtensionList& Extensions() { return extensions_; }
  const TGIFExtensionList& Extensions() const { return extensions_; }
  TGIFGraphicControlExtension* GraphicControlExtension() const { return gce_; }
  void SetGraphicControlExtension(TGIFGraphicControlExtension* gce) { gce_ = gce; }
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value) { transparent_ = value; }
  // The transparent index of the graphic control extension (0 without).
  int TransparentIndex() const;

  // The frame rendered into an 8-bit bitmap (built on demand, cached).
  TBitmap& GetBitmap();
  // The 1-bit mask of the transparent pixels (null when none is).
  const TBitmap* Mask();
  bool NeedMask() const { return needMask_; }
  // The palette the frame is drawn with.
  std::vector<TPaletteEntry> GetPalette();
  void SetPalette(std::vector<TPaletteEntry> palette);
  // Drops the cached bitmap, mask and palette.
  void FreeBitmap();

  int GetVersion() const override;
  void SaveToStream(TStream& stream) override;
  void LoadFromStream(TStream& stream) override;

  // Makes this frame a copy of another (descriptor, tables, pixels and
  // extensions), which may belong to another image.
  void Assign(const TGIFSubImage& source);
  // Makes this frame from a picture: a bitmap of 1, 4 or 8 bits is taken
  // as it is, any other is reduced by the image's options; any other
  // graphic is rendered into a bitmap first.
  void Assign(const TGraphic& source);
  void AssignTo(TBitmap& dest);
  void Clear();

 private:
  friend class TGIFImage;
  // mask: one flag per pixel, set where the source is transparent.
  void AssignFromBitmap(const TBitmap& source, const std::vector<bool>* mask);
  void StorePixelsFrom(const TBitmap& reduced);
  void MarkTransparentPixels(const std::vector<bool>& mask);
  void Decode(TStream& stream);
  void Encode(TStream& stream);
  void Allocate();

  std::unique_ptr<TBitmap> bitmap_;
  std::unique_ptr<TBitmap> mask_;
  bool needMask_ = true;
  std::vector<TPaletteEntry> palette_;
  std::vector<std::uint8_t> data_;
  TGIFLocalColorMap colorMap_;
  std::uint8_t separator_ = ',';
  int left_ = 0;
  int top_ = 0;
  int width_ = 0;
  int height_ = 0;
  std::uint8_t packed_ = 0;
  TGIFExtensionList extensions_;
  bool transparent_ = false;
  TGIFGraphicControlExtension* gce_ = nullptr;
};

// ---------------------------------------------------------------------------

// The process-wide display flags of the GIF image (no palette-based
// display exists here, so both start false).
bool GIFPaletteDisplay();
void SetGIFPaletteDisplay(bool paletteBased);
// Render every frame's bitmap while loading (off; nothing turns it on).
bool GIFRenderOnLoad();
void SetGIFRenderOnLoad(bool value);

// Clipboard formats the image exchanges: its own file bytes under the
// registered name, and a bitmap (a BMP file) under the bitmap format.
constexpr const char* GIFClipboardFormatName = "GIF Image";
constexpr const char* GIFClipboardBitmapFormat = "Bitmap";

class TGIFImage : public TGraphic {
 public:
  TGIFImage();
  ~TGIFImage() override;
  TGIFImage(const TGIFImage&) = delete;
  TGIFImage& operator=(const TGIFImage&) = delete;

  static const TGraphicClass& StaticClass();
  static std::unique_ptr<TGraphic> CreateInstance();
  const TGraphicClass& ClassType() const override { return StaticClass(); }

  TGIFImageList& Images() { return images_; }
  const TGIFImageList& Images() const { return images_; }
  TGIFHeader& Header() { return header_; }
  const TGIFHeader& Header() const { return header_; }

  int Width() const override { return header_.Width; }
  int Height() const override { return header_.Height; }
  bool Empty() const override { return images_.Count() == 0; }
  // Raise when a frame would stick out; values below 65536.
  void SetWidth(int value);
  void SetHeight(int value);

  // Options.
  std::uint16_t DrawOptions() const { return drawOptions_; }
  void SetDrawOptions(std::uint16_t value);
  bool GetAnimate() const { return (drawOptions_ & goAnimate) != 0; }
  void SetAnimate(bool value);
  int AnimationSpeed() const { return animationSpeed_; }
  void SetAnimationSpeed(int value);
  std::uint8_t ColorReduction = GIFDefaultColorReduction;
  int ReductionBits = GIFDefaultReductionBits;
  std::uint8_t DitherMode = GIFDefaultDitherMode;
  std::uint8_t Compression = GIFDefaultCompression;
  std::uint8_t ThreadPriority = GIFDefaultThreadPriority;
  TColor DrawBackgroundColor = clNone;
  bool DoDither() const;

  TGIFWarningEvent OnWarning;
  TGIFDrawEvent OnStartPaint;
  TGIFDrawEvent OnPaint;
  TGIFDrawEvent OnAfterPaint;
  TGIFDrawEvent OnLoop;
  TGIFDrawEvent OnEndPaint;

  // Frames.
  // Appends a frame: one of this image as it is, one of another image
  // (or of none) as a copy.
  int Add(std::unique_ptr<TGIFSubImage> frame);
  int Add(const TGIFSubImage& frame);
  // Appends a new frame made from a picture.
  int Add(const TGraphic& source);
  void Clear();

  int GetVersion() const;
  int ColorResolution() const;
  int BitsPerPixel() const;

  // The palette handle stand-in: empty means none.
  std::vector<TPaletteEntry> GetPalette();
  void SetPalette(std::vector<TPaletteEntry> palette);
  // The composite picture: frame 0 on the logical screen (cached).
  TBitmap* GetBitmap();
  void FreeBitmap();
  // Sorts the global table by use (stops the animation first).
  void OptimizeColorMap();

  void Assign(const TGraphic& source) override;
  void AssignTo(TBitmap& dest) const override;
  // Shows the first frame, or, for an animation, the picture of its
  // painter (started on the first call for a target and rectangle). An
  // error the painter met since the last call is raised here.
  void Draw(TCanvas& canvas, const TRect& rect) const override;
  bool Equals(const TGraphic& other) const { return this == &other; }
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) override;

  // Loads clipboard data: "GIF Image" bytes or a bitmap; any other
  // format raises "Unsupported clipboard format".
  void LoadFromClipboardFormat(const std::string& format, const std::vector<std::uint8_t>& data);
  // The data to put on the clipboard: the file bytes ("GIF Image") and
  // the composite picture as a BMP file; both empty for an empty image.
  void SaveToClipboardFormat(std::vector<std::uint8_t>& gifData, std::vector<std::uint8_t>& bitmapData);

  virtual void Warning(const TGIFItem* sender, TGIFSeverity severity, const std::string& message) const;
  void DoProgress(TProgressStage stage, int percent, const std::string& message) { Progress(stage, percent, message); }

  // The animation painter drawing this image, if one is running.
  TGIFPainter* Painter() const { return painter_.get(); }
  // Stops the painter and drops it.
  void StopDraw() const;
  // Draws frame index into rect of a 24-bit bitmap (transparently with
  // transparent, tiled with tile); used by Draw and the painter.
  void PaintFrame(TBitmap& target, const TRect& rect, int index, bool transparent, bool tile) const;

 private:
  friend class TGIFSubImage;
  friend class TGIFGlobalColorMap;
  void Changed();
  // The code size of a frame without a local table: BitsPerPixel, worked
  // out once per save rather than once per frame.
  int GlobalCodeSize() const { return savingCodeSize_ > 0 ? savingCodeSize_ : BitsPerPixel(); }

  TGIFImageList images_;
  TGIFHeader header_;
  std::vector<TPaletteEntry> palette_;
  bool paletteModified_ = false;
  mutable std::unique_ptr<TBitmap> bitmap_;
  std::uint16_t drawOptions_ = GIFDefaultDrawOptions;
  int animationSpeed_ = GIFDefaultAnimationSpeed;
  mutable std::unique_ptr<TGIFPainter> painter_;
  mutable bool drawing_ = false;
  mutable bool inGetPalette_ = false;
  int savingCodeSize_ = 0;        // 0 outside SaveToStream
  // The pixels the frames still to be read may hold (see LoadFromStream);
  // -1 outside it.
  std::int64_t loadBudget_ = -1;
};

// Registers "gif" with the picture registry.
void RegisterGIFImage();

// Every user of the frame's extension list needs the extension classes.
#include "formats/gif/gif_extensions.h"  // IWYU pragma: export
