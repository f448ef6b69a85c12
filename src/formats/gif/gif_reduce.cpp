#include "formats/gif/gif_reduce.h"

#include <algorithm>
#include <cstdlib>

#include "core/exceptions.h"
#include "core/numbers.h"

namespace {

TPaletteEntry Entry(int r, int g, int b, std::uint8_t flags) {
  return TPaletteEntry{static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b), flags};
}

TGIFPalette WithFlags(const std::vector<TPaletteEntry>& palette, std::uint8_t flags) {
  TGIFPalette out = palette;
  for (auto& e : out) e.Flags = flags;
  return out;
}

}  // namespace

TGIFPalette WebPalette() {
  TGIFPalette palette;
  palette.reserve(216);
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b) palette.push_back(Entry(r * 51, g * 51, b * 51, 0));
  return palette;
}

// ---------------------------------------------------------------------------
// Lookups

TFastColorLookup::TFastColorLookup(const TGIFPalette& palette)
    : TColorLookup(static_cast<int>(std::min<std::size_t>(palette.size(), 256))),
      palette_(palette.begin(), palette.begin() + colors_),
      cache_(32768, 0xFFFF) {
  for (int i = 0; i < colors_; ++i) {
    const auto& e = palette_[static_cast<std::size_t>(i)];
    auto& slot = cache_[static_cast<std::size_t>(Slot(e.Red, e.Green, e.Blue))];
    if (slot == 0xFFFF) slot = static_cast<std::uint16_t>(i);
  }
}

int TFastColorLookup::Lookup(int red, int green, int blue, int& outRed, int& outGreen, int& outBlue) {
  auto& slot = cache_[static_cast<std::size_t>(Slot(red, green, blue))];
  if (slot == 0xFFFF) {
    int best = 0;
    int bestDistance = 0x30000;
    for (int i = 0; i < colors_; ++i) {
      const auto& e = palette_[static_cast<std::size_t>(i)];
      const int d = std::abs(e.Red - red) + std::abs(e.Green - green) + std::abs(e.Blue - blue);
      if (d < bestDistance) {
        bestDistance = d;
        best = i;
      }
    }
    slot = static_cast<std::uint16_t>(best);
  }
  const auto& e = palette_[slot];
  outRed = e.Red;
  outGreen = e.Green;
  outBlue = e.Blue;
  return slot;
}

int TNetscapeColorLookup::Lookup(int red, int green, int blue, int& outRed, int& outGreen, int& outBlue) {
  const int r = (red + 3) / 51;
  const int g = (green + 3) / 51;
  const int b = (blue + 3) / 51;
  outRed = r * 51;
  outGreen = g * 51;
  outBlue = b * 51;
  return b + g * 6 + r * 36;
}

int TGrayScaleLookup::Lookup(int red, int green, int blue, int& outRed, int& outGreen, int& outBlue) {
  const int grey = (77 * red + 150 * green + 29 * blue) >> 8;
  outRed = outGreen = outBlue = grey;
  return grey;
}

int TMonochromeLookup::Lookup(int red, int green, int blue, int& outRed, int& outGreen, int& outBlue) {
  if (77 * red + 150 * green + 29 * blue < 32513) {
    outRed = outGreen = outBlue = 0;
    return 0;
  }
  outRed = outGreen = outBlue = 255;
  return 1;
}

// ---------------------------------------------------------------------------
// Dither engines

int TDitherEngine::Dither(int red, int green, int blue, int& outRed, int& outGreen, int& outBlue) {
  const int index = lookup_.Lookup(red, green, blue, outRed, outGreen, outBlue);
  column_ += direction_;
  return index;
}

void TDitherEngine::NextLine() {
  direction_ = -direction_;
  column_ = direction_ == 1 ? 0 : width_ - 1;
}

TErrorDiffusionDitherer::TErrorDiffusionDitherer(int width, TColorLookup& lookup, int divisor, int rows)
    : TDitherEngine(width, lookup),
      divisor_(divisor),
      errors_(3, std::vector<std::vector<int>>(static_cast<std::size_t>(rows),
                                               std::vector<int>(static_cast<std::size_t>(std::max(width, 0) + 2 * Guard), 0))) {}

