// Loads arbitrary bytes as a GIF file; what loads is rendered, composed
// as an animation and written again, so the whole model sees it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/exceptions.h"
#include "core/streams.h"
#include "formats/gif/gif_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TGIFImage gif;
  gif.OnWarning = [](const TGIFItem*, TGIFSeverity, const std::string&) {};
  try {
    TMemoryStream in(std::vector<std::uint8_t>(data, data + size));
    gif.LoadFromStream(in);
  } catch (const Exception&) {
  }
  try {
    // Large frames are valid; coding them again only costs time.
    std::int64_t pixels = 0;
    for (const auto& frame : gif.Images()) pixels += frame->DataSize();
    if (gif.Images().Count() > 0 && pixels <= (1 << 20) &&
        static_cast<std::int64_t>(gif.Width()) * gif.Height() <= 1 << 20) {
      for (const auto& frame : gif.Images()) frame->GetBitmap();
      TBitmap target(gif.Width(), gif.Height(), pf24bit);
      gif.Draw(target.Canvas(), Rect(0, 0, gif.Width(), gif.Height()));
      TMemoryStream out;
      gif.SaveToStream(out);
      out.SetPosition(0);
      TGIFImage back;
      back.LoadFromStream(out);
    }
  } catch (const Exception&) {
  }
  return 0;
}
