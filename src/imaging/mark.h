#pragma once
// The mark model: the fixed-size mark record kept at the head of every mark
// file, and the mark set that loads any number of marks, owns their
// pictures and draws them onto its work image.
//
// A mark file "<name>.spm" is a packed stream (see app/routines.h) whose
// unpacked payload is the record followed by the embedded pictures: the
// mark picture right after the record, then the background, frame and mask
// pictures at the offsets the record gives. Every picture is a 24-bit BMP
// file image; an absent one has length 0.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/bitmap.h"
#include "core/exceptions.h"
#include "core/streams.h"
#include "core/strings.h"
#include "core/types.h"
#include "imaging/output_options.h"

// Raised when a mark file does not unpack or its record points outside
// its own data; the text is language message 9000.
class EMarkFileError : public Exception {
 public:
  explicit EMarkFileError(const std::string& message) : Exception(message) {}
};

// Effect flags of a mark (TMarkInfo::EffectFlags).
enum TMarkEffect : std::uint32_t {
  mfTilePic = 0x1,                 // tile the mark picture over the whole image
  mfMosaic = 0x2,                  // mosaic the mark picture
  mfExposal = 0x4,                 // invert the mark picture
  mfResize = 0x8,                  // resize the mark picture by the resize percentages
  mfResizeSource = 0x10,           // resize the source image
  mfSourceBackgroundPicture = 0x20,  // the source's background is the tiled background picture
  mfSourceBackgroundColor = 0x40,  // the source's background is the source background colour
  mfSourceFrame = 0x80,            // the source gets a frame band
  mfSourceFramePicture = 0x100,    // the frame band is the tiled frame picture
  mfUseMask = 0x200,               // compose through the mask picture
  mfMaskTurn = 0x400,              // invert the sense of the mask
  mfMix = 0x800,                   // draw through a checkerboard instead of blending
  mfResizeSourceByScale = 0x1000   // resize the source by the source scale
};

// The mark record: 134,214 bytes, little-endian, fields at fixed offsets.
// It is kept as the bytes themselves so that whatever a file holds in the
// reserved areas survives loading and saving unchanged. In memory the
// reserved tail (nearly all of the record, and zero in every file this
// program writes) takes no room until a byte of it is not zero.
//
// A short string [n] is a length byte and n character bytes. Reading
// clamps a length byte above n to n; writing cuts the text to n bytes on
// a UTF-8 character boundary.
class TMarkInfo {
 public:
  static constexpr std::size_t Size = 134214;
  static constexpr int TextPieces = 51;

  // Byte offsets of the fields.
  enum Offset : std::size_t {
    oVersion = 0,             // short string [10]
    oReserved = 11,           // short string [20], never read
    oName = 32,               // short string [30]
    oTextMark = 63,           // byte
    oPictureFile = 64,        // short string [255]
    oTextPieces = 320,        // 51 x short string [100], 101 bytes apart
    oFontName = 5471,         // short string [100]
    oFontColor = 5572,        // u32
    oTextBackColor = 5576,    // u32
    oFontSize = 5580,         // i32
    oFontStyle = 5584,        // u32
    oAnchor = 5588,           // byte
    oXOffset = 5589,          // i32
    oYOffset = 5593,          // i32
    oColorKeyOn = 5597,       // byte
    oKeyColor = 5598,         // u32
    oTransparency = 5602,     // byte
    oEditorSwitch = 5603,     // byte
    oStoredPictureType = 5604,  // short string [10]
    oPictureType = 5615,      // short string [10]
    oPictureLength = 5626,    // u32
    oKeyTolerance = 5630,     // byte
    oEffectFlags = 5631,      // u32
    oAngle = 5635,            // u16
    oRotateBackRed = 5637,    // byte
    oRotateBackGreen = 5638,  // byte
    oRotateBackBlue = 5639,   // byte
    oMosaicWidth = 5640,      // byte
    oMosaicHeight = 5641,     // byte
    oResizeX = 5642,          // u16
    oResizeY = 5644,          // u16
    oSourceWidth = 5646,      // u16
    oSourceHeight = 5648,     // u16
    oSourceBackColor = 5650,  // u32
    oBackgroundLength = 5654,  // u32
    oBackgroundOffset = 5658,  // u32
    oFrameWidthX = 5662,      // u16
    oFrameWidthY = 5664,      // u16
    oFrameColor = 5666,       // u32
    oFrameStyle = 5670,       // byte
    oColorContrast = 5671,    // byte
    oBevelInner = 5672,       // byte
    oBevelOuter = 5673,       // byte
    oBevelWidth = 5674,       // byte
    oFrameLength = 5675,      // u32
    oFrameOffset = 5679,      // u32
    oMaskLength = 5683,       // u32
    oMaskOffset = 5687,       // u32
    oMaskRect = 5691,         // 4 x i32: left, top, right, bottom
    oSourceScale = 5707,      // 32-bit float
    oReservedTail = 5711      // zero bytes up to Size
  };

