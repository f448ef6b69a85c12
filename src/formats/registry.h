#pragma once
// The one place that knows every picture format of the program.

// Registers every picture class with the picture registry, in the order in
// which a later registration of an extension wins over an earlier one:
// the core's classes (BMP, icons, metafiles, JPEG) first, then the
// program's own codecs. Safe to call more than once.
void RegisterImageFormats();