int TErrorDiffusionDitherer::Dither(int red, int green, int blue, int& outRed, int& outGreen, int& outBlue) {
  const int in[3] = {red, green, blue};
  int value[3];
  for (int c = 0; c < 3; ++c) {
    const int accumulated = errors_[static_cast<std::size_t>(c)][0][static_cast<std::size_t>(column_ + Guard)];
    // Division truncates toward zero, as the rounding rule wants.
    value[c] = ClampByte(in[c] + (accumulated + divisor_ / 2) / divisor_);
  }
  const int index = lookup_.Lookup(value[0], value[1], value[2], outRed, outGreen, outBlue);
  const int out[3] = {outRed, outGreen, outBlue};
  for (int c = 0; c < 3; ++c) Distribute(c, value[c] - out[c]);
  column_ += direction_;
  return index;
}

void TErrorDiffusionDitherer::NextLine() {
  for (auto& channel : errors_) {
    std::vector<int> oldest = std::move(channel.front());
    channel.erase(channel.begin());
    std::fill(oldest.begin(), oldest.end(), 0);
    channel.push_back(std::move(oldest));
  }
  TDitherEngine::NextLine();
}

void TStuckiDitherer::Distribute(int c, int e) {
  Add(c, 0, 1, 8 * e);
  Add(c, 0, 2, 4 * e);
  Add(c, 1, -2, 2 * e);
  Add(c, 1, -1, 4 * e);
  Add(c, 1, 0, 8 * e);
  Add(c, 1, 1, 4 * e);
  Add(c, 1, 2, 2 * e);
  Add(c, 2, -2, e);
  Add(c, 2, -1, 2 * e);
  Add(c, 2, 0, 4 * e);
  Add(c, 2, 1, 2 * e);
  Add(c, 2, 2, e);
}

void TSierraDitherer::Distribute(int c, int e) {
  Add(c, 0, 1, 5 * e);
  Add(c, 0, 2, 3 * e);
  Add(c, 1, -2, 2 * e);
  Add(c, 1, -1, 4 * e);
  Add(c, 1, 0, 5 * e);
  Add(c, 1, 1, 4 * e);
  Add(c, 1, 2, 2 * e);
  Add(c, 2, -1, 2 * e);
  Add(c, 2, 0, 3 * e);
  Add(c, 2, 1, 2 * e);
}

void TJaJuNiDitherer::Distribute(int c, int e) {
  Add(c, 0, 1, 7 * e);
  Add(c, 0, 2, 5 * e);
  Add(c, 1, -2, 3 * e);
  Add(c, 1, -1, 5 * e);
  Add(c, 1, 0, 7 * e);
  Add(c, 1, 1, 5 * e);
  Add(c, 1, 2, 3 * e);
  Add(c, 2, -2, e);
  Add(c, 2, -1, 3 * e);
  Add(c, 2, 0, 5 * e);
  Add(c, 2, 1, 3 * e);
  Add(c, 2, 2, e);
}

void TSteveArcheDitherer::Distribute(int c, int e) {
  Add(c, 0, 2, 32 * e);
  Add(c, 1, -3, 12 * e);
  Add(c, 1, -1, 26 * e);
  Add(c, 1, 1, 30 * e);
  Add(c, 1, 3, 16 * e);
  Add(c, 2, -2, 12 * e);
  Add(c, 2, 0, 26 * e);
  Add(c, 2, 2, 12 * e);
  Add(c, 3, -3, 5 * e);
  Add(c, 3, -1, 12 * e);
  Add(c, 3, 1, 12 * e);
  Add(c, 3, 3, 5 * e);
}

void TBurkesDitherer::Distribute(int c, int e) {
  Add(c, 0, 1, 8 * e);
  Add(c, 0, 2, 4 * e);
  Add(c, 1, -2, 2 * e);
  Add(c, 1, -1, 4 * e);
  Add(c, 1, 0, 8 * e);
  Add(c, 1, 1, 4 * e);
  Add(c, 1, 2, 2 * e);
}

