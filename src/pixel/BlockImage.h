// Block images: the sparse tiled stores of layers (colour, 32 x 32 tiles) and masks
// (bytes, 64 x 64 tiles).
//
// A tile holds either real pixel memory or, while it is uniform, just one fill value, so
// a new layer, the transparent part of a layer or an untouched mask costs one tile
// record per tile and no pixel memory. Every tile is reached through a view (TVMTC or
// TVChannel) so the flat-buffer operations work on tiles unchanged.
//
// Rectangle operations cut their rectangle along tile boundaries and hand each piece to
// a per-tile step; the per-pixel work inside a piece runs on row pointers.
#pragma once

#include <cstdint>
#include <memory>

#include "pixel/Blend.h"
#include "pixel/DibCore.h"
#include "pixel/DynArray.h"
#include "pixel/PixelTypes.h"

namespace tintara {

struct STileRec {
  int32_t column = 0;
  int32_t row = 0;
  int32_t width = 0;   // nominal
  int32_t height = 0;  // nominal
  int32_t x0 = 0;
  int32_t y0 = 0;
  int32_t clippedWidth = 0;
  int32_t clippedHeight = 0;
  uint8_t allocated = 0;
  uint32_t fill = 0x00FFFFFF;  // every pixel's value while not allocated
  uint8_t* data = nullptr;
  int32_t byteSize = 0;
  CDibCore* view = nullptr;

  SPixRect Rect() const { return {x0, y0, clippedWidth, clippedHeight}; }
};

// The text shown when tile memory runs out.
inline constexpr const char* kTileOutOfMemoryText =
    "メモリ不足により障害が発生しました！\r以降動作が不安定になるかもしれません...";

class CBlockImage {
 public:
  CBlockImage() = default;
  virtual ~CBlockImage() = default;
  CBlockImage(const CBlockImage&) = delete;
  CBlockImage& operator=(const CBlockImage&) = delete;

  virtual bool IsValid() const { return valid_ != 0; }
  virtual void InitGeometry();
  // Gives an empty tile memory filled with its fill value; false (tile stays empty) when
  // the memory cannot be had.
  virtual bool AllocTile(STileRec& tile);
  virtual void FreeTile(STileRec& tile);
  virtual bool CreateTileView(STileRec& tile) = 0;
  // Address of pixel (x, y) inside its tile; nullptr outside the image or when the tile
  // is empty (and alloc is false or the allocation failed).
  virtual uint8_t* PixelAddress(int32_t x, int32_t y, bool alloc);
  // The tile holding pixel (x, y); nullptr outside the image.
  virtual STileRec* TileAt(int32_t x, int32_t y, bool alloc);

  // Frees all tiles and builds a new table for the new size; content is lost.
  virtual bool Resize(int32_t width, int32_t height) = 0;
  void Destroy();
  int64_t MemoryUsed() const;
  int32_t AllocatedTiles() const;
  STileRec* TileAtIndex(int32_t column, int32_t row, bool alloc);
  const STileRec* TileAtIndex(int32_t column, int32_t row) const;
  // True when `piece` (image coordinates) is exactly the tile's clipped area.
  bool IsWholeTile(const STileRec& tile, const SPixRect& piece) const;

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  SPixRect Bounds() const { return {0, 0, width_, height_}; }
  int32_t TileWidth() const { return tileWidth_; }
  int32_t TileHeight() const { return tileHeight_; }
  int32_t TileShift() const { return tileShift_; }
  int32_t TileMask() const { return tileMask_; }
  int32_t TilesAcross() const { return tilesAcross_; }
  int32_t TilesDown() const { return tilesDown_; }
  int32_t TileBytes() const { return tileBytes_; }
  int32_t BytesPerPixel() const { return bytesPerPixel_; }
  // Bytes of the tile table and the views: what an image costs before any pixel.
  int64_t TableBytes() const;

  STileRec& Tile(int32_t column, int32_t row) const {
    return tiles_.As<STileRec>()[row * tilesAcross_ + column];
  }
  STileRec* Tiles() const { return tiles_.As<STileRec>(); }
  int32_t TileCount() const { return tilesAcross_ * tilesDown_; }

