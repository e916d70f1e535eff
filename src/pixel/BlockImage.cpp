#include "pixel/BlockImage.h"

#include <cstring>
#include <new>

#include "pixel/ChannelOps.h"
#include "pixel/ColorOps.h"
#include "platform/Memory.h"
#include "platform/Notify.h"

namespace tintara {

// --- CBlockImage ----------------------------------------------------------------------

void CBlockImage::InitGeometry() {
  tileWidth_ = tileHeight_ = runLimit_ = 32;
  tileMask_ = 31;
  tileShift_ = 5;
}

CBlockImage::OpScope::~OpScope() {
  if (--img_.opDepth_ > 0) return;
  if (img_.allocFailed_) {
    img_.allocFailed_ = false;
    ShowWarning(kTileOutOfMemoryText);
  }
  if (img_.tilesChanged_) {
    img_.tilesChanged_ = false;
    img_.OnTilesChanged();
  }
}

bool CBlockImage::Create(int32_t width, int32_t bytesPerPixel, int32_t height) {
  Destroy();
  InitGeometry();
  bytesPerPixel_ = bytesPerPixel;
  tileBytes_ = tileWidth_ * tileHeight_ * bytesPerPixel;
  if (width < 1 || height < 1 || width > kMaxBufferSide || height > kMaxBufferSide) return false;
  const int64_t across = (int64_t(width) + tileWidth_ - 1) >> tileShift_;
  const int64_t down = (int64_t(height) + tileHeight_ - 1) >> tileShift_;
  size_t bytes;
  if (!CheckedBytes(uint64_t(across), uint64_t(down), sizeof(STileRec), kMaxBlockBytes, &bytes)) return false;
  width_ = width;
  height_ = height;
  tilesAcross_ = int32_t(across);
  tilesDown_ = int32_t(down);
  if (!tiles_.Allocate(int32_t(sizeof(STileRec)), tilesAcross_ * tilesDown_) || !BuildViews()) {
    tiles_.Free();
    width_ = height_ = tilesAcross_ = tilesDown_ = 0;
    return false;
  }
  STileRec* t = Tiles();
  for (int32_t row = 0; row < tilesDown_; ++row) {
    for (int32_t col = 0; col < tilesAcross_; ++col, ++t) {
      *t = STileRec{};
      t->column = col;
      t->row = row;
      t->width = tileWidth_;
      t->height = tileHeight_;
      t->x0 = col * tileWidth_;
      t->y0 = row * tileHeight_;
      t->clippedWidth = std::min(width_ - t->x0, tileWidth_);
      t->clippedHeight = std::min(height_ - t->y0, tileHeight_);
      t->byteSize = tileBytes_;
      if (!CreateTileView(*t)) {
        Destroy();
        return false;
      }
    }
  }
  valid_ = 1;
  return true;
}

void CBlockImage::Destroy() {
  if (tiles_.IsAllocated()) {
    STileRec* t = Tiles();
    for (int32_t i = 0, n = tiles_.Count(); i < n; ++i) FreeTile(t[i]);
  }
  DropViews();
  tiles_.Free();
  valid_ = 0;
  allocatedTiles_ = 0;
  width_ = height_ = tilesAcross_ = tilesDown_ = 0;
}

int64_t CBlockImage::MemoryUsed() const { return int64_t(allocatedTiles_) * tileBytes_; }
int32_t CBlockImage::AllocatedTiles() const { return allocatedTiles_; }

STileRec* CBlockImage::TileAtIndex(int32_t column, int32_t row, bool alloc) {
  if (!valid_ || column < 0 || row < 0 || column >= tilesAcross_ || row >= tilesDown_) return nullptr;
  STileRec& t = Tile(column, row);
  if (alloc) AllocTile(t);
  return &t;
}

const STileRec* CBlockImage::TileAtIndex(int32_t column, int32_t row) const {
  if (!valid_ || column < 0 || row < 0 || column >= tilesAcross_ || row >= tilesDown_) return nullptr;
  return &Tile(column, row);
}

STileRec* CBlockImage::TileAt(int32_t x, int32_t y, bool alloc) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return nullptr;
  return TileAtIndex(x >> tileShift_, y >> tileShift_, alloc);
}

uint8_t* CBlockImage::PixelAddress(int32_t x, int32_t y, bool alloc) {
  STileRec* t = TileAt(x, y, alloc);
  if (!t || !t->allocated) return nullptr;
  return t->view->PixelAddress(x & tileMask_, y & tileMask_);
}

bool CBlockImage::IsWholeTile(const STileRec& tile, const SPixRect& piece) const {
  return piece.x == tile.x0 && piece.y == tile.y0 && piece.width == tile.clippedWidth &&
         piece.height == tile.clippedHeight;
}

bool CBlockImage::AllocTile(STileRec& tile) {
  if (tile.allocated) return true;
  tile.data = static_cast<uint8_t*>(MemAlloc(size_t(tileBytes_)));
  if (!tile.data) {
    allocFailed_ = true;
    if (opDepth_ == 0) {
      allocFailed_ = false;
      ShowWarning(kTileOutOfMemoryText);
    }
    return false;
  }
  tile.allocated = 1;
  ++allocatedTiles_;
  return true;
}

void CBlockImage::FreeTile(STileRec& tile) {
  if (!tile.allocated || !tile.data) return;
  if (tile.view) tile.view->Free();
  MemFree(tile.data);
  tile.data = nullptr;
  tile.allocated = 0;
  --allocatedTiles_;
  tilesChanged_ = true;
}