  // All bytes zero; InitMarkInfo gives the defaults.
  TMarkInfo();
  // A copy of exactly Size bytes (ERangeError otherwise).
  explicit TMarkInfo(std::span<const std::uint8_t> bytes);

  // All Size bytes.
  std::vector<std::uint8_t> Bytes() const;
  // The same as two pieces that follow each other: the fields, and the
  // reserved tail (zero bytes of static storage while it is all zero).
  std::array<std::span<const std::uint8_t>, 2> Pieces() const;
  // Takes exactly Size bytes.
  void SetBytes(std::span<const std::uint8_t> bytes);
  // Raw bytes at an offset (the range is checked).
  void SetRaw(std::size_t offset, std::span<const std::uint8_t> bytes);

  // Typed access at any offset (the range is checked).
  std::uint8_t U8(std::size_t offset) const;
  std::uint16_t U16(std::size_t offset) const;
  std::uint32_t U32(std::size_t offset) const;
  std::int32_t I32(std::size_t offset) const { return static_cast<std::int32_t>(U32(offset)); }
  float F32(std::size_t offset) const;
  std::string ShortString(std::size_t offset, std::size_t capacity) const;
  void SetU8(std::size_t offset, std::uint8_t v);
  void SetU16(std::size_t offset, std::uint16_t v);
  void SetU32(std::size_t offset, std::uint32_t v);
  void SetI32(std::size_t offset, std::int32_t v) { SetU32(offset, static_cast<std::uint32_t>(v)); }
  void SetF32(std::size_t offset, float v);
  // The bytes after the text up to the capacity are left as they were.
  void SetShortString(std::size_t offset, std::size_t capacity, std::string_view text);

