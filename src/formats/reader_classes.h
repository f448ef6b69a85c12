#pragma once
// The classes of the multi-format reader family, one accessor each. A
// reader defines its accessor beside itself, in its own folder under
// src/formats/ (for example `return TTargaGraphic::StaticClass();`);
// until a reader is part of the program, a placeholder in
// src/formats/pending/ defines it instead, whose loading raises "Cannot
// load image. Reading <format> files is not available yet.". A reader that
// lands deletes its placeholder file: the registration table
// (reader_family.cpp) does not change.

#include "core/graphic.h"

const TGraphicClass& TargaGraphicClass();     // TTargaGraphic
const TGraphicClass& TIFFGraphicClass();      // TTIFFGraphic
const TGraphicClass& EPSGraphicClass();       // TEPSGraphic
const TGraphicClass& PCXGraphicClass();       // TPCXGraphic
const TGraphicClass& RLAGraphicClass();       // TRLAGraphic
const TGraphicClass& SGIGraphicClass();       // TSGIGraphic
const TGraphicClass& PSDGraphicClass();       // TPSDGraphic
const TGraphicClass& PPMGraphicClass();       // TPPMGraphic
const TGraphicClass& AutodeskGraphicClass();  // TAutodeskGraphic
const TGraphicClass& PCDGraphicClass();       // TPCDGraphic
const TGraphicClass& CUTGraphicClass();       // TCUTGraphic
const TGraphicClass& PSPGraphicClass();       // TPSPGraphic
const TGraphicClass& PNGGraphicClass();       // TPNGGraphic