int64_t CBlockImage::TableBytes() const {
  return int64_t(tiles_.ByteSize()) +
         int64_t(TileCount()) * (bytesPerPixel_ == 4 ? sizeof(TVMTC) : sizeof(TVChannel));
}

// --- SDirtyRegion ---------------------------------------------------------------------

int64_t SquaredGap(const TRect& a, const TRect& b) {
  const int64_t gx = std::max<int64_t>(0, std::max(a.left, b.left) - int64_t(std::min(a.right, b.right)));
  const int64_t gy = std::max<int64_t>(0, std::max(a.top, b.top) - int64_t(std::min(a.bottom, b.bottom)));
  return gx * gx + gy * gy;
}

namespace {
TRect Bound(const TRect& a, const TRect& b) {
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}
int64_t Area(const TRect& r) { return int64_t(r.Width()) * r.Height(); }
}  // namespace

void SDirtyRegion::Add(const TRect& in) {
  TRect r{std::max(in.left, 0), std::max(in.top, 0), std::min(in.right, width), std::min(in.bottom, height)};
  if (r.IsEmpty()) return;
  int target = -1;
  for (int i = 0; i < count; ++i)
    if (SquaredGap(rects[i], r) == 0) {
      target = i;
      break;
    }
  if (target < 0 && count < 4) {
    rects[count++] = r;
    return;
  }
  if (target < 0) {
    int64_t best = -1;
    for (int i = 0; i < count; ++i) {
      const int64_t g = SquaredGap(rects[i], r);
      if (best < 0 || g < best || (g == best && Area(rects[i]) < Area(rects[target]))) {
        best = g;
        target = i;
      }
    }
  }
  rects[target] = Bound(rects[target], r);
  // A grown rectangle may now touch others: merge until no pair touches.
  for (bool merged = true; merged;) {
    merged = false;
    for (int i = 0; i < count && !merged; ++i)
      for (int j = i + 1; j < count && !merged; ++j)
        if (SquaredGap(rects[i], rects[j]) == 0) {
          rects[i] = Bound(rects[i], rects[j]);
          for (int k = j; k + 1 < count; ++k) rects[k] = rects[k + 1];
          --count;
          merged = true;
        }
  }
}

bool SDirtyRegion::Contains(int32_t x, int32_t y) const {
  for (int i = 0; i < count; ++i)
    if (x >= rects[i].left && x < rects[i].right && y >= rects[i].top && y < rects[i].bottom) return true;
  return false;
}

// --- piece walks shared by the image kinds ----------------------------------------------

namespace {

template <class Pixel>
inline Pixel* RowAt(const STileRec& t, int32_t x, int32_t y) {
  return reinterpret_cast<Pixel*>(t.view->Row8(y - t.y0)) + (x - t.x0);
}

template <class Pixel>
inline void FillTileMemory(const STileRec& t, Pixel v) {
  Pixel* p = reinterpret_cast<Pixel*>(t.data);
  const int32_t n = t.width * t.height;
  if constexpr (sizeof(Pixel) == 1) {
    std::memset(p, v, size_t(n));
  } else {
    for (int32_t i = 0; i < n; ++i) p[i] = v;
  }
}

// Copies rows of a piece; a full tile row gets a fixed-size copy the compiler inlines.
inline void CopyRowBytes(uint8_t* dst, const uint8_t* src, size_t bytes, size_t tileRowBytes) {
  if (bytes == tileRowBytes && tileRowBytes == 128)
    std::memcpy(dst, src, 128);
  else if (bytes == tileRowBytes && tileRowBytes == 64)
    std::memcpy(dst, src, 64);
  else
    std::memcpy(dst, src, bytes);
}

// Walks a copy between two block images: the source rectangle and destination point are
// clipped, the destination area is cut along the destination's tiles and each piece along
// the source's tiles. f(dstTile, dstPiece, srcTile, srcPiece).
//
// A destination piece that lies over several source tiles which are all empty with one fill
// (what `fillKey` maps them to) is handed over whole, with one of those tiles, so that a
// whole empty destination tile can take the fill without memory.
template <class Dst, class Src, class Key, class F>
void ForEachPairKeyed(Dst& dst, const Src& src, TPoint at, SPixRect rect, Key&& fillKey, F&& f) {
  if (!dst.IsValid() || !src.IsValid()) return;
  if (!ClipCopy(src.Width(), src.Height(), dst.Width(), dst.Height(), at, rect)) return;
  const int32_t ox = rect.x - at.x, oy = rect.y - at.y;  // source = destination + offset
  dst.ForEachPiece(SPixRect{at.x, at.y, rect.width, rect.height}, [&](STileRec& dt, const SPixRect& dp) {
    const SPixRect sp{dp.x + ox, dp.y + oy, dp.width, dp.height};
    STileRec* uniform = nullptr;
    bool same = true;
    src.ForEachPiece(sp, [&](STileRec& st, const SPixRect&) {
      if (!same) return;
      if (st.allocated || (uniform && fillKey(uniform->fill) != fillKey(st.fill))) {
        same = false;
        return;
      }
      if (!uniform) uniform = &st;
    });
    if (same && uniform) {
      f(dt, dp, *uniform, sp);
      return;
    }
    src.ForEachPiece(sp, [&](STileRec& st, const SPixRect& piece) {
      f(dt, SPixRect{piece.x - ox, piece.y - oy, piece.width, piece.height}, st, piece);
    });
  });
}

template <class Dst, class Src, class F>
void ForEachPair(Dst& dst, const Src& src, TPoint at, SPixRect rect, F&& f) {
  ForEachPairKeyed(
      dst, src, at, rect, [](uint32_t fill) { return fill; }, f);
}

}  // namespace