  std::string Version() const { return ShortString(oVersion, 10); }
  void SetVersion(std::string_view s) { SetShortString(oVersion, 10, s); }
  std::string Name() const { return ShortString(oName, 30); }
  void SetName(std::string_view s) { SetShortString(oName, 30, s); }
  bool TextMark() const { return U8(oTextMark) == 1; }
  void SetTextMark(bool v) { SetU8(oTextMark, v ? 1 : 0); }
  std::string PictureFile() const { return ShortString(oPictureFile, 255); }
  void SetPictureFile(std::string_view s) { SetShortString(oPictureFile, 255, s); }
  // Piece 0..50 of the mark text.
  std::string TextPiece(int index) const;
  void SetTextPiece(int index, std::string_view s);
  std::string FontName() const { return ShortString(oFontName, 100); }
  void SetFontName(std::string_view s) { SetShortString(oFontName, 100, s); }
  TColor FontColor() const { return U32(oFontColor); }
  void SetFontColor(TColor c) { SetU32(oFontColor, c); }
  TColor TextBackColor() const { return U32(oTextBackColor); }
  void SetTextBackColor(TColor c) { SetU32(oTextBackColor, c); }
  std::int32_t FontSize() const { return I32(oFontSize); }
  void SetFontSize(std::int32_t v) { SetI32(oFontSize, v); }
  std::uint32_t FontStyle() const { return U32(oFontStyle); }
  void SetFontStyle(std::uint32_t v) { SetU32(oFontStyle, v); }
  std::uint8_t Anchor() const { return U8(oAnchor); }
  void SetAnchor(std::uint8_t v) { SetU8(oAnchor, v); }
  std::int32_t XOffset() const { return I32(oXOffset); }
  void SetXOffset(std::int32_t v) { SetI32(oXOffset, v); }
  std::int32_t YOffset() const { return I32(oYOffset); }
  void SetYOffset(std::int32_t v) { SetI32(oYOffset, v); }
  // The key is on only when the byte is exactly 1.
  bool ColorKeyOn() const { return U8(oColorKeyOn) == 1; }
  void SetColorKeyOn(bool v) { SetU8(oColorKeyOn, v ? 1 : 0); }
  TColor KeyColor() const { return U32(oKeyColor); }
  void SetKeyColor(TColor c) { SetU32(oKeyColor, c); }
  std::uint8_t Transparency() const { return U8(oTransparency); }
  void SetTransparency(std::uint8_t v) { SetU8(oTransparency, v); }
  std::uint8_t EditorSwitch() const { return U8(oEditorSwitch); }
  void SetEditorSwitch(std::uint8_t v) { SetU8(oEditorSwitch, v); }
  std::string StoredPictureType() const { return ShortString(oStoredPictureType, 10); }
  void SetStoredPictureType(std::string_view s) { SetShortString(oStoredPictureType, 10, s); }
  // Empty: the file holds no pictures.
  std::string PictureType() const { return ShortString(oPictureType, 10); }
  void SetPictureType(std::string_view s) { SetShortString(oPictureType, 10, s); }
  std::uint32_t PictureLength() const { return U32(oPictureLength); }
  void SetPictureLength(std::uint32_t v) { SetU32(oPictureLength, v); }
  std::uint8_t KeyTolerance() const { return U8(oKeyTolerance); }
  void SetKeyTolerance(std::uint8_t v) { SetU8(oKeyTolerance, v); }
  std::uint32_t EffectFlags() const { return U32(oEffectFlags); }
  void SetEffectFlags(std::uint32_t v) { SetU32(oEffectFlags, v); }
  bool HasEffect(std::uint32_t flag) const { return (EffectFlags() & flag) != 0; }
  void SetEffect(std::uint32_t flag, bool on) { SetEffectFlags(on ? (EffectFlags() | flag) : (EffectFlags() & ~flag)); }
  std::uint16_t Angle() const { return U16(oAngle); }
  void SetAngle(std::uint16_t v) { SetU16(oAngle, v); }
  // The colour of the corners that rotation uncovers, from its three bytes.
  TColor RotateBackColor() const { return RGB(U8(oRotateBackRed), U8(oRotateBackGreen), U8(oRotateBackBlue)); }
  void SetRotateBackColor(TColor c);
  std::uint8_t MosaicWidth() const { return U8(oMosaicWidth); }
  void SetMosaicWidth(std::uint8_t v) { SetU8(oMosaicWidth, v); }
  std::uint8_t MosaicHeight() const { return U8(oMosaicHeight); }
  void SetMosaicHeight(std::uint8_t v) { SetU8(oMosaicHeight, v); }
  std::uint16_t ResizeX() const { return U16(oResizeX); }
  void SetResizeX(std::uint16_t v) { SetU16(oResizeX, v); }
  std::uint16_t ResizeY() const { return U16(oResizeY); }
  void SetResizeY(std::uint16_t v) { SetU16(oResizeY, v); }
  std::uint16_t SourceWidth() const { return U16(oSourceWidth); }
  void SetSourceWidth(std::uint16_t v) { SetU16(oSourceWidth, v); }
  std::uint16_t SourceHeight() const { return U16(oSourceHeight); }
  void SetSourceHeight(std::uint16_t v) { SetU16(oSourceHeight, v); }
  TColor SourceBackColor() const { return U32(oSourceBackColor); }
  void SetSourceBackColor(TColor c) { SetU32(oSourceBackColor, c); }
  std::uint32_t BackgroundLength() const { return U32(oBackgroundLength); }
  void SetBackgroundLength(std::uint32_t v) { SetU32(oBackgroundLength, v); }
  std::uint32_t BackgroundOffset() const { return U32(oBackgroundOffset); }
  void SetBackgroundOffset(std::uint32_t v) { SetU32(oBackgroundOffset, v); }
  std::uint16_t FrameWidthX() const { return U16(oFrameWidthX); }
  void SetFrameWidthX(std::uint16_t v) { SetU16(oFrameWidthX, v); }
  std::uint16_t FrameWidthY() const { return U16(oFrameWidthY); }
  void SetFrameWidthY(std::uint16_t v) { SetU16(oFrameWidthY, v); }
  TColor FrameColor() const { return U32(oFrameColor); }
  void SetFrameColor(TColor c) { SetU32(oFrameColor, c); }
  std::uint8_t FrameStyle() const { return U8(oFrameStyle); }
  void SetFrameStyle(std::uint8_t v) { SetU8(oFrameStyle, v); }
  std::uint8_t ColorContrast() const { return U8(oColorContrast); }
  void SetColorContrast(std::uint8_t v) { SetU8(oColorContrast, v); }
  // Bevels: 0 lowered, 1 none, 2 raised.
  std::uint8_t BevelInner() const { return U8(oBevelInner); }
  void SetBevelInner(std::uint8_t v) { SetU8(oBevelInner, v); }
  std::uint8_t BevelOuter() const { return U8(oBevelOuter); }
  void SetBevelOuter(std::uint8_t v) { SetU8(oBevelOuter, v); }
  std::uint8_t BevelWidth() const { return U8(oBevelWidth); }
  void SetBevelWidth(std::uint8_t v) { SetU8(oBevelWidth, v); }
  std::uint32_t FrameLength() const { return U32(oFrameLength); }
  void SetFrameLength(std::uint32_t v) { SetU32(oFrameLength, v); }
  std::uint32_t FrameOffset() const { return U32(oFrameOffset); }
  void SetFrameOffset(std::uint32_t v) { SetU32(oFrameOffset, v); }
  std::uint32_t MaskLength() const { return U32(oMaskLength); }
  void SetMaskLength(std::uint32_t v) { SetU32(oMaskLength, v); }
  std::uint32_t MaskOffset() const { return U32(oMaskOffset); }
  void SetMaskOffset(std::uint32_t v) { SetU32(oMaskOffset, v); }
  TRect MaskRect() const;
  void SetMaskRect(const TRect& r);
  float SourceScale() const { return F32(oSourceScale); }
  void SetSourceScale(float v) { SetF32(oSourceScale, v); }

