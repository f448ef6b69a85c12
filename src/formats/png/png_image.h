#pragma once
// PNG pictures: a bitmap that reads and writes PNG files, with the chunks
// of the file kept in a list beside the pixels.
//
// Reading accepts every colour type and bit depth of the format,
// interlaced or not; 16-bit samples keep their high byte and alpha is
// dropped. Grey and palette images load as 1-, 4- or 8-bit bitmaps,
// colour images as 24-bit ones. Writing produces palette images from 1-,
// 4- and 8-bit bitmaps and 8-bit truecolour from everything else, never
// interlaced.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/exceptions.h"
#include "core/graphic.h"
#include "core/streams.h"

class TChunk;
class TChunkList;
class TPNGImage;

// The codec's own error texts. Every one reaches the user wrapped by
// PngErrorMessage.
namespace pngtext {
inline constexpr const char* ClassIndex = "The chunk class index especified is  out of range.";
inline constexpr const char* ChunkIndex = "The chunk index especified is out of the range.";
inline constexpr const char* NotInList =
    "The especified chunk is not inside the chunk list containing the method being used. The funcion could not "
    "be completed.";
inline constexpr const char* UnknownColorType = "Could not read the image because it has an unknown color type.";
inline constexpr const char* InvalidHeader =
    "Invalid Portable Graphics Network image, it has an invalid file header.";
inline constexpr const char* UnknownCritical =
    "The currently being loaded image contains critical(s) chunk(s) not reconized by the decoder.";
inline constexpr const char* Corrupted = "Can't read the PNG image, it has corrupted data. ";
inline constexpr const char* NoIHDR =
    "This PNG image is invalid, the IHDR chunk is either not present or it isn't the first chunk.";
inline constexpr const char* NoData = "The current image being loaded has no data and could not be loaded.";
inline constexpr const char* NotRGB =
    "Can not get transparency information because the current image color type is not RGB (value 3)";
inline constexpr const char* NoPalette = "The current image requeries a palette but it is not avaliable.";
inline constexpr const char* InvalidPalette = "The current image being loaded has an invalid palette!";
inline constexpr const char* UnknownFilter =
    "The image could not be loaded because it uses an unknown set of filter types.";
inline constexpr const char* UnknownInterlace = "The image has an unknown interlace method.";
// Texts of checks the format demands of a header.
inline constexpr const char* InvalidIHDR = "The IHDR chunk of the image has an invalid length.";
inline constexpr const char* InvalidSize = "The image has an invalid width or height.";
inline constexpr const char* InvalidDepth = "The image has a bit depth that its color type does not allow.";
inline constexpr const char* UnknownMethod = "The image uses an unknown compression or filter method.";
inline constexpr const char* EmptyImage = "An empty image can not be saved.";
}  // namespace pngtext

// "Portable Graphics Network format handler error", two line breaks and
// the particular text.
std::string PngErrorMessage(const std::string& text);
[[noreturn]] void RaisePngError(const std::string& text);

// CRC-32 of the PNG format over the type bytes and then the data.
std::uint32_t PngCrc(const std::uint8_t type[4], const std::uint8_t* data, std::size_t size);

// The predictor of the Paeth filter.
std::uint8_t PaethPredictor(int left, int up, int upperLeft);

// Undoes filter type `filter` of a row of length bytes in place against
// the row above (prior, already unfiltered; zeros above the first row),
// distance being the bytes per pixel (at least 1): 0 none, 1 Sub, 2 Up,
// 3 Average, 4 Paeth, all modulo 256. Another type changes nothing and
// answers false.
bool UndoPngFilter(int filter, std::uint8_t* row, const std::uint8_t* prior, std::int64_t length, int distance);

// Identifies a chunk class: its name and how to make one.
struct TChunkClass {
  const char* Name;
  std::unique_ptr<TChunk> (*Create)(TChunkList& owner);
};

using TChunkType = std::array<std::uint8_t, 4>;
TChunkType MakeChunkType(const char* fourChars);

// A chunk of a PNG file: its 4-byte type and its data.
class TChunk {
 public:
  explicit TChunk(TChunkList& owner);
  virtual ~TChunk() = default;
  TChunk(const TChunk&) = delete;
  TChunk& operator=(const TChunk&) = delete;

  static const TChunkClass& StaticClass();
  virtual const TChunkClass& ClassType() const { return StaticClass(); }

  // Applies the chunk to the image after a whole file has been read.
  virtual void Decode() {}
  // Copies data and type of another chunk.
  virtual void Assign(const TChunk& source);
  // Writes length, type, data and CRC; a chunk whose type's fourth letter
  // is lower case is not written.
  virtual void SaveToStream(TStream& stream);