// --- TBlockImage ----------------------------------------------------------------------

template <class Pixel, class View>
TBlockImage<Pixel, View>::~TBlockImage() {
  Destroy();
}

template <class Pixel, class View>
bool TBlockImage<Pixel, View>::BuildViews() {
  try {
    views_ = std::make_unique<View[]>(size_t(TileCount()));
  } catch (const std::bad_alloc&) {
    views_.reset();
    return false;
  }
  return BuildRowTable();
}

template <class Pixel, class View>
void TBlockImage<Pixel, View>::DropViews() {
  views_.reset();
}

template <class Pixel, class View>
bool TBlockImage<Pixel, View>::BuildRowTable() {
  for (int32_t y = 0; y < tileHeight_; ++y) rowTable_[y] = y * tileWidth_ * int32_t(sizeof(Pixel));
  return true;
}

template <class Pixel, class View>
bool TBlockImage<Pixel, View>::CreateTileView(STileRec& tile) {
  tile.fill = defaultFill_;
  View& v = views_[size_t(tile.row) * size_t(tilesAcross_) + size_t(tile.column)];
  v.Attach(&tile, tileWidth_, tileHeight_, rowTable_);
  tile.view = &v;
  return true;
}

template <class Pixel, class View>
bool TBlockImage<Pixel, View>::AllocTile(STileRec& tile) {
  if (tile.allocated) return true;
  if (!CBlockImage::AllocTile(tile)) return false;
  ViewOf(tile).SetBits(tile.data);
  FillTileMemory<Pixel>(tile, Pixel(tile.fill));
  OnTileAllocated(tile);
  return true;
}

template <class Pixel, class View>
void TBlockImage<Pixel, View>::FreeTile(STileRec& tile) {
  CBlockImage::FreeTile(tile);
}

template <class Pixel, class View>
void TBlockImage<Pixel, View>::ReadRect(CDibCore& buffer, TPoint at, bool skipEmptyTransparent,
                                        uint8_t opacity, SPixRect rect) const {
  if (!IsValid() || !buffer.IsValid() || buffer.BytesPerPixel() != int32_t(sizeof(Pixel)) || opacity == 0)
    return;
  if (!ClipCopy(width_, height_, buffer.Width(), buffer.Height(), at, rect)) return;
  const bool display = dynamic_cast<const TTC*>(&buffer) != nullptr;
  ForEachPiece(rect, [&](STileRec& t, const SPixRect& p) {
    const TPoint bp{at.x + p.x - rect.x, at.y + p.y - rect.y};
    const SPixRect dst{bp.x, bp.y, p.width, p.height};
    if (t.allocated) {
      const SPixRect in{p.x - t.x0, p.y - t.y0, p.width, p.height};
      if (opacity == 255) {
        const size_t bytes = size_t(p.width) * sizeof(Pixel), tileRow = size_t(tileWidth_) * sizeof(Pixel);
        for (int32_t i = 0; i < p.height; ++i)
          CopyRowBytes(buffer.Row8(bp.y + i) + size_t(bp.x) * sizeof(Pixel),
                       reinterpret_cast<const uint8_t*>(RowAt<Pixel>(t, p.x, p.y + i)), bytes, tileRow);
        return;
      }
      if constexpr (sizeof(Pixel) == 4)
        CopyRectWeighted(buffer, bp, *t.view, in, opacity);
      else
        ApplyChannelProc(buffer, bp, *t.view, in, ChannelCover, opacity);
      return;
    }
    const Pixel fill = Pixel(t.fill);
    if constexpr (sizeof(Pixel) == 4) {
      if (skipEmptyTransparent && (fill >> 24) == 0) return;
      if (opacity == 255)
        FillRect(buffer, dst, fill);
      else
        ApplyProc(buffer, dst, display ? BlendNormalHalf : BlendNormal, fill, opacity);
    } else {
      if (skipEmptyTransparent && fill == 0) return;
      if (opacity == 255)
        FillRect8(buffer, dst, fill);
      else
        ApplyChannelProcConst(buffer, dst, ChannelCover, fill, opacity);
    }
  });
}

template <class Pixel, class View>
bool TBlockImage<Pixel, View>::WriteRect(const CDibCore& buffer, TPoint at, uint8_t opacity, SPixRect rect) {
  if (!IsValid() || !buffer.IsValid() || buffer.BytesPerPixel() != int32_t(sizeof(Pixel))) return false;
  if (!ClipCopy(buffer.Width(), buffer.Height(), width_, height_, at, rect)) return true;
  OpScope scope(*this);
  ForEachPiece(SPixRect{at.x, at.y, rect.width, rect.height}, [&](STileRec& t, const SPixRect& p) {
    if (!AllocTile(t)) return;
    const SPixRect src{rect.x + p.x - at.x, rect.y + p.y - at.y, p.width, p.height};
    const TPoint in{p.x - t.x0, p.y - t.y0};
    if (opacity == 255) {
      const size_t bytes = size_t(p.width) * sizeof(Pixel), tileRow = size_t(tileWidth_) * sizeof(Pixel);
      for (int32_t i = 0; i < p.height; ++i)
        CopyRowBytes(reinterpret_cast<uint8_t*>(RowAt<Pixel>(t, p.x, p.y + i)),
                     buffer.Row8(src.y + i) + size_t(src.x) * sizeof(Pixel), bytes, tileRow);
      return;
    }
    if constexpr (sizeof(Pixel) == 4)
      CopyRectWeighted(*t.view, in, buffer, src, opacity);
    else if (opacity > 0)
      ApplyChannelProc(*t.view, in, buffer, src, ChannelCover, opacity);
  });
  return scope.Ok();
}

