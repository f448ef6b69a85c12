#include "formats/pending/pending_reader.h"

#include "formats/common/reader_texts.h"

void TPendingReader::LoadFromStream(TStream& stream) {
  BeginLoad(stream);
  RaiseInvalidGraphicFmt(readertext::NotAvailableYet, {formatName_});
}
