// Loads arbitrary bytes as a GIF file; what loads is rendered, composed
// as an animation and written again, so the whole model sees it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/exceptions.h"
#include "core/streams.h"
#include "formats/gif/gif_image.h"
#include "formats/gif/gif_painter.h"

namespace {

// Drawing an animation looks at the clock; a clock that stands still
// makes every run of an input draw, and so cover, the same.
class TStillClock : public TGIFClock {
 public:
  std::int64_t NowMs() override { return 0; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool still = [] {
    SetGIFClock(std::make_shared<TStillClock>());
    return true;
  }();
  (void)still;
  TGIFImage gif;
  gif.OnWarning = [](const TGIFItem*, TGIFSeverity, const std::string&) {};
  try {
    TMemoryStream in(std::vector<std::uint8_t>(data, data + size));
    gif.LoadFromStream(in);
  } catch (const Exception&) {
  }
  // Large frames and screens are valid, and are drawn and coded by the
  // same lines as small ones; doing so for them only costs time.
  constexpr std::int64_t kSmall = std::int64_t{1} << 16;
  std::int64_t pixels = 0;
  for (const auto& frame : gif.Images()) pixels += frame->DataSize();
  if (gif.Images().Count() == 0 || pixels > kSmall) return 0;
  try {
    for (const auto& frame : gif.Images()) frame->GetBitmap();
    if (static_cast<std::int64_t>(gif.Width()) * gif.Height() <= kSmall) {
      TBitmap target(gif.Width(), gif.Height(), pf24bit);
      gif.Draw(target.Canvas(), Rect(0, 0, gif.Width(), gif.Height()));
    }
    TMemoryStream out;
    gif.SaveToStream(out);
    out.SetPosition(0);
    TGIFImage back;
    back.LoadFromStream(out);
  } catch (const Exception&) {
  }
  return 0;
}