  friend bool operator==(const TMarkInfo& a, const TMarkInfo& b);

 private:
  static constexpr std::size_t kHeadSize = oReservedTail;
  static constexpr std::size_t kTailSize = Size - kHeadSize;
  void Check(std::size_t offset, std::size_t size) const;
  static const std::uint8_t* Zeros();
  static bool AllZero(std::span<const std::uint8_t> bytes);
  void Get(std::size_t offset, std::size_t size, std::uint8_t* to) const;
  bool TailIsZero() const;
  std::vector<std::uint8_t> head_;  // the bytes before oReservedTail
  std::vector<std::uint8_t> tail_;  // empty while the reserved tail is all zero
};

// Fills a record with the defaults of a new mark (every byte the defaults
// do not name is zero).
void InitMarkInfo(TMarkInfo& record);

// A mark name is any plain file name: not empty, not "." or "..", without
// "/" or NUL. Names such as "v1..2" or "a\b" are plain.
bool IsPlainMarkName(std::string_view name);

// The mark file of a mark name: program folder + "spm/" + name + ".spm".
// The "spm" folder is created when missing. Empty when it cannot be made,
// and for a name that is not a plain file name.
std::string GetMarkFileName(const std::string& name);

class TMark {
 public:
  // With a picture, Composite starts as a copy of it.
  TMark();
  explicit TMark(const TBitmap& picture);
  TMark(const TMark&) = delete;
  TMark& operator=(const TMark&) = delete;