template <class Pixel, class View>
bool TBlockImage<Pixel, View>::CopyFrom(const TBlockImage& other, TPoint at, SPixRect rect) {
  OpScope scope(*this);
  ForEachPair(
      *this, other, at, rect, [&](STileRec& dt, const SPixRect& dp, STileRec& st, const SPixRect& sp) {
        if (st.allocated) {
          if (!AllocTile(dt)) return;
          const size_t bytes = size_t(dp.width) * sizeof(Pixel), tileRow = size_t(tileWidth_) * sizeof(Pixel);
          for (int32_t i = 0; i < dp.height; ++i)
            CopyRowBytes(reinterpret_cast<uint8_t*>(RowAt<Pixel>(dt, dp.x, dp.y + i)),
                         reinterpret_cast<const uint8_t*>(RowAt<Pixel>(st, sp.x, sp.y + i)), bytes, tileRow);
          return;
        }
        const Pixel fill = Pixel(st.fill);
        if (!dt.allocated && IsWholeTile(dt, dp)) {
          SetTileFill(dt, fill);
          return;
        }
        if (!AllocTile(dt)) return;
        for (int32_t i = 0; i < dp.height; ++i) {
          Pixel* row = RowAt<Pixel>(dt, dp.x, dp.y + i);
          for (int32_t k = 0; k < dp.width; ++k) row[k] = fill;
        }
      });
  return scope.Ok();
}

namespace {

// The body shared by BlendFrom and MergeFrom. The destination alpha of each row is scaled
// first; then rowFn(d, s, n) applies source rows and constFn(d, s, n) a source fill. Fill
// values change alone on whole empty destination tiles under empty source tiles.
template <class Pixel, class Img, class RowFn, class ConstFn, class AllocFn, class FillFn>
bool BlendWalk(Img& dst, const Img& src, TPoint at, SPixRect rect, uint8_t alphaFactor, RowFn&& rowFn,
               ConstFn&& constFn, AllocFn&& allocTile, FillFn&& setFill) {
  const uint8_t* mul = MulTab() + alphaFactor;
  auto scaleRow = [&](Pixel* row, int32_t n) {
    if constexpr (sizeof(Pixel) == 4) {
      if (alphaFactor == 255) return;
      for (int32_t k = 0; k < n; ++k) row[k] = WithAlpha(row[k], mul[(row[k] >> 24) * 256]);
    }
  };
  bool ok = true;
  ForEachPair(dst, src, at, rect, [&](STileRec& dt, const SPixRect& dp, STileRec& st, const SPixRect& sp) {
    if (!st.allocated && !dt.allocated && dst.IsWholeTile(dt, dp)) {
      Pixel f = Pixel(dt.fill);
      scaleRow(&f, 1);
      constFn(&f, Pixel(st.fill), 1);
      setFill(dt, f);
      return;
    }
    if (!allocTile(dt)) {
      ok = false;
      return;
    }
    for (int32_t i = 0; i < dp.height; ++i) {
      Pixel* row = RowAt<Pixel>(dt, dp.x, dp.y + i);
      scaleRow(row, dp.width);
      if (st.allocated)
        rowFn(row, RowAt<Pixel>(st, sp.x, sp.y + i), dp.width);
      else
        constFn(row, Pixel(st.fill), dp.width);
    }
  });
  return ok;
}

}  // namespace

template <class Pixel, class View>
bool TBlockImage<Pixel, View>::BlendFrom(const TBlockImage& other, TPoint at, Proc proc, uint8_t opacity,
                                         uint8_t alphaFactor, SPixRect rect) {
  if (!proc) return false;
  OpScope scope(*this);
  auto alloc = [this](STileRec& t) { return AllocTile(t); };
  auto fill = [this](STileRec& t, uint32_t v) { SetTileFill(t, v); };
  if constexpr (sizeof(Pixel) == 4) {
    if (proc == BlendNormal) {
      BlendWalk<Pixel>(
          *this, other, at, rect, alphaFactor,
          [opacity](Pixel* d, const Pixel* s, int32_t n) { BlendNormalRow(d, s, n, opacity); },
          [opacity](Pixel* d, Pixel s, int32_t n) { BlendNormalRowConst(d, n, s, opacity); }, alloc, fill);
      return scope.Ok();
    }
  }
  BlendWalk<Pixel>(
      *this, other, at, rect, alphaFactor,
      [proc, opacity](Pixel* d, const Pixel* s, int32_t n) {
        for (int32_t k = 0; k < n; ++k) proc(d + k, s[k], opacity);
      },
      [proc, opacity](Pixel* d, Pixel s, int32_t n) {
        for (int32_t k = 0; k < n; ++k) proc(d + k, s, opacity);
      },
      alloc, fill);
  return scope.Ok();
}

template <class Pixel, class View>
bool TBlockImage<Pixel, View>::MaskedSet(const SPixRect& rect, Pixel mask, Pixel value) {
  const Pixel set = Pixel(value & mask), keep = Pixel(~mask);
  return MapValues(rect, [set, keep](Pixel v) { return Pixel(set | (v & keep)); });
}

template <class Pixel, class View>
bool TBlockImage<Pixel, View>::Xor(const SPixRect& rect, Pixel value) {
  return MapValues(rect, [value](Pixel v) { return Pixel(v ^ value); });
}