  // Cuts `rect` (image coordinates, clipped here) along tile boundaries: f(tile, piece).
  template <class F>
  void ForEachPiece(const SPixRect& rect, F&& f) const {
    const SPixRect r = Intersect(rect, Bounds());
    if (r.IsEmpty() || !valid_) return;
    for (int32_t y = r.y; y < r.Bottom();) {
      const int32_t h = std::min(tileHeight_ - (y & tileMask_), r.Bottom() - y);
      for (int32_t x = r.x; x < r.Right();) {
        const int32_t w = std::min(tileWidth_ - (x & tileMask_), r.Right() - x);
        f(Tile(x >> tileShift_, y >> tileShift_), SPixRect{x, y, w, h});
        x += w;
      }
      y += h;
    }
  }

 protected:
  // Builds geometry and tile table for width x height; false leaves the image invalid.
  bool Create(int32_t width, int32_t bytesPerPixel, int32_t height);
  virtual bool BuildViews() = 0;
  virtual void DropViews() = 0;
  // Bookkeeping after a tile became allocated (the colour image's region).
  virtual void OnTileAllocated(STileRec&) {}
  // Called at the end of the outermost operation when a tile was freed or a fill changed.
  virtual void OnTilesChanged() const {}
  void SetTileFill(STileRec& tile, uint32_t fill) {
    if (tile.fill != fill) {
      tile.fill = fill;
      tilesChanged_ = true;
    }
  }

  // Counts operations so that a run of failed allocations shows one message box, at the
  // end of the outermost operation.
  class OpScope {
   public:
    explicit OpScope(const CBlockImage& img) : img_(img) { ++img_.opDepth_; }
    ~OpScope();
    OpScope(const OpScope&) = delete;
    OpScope& operator=(const OpScope&) = delete;
    // True while no allocation has failed in this operation.
    bool Ok() const { return !img_.allocFailed_; }

   private:
    const CBlockImage& img_;
  };

  uint8_t valid_ = 0;
  int32_t tileBytes_ = 0;
  int32_t bytesPerPixel_ = 0;
  int32_t tileWidth_ = 32;
  int32_t tileHeight_ = 32;
  int32_t runLimit_ = 32;
  int32_t tileMask_ = 31;
  int32_t tileShift_ = 5;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t tilesAcross_ = 0;
  int32_t tilesDown_ = 0;
  CDynArray tiles_;
  int32_t allocatedTiles_ = 0;
  mutable int32_t opDepth_ = 0;
  mutable bool allocFailed_ = false;
  mutable bool tilesChanged_ = false;
};

// Where a colour image holds anything (allocated tiles or fills with alpha): at most four
// rectangles. Compositing blends a layer only inside them.
struct SDirtyRegion {
  int32_t width = 0;
  int32_t height = 0;
  int32_t count = 0;
  TRect rects[4];

  void Reset(int32_t w, int32_t h) {
    width = w;
    height = h;
    count = 0;
  }
  // Clips to the image; merges with the first stored rectangle it touches or overlaps,
  // else appends, else merges into the nearest (ties: the smaller one); then merges
  // touching pairs until none is left.
  void Add(const TRect& r);
  bool Contains(int32_t x, int32_t y) const;
};

// Squared gap between two rectangles (0 when they touch or overlap).
int64_t SquaredGap(const TRect& a, const TRect& b);

// The per-pixel operations shared by both kinds of block image, for Pixel = uint32_t
// (colour) and uint8_t (channel). `View` is the tile view class.
template <class Pixel, class View>
class TBlockImage : public CBlockImage {
 public:
  using Proc = void (*)(Pixel* p, Pixel s, uint8_t t);

  ~TBlockImage() override;

  bool CreateTileView(STileRec& tile) override;
  bool AllocTile(STileRec& tile) override;
  void FreeTile(STileRec& tile) override;

  Pixel DefaultFill() const { return defaultFill_; }
  // The value of tiles that were never painted, as a picture file records it.
  void SetDefaultFill(Pixel value) { defaultFill_ = value; }
  View& ViewOf(const STileRec& tile) const { return *static_cast<View*>(tile.view); }
  Pixel FillOf(const STileRec& tile) const { return Pixel(tile.fill); }

