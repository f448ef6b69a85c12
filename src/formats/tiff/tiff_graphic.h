#pragma once
// The TIFF reader ("tif", "tiff", "fax") and the EPS reader that loads
// the TIFF preview of an EPS file.
//
// A TIFF is read from the bytes of its stream (a memory stream is used in
// place): the directory of the first image, its strips one after the
// other, each decoded (none, PackBits, CCITT modified Huffman and Group 3
// one-dimensional, deflate, JPEG, ThunderScan), the predictor undone and
// the rows turned into the bitmap by the colour manager. Tiles, separate
// colour planes, subsampled YCbCr without JPEG, two-dimensional Group 3
// and the other compressions raise "not supported".

#include <cstdint>
#include <span>
#include <vector>

#include "formats/common/reader_graphic.h"
#include "formats/tiff/tiff_directory.h"

class TTIFFGraphic : public TReaderClass<TTIFFGraphic> {
 public:
  static constexpr const char* kClassName = "TTIFFGraphic";
  static constexpr const char* kFormatName = "TIF/TIFF";

  // Reads the header of image imageIndex of the TIFF that starts at the
  // stream's position.
  bool ReadImageHeader(TStream& stream, int imageIndex) override;

  // The entries of the directory the last header came from, sorted by tag.
  const std::vector<TTIFFEntry>& Entries() const { return entries_; }

 protected:
  bool ProbeStream(TStream& stream) const override;
  // What is not supported is said before the size is checked: LoadTIFF
  // checks both.
  void CheckLoadHeader() override {}
  void LoadPixels(TStream& stream) override;

  // Reads the header of image imageIndex of the TIFF in data (from its
  // 8-byte header on) into the properties.
  bool ReadTIFFHeader(std::span<const std::uint8_t> data, int imageIndex);
  // Loads image 0 of the TIFF in data, whose header has been read.
  void LoadTIFF(std::span<const std::uint8_t> data);
  // The bytes of the stream from its position to its end: the memory of
  // a memory stream, or a copy kept in the object.
  std::span<const std::uint8_t> StreamData(TStream& stream);

 private:
  void SetUpColors(const TTIFFDirectory& directory);
  // Raises the invalid-image error unless the strips' bytes can give the
  // whole picture at their coding's largest expansion, before the picture
  // is allocated: a few bytes must not cost a picture of the pixel cap.
  void CheckStripData(const TTIFFDirectory& directory, std::span<const std::uint8_t> data) const;
  void LoadStrips(const TTIFFDirectory& directory, std::span<const std::uint8_t> data);

  std::vector<TTIFFEntry> entries_;
  std::vector<std::uint8_t> copy_;
};

// An EPS file with a TIFF preview: a 30-byte header gives where the TIFF
// stands; the preview is the picture.
class TEPSGraphic : public TReaderClass<TEPSGraphic, TTIFFGraphic> {
 public:
  static constexpr const char* kClassName = "TEPSGraphic";
  static constexpr const char* kFormatName = "EPS";

  // Reads the EPS header at the stream's position, then the header of
  // the TIFF it points to.
  bool ReadImageHeader(TStream& stream, int imageIndex) override;

 protected:
  bool ProbeStream(TStream& stream) const override;
  // A file without a TIFF inside is the EPS error; a TIFF inside that is
  // none is the TIFF error.
  bool ReadLoadHeader(TStream& stream) override;
  void LoadPixels(TStream& stream) override;

 private:
  // The TIFF within data (from the EPS header on); empty when the header
  // is not an EPS header with a TIFF inside the data.
  static std::span<const std::uint8_t> TIFFPart(std::span<const std::uint8_t> data);
};