template <class Pixel, class View>
void TBlockImage<Pixel, View>::FillAll(Pixel value) {
  if (!IsValid()) return;
  OpScope scope(*this);
  STileRec* t = Tiles();
  for (int32_t i = 0, n = TileCount(); i < n; ++i) {
    if (t[i].allocated)
      FillTileMemory<Pixel>(t[i], value);
    else
      SetTileFill(t[i], value);
  }
}

template <class Pixel, class View>
int32_t TBlockImage<Pixel, View>::Compact() {
  if (!IsValid()) return 0;
  OpScope scope(*this);
  int32_t freed = 0;
  STileRec* t = Tiles();
  for (int32_t i = 0, n = TileCount(); i < n; ++i) {
    if (!t[i].allocated) continue;
    // Only the part inside the image counts: the rest of an edge tile is never seen.
    const Pixel first = *RowAt<Pixel>(t[i], t[i].x0, t[i].y0);
    bool uniform = true;
    for (int32_t y = 0; y < t[i].clippedHeight && uniform; ++y) {
      const Pixel* row = RowAt<Pixel>(t[i], t[i].x0, t[i].y0 + y);
      for (int32_t x = 0; x < t[i].clippedWidth; ++x)
        if (row[x] != first) {
          uniform = false;
          break;
        }
    }
    if (!uniform) continue;
    FreeTile(t[i]);
    t[i].fill = first;
    ++freed;
  }
  return freed;
}

template <class Pixel, class View>
Pixel TBlockImage<Pixel, View>::GetPixel(int32_t x, int32_t y) const {
  if (!IsValid()) return 0;
  x = std::clamp(x, 0, width_ - 1);
  y = std::clamp(y, 0, height_ - 1);
  const STileRec& t = Tile(x >> tileShift_, y >> tileShift_);
  if (!t.allocated) return Pixel(t.fill);
  return *RowAt<Pixel>(t, x, y);
}

template <class Pixel, class View>
bool TBlockImage<Pixel, View>::SetPixel(int32_t x, int32_t y, Pixel value) {
  if (!IsValid() || x < 0 || y < 0 || x >= width_ || y >= height_) return false;
  STileRec& t = Tile(x >> tileShift_, y >> tileShift_);
  if (!AllocTile(t)) return false;
  *RowAt<Pixel>(t, x, y) = value;
  return true;
}

template <class Pixel, class View>
bool TBlockImage<Pixel, View>::CopyAllTiles(const TBlockImage& other) {
  if (!IsValid() || !other.IsValid()) return false;
  OpScope scope(*this);
  const int32_t across = std::min(tilesAcross_, other.tilesAcross_);
  const int32_t down = std::min(tilesDown_, other.tilesDown_);
  for (int32_t r = 0; r < down; ++r)
    for (int32_t c = 0; c < across; ++c) {
      STileRec& d = Tile(c, r);
      const STileRec& s = other.Tile(c, r);
      if (s.allocated) {
        // The fill goes first so that a failed allocation leaves at least the right fill.
        SetTileFill(d, s.fill);
        if (AllocTile(d)) std::memcpy(d.data, s.data, size_t(tileBytes_));
      } else {
        FreeTile(d);
        SetTileFill(d, s.fill);
      }
    }
  return scope.Ok();
}

template <class Pixel, class View>
bool TBlockImage<Pixel, View>::CopyTileRect(const TBlockImage& other, TPoint at, SPixRect rect) {
  if (!IsValid() || !other.IsValid() || rect.IsEmpty()) return false;
  // Snap both edges outward to the tile grid.
  const int32_t l = rect.x & ~tileMask_, t = rect.y & ~tileMask_;
  const int32_t r = int32_t((int64_t(rect.x) + rect.width + tileMask_) & ~int64_t(tileMask_));
  const int32_t b = int32_t((int64_t(rect.y) + rect.height + tileMask_) & ~int64_t(tileMask_));
  const int32_t dx = at.x - rect.x, dy = at.y - rect.y;
  if ((dx & tileMask_) || (dy & tileMask_)) return CopyFrom(other, {l + dx, t + dy}, {l, t, r - l, b - t});
  OpScope scope(*this);
  const int32_t dc = dx >> tileShift_, dr = dy >> tileShift_;
  for (int32_t row = std::max(0, t >> tileShift_); row < std::min(other.tilesDown_, b >> tileShift_); ++row)
    for (int32_t col = std::max(0, l >> tileShift_); col < std::min(other.tilesAcross_, r >> tileShift_);
         ++col) {
      const int32_t c = col + dc, rr = row + dr;
      if (c < 0 || rr < 0 || c >= tilesAcross_ || rr >= tilesDown_) continue;
      STileRec& d = Tile(c, rr);
      const STileRec& s = other.Tile(col, row);
      if (s.allocated) {
        SetTileFill(d, s.fill);
        if (AllocTile(d)) std::memcpy(d.data, s.data, size_t(tileBytes_));
      } else {
        FreeTile(d);
        SetTileFill(d, s.fill);
      }
    }
  return scope.Ok();
}