  // Into a flat buffer: allocated pieces are copied with opacity, empty ones filled with
  // their fill value (skipped when skipEmptyTransparent and the fill alpha is 0).
  void ReadRect(CDibCore& buffer, TPoint at, bool skipEmptyTransparent, uint8_t opacity, SPixRect rect) const;
  // From a flat buffer: every touched tile is allocated, then the piece is copied with opacity.
  bool WriteRect(const CDibCore& buffer, TPoint at, uint8_t opacity, SPixRect rect);
  bool CopyFrom(const TBlockImage& other, TPoint at, SPixRect rect);
  // Source pixels applied with a primitive after the destination alpha is scaled by
  // alphaFactor (colour images; the channel form ignores alphaFactor).
  bool BlendFrom(const TBlockImage& other, TPoint at, Proc proc, uint8_t opacity, uint8_t alphaFactor,
                 SPixRect rect);
  bool MaskedSet(const SPixRect& rect, Pixel mask, Pixel value);
  bool Xor(const SPixRect& rect, Pixel value);
  void FillAll(Pixel value);
  int32_t Compact();
  Pixel GetPixel(int32_t x, int32_t y) const;
  bool SetPixel(int32_t x, int32_t y, Pixel value);
  // Tile for tile over the common grid: memory copied, empty tiles freed, fills copied.
  bool CopyAllTiles(const TBlockImage& other);
  // Tiles of a rectangle snapped outward to the tile grid, placed at `at` (a point off the
  // grid copies the snapped rectangle pixel by pixel instead).
  bool CopyTileRect(const TBlockImage& other, TPoint at, SPixRect rect);
  // Fills the bands of the image outside `rect`; false when there were none.
  bool FillOutside(const SPixRect& rect, Pixel value);
  // Allocates the tiles that an operation on rect will write: every touched tile, or only
  // those rect covers in part (a whole fill-only tile can change by its fill). Done first, it
  // lets the operation run without any allocation that could fail half-way.
  bool Reserve(const SPixRect& rect, bool wholeTilesToo);

  // Runs f(Pixel* row, count, x, y) over the rows of each piece of rect, allocating tiles.
  template <class F>
  bool ModifyRows(const SPixRect& rect, F&& f);
  // Replaces every pixel v of rect by fn(v): on a whole empty tile only the fill changes,
  // elsewhere tiles are allocated and mapped pixel by pixel.
  template <class Fn>
  bool MapValues(const SPixRect& rect, Fn fn);

 protected:
  bool BuildViews() override;
  void DropViews() override;
  bool BuildRowTable();

  std::unique_ptr<View[]> views_;
  int32_t rowTable_[64] = {};
  Pixel defaultFill_ = 0;
};

template <class Pixel, class View>
template <class F>
bool TBlockImage<Pixel, View>::ModifyRows(const SPixRect& rect, F&& f) {
  OpScope scope(*this);
  ForEachPiece(rect, [&](STileRec& t, const SPixRect& p) {
    if (!AllocTile(t)) return;
    for (int32_t y = p.y; y < p.Bottom(); ++y)
      f(reinterpret_cast<Pixel*>(t.view->Row8(y - t.y0)) + (p.x - t.x0), p.width, p.x, y);
  });
  return scope.Ok();
}

template <class Pixel, class View>
bool TBlockImage<Pixel, View>::Reserve(const SPixRect& rect, bool wholeTilesToo) {
  OpScope scope(*this);
  bool ok = true;
  ForEachPiece(Intersect(rect, Bounds()), [&](STileRec& t, const SPixRect& p) {
    if (ok && !t.allocated && (wholeTilesToo || !IsWholeTile(t, p)) && !AllocTile(t)) ok = false;
  });
  return scope.Ok() && ok;
}

template <class Pixel, class View>
template <class Fn>
bool TBlockImage<Pixel, View>::MapValues(const SPixRect& rect, Fn fn) {
  OpScope scope(*this);
  ForEachPiece(rect, [&](STileRec& t, const SPixRect& p) {
    if (!t.allocated && IsWholeTile(t, p)) {
      SetTileFill(t, fn(Pixel(t.fill)));
      return;
    }
    if (!AllocTile(t)) return;
    for (int32_t y = p.y; y < p.Bottom(); ++y) {
      Pixel* row = reinterpret_cast<Pixel*>(t.view->Row8(y - t.y0)) + (p.x - t.x0);
      for (int32_t i = 0; i < p.width; ++i) row[i] = fn(row[i]);
    }
  });
  return scope.Ok();
}

class CBlockVMTC : public TBlockImage<uint32_t, TVMTC> {
 public:
  static constexpr uint32_t kDefaultFill = 0x00FFFFFF;