  TBitmap Composite;                   // the work image, 24 bits per pixel
  std::vector<TBitmap> PristineMarks;  // each mark picture as loaded
  TStringList FileNames;               // the mark file of each mark, in layer order
  std::string Info;                    // description of the last written output
  std::string ProgramDir;              // the program folder, set by the batch
  bool GifMarkFirst = false;           // of an animated GIF only the first frame is marked
  bool GifDisableAnimate = false;      // an animated GIF is written as one frame
  std::vector<TBitmap> MarkPictures;   // working copies, changed while drawing
  std::vector<TMarkInfo> Records;
  std::vector<TBitmap> Backgrounds;
  std::vector<TBitmap> Frames;
  std::vector<TBitmap> Masks;

  int Count() const { return static_cast<int>(Records.size()); }

  // Appends a mark with empty pictures and a default record.
  void AddMark(const std::string& fileName);
  void AddMarkFiles(const std::vector<std::string>& files);
  void AddMarkFiles(const TStringList& files);
  // Loads every mark file in order and keeps a pristine copy of each mark
  // picture. A damaged mark file raises EMarkFileError.
  void LoadMarks();

  // Loads a mark file. A missing file changes nothing. Any picture pointer
  // may be null (that picture is then not loaded). Raises EMarkFileError
  // when the file does not unpack or a length or offset lies outside its
  // data, and the BMP reader's EInvalidGraphic for a damaged picture; on
  // any failure the record and the pictures are left as they were.
  static void LoadMarkFile(const std::string& fileName, TMarkInfo& record, TBitmap* mask, TBitmap* frame,
                           TBitmap* background, TBitmap* picture);
  // The same from the bytes of a mark file.
  static void LoadMarkData(std::span<const std::uint8_t> fileBytes, TMarkInfo& record, TBitmap* mask,
                           TBitmap* frame, TBitmap* background, TBitmap* picture);

  // Writes mark index to fileName (through a temporary file, so a failed
  // save leaves the old file intact). Sets the record's picture lengths
  // and offsets to what is written. False when packing fails, and (after
  // showing message 1555) when the file cannot be written, its path holds
  // a ".." step or a NUL, or its name part is no mark name.
  bool SaveMarkFile(int index, const std::string& fileName);
  // The same, but every failure (a path with a ".." step or a NUL, a
  // name part that is no mark name, packing, writing) raises and nothing
  // is shown.
  void WriteMarkFile(int index, const std::string& fileName);
  // The bytes SaveMarkFile writes (raises on failure).
  std::vector<std::uint8_t> BuildMarkFile(int index);

  // Draws the mark files onto a picture (bottom layer first), which becomes
  // 24-bit. A mark file that does not unpack raises before the picture is
  // touched; a failure while drawing may leave it partly drawn.
  static void ApplyMarksToPicture(TBitmap& picture, const std::vector<std::string>& files);

  // ---- Rendering (render.cpp) ----
  // Renders every mark onto Composite; w and h are the size of the source
  // picture the caller loaded into it.
  void DrawMarks(int w, int h);
  // The steps of DrawMarks, in the order it runs them.
  void RotateMarks();
  void PrepareSource(int index, int w, int h);
  void DrawSourceFrame(const TRect& fitted, int index);
  void ApplyMaskStep(int index);