TFloydSteinbergDitherer::TFloydSteinbergDitherer(int width, TColorLookup& lookup) : TDitherEngine(width, lookup) {
  // One guard entry on each side: the entry behind the first pixel of a
  // row and the one ahead of its last.
  for (auto& row : row_) row.assign(static_cast<std::size_t>(std::max(width, 0) + 2), 0);
}

void TFloydSteinbergDitherer::Spread(int c, int e) {
  // The entry behind the current pixel is complete now: what the previous
  // pixels left for it plus 3/16 of this error.
  row_[c][static_cast<std::size_t>(column_ - direction_ + 1)] = pendingNear_[c] + 3 * e;
  pendingNear_[c] = pendingFar_[c] + 5 * e;
  pendingFar_[c] = e;
  carried_[c] = 7 * e;
}

int TFloydSteinbergDitherer::Dither(int red, int green, int blue, int& outRed, int& outGreen, int& outBlue) {
  const int in[3] = {red, green, blue};
  int value[3];
  for (int c = 0; c < 3; ++c) {
    const int fromAbove = row_[c][static_cast<std::size_t>(column_ + 1)];
    value[c] = ClampByte(in[c] + (carried_[c] + fromAbove + 8) / 16);
  }
  const int index = lookup_.Lookup(value[0], value[1], value[2], outRed, outGreen, outBlue);
  const int out[3] = {outRed, outGreen, outBlue};
  for (int c = 0; c < 3; ++c) Spread(c, value[c] - out[c]);
  column_ += direction_;
  return index;
}

void TFloydSteinbergDitherer::Skip() {
  for (int c = 0; c < 3; ++c) Spread(c, 0);
  column_ += direction_;
}

void TFloydSteinbergDitherer::NextLine() {
  // The last pixel's own below-row sum is still pending.
  const std::size_t last = static_cast<std::size_t>(column_ - direction_ + 1);
  for (int c = 0; c < 3; ++c) {
    if (last < row_[c].size()) row_[c][last] = pendingNear_[c];
    carried_[c] = pendingNear_[c] = pendingFar_[c] = 0;
  }
  TDitherEngine::NextLine();
}

std::unique_ptr<TDitherEngine> CreateDitherEngine(int ditherMode, int width, TColorLookup& lookup) {
  switch (ditherMode) {
    case dmNearest: return std::make_unique<TDitherEngine>(width, lookup);
    case dmFloydSteinberg: return std::make_unique<TFloydSteinbergDitherer>(width, lookup);
    case dmStucki: return std::make_unique<TStuckiDitherer>(width, lookup);
    case dmSierra: return std::make_unique<TSierraDitherer>(width, lookup);
    case dmJaJuNI: return std::make_unique<TJaJuNiDitherer>(width, lookup);
    case dmSteveArche: return std::make_unique<TSteveArcheDitherer>(width, lookup);
    case dmBurkes: return std::make_unique<TBurkesDitherer>(width, lookup);
    default: return nullptr;
  }
}

// ---------------------------------------------------------------------------
// Octree quantizer