template <class Pixel, class View>
bool TBlockImage<Pixel, View>::FillOutside(const SPixRect& rect, Pixel value) {
  if (!IsValid()) return false;
  const int64_t top = std::clamp<int64_t>(rect.y, 0, height_);
  const int64_t bottom = std::clamp<int64_t>(int64_t(rect.y) + rect.height, top, height_);
  const int64_t left = std::clamp<int64_t>(rect.x, 0, width_);
  const int64_t right = std::clamp<int64_t>(int64_t(rect.x) + rect.width, left, width_);
  const SPixRect bands[4] = {
      {0, 0, width_, int32_t(top)},
      {0, int32_t(bottom), width_, int32_t(height_ - bottom)},
      {0, int32_t(top), int32_t(left), int32_t(bottom - top)},
      {int32_t(right), int32_t(top), int32_t(width_ - right), int32_t(bottom - top)},
  };
  OpScope scope(*this);
  bool any = false;
  for (const SPixRect& band : bands) {
    if (band.IsEmpty()) continue;
    any = true;
    MapValues(band, [value](Pixel) { return value; });
  }
  return any;
}

template class TBlockImage<uint32_t, TVMTC>;
template class TBlockImage<uint8_t, TVChannel>;

// --- CBlockVMTC -----------------------------------------------------------------------

bool CBlockVMTC::Create(int32_t width, int32_t height) {
  defaultFill_ = kDefaultFill;
  region_.Reset(0, 0);
  const bool ok = CBlockImage::Create(width, 4, height);
  region_.Reset(width_, height_);
  return ok;
}

bool CBlockVMTC::CreateCopy(const CBlockVMTC& other) {
  if (!other.IsValid() || !Create(other.Width(), other.Height())) return false;
  return CopyAllTiles(other);
}

void CBlockVMTC::RebuildRegion() const {
  region_.Reset(width_, height_);
  if (!IsValid()) return;
  const STileRec* t = Tiles();
  for (int32_t i = 0, n = TileCount(); i < n; ++i)
    if (t[i].allocated || (t[i].fill >> 24) != 0)
      region_.Add({t[i].x0, t[i].y0, t[i].x0 + t[i].width, t[i].y0 + t[i].height});
}

void CBlockVMTC::OnTileAllocated(STileRec& t) { region_.Add({t.x0, t.y0, t.x0 + t.width, t.y0 + t.height}); }

void CBlockVMTC::OnTilesChanged() const { RebuildRegion(); }

bool CBlockVMTC::MergeFrom(const CBlockVMTC& other, TPoint at, MergeFn merge, uint8_t opacity,
                           uint8_t alphaFactor, SPixRect rect) {
  if (!merge.proc) return false;
  OpScope scope(*this);
  BlendWalk<uint32_t>(
      *this, other, at, rect, alphaFactor,
      [merge, opacity](uint32_t* d, const uint32_t* s, int32_t n) {
        for (int32_t k = 0; k < n; ++k) merge(d + k, s[k], opacity);
      },
      [merge, opacity](uint32_t* d, uint32_t s, int32_t n) {
        for (int32_t k = 0; k < n; ++k) merge(d + k, s, opacity);
      },
      [this](STileRec& t) { return AllocTile(t); }, [this](STileRec& t, uint32_t v) { SetTileFill(t, v); });
  return scope.Ok();
}

namespace {
struct Sum4 {
  uint32_t c[4] = {0, 0, 0, 0};
  void Add(uint32_t p) {
    c[0] += p & 0xFF;
    c[1] += p >> 8 & 0xFF;
    c[2] += p >> 16 & 0xFF;
    c[3] += p >> 24;
  }
  uint32_t Mean(uint32_t n) const { return (c[3] / n) << 24 | (c[2] / n) << 16 | (c[1] / n) << 8 | c[0] / n; }
};
}  // namespace

bool CBlockVMTC::Resample4x4(CBlockVMTC& target) const {
  if (!IsValid() || !target.IsValid()) return false;
  const int64_t sx = int64_t(width_) * 1024 / target.Width();
  const int64_t sy = int64_t(height_) * 1024 / target.Height();
  const bool ok = target.ModifyRows(target.Bounds(), [&](uint32_t* row, int32_t n, int32_t x0, int32_t y) {
    for (int32_t k = 0; k < n; ++k) {
      const int64_t x = x0 + k;
      Sum4 sum;
      for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
          sum.Add(GetPixel(int32_t((sx * x + sx / 4 * j) >> 10), int32_t((sy * y + sy / 4 * i) >> 10)));
      row[k] = sum.Mean(16);
    }
  });
  target.Compact();
  return ok;
}

void CBlockVMTC::BoxAverageTo(CDibCore& buffer, const SPixRect& srcRect, const SPixRect& dstRect,
                              const SPixRect* only) const {
  if (!IsValid() || !buffer.IsValid() || buffer.BytesPerPixel() != 4 || srcRect.IsEmpty() ||
      dstRect.IsEmpty())
    return;
  const SPixRect d = buffer.Clip(only ? Intersect(dstRect, *only) : dstRect);
  const int64_t stepX = int64_t(srcRect.width) * 1024 / dstRect.width;
  const int64_t stepY = int64_t(srcRect.height) * 1024 / dstRect.height;
  const int32_t boxW = srcRect.width / dstRect.width + 1, boxH = srcRect.height / dstRect.height + 1;
  for (int32_t y = d.y; y < d.Bottom(); ++y) {
    uint32_t* out = buffer.Row32(y);
    const int64_t by = srcRect.y + (((y - dstRect.y) * stepY) >> 10);
    for (int32_t x = d.x; x < d.Right(); ++x) {
      const int64_t bx = srcRect.x + (((x - dstRect.x) * stepX) >> 10);
      Sum4 sum;
      for (int32_t j = 0; j < boxH; ++j)
        for (int32_t i = 0; i < boxW; ++i)
          sum.Add(GetPixel(int32_t(std::clamp<int64_t>(bx + i, INT32_MIN, INT32_MAX)),
                           int32_t(std::clamp<int64_t>(by + j, INT32_MIN, INT32_MAX))));
      out[x] = sum.Mean(uint32_t(boxW * boxH));
    }
  }
}

