// Until the family's own PNG reader is part of the program (delete this
// file when it is), its registration keeps the PNG codec reading ".png"
// files, so that nothing the program read before is lost.
#include "formats/png/png_image.h"
#include "formats/reader_classes.h"

const TGraphicClass& PNGGraphicClass() { return TPNGImage::StaticClass(); }