  CBlockVMTC() = default;
  CBlockVMTC(int32_t width, int32_t height) { Create(width, height); }
  // Same size and content as another colour image.
  bool CreateCopy(const CBlockVMTC& other);
  bool Create(int32_t width, int32_t height);
  bool Resize(int32_t width, int32_t height) override { return Create(width, height); }
  bool IsValid() const override { return valid_ != 0 && views_ != nullptr; }

  const SDirtyRegion& Region() const { return region_; }
  // Rebuilds the region from every allocated tile and every fill with alpha.
  void RebuildRegion() const;

  // As BlendFrom, but with an alpha-keeping merge.
  bool MergeFrom(const CBlockVMTC& other, TPoint at, MergeFn merge, uint8_t opacity, uint8_t alphaFactor,
                 SPixRect rect);
  // Each target pixel is the mean of 16 source samples on a 4 x 4 grid; the target is compacted.
  bool Resample4x4(CBlockVMTC& target) const;
  // Layer thumbnails: each destination pixel averages a box of source pixels (edges repeat).
  // `only` (optional) limits the work to part of the destination rectangle.
  void BoxAverageTo(CDibCore& buffer, const SPixRect& srcRect, const SPixRect& dstRect,
                    const SPixRect* only = nullptr) const;
  bool FlipHorizontal(const SPixRect& rect);
  // Into a buffer or image of transposed size placed at (ox, oy): clockwise target (x, y) :=
  // source (y, height - 1 - x); counter-clockwise target (x, y) := source (width - 1 - y, x).
  void Rotate90(CDibCore& target, bool clockwise, int32_t ox = 0, int32_t oy = 0) const;
  bool Rotate90(CBlockVMTC& target, bool clockwise, int32_t ox = 0, int32_t oy = 0) const;
  // Alpha bytes to and from an 8-bit buffer laid over the image (same coordinates).
  void AlphaTo(CDibCore& bytes, const SPixRect& rect) const;
  bool AlphaFrom(const CDibCore& bytes, const SPixRect& rect);
  bool SwapAlpha(CDibCore& bytes);
  // Tile-granular bounds of everything with alpha; false when there is nothing.
  bool OpaqueBounds(SPixRect& out) const;

  // Loader row transfers; each returns the pixels written or read (0 for a row outside the
  // image or a channel outside 0..3).
  int32_t WriteRowChannel(int32_t y, int32_t channel, const uint8_t* src, int32_t count);
  int32_t ReadRowChannel(int32_t y, int32_t channel, uint8_t* dst, int32_t count) const;
  // A 1-bit row, most significant bit first: set -> black, clear -> white (alpha kept).
  int32_t WriteRowBits(int32_t y, const uint8_t* bits, int32_t count);

  void OnTileAllocated(STileRec& tile) override;
  void OnTilesChanged() const override;

 private:
  // Kept current by the operations themselves, also those that are logically const.
  mutable SDirtyRegion region_;
};

class CBlockVCH : public TBlockImage<uint8_t, TVChannel> {
 public:
  CBlockVCH() = default;
  CBlockVCH(int32_t width, int32_t height) { Create(width, height); }
  bool Create(int32_t width, int32_t height);
  bool Resize(int32_t width, int32_t height) override { return Create(width, height); }
  bool IsValid() const override { return valid_ != 0 && views_ != nullptr; }
  void InitGeometry() override;

  // channel := MulTab[alpha][luminance] (or 255 - luminance) over the common area.
  bool FromColor(const CBlockVMTC& colour, bool invert);
  // channel := alpha over the common area.
  bool FromAlpha(const CBlockVMTC& colour);
};

}  // namespace tintara