bool CBlockVMTC::FlipHorizontal(const SPixRect& rect) {
  const SPixRect r = Intersect(rect, Bounds());
  if (r.IsEmpty() || !IsValid()) return true;
  OpScope scope(*this);
  // Only the rectangle needs a flat copy; the result is the same as flipping a copy of
  // the whole image.
  TMTC tmp(r.width, r.height);
  if (!tmp.IsValid()) {
    ShowWarning(kOutOfMemoryText);
    return false;
  }
  ReadRect(tmp, {0, 0}, false, 255, r);
  tintara::FlipHorizontal(tmp, tmp.Bounds());
  WriteRect(tmp, {r.x, r.y}, 255, tmp.Bounds());
  Compact();
  return scope.Ok();
}

namespace {
// Source pixel for target (X, Y) of a quarter turn placed at (ox, oy).
inline bool QuarterSource(int32_t w, int32_t h, bool clockwise, int32_t X, int32_t Y, int32_t ox, int32_t oy,
                          int32_t& sx, int32_t& sy) {
  const int32_t u = X - ox, v = Y - oy;  // u < h, v < w
  if (u < 0 || v < 0 || u >= h || v >= w) return false;
  if (clockwise) {
    sx = v;
    sy = h - 1 - u;
  } else {
    sx = w - 1 - v;
    sy = u;
  }
  return true;
}
}  // namespace

void CBlockVMTC::Rotate90(CDibCore& target, bool clockwise, int32_t ox, int32_t oy) const {
  if (!IsValid() || !target.IsValid() || target.BytesPerPixel() != 4) return;
  const SPixRect r = target.Clip({ox, oy, height_, width_});
  for (int32_t Y = r.y; Y < r.Bottom(); ++Y) {
    uint32_t* row = target.Row32(Y);
    for (int32_t X = r.x; X < r.Right(); ++X) {
      int32_t sx, sy;
      if (QuarterSource(width_, height_, clockwise, X, Y, ox, oy, sx, sy)) row[X] = GetPixel(sx, sy);
    }
  }
}

bool CBlockVMTC::Rotate90(CBlockVMTC& target, bool clockwise, int32_t ox, int32_t oy) const {
  if (!IsValid() || !target.IsValid()) return false;
  const bool ok =
      target.ModifyRows({ox, oy, height_, width_}, [&](uint32_t* row, int32_t n, int32_t x0, int32_t Y) {
        for (int32_t k = 0; k < n; ++k) {
          int32_t sx, sy;
          if (QuarterSource(width_, height_, clockwise, x0 + k, Y, ox, oy, sx, sy)) row[k] = GetPixel(sx, sy);
        }
      });
  target.Compact();
  return ok;
}

void CBlockVMTC::AlphaTo(CDibCore& bytes, const SPixRect& rect) const {
  if (!bytes.IsValid() || bytes.BytesPerPixel() != 1) return;
  ForEachPiece(Intersect(rect, bytes.Bounds()), [&](STileRec& t, const SPixRect& p) {
    for (int32_t y = p.y; y < p.Bottom(); ++y) {
      uint8_t* out = bytes.Row8(y) + p.x;
      if (!t.allocated) {
        std::memset(out, int(t.fill >> 24), size_t(p.width));
        continue;
      }
      const uint32_t* in = RowAt<uint32_t>(t, p.x, y);
      for (int32_t i = 0; i < p.width; ++i) out[i] = uint8_t(in[i] >> 24);
    }
  });
}

bool CBlockVMTC::AlphaFrom(const CDibCore& bytes, const SPixRect& rect) {
  if (!bytes.IsValid() || bytes.BytesPerPixel() != 1 || !IsValid()) return false;
  OpScope scope(*this);
  ModifyRows(Intersect(rect, bytes.Bounds()), [&](uint32_t* row, int32_t n, int32_t x, int32_t y) {
    const uint8_t* in = bytes.Row8(y) + x;
    for (int32_t i = 0; i < n; ++i) row[i] = WithAlpha(row[i], in[i]);
  });
  Compact();
  return scope.Ok();
}

bool CBlockVMTC::SwapAlpha(CDibCore& bytes) {
  if (!IsValid() || !bytes.IsValid() || bytes.BytesPerPixel() != 1 || bytes.Width() != width_ ||
      bytes.Height() != height_)
    return false;
  OpScope scope(*this);
  ModifyRows(Bounds(), [&](uint32_t* row, int32_t n, int32_t x, int32_t y) {
    uint8_t* b = bytes.Row8(y) + x;
    for (int32_t i = 0; i < n; ++i) {
      const uint8_t a = uint8_t(row[i] >> 24);
      row[i] = WithAlpha(row[i], b[i]);
      b[i] = a;
    }
  });
  Compact();
  return scope.Ok();
}

bool CBlockVMTC::OpaqueBounds(SPixRect& out) const {
  if (!IsValid()) return false;
  SPixRect acc{0, 0, 0, 0};
  const STileRec* t = Tiles();
  for (int32_t i = 0, n = TileCount(); i < n; ++i) {
    bool any = false;
    if (!t[i].allocated) {
      any = (t[i].fill >> 24) != 0;
    } else {
      for (int32_t y = 0; y < t[i].clippedHeight && !any; ++y) {
        const uint32_t* row = RowAt<uint32_t>(t[i], t[i].x0, t[i].y0 + y);
        for (int32_t x = 0; x < t[i].clippedWidth; ++x)
          if (row[x] >> 24) {
            any = true;
            break;
          }
      }
    }
    if (any) acc = Union(acc, t[i].Rect());
  }
  if (acc.IsEmpty()) return false;
  out = acc;
  return true;
}

