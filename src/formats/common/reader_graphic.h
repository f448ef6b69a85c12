#pragma once
// The base of every reader of the multi-format family: a bitmap with a
// colour manager, the image-properties record its header fills, and the
// load every reader runs (releasing the old picture, the header or the
// format's error, the base position, the size check, progress).
//
// A reader is declared as `class TPCXGraphic : public
// TReaderClass<TPCXGraphic>` with two constants, kClassName (its name in
// the picture registry) and kFormatName (the format in its errors), and
// overrides
//   ProbeStream(stream)      whether the stream holds its format; it may
//                            read and move freely: CanLoadStream puts the
//                            position back and answers false when the
//                            probe raises;
//   ReadImageHeader(s, i)    calls the base first (which clears the
//                            properties), reads its header into
//                            ImageProperties() and answers true when the
//                            header is its format;
//   LoadPixels(stream)       its own step of LoadFromStream: with the
//                            header read and checked and the stream back
//                            at BasePosition(), colour manager and bitmap
//                            set up, rows converted, progress reported.
// ReadLoadHeader and CheckLoadHeader are there for the readers whose load
// asks another header or checks the size among other things.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/graphic.h"
#include "core/types.h"
#include "formats/color/color_manager.h"

class TStream;

// Dynamic arrays the readers keep in their properties.
using TCardinalArray = std::vector<std::uint32_t>;
using TByteArray = std::vector<std::uint8_t>;

// Flags of TImageProperties::Options.
enum TImageOption : std::uint8_t {
  ioTiled = 1,       // the TIFF is stored in tiles
  ioBigEndian = 2,   // multi-byte samples are big-endian
  ioMinIsWhite = 4,  // the lowest sample value is white
  ioReversed = 8,    // bits of a byte are stored least significant first
  ioUseGamma = 16    // the colour manager applies the file's gamma
};

// The compression of an image as the readers name it.
enum class TCompressionType : std::uint8_t {
  Unknown = 0,  // not supported
  None = 1,
  RLE = 2,  // a format's own run-length coding
  PackBits = 3,
  LZW = 4,
  CCITTGroup3 = 5,
  CCITTMH = 6,  // modified Huffman
  CCITTGroup4 = 7,
  JPEG = 8,
  LZ77 = 9,  // deflate
  OldJPEG = 10,
  NeXT = 11,
  CCITTMHWordAligned = 12,
  ThunderScan = 13,
  IT8CTPad = 14,
  IT8LW = 15,
  IT8MP = 16,
  IT8BL = 17,
  PixarFilm = 18,
  PixarLog = 19,
  KodakDCS = 20,
  JBIG = 21,
  PCDHuffmann = 22,
  PSPJPEG = 23  // JPEG inside a Paint Shop Pro file
};

// What a reader's header says about its image. Copying copies the arrays
// with their contents; Clear zeroes everything and releases them.
struct TImageProperties {
  std::uint32_t Version = 0;
  std::uint8_t Options = 0;  // TImageOption flags
  std::uint32_t Width = 0;
  std::uint32_t Height = 0;
  TColorScheme ColorScheme = TColorScheme::Unknown;
  std::uint8_t BitsPerSample = 0;
  std::uint8_t SamplesPerPixel = 0;
  std::uint8_t BitsPerPixel = 0;
  TCompressionType Compression = TCompressionType::Unknown;
  float FileGamma = 0.0f;
  float XResolution = 0.0f;  // dots per inch
  float YResolution = 0.0f;
  bool Interlaced = false;
  bool HasAlpha = false;

  // Fields of the TIFF, Photo-CD and Paint Shop Pro readers.
  std::uint32_t FirstIFD = 0;
  std::uint8_t Orientation = 0;
  std::uint16_t Predictor = 0;
  std::uint16_t PlanarConfig = 0;
  std::uint32_t T4Options = 0;
  std::uint32_t JPEGColorMode = 0;
  std::uint32_t JPEGTablesMode = 0;
  std::uint16_t YCbCrPositioning = 0;
  TCardinalArray RowsPerStrip;
  TByteArray JPEGTables;
  TByteArray YCbCrSubsampling;
  std::array<float, 3> YCbCrCoefficients{0.299f, 0.587f, 0.114f};  // luma weights of R, G, B
  bool Overview = false;  // a Photo-CD overview pack

  bool BottomUp = false;      // rows stored bottom row first
  std::uint8_t Channels = 0;  // channels in the file
  std::uint8_t FilterMode = 0;

  bool Has(TImageOption option) const { return (Options & option) != 0; }
  void Clear() { *this = TImageProperties(); }
};

// Raises EInvalidGraphic with the text.
[[noreturn]] void RaiseInvalidGraphic(const std::string& message);
// The format's invalid-image error: "Cannot load image. Invalid or
// unexpected <formatName> image format."
[[noreturn]] void RaiseInvalidImage(const std::string& formatName);
// Raises EInvalidGraphic with the pattern's "%s" places filled with the
// arguments in order (see FormatText).
[[noreturn]] void RaiseInvalidGraphicFmt(const char* pattern, std::initializer_list<std::string> arguments);
// The pattern with each "%s" replaced by the next argument; "%%" is a
// "%"; a "%s" without an argument left stays empty.
std::string FormatText(const char* pattern, std::initializer_list<std::string> arguments);

