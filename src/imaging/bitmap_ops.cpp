#include "imaging/bitmap_ops.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

using I64 = std::int64_t;
using TLut = std::array<std::uint8_t, 256>;

std::vector<const std::uint8_t*> RowPointers(const TBitmap& bmp) {
  std::vector<const std::uint8_t*> rows(static_cast<std::size_t>(bmp.Height()));
  for (int y = 0; y < bmp.Height(); ++y) rows[static_cast<std::size_t>(y)] = bmp.ScanLine(y);
  return rows;
}

// A quarter turn: target pixel (tx, ty) of the H x W result shows source
// pixel (sx, sy) = map(tx, ty). Walked in square blocks, so that the
// source columns read for a block stay in the cache.
template <typename Map>
void QuarterTurn(TBitmap& bmp, Map map) {
  bmp.SetPixelFormat(pf24bit);
  const int W = bmp.Width(), H = bmp.Height();
  TBitmap result(H, W, pf24bit);
  const auto rows = RowPointers(bmp);
  constexpr int kBlock = 64;
  for (int by = 0; by < W; by += kBlock) {
    const int ey = std::min(by + kBlock, W);
    for (int bx = 0; bx < H; bx += kBlock) {
      const int ex = std::min(bx + kBlock, H);
      for (int ty = by; ty < ey; ++ty) {
        std::uint8_t* d = result.ScanLine(ty);
        for (int tx = bx; tx < ex; ++tx) {
          const auto [sx, sy] = map(tx, ty);
          const std::uint8_t* s = rows[static_cast<std::size_t>(sy)] + static_cast<std::size_t>(sx) * 3;
          std::uint8_t* t = d + static_cast<std::size_t>(tx) * 3;
          t[0] = s[0];
          t[1] = s[1];
          t[2] = s[2];
        }
      }
    }
  }
  bmp.TakePicture(std::move(result));
}

// A turn or mirror that keeps the size: target row y is source row
// sourceRow(y), read backwards when mirror is set.
template <typename RowMap>
void SameSizeTurn(TBitmap& bmp, bool mirror, RowMap sourceRow) {
  bmp.SetPixelFormat(pf24bit);
  const int W = bmp.Width(), H = bmp.Height();
  TBitmap result(W, H, pf24bit);
  for (int y = 0; y < H; ++y) {
    const std::uint8_t* s = bmp.ScanLine(sourceRow(y));
    std::uint8_t* d = result.ScanLine(y);
    if (!mirror) {
      std::copy(s, s + static_cast<std::size_t>(W) * 3, d);
      continue;
    }
    const std::uint8_t* p = s + static_cast<std::size_t>(W) * 3;
    for (int x = 0; x < W; ++x, d += 3) {
      p -= 3;
      d[0] = p[0];
      d[1] = p[1];
      d[2] = p[2];
    }
  }
  bmp.TakePicture(std::move(result));
}

// Every channel of src through a table into dest. Dest is given src's
// size when it has another one, so that every access stays inside both.
void MapChannels(TBitmap& src, TBitmap& dest, const TLut& lut) {
  src.SetPixelFormat(pf24bit);
  if (&dest != &src) {
    dest.SetPixelFormat(pf24bit);
    if (dest.Width() != src.Width() || dest.Height() != src.Height()) dest.SetSize(src.Width(), src.Height());
  }
  const std::size_t bytes = static_cast<std::size_t>(src.Width()) * 3;
  for (int y = 0; y < src.Height(); ++y) {
    const std::uint8_t* s = src.ScanLine(y);
    std::uint8_t* d = dest.ScanLine(y);
    for (std::size_t i = 0; i < bytes; ++i) d[i] = lut[s[i]];
  }
}

}  // namespace

void RotateBitmap90(TBitmap& bmp) {
  const int H = bmp.Height();
  // Target (H - 1 - y, x) shows source (x, y).
  QuarterTurn(bmp, [H](int tx, int ty) { return std::pair<int, int>{ty, H - 1 - tx}; });
}

void RotateBitmap180(TBitmap& bmp) {
  const int H = bmp.Height();
  SameSizeTurn(bmp, true, [H](int y) { return H - 1 - y; });
}

void RotateBitmap270(TBitmap& bmp) {
  const int W = bmp.Width();
  // Target (y, W - 1 - x) shows source (x, y).
  QuarterTurn(bmp, [W](int tx, int ty) { return std::pair<int, int>{W - 1 - ty, tx}; });
}

