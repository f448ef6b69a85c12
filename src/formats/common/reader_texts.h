#pragma once
// The reader family's own English texts. They are part of the program,
// not of the language files; "%s" is filled with the format's name (or an
// extension) by RaiseInvalidGraphicFmt.

namespace readertext {

// Progress texts.
inline constexpr const char* Preparing = "Preparing...";
inline constexpr const char* LoadingData = "Loading data...";
inline constexpr const char* Upsampling = "Upsampling...";
inline constexpr const char* Transfering = "Transfering...";

// Failures.
inline constexpr const char* InvalidImage = "Cannot load image. Invalid or unexpected %s image format.";
inline constexpr const char* InvalidColorFormat = "Invalid color format in %s file.";
inline constexpr const char* StreamReadError = "Stream read error in %s file.";
inline constexpr const char* NotSupported = "Cannot load image. %s not supported for %s files.";
inline constexpr const char* CRCError = "Cannot load image. CRC error found in %s file.";
inline constexpr const char* CompressionError = "Cannot load image. Compression error found in %s file.";
inline constexpr const char* ExtraCompressedData = "Cannot load image. Extra compressed data found in %s file.";
inline constexpr const char* InvalidPalette = "Cannot load image. Palette in %s file is invalid.";
inline constexpr const char* UnknownCriticalChunk = "Cannot load PNG image. Unexpected but critical chunk detected.";
inline constexpr const char* CompressionScheme = "The compression scheme is";
// Ours: the first arguments of NotSupported for what the TIFF reader
// does not decode.
inline constexpr const char* TiledImages = "Tiled images are";
inline constexpr const char* SeparatePlanes = "Separate color planes are";
inline constexpr const char* SubsampledYCbCr = "Subsampled YCbCr images without JPEG compression are";
inline constexpr const char* TwoDimensionalG3 = "Two-dimensional Group 3 coding is";
inline constexpr const char* RegisterTwice = "Attempt to register %s twice.";

// Failures and warnings of the decoders (EGraphicCompression).
inline constexpr const char* LZ77Error = "LZ77 decompression error.";
inline constexpr const char* JPEGEndOfInput = "JPEG decompression error. Unexpected end of input.";
inline constexpr const char* JPEGStripSize = "Improper JPEG strip/tile size.";
inline constexpr const char* JPEGComponentCount = "Improper JPEG component count.";
inline constexpr const char* JPEGDataPrecision = "Improper JPEG data precision.";
inline constexpr const char* JPEGSamplingFactors = "Improper JPEG sampling factors.";
inline constexpr const char* JPEGBogusTables = "Bogus JPEG tables field.";
inline constexpr const char* JPEGFractionalScanline = "Fractional JPEG scanline unsupported.";
// Ours: Photo-CD residuals that name a plane the format does not have.
inline constexpr const char* PCDHuffmanError = "Photo-CD decompression error. Invalid plane in row header.";

// Ours: a picture beyond the pixel cap.
inline constexpr const char* ImageTooLarge = "Cannot load image. The %s image is too large (%s x %s pixels).";

// Descriptions of the registrations.
inline constexpr const char* WindowsBitmaps = "Windows bitmaps";
inline constexpr const char* RLEBitmaps = "Run length encoded Windows bitmaps";
inline constexpr const char* DIBBitmaps = "Device independant Windows bitmaps";
inline constexpr const char* EPSImages = "Encapsulated Postscript images";
inline constexpr const char* WindowsIcons = "Windows icons";
inline constexpr const char* WindowsMetafiles = "Windows metafiles";
inline constexpr const char* EnhancedMetafiles = "Windows enhanced meta files";
inline constexpr const char* JPGImages = "JPG images";
inline constexpr const char* JPEGImages = "JPEG images";
inline constexpr const char* JPEImages = "JPE images";
inline constexpr const char* JFIFImages = "JFIF images";
inline constexpr const char* TruevisionImages = "Truevision images";
inline constexpr const char* TIFFImages = "Tagged image file format images";
inline constexpr const char* MacTIFFImages = "Macintosh TIFF images";
inline constexpr const char* PCTIFImages = "PC TIF images";
inline constexpr const char* FaxImages = "GFI fax images";
inline constexpr const char* SGIImages = "SGI images";
inline constexpr const char* SGITrueColor = "SGI true color images";
inline constexpr const char* PCXImages = "ZSoft Paintbrush images";
inline constexpr const char* WordScreenCapture = "Word 5.x screen capture images";
inline constexpr const char* AliasImages = "Alias/Wavefront images";
inline constexpr const char* SGITrueColorAlpha = "SGI true color images with alpha";
inline constexpr const char* SGIBlackWhite = "SGI black/white images";
inline constexpr const char* PhotoshopImages = "Photoshop images";
inline constexpr const char* PortableMaps = "Portable map images";
inline constexpr const char* PortablePixmaps = "Portable pixel map images";
inline constexpr const char* PortableGraymaps = "Portable gray map images";
inline constexpr const char* PortableBitmaps = "Portable bitmap images";
inline constexpr const char* AutodeskImages = "Autodesk images";
inline constexpr const char* PhotoCDImages = "Kodak Photo-CD images";
inline constexpr const char* HaloImages = "Dr. Halo images";
inline constexpr const char* PaintShopProImages = "Paintshop Pro images";
inline constexpr const char* PNGImages = "Portable network graphic images";

}  // namespace readertext