  TChunkList& Owner() const { return *owner_; }
  TPNGImage& Image() const;
  TMemoryStream& Data() { return data_; }
  const TMemoryStream& Data() const { return data_; }
  const std::vector<std::uint8_t>& Bytes() const { return data_.Bytes(); }
  void SetBytes(std::vector<std::uint8_t> bytes);

  const TChunkType& Type() const { return type_; }
  std::string TypeName() const { return std::string(type_.begin(), type_.end()); }
  void SetType(const TChunkType& type) { type_ = type; }

 protected:
  // For subclasses: the type comes from the class table's first entry for
  // the class.
  TChunk(TChunkList& owner, const TChunkClass& cls);
  // Frames the current data into the stream (no check of the type).
  void WriteChunk(TStream& stream);

 private:
  friend class TChunkList;
  TChunkList* owner_;
  TMemoryStream data_;
  TChunkType type_{};
};

// The image header: size, bit depth, colour type and the three methods.
class TChunkIHDR : public TChunk {
 public:
  explicit TChunkIHDR(TChunkList& owner);
  static const TChunkClass& StaticClass();
  const TChunkClass& ClassType() const override { return StaticClass(); }
  void SaveToStream(TStream& stream) override;

  std::uint32_t Width() const;
  std::uint32_t Height() const;
  // Setting the size also sizes the image when it differs.
  void SetWidth(std::uint32_t value);
  void SetHeight(std::uint32_t value);
  int BitDepth() const { return Field(8); }
  int ColorType() const { return Field(9); }
  int CompressionMethod() const { return Field(10); }
  int FilterMethod() const { return Field(11); }
  int InterlaceMethod() const { return Field(12); }
  void SetBitDepth(int v) { SetField(8, v); }
  void SetColorType(int v) { SetField(9, v); }
  void SetCompressionMethod(int v) { SetField(10, v); }
  void SetFilterMethod(int v) { SetField(11, v); }
  void SetInterlaceMethod(int v) { SetField(12, v); }

  // Raises unless the header describes an image this codec can read.
  void Validate() const;

 private:
  int Field(int offset) const;
  void SetField(int offset, int value);
  void SetDWord(int offset, std::uint32_t value);
};

// Gamma: forward table (file to screen) and its inverse.
class TChunkGAMA : public TChunk {
 public:
  explicit TChunkGAMA(TChunkList& owner);
  static const TChunkClass& StaticClass();
  const TChunkClass& ClassType() const override { return StaticClass(); }
  void Decode() override;
  void Assign(const TChunk& source) override;

  // The stored value (gamma x 100000); 0 when the data are not 4 bytes.
  std::uint32_t Gamma() const;
  // Stores the value and refills the tables.
  void SetGamma(std::uint32_t value);
  // False when the value is unusable (0, above 2^31 - 1 or of a wrong
  // length): the tables then map every value to itself.
  bool Active() const { return active_; }
  const std::array<std::uint8_t, 256>& Forward() const { return forward_; }
  const std::array<std::uint8_t, 256>& Inverse() const { return inverse_; }

 private:
  void FillTables();
  bool active_ = false;
  std::array<std::uint8_t, 256> forward_{};
  std::array<std::uint8_t, 256> inverse_{};
};

class TChunkPLTE : public TChunk {
 public:
  explicit TChunkPLTE(TChunkList& owner);
  static const TChunkClass& StaticClass();
  const TChunkClass& ClassType() const override { return StaticClass(); }
  void SaveToStream(TStream& stream) override;

  // The entries of the data, each colour through the forward gamma table
  // when the list has a gAMA chunk. Raises the invalid-palette text for
  // a length that is not 3 to 768 and a multiple of 3.
  std::vector<TPaletteEntry> Palette() const;
};

class TChunkIDAT : public TChunk {
 public:
  explicit TChunkIDAT(TChunkList& owner);
  static const TChunkClass& StaticClass();
  const TChunkClass& ClassType() const override { return StaticClass(); }
  void Decode() override;
  void SaveToStream(TStream& stream) override;
};

class TChunkTRNS : public TChunk {
 public:
  explicit TChunkTRNS(TChunkList& owner);
  static const TChunkClass& StaticClass();
  const TChunkClass& ClassType() const override { return StaticClass(); }
  // Written for truecolour images only, as three 16-bit samples.
  void SaveToStream(TStream& stream) override;

  // The transparent colour of a truecolour image (the standard 6-byte
  // form or the older 3-byte form); raises for other colour types and
  // for data of another length.
  TColor TransparentColor() const;
};

class TChunkTEXT : public TChunk {
 public:
  explicit TChunkTEXT(TChunkList& owner);
  static const TChunkClass& StaticClass();
  const TChunkClass& ClassType() const override { return StaticClass(); }
};

class TChunkIEND : public TChunk {
 public:
  explicit TChunkIEND(TChunkList& owner);
  static const TChunkClass& StaticClass();
  const TChunkClass& ClassType() const override { return StaticClass(); }
};