void FlipBitmapHorz(TBitmap& bmp) {
  SameSizeTurn(bmp, true, [](int y) { return y; });
}

void FlipBitmapVert(TBitmap& bmp) {
  const int H = bmp.Height();
  SameSizeTurn(bmp, false, [H](int y) { return H - 1 - y; });
}

void AdjustBrightness(TBitmap& src, TBitmap& dest, int delta) {
  TLut lut{};
  for (int c = 0; c < 256; ++c) {
    const I64 v = c + static_cast<I64>(delta);
    lut[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(delta < 1 ? std::max<I64>(0, v) : std::min<I64>(255, v));
  }
  MapChannels(src, dest, lut);
}

void AdjustContrast(TBitmap& src, TBitmap& dest, int amount) {
  TLut lut{};
  for (int c = 0; c < 256; ++c) {
    const I64 d = c < 128 ? 128 - c : c - 128;
    const I64 t = d * amount / 128;  // toward zero
    I64 v;
    if (amount >= 0) {
      v = c < 128 ? std::max<I64>(0, c - t) : std::min<I64>(255, c + t);
    } else {
      // Toward 128, never across it.
      v = c < 128 ? std::min<I64>(128, c - t) : std::max<I64>(128, c + t);
    }
    lut[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(v);
  }
  MapChannels(src, dest, lut);
}

void ToGrayscale(TBitmap& bmp) {
  bmp.SetPixelFormat(pf24bit);
  for (int y = 0; y < bmp.Height(); ++y) {
    std::uint8_t* p = bmp.ScanLine(y);
    for (int x = 0; x < bmp.Width(); ++x, p += 3) {
      const auto g = static_cast<std::uint8_t>((77 * p[2] + 151 * p[1] + 28 * p[0]) >> 8);
      p[0] = p[1] = p[2] = g;
    }
  }
}

// In place: the row above and the pixel to the left already hold their
// filtered values when a pixel is computed. The three-row column sums of
// a pixel's own column and of its right neighbour are carried over from
// the pixel before (neither column has changed since); the left column is
// summed again, since its pixel in this row was just written.
void Filter3x3(TBitmap& bmp) {
  bmp.SetPixelFormat(pf24bit);
  const int W = bmp.Width(), H = bmp.Height();
  if (W == 0 || H == 0) return;
  for (int y = 0; y < H; ++y) {
    std::uint8_t* cur = bmp.ScanLine(y);
    const std::uint8_t* up = y == 0 ? cur : bmp.ScanLine(y - 1);
    const std::uint8_t* down = y == H - 1 ? cur : bmp.ScanLine(y + 1);
    auto columnSum = [&](int x, int channel) {
      const std::size_t o = static_cast<std::size_t>(x) * 3 + static_cast<std::size_t>(channel);
      return up[o] + cur[o] + down[o];
    };
    std::array<int, 3> centre{};
    for (int ch = 0; ch < 3; ++ch) centre[static_cast<std::size_t>(ch)] = columnSum(0, ch);
    for (int x = 0; x < W; ++x) {
      std::array<int, 3> right = centre, left = centre;
      for (int ch = 0; ch < 3; ++ch) {
        const auto c = static_cast<std::size_t>(ch);
        if (x < W - 1) right[c] = columnSum(x + 1, ch);
        if (x > 0) left[c] = columnSum(x - 1, ch);
      }
      std::uint8_t* p = cur + static_cast<std::size_t>(x) * 3;
      for (std::size_t c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>((left[c] + centre[c] + right[c]) / 9);
      centre = right;
    }
  }
}

// In place: the reference pixel is read as it stands, so it may already
// be sharpened.
void SharpenBitmap(TBitmap& bmp) {
  bmp.SetPixelFormat(pf24bit);
  const int W = bmp.Width(), H = bmp.Height();
  for (int y = 0; y < H; ++y) {
    std::uint8_t* cur = bmp.ScanLine(y);
    const std::uint8_t* above = y == 0 ? cur : bmp.ScanLine(y - 1);
    for (int x = 0; x < W; ++x) {
      const std::uint8_t* q = above + static_cast<std::size_t>(x == 0 ? 0 : x - 1) * 3;
      std::uint8_t* p = cur + static_cast<std::size_t>(x) * 3;
      for (int c = 0; c < 3; ++c) {
        const int v = p[c];
        p[c] = static_cast<std::uint8_t>(std::clamp(v + (v - q[c]) / 2, 0, 255));
      }
    }
  }
}