  // ---- File processing (process.cpp) ----
  // Loads src into Composite, renders the marks and writes dest in the
  // type its extension names. False, with nothing shown, when the file
  // could not be read, rendered or written; the working mark pictures are
  // restored from their pristine copies in every case. When times is
  // given, it receives how long each stage took (for outputs other than
  // JPEG, encoding and writing are one step, counted as encoding).
  struct TStageTimes {
    double DecodeMs = 0;
    double RenderMs = 0;
    double EncodeMs = 0;
    double WriteMs = 0;
  };
  bool ProcessFile(const std::string& src, const std::string& dest, TStageTimes* times = nullptr);

  // ProcessFile in two steps, for a batch that works on several files at
  // once but writes them in list order. PrepareFile does everything but
  // putting the output in place: the output is written and flushed under
  // a temporary name (or none) beside dest, and the working mark pictures
  // are restored. It touches nothing outside this mark set, so mark sets
  // of their own may prepare files on several threads at once.
  // CommitPreparedFile (below) then puts the output in place. loaded, when
  // given, is called as soon as the source picture is loaded, with the
  // memory it takes; what it raises fails the file.
  struct TPreparedFile {
    bool Converted = false;  // false: the file failed and has no output
    int JpegQuality = -1;    // a JPEG source's quality, -1 for other sources
    std::int64_t PictureBytes = 0;  // the memory of the loaded source picture
    std::unique_ptr<TAtomicFileStream> Output;
  };
  TPreparedFile PrepareFile(const std::string& src, const std::string& dest, TStageTimes* times = nullptr,
                            const std::function<void(std::int64_t pictureBytes)>& loaded = {});

  // The output settings this mark set writes with; when empty, those of
  // the settings object at each file.
  std::optional<TOutputOptions> OutputOptions;
  // Lent to the rotating and resizing of marks; the settings object's
  // scratch bitmap when null. A batch worker lends one of its own.
  TBitmap* ScratchBitmap = nullptr;
  // Puts every working mark picture back to its pristine copy.
  void RestoreMarkPictures();

  // Pixel memory held by the work picture and the scratch pictures that
  // are kept from file to file.
  std::size_t WorkMemoryBytes() const;

 private:
  void CheckIndex(int index) const;
  // The work picture and the scratch pictures keep their memory for the
  // next file only while the keep rule (TPixelBuffer::Reusable) allows it
  // for need, the most one of them needed for this file.
  void KeepWorkMemory(std::size_t need);

  // Scratch pictures of the source treatment, kept from file to file so
  // that their memory is not taken (and faulted in) anew for every
  // picture: the treated source is built in treated_ and then swapped with
  // Composite; maskBack_ is what the mask blends the source with.
  TBitmap treated_;
  TBitmap maskBack_;
};

// Puts a prepared output in place (the atomic writer's commit). True when
// the file was converted and its output now stands under its name; false
// for a failed file or a failed rename, which leaves the old file.
bool CommitPreparedFile(TMark::TPreparedFile& file);
// The output description of the batch log: for a JPEG source (quality 0
// and up) "jpg " + message 9001 + ":" + quality + "%", else empty.
std::string OutputDescription(int jpegQuality);

// Draws src onto dest with its top-left corner at (x, y), blended by the
// record's transparency and leaving out the pixels of its colour key.
// Raises ERangeError for a transparency above 100.
void BlendDraw(TBitmap& src, TBitmap& dest, const TMarkInfo& record, int x, int y);
// Draws a mark picture onto dest at (x, y) as the record's effects ask:
// tiled (mfTilePic: as if src were first grown to dest's size and filled
// with copies of itself), then through a checkerboard (mfMix) or blended.
// src itself is not changed (a copy is converted when it is not 24-bit).
void DrawMarkPicture(const TBitmap& src, TBitmap& dest, const TMarkInfo& record, TPoint at);