// The time stamp, kept and written back as it is.
class TChunkTIME : public TChunk {
 public:
  explicit TChunkTIME(TChunkList& owner);
  static const TChunkClass& StaticClass();
  const TChunkClass& ClassType() const override { return StaticClass(); }
};

// The table from chunk type to chunk class.
class TChunkClasses {
 public:
  struct TEntry {
    TChunkType Type;
    const TChunkClass* Class;
  };
  TChunkClasses();

  int Count() const { return static_cast<int>(entries_.size()); }
  // Raises the class-index text outside 0..Count-1.
  const TEntry& Item(int index) const;
  // The class of a type, or nullptr when the type is not listed.
  const TChunkClass* FindClass(const TChunkType& type) const;
  // The type of the first entry naming the class, or nullptr.
  const TChunkType* FindType(const TChunkClass& cls) const;

 private:
  std::vector<TEntry> entries_;
};

// The one table, filled on first use and only read afterwards.
const TChunkClasses& ChunkClasses();

class TChunkList {
 public:
  explicit TChunkList(TPNGImage& owner) : owner_(&owner) {}
  ~TChunkList() { Clear(); }
  TChunkList(const TChunkList&) = delete;
  TChunkList& operator=(const TChunkList&) = delete;

  TPNGImage& Owner() const { return *owner_; }
  int Count() const { return static_cast<int>(items_.size()); }
  // Raise the chunk-index text outside 0..Count-1.
  TChunk& Item(int index) const;
  TChunk& operator[](int index) const { return Item(index); }

  TChunk& Add(std::unique_ptr<TChunk> chunk);
  TChunk& AddClass(const TChunkClass& cls);
  template <class T>
  T& AddChunk() {
    return static_cast<T&>(AddClass(T::StaticClass()));
  }
  int IndexOf(const TChunk* chunk) const;
  // The first chunk of exactly this class; -1 when none.
  int IndexOfClass(const TChunkClass& cls) const;
  template <class T>
  T* Find() const {
    int i = IndexOfClass(T::StaticClass());
    return i < 0 ? nullptr : static_cast<T*>(items_[static_cast<std::size_t>(i)].get());
  }
  // Takes the chunk out at from and puts it in at to.
  void Move(int from, int to);
  // Frees a chunk of this list; raises the not-in-list text for any other.
  void Remove(TChunk* chunk);
  // Frees every chunk, the last first.
  void Clear();

 private:
  TPNGImage* owner_;
  std::vector<std::unique_ptr<TChunk>> items_;
};

class TPNGImage : public TBitmap, public TOpacitySource {
 public:
  TPNGImage();
  ~TPNGImage() override;
  TPNGImage(const TPNGImage&) = delete;
  TPNGImage& operator=(const TPNGImage&) = delete;

  // The filter types as bits of Filters: bit k is filter type k.
  static constexpr std::uint8_t FilterNone = 1 << 0;
  static constexpr std::uint8_t FilterSub = 1 << 1;
  static constexpr std::uint8_t FilterUp = 1 << 2;
  static constexpr std::uint8_t FilterAverage = 1 << 3;
  static constexpr std::uint8_t FilterPaeth = 1 << 4;

  static const TGraphicClass& StaticClass();
  static std::unique_ptr<TGraphic> CreateInstance();
  const TGraphicClass& ClassType() const override { return StaticClass(); }

  // A PNG source also brings its chunks, filters and interlace flag;
  // every source then gives its picture as a bitmap would.
  void Assign(const TGraphic& source) override;
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) override;

  TChunkList& Chunks() { return chunks_; }
  const TChunkList& Chunks() const { return chunks_; }

  // The filter types the writer may choose from;
  // None is always among them.
  std::uint8_t Filters() const { return filters_; }
  void SetFilters(std::uint8_t filters) { filters_ = static_cast<std::uint8_t>((filters & 0x1F) | FilterNone); }
  bool Interlaced() const { return interlaced_; }
  void SetInterlaced(bool value) { interlaced_ = value; }

  // The bitmap holds colours only. Asked before loading, the image also
  // keeps what the file says of each pixel's opacity: the alpha samples
  // (high byte), the palette's transparency table, or 0 where a grey or
  // colour sample equals the transparent key.
  void KeepOpacity(bool keep) override { keepOpacity_ = keep; }
  bool GetOpacity(std::vector<std::uint8_t>& opacity) const override;

 private:
  friend class TChunkIDAT;
  void AddDefaultChunks();
  void NormalizeChunks();
  void ReportProgress(TProgressStage stage, int percent) { Progress(stage, percent, ""); }

  TChunkList chunks_;
  bool keepOpacity_ = false;
  std::vector<std::uint8_t> opacity_;  // empty: none kept, or all opaque
  std::uint8_t filters_ = FilterNone | FilterSub | FilterAverage | FilterPaeth;
  bool interlaced_ = false;
};