class TReaderGraphic : public TBitmap {
 public:
  TReaderGraphic();
  ~TReaderGraphic() override;
  TReaderGraphic(const TReaderGraphic&) = delete;
  TReaderGraphic& operator=(const TReaderGraphic&) = delete;

  // From another reader, its image properties first; then the bitmap.
  void Assign(const TGraphic& source) override;

  // The load of every reader: BeginLoad, ReadLoadHeader (false raises the
  // format's invalid-image error), the stream back at BasePosition(),
  // CheckLoadHeader, LoadPixels. The base reads no format: its header is
  // never one.
  void LoadFromStream(TStream& stream) override;

  // Whether the stream, from its position, holds this class's format. The
  // position is always put back.
  bool CanLoadStream(TStream& stream) const;
  // Opens the file for reading (EFOpenError when it cannot be), asks
  // CanLoadStream and closes it again.
  bool CanLoadFile(const std::string& fileName) const;

  // Reads the header of sub-image imageIndex (0 for formats with one
  // image) from the stream's position into the properties; the stream is
  // left after the bytes read. The base clears the properties, sets the
  // file gamma to 1.0 and answers false.
  virtual bool ReadImageHeader(TStream& stream, int imageIndex);

  const TImageProperties& ImageProperties() const { return properties_; }
  TImageProperties& ImageProperties() { return properties_; }
  TColorManager& ColorManager() { return colorManager_; }
  const TColorManager& ColorManager() const { return colorManager_; }

  // The band of rows the last progress event referred to.
  const TRect& ProgressRect() const { return progressRect_; }

  // A warning of the current load (a decoder's): the first one of a load
  // is posted to the queue the GUI side shows (reader_warnings.h), later
  // ones are dropped. Safe on any thread.
  void Warning(const std::string& text);
  // Whether the current load has given its warning.
  bool Warned() const { return warned_; }

 protected:
  // The probe behind CanLoadStream. The base answers false.
  virtual bool ProbeStream(TStream& stream) const;

  // The format as its errors name it; "" for the base.
  virtual const std::string& FormatName() const;
  // The header a load reads: ReadImageHeader of image 0. A reader that
  // loads another image, or asks more of the header, says so here.
  virtual bool ReadLoadHeader(TStream& stream);
  // Before any pixel is read: a picture of the header's width and height
  // must not be empty and must be within the pixel cap (CheckPictureSize).
  // A reader that checks other fields before the size does it all here
  // (or in LoadPixels), in its own order.
  virtual void CheckLoadHeader();
  // The reader's own step of the load (see LoadFromStream). The base has
  // no pixels: the format's invalid-image error.
  virtual void LoadPixels(TStream& stream);

  // The first step of every load: releases the current picture and its
  // palette, notes the stream and its position as the base position.
  void BeginLoad(TStream& stream);
  std::int64_t BasePosition() const { return basePosition_; }
  TStream* Stream() const { return stream_; }
  void SetStream(TStream* stream) { stream_ = stream; }

  // Progress of a load over height rows of width pixels: a stage starts
  // with the band (0, 0, width, firstBandHeight); each ProgressRow reports
  // row x 100 / height percent (rounded) with the stage's text and moves
  // the band down one row;
  // ProgressEnd ends the stage with an empty text.
  void ProgressStart(const std::string& message, int width, int firstBandHeight = 1);
  void ProgressRow(int row, int height);
  void ProgressEnd();

  // Row y of the bitmap as a span over its stored bytes.
  std::span<std::uint8_t> ScanLineSpan(int y) {
    return std::span<std::uint8_t>(ScanLine(y), static_cast<std::size_t>(RowStride()));
  }

 private:
  TColorManager colorManager_;
  TImageProperties properties_;
  std::int64_t basePosition_ = 0;
  TStream* stream_ = nullptr;
  TRect progressRect_;
  std::string progressMessage_;
  bool warned_ = false;
};

// What makes a reader a class of the picture registry: its TGraphicClass,
// named TReader::kClassName and making a TReader, and its FormatName,
// TReader::kFormatName. Base is the class the reader derives from: the
// base reader, or a reader of the format it holds (EPS holds a TIFF).
template <class TReader, class Base = TReaderGraphic>
class TReaderClass : public Base {
 public:
  static const TGraphicClass& StaticClass() {
    static const TGraphicClass graphicClass{
        TReader::kClassName, []() -> std::unique_ptr<TGraphic> { return std::make_unique<TReader>(); }};
    return graphicClass;
  }
  const TGraphicClass& ClassType() const override { return StaticClass(); }

 protected:
  const std::string& FormatName() const override {
    static const std::string name(TReader::kFormatName);
    return name;
  }
};
