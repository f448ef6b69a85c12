// Until the Photo-CD reader is part of the program (delete this file when it is).
#include "formats/pending/pending_reader.h"
#include "formats/reader_classes.h"

SW_PENDING_READER(PCDGraphicClass, "TPCDGraphic", "Photo-CD")
