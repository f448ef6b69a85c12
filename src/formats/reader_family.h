#pragma once
// The start-up and shut-down of the multi-format reader family: its
// format list and the 39 registrations that plug its readers (and, again,
// the core's bitmap, icon, metafile and JPEG classes) into the picture
// registry. It runs after the GIF and PNG classes have registered, so its
// registrations are the newest for their extensions.

#include <span>

#include "core/graphic.h"
#include "formats/common/file_format_list.h"

// One row of the start-up table.
struct TReaderRegistration {
  const char* Extension;
  const TGraphicClass& (*GraphicClass)();
  const char* Common;      // the class's common description, or ""
  const char* Individual;  // the extension's own description, or ""
};

// The 39 rows, in the order they are registered.
std::span<const TReaderRegistration> ReaderFamilyRegistrations();

// Creates the global format list and registers the rows, none replacing.
// Does nothing while the family is registered already.
void ReaderFamilyInitialization();
// Unregisters the readers by class (Paint Shop Pro, Photoshop, Targa,
// TIFF, SGI, PCX, Autodesk, Photo-CD, portable maps, CUT, RLA), then "rle"
// and "dib" of the bitmap class, then the PNG reader, and releases the
// list, which takes every class still listed out of the picture registry.
// A later ReaderFamilyInitialization starts again.
void ReaderFamilyFinalization();

// The global format list between the two; nullptr outside.
TFileFormatList* FileFormatList();