struct TColorQuantizer::TOctreeNode {
  bool IsLeaf = false;
  std::int64_t PixelCount = 0;
  std::int64_t RedSum = 0;
  std::int64_t GreenSum = 0;
  std::int64_t BlueSum = 0;
  int Next = -1;  // the node pushed before this one on its level's reducible list
  int Child[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
};

TColorQuantizer::TColorQuantizer(int maxColors, int colorBits)
    : maxColors_(std::max(maxColors, 1)), colorBits_(std::clamp(colorBits, 1, 8)) {
  std::fill(std::begin(reducible_), std::end(reducible_), -1);
}

TColorQuantizer::~TColorQuantizer() = default;

int TColorQuantizer::NewNode(int level) {
  int index;
  if (!freeNodes_.empty()) {
    index = freeNodes_.back();
    freeNodes_.pop_back();
    nodes_[static_cast<std::size_t>(index)] = TOctreeNode{};
  } else {
    index = static_cast<int>(nodes_.size());
    nodes_.emplace_back();
  }
  auto& node = nodes_[static_cast<std::size_t>(index)];
  if (level == colorBits_) {
    node.IsLeaf = true;
    ++leafCount_;
  } else {
    node.Next = reducible_[level];
    reducible_[level] = index;
  }
  return index;
}

void TColorQuantizer::ReleaseNode(int node) { freeNodes_.push_back(node); }

void TColorQuantizer::AddColor(int red, int green, int blue) {
  if (root_ < 0) root_ = NewNode(0);
  int node = root_;
  for (int level = 0;; ++level) {
    auto* n = &nodes_[static_cast<std::size_t>(node)];
    if (n->IsLeaf) {
      ++n->PixelCount;
      n->RedSum += red;
      n->GreenSum += green;
      n->BlueSum += blue;
      break;
    }
    const int mask = 0x80 >> level;
    const int child = ((red & mask) ? 4 : 0) | ((green & mask) ? 2 : 0) | ((blue & mask) ? 1 : 0);
    if (n->Child[child] < 0) {
      const int created = NewNode(level + 1);
      n = &nodes_[static_cast<std::size_t>(node)];  // the vector may have moved
      n->Child[child] = created;
    }
    node = n->Child[child];
  }
  while (leafCount_ > maxColors_ && Reduce()) {
  }
}

bool TColorQuantizer::Reduce() {
  int level = colorBits_ - 1;
  while (level > 0 && reducible_[level] < 0) --level;
  const int index = reducible_[level];
  if (index < 0) return false;
  auto& node = nodes_[static_cast<std::size_t>(index)];
  reducible_[level] = node.Next;
  int children = 0;
  for (int& child : node.Child) {
    if (child < 0) continue;
    const auto& c = nodes_[static_cast<std::size_t>(child)];
    node.PixelCount += c.PixelCount;
    node.RedSum += c.RedSum;
    node.GreenSum += c.GreenSum;
    node.BlueSum += c.BlueSum;
    ReleaseNode(child);
    child = -1;
    ++children;
  }
  node.IsLeaf = true;
  leafCount_ -= children - 1;
  return true;
}

void TColorQuantizer::ProcessBitmap(const TBitmap& bitmap24) {
  for (int y = 0; y < bitmap24.Height(); ++y) {
    const std::uint8_t* p = bitmap24.ScanLine(y);
    for (int x = 0; x < bitmap24.Width(); ++x, p += 3) AddColor(p[2], p[1], p[0]);
  }
}

void TColorQuantizer::CollectColors(int node, std::vector<TPaletteEntry>& out) const {
  const auto& n = nodes_[static_cast<std::size_t>(node)];
  if (n.IsLeaf) {
    if (n.PixelCount > 0) {
      out.push_back(Entry(static_cast<int>(n.RedSum / n.PixelCount), static_cast<int>(n.GreenSum / n.PixelCount),
                          static_cast<int>(n.BlueSum / n.PixelCount), 0));
    } else {
      out.push_back(Entry(0, 0, 0, 0));
    }
    return;
  }
  for (int child : n.Child)
    if (child >= 0) CollectColors(child, out);
}

std::vector<TPaletteEntry> TColorQuantizer::Colors() const {
  std::vector<TPaletteEntry> out;
  if (root_ >= 0) CollectColors(root_, out);
  return out;
}

TGIFPalette OctreePalette(const TBitmap& bitmap24, int colors, int colorBits, bool withSystemColors) {
  TGIFPalette palette;
  int first = 0;
  if (withSystemColors) {
    colors = 236;
    palette.assign(256, Entry(0, 0, 0, 0));
    const auto& system = SystemPalette20();
    for (int i = 0; i < 10; ++i) {
      palette[static_cast<std::size_t>(i)] = system[static_cast<std::size_t>(i)];
      palette[static_cast<std::size_t>(i)].Flags = PaletteNoCollapse;
      palette[static_cast<std::size_t>(246 + i)] = system[static_cast<std::size_t>(10 + i)];
      palette[static_cast<std::size_t>(246 + i)].Flags = PaletteNoCollapse;
    }
    first = 10;
  } else {
    colors = std::clamp(colors, 1, 256);
    palette.assign(static_cast<std::size_t>(colors), Entry(0, 0, 0, 0));
  }
  TColorQuantizer quantizer(colors, colorBits);
  quantizer.ProcessBitmap(bitmap24);
  const auto leaves = quantizer.Colors();
  for (std::size_t i = 0; i < leaves.size() && i < static_cast<std::size_t>(colors); ++i)
    palette[static_cast<std::size_t>(first) + i] = leaves[i];
  return palette;
}

// ---------------------------------------------------------------------------
// ReduceColors

std::unique_ptr<TBitmap> ReduceColors(const TBitmap& source, int colorReduction, int ditherMode,
                                      const TGIFPalette* customPalette, int reductionBits) {
  auto result = std::make_unique<TBitmap>();
  if (colorReduction == rmNone) {
    result->Assign(source);
    result->SetPixelFormat(pf24bit);
    return result;
  }
  if (colorReduction > rmPalette || ditherMode > dmBurkes || colorReduction < 0 || ditherMode < 0) return result;
  if (source.Width() <= 0 || source.Height() <= 0) throw GIFException("Invalid image dimensions");

  // Every code below works on 24-bit pixels (B, G, R); a 24-bit source is
  // read as it stands, any other through a converted copy.
  TBitmap converted;
  if (BitsPerPixel(source.PixelFormat()) != 24) {
    converted = source;
    converted.SetPixelFormat(pf24bit);
  }
  const TBitmap& work = BitsPerPixel(source.PixelFormat()) != 24 ? converted : source;

  reductionBits = std::clamp(reductionBits, 1, 8);
  TGIFPalette palette;
  switch (colorReduction) {
    case rmWindows20: palette = WithFlags(SystemPalette20(), PaletteNoCollapse); break;
    case rmWindowsHalftone: palette = WithFlags(HalftonePalette(), PaletteNoCollapse); break;
    case rmWindowsGray:
      palette = {Entry(0, 0, 0, PaletteNoCollapse), Entry(0x80, 0x80, 0x80, PaletteNoCollapse),
                 Entry(0xC0, 0xC0, 0xC0, PaletteNoCollapse), Entry(0xFF, 0xFF, 0xFF, PaletteNoCollapse)};
      break;
    case rmMonochrome: palette = {Entry(0, 0, 0, PaletteNoCollapse), Entry(255, 255, 255, PaletteNoCollapse)}; break;
    case rmGrayScale:
      for (int i = 0; i < 256; ++i) palette.push_back(Entry(i, i, i, PaletteNoCollapse));
      break;
    case rmNetscape: palette = WebPalette(); break;
    case rmQuantize: palette = OctreePalette(work, 1 << reductionBits, 8, false); break;
    case rmQuantizeWindows: palette = OctreePalette(work, 236, 8, true); break;
    case rmPalette:
      if (customPalette) palette.assign(customPalette->begin(), customPalette->begin() +
                                        static_cast<std::ptrdiff_t>(std::min<std::size_t>(customPalette->size(), 256)));
      break;
    default: break;
  }

  std::unique_ptr<TColorLookup> lookup;
  switch (colorReduction) {
    case rmMonochrome: lookup = std::make_unique<TMonochromeLookup>(); break;
    case rmGrayScale: lookup = std::make_unique<TGrayScaleLookup>(); break;
    case rmNetscape: lookup = std::make_unique<TNetscapeColorLookup>(); break;
    default: lookup = std::make_unique<TFastColorLookup>(palette); break;
  }
  if (lookup->Colors() <= 0) return result;

  const int width = work.Width();
  const int height = work.Height();
  auto engine = CreateDitherEngine(ditherMode, width, *lookup);
  if (!engine) return result;

  result->SetPixelFormat(pf8bit);
  result->SetSize(width, height);
  result->SetPalette(palette);
  int outR, outG, outB;
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* in = work.ScanLine(y);
    std::uint8_t* out = result->ScanLine(y);
    for (int x = engine->Column(); x >= 0 && x < width; x = engine->Column()) {
      const std::uint8_t* p = in + x * 3;
      out[x] = static_cast<std::uint8_t>(engine->Dither(p[2], p[1], p[0], outR, outG, outB));
    }
    engine->NextLine();
  }
  return result;
}
