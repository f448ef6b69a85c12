#pragma once
// The one place that knows every picture format of the program.

// Registers every picture class with the picture registry, in the order in
// which a later registration of an extension wins over an earlier one:
// the core's classes (BMP, icons, metafiles, JPEG) first, then the GIF
// image and the PNG codec, then the multi-format reader family with its
// 39 registrations (reader_family.h). Safe to call more than once; after
// UnregisterImageFormats it registers the family again.
void RegisterImageFormats();

// The shut-down of the reader family (ReaderFamilyFinalization).
void UnregisterImageFormats();