int32_t CBlockVMTC::WriteRowChannel(int32_t y, int32_t channel, const uint8_t* src, int32_t count) {
  if (!IsValid() || !src || channel < 0 || channel > 3 || y < 0 || y >= height_ || count <= 0) return 0;
  const int32_t n = std::min(count, width_);
  const int32_t shift = channel * 8;
  const uint32_t keep = ~(0xFFu << shift);
  int32_t written = 0;  // pieces whose tile could not be allocated are not written
  ModifyRows({0, y, n, 1}, [&](uint32_t* row, int32_t len, int32_t x, int32_t) {
    for (int32_t i = 0; i < len; ++i) row[i] = (row[i] & keep) | uint32_t(src[x + i]) << shift;
    written += len;
  });
  return written;
}

int32_t CBlockVMTC::ReadRowChannel(int32_t y, int32_t channel, uint8_t* dst, int32_t count) const {
  if (!IsValid() || !dst || channel < 0 || channel > 3 || y < 0 || y >= height_ || count <= 0) return 0;
  const int32_t n = std::min(count, width_);
  const int32_t shift = channel * 8;
  ForEachPiece({0, y, n, 1}, [&](STileRec& t, const SPixRect& p) {
    if (!t.allocated) {
      std::memset(dst + p.x, int(t.fill >> shift & 0xFF), size_t(p.width));
      return;
    }
    const uint32_t* row = RowAt<uint32_t>(t, p.x, y);
    for (int32_t i = 0; i < p.width; ++i) dst[p.x + i] = uint8_t(row[i] >> shift);
  });
  return n;
}

int32_t CBlockVMTC::WriteRowBits(int32_t y, const uint8_t* bits, int32_t count) {
  if (!IsValid() || !bits || y < 0 || y >= height_ || count <= 0) return 0;
  const int32_t n = std::min(count, width_);
  int32_t written = 0;
  ModifyRows({0, y, n, 1}, [&](uint32_t* row, int32_t len, int32_t x, int32_t) {
    for (int32_t i = 0; i < len; ++i) {
      const int32_t k = x + i;
      const bool set = (bits[k >> 3] >> (7 - (k & 7))) & 1;
      row[i] = (row[i] & 0xFF000000u) | (set ? 0u : 0x00FFFFFFu);
    }
    written += len;
  });
  return written;
}

// --- CBlockVCH ------------------------------------------------------------------------

void CBlockVCH::InitGeometry() {
  tileWidth_ = tileHeight_ = runLimit_ = 64;
  tileMask_ = 63;
  tileShift_ = 6;
}

bool CBlockVCH::Create(int32_t width, int32_t height) {
  defaultFill_ = 0;
  return CBlockImage::Create(width, 1, height);
}

namespace {
// Channel image from a colour image, pixel by pixel through `fn`; uniform source tiles
// become fill values where they cover a whole channel tile.
template <class Fn>
bool FromColourWith(CBlockVCH& dst, const CBlockVMTC& src, Fn fn) {
  if (!dst.IsValid() || !src.IsValid()) return false;
  bool ok = true;
  const SPixRect common{0, 0, std::min(dst.Width(), src.Width()), std::min(dst.Height(), src.Height())};
  // A channel tile over colour tiles that are all empty and give one value becomes a fill.
  ForEachPairKeyed(
      dst, src, {0, 0}, common, [&fn](uint32_t fill) { return fn(fill); },
      [&](STileRec& dt, const SPixRect& dp, STileRec& st, const SPixRect& sp) {
        if (!st.allocated) {
          const uint8_t v = fn(st.fill);
          if (!dt.allocated && dst.IsWholeTile(dt, dp)) {
            dt.fill = v;
            return;
          }
          if (!dst.AllocTile(dt)) {
            ok = false;
            return;
          }
          for (int32_t i = 0; i < dp.height; ++i)
            std::memset(RowAt<uint8_t>(dt, dp.x, dp.y + i), v, size_t(dp.width));
          return;
        }
        if (!dst.AllocTile(dt)) {
          ok = false;
          return;
        }
        for (int32_t i = 0; i < dp.height; ++i) {
          uint8_t* out = RowAt<uint8_t>(dt, dp.x, dp.y + i);
          const uint32_t* in = RowAt<uint32_t>(st, sp.x, sp.y + i);
          for (int32_t k = 0; k < dp.width; ++k) out[k] = fn(in[k]);
        }
      });
  dst.Compact();
  return ok;
}
}  // namespace

bool CBlockVCH::FromColor(const CBlockVMTC& colour, bool invert) {
  OpScope scope(*this);
  const uint8_t* mul = MulTab();
  if (invert)
    FromColourWith(*this, colour, [mul](uint32_t p) { return mul[(p >> 24) * 256 + (255 - Luminance(p))]; });
  else
    FromColourWith(*this, colour, [mul](uint32_t p) { return mul[(p >> 24) * 256 + Luminance(p)]; });
  return scope.Ok();
}

bool CBlockVCH::FromAlpha(const CBlockVMTC& colour) {
  OpScope scope(*this);
  FromColourWith(*this, colour, [](uint32_t p) { return uint8_t(p >> 24); });
  return scope.Ok();
}

}  // namespace tintara
