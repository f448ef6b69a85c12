#include "core/bmp.h"

#include "core/bitmap.h"
#include "core/exceptions.h"
#include "core/streams.h"

// Placeholder until the BMP codec lands.
void ReadBmp(std::span<const std::uint8_t>, TBitmap&) { throw EInvalidGraphic("BMP reading is not available yet"); }
void ReadDib(std::span<const std::uint8_t>, TBitmap&, bool) { throw EInvalidGraphic("BMP reading is not available yet"); }
std::vector<std::uint8_t> WriteBmp(const TBitmap&) { throw EInvalidGraphic("BMP writing is not available yet"); }
void TBitmap::LoadFromStream(TStream&) { throw EInvalidGraphic("BMP reading is not available yet"); }
void TBitmap::SaveToStream(TStream&) { throw EInvalidGraphic("BMP writing is not available yet"); }
