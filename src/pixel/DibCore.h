// The family of flat pixel buffers.
//
// Every buffer has a width, a height, a pixel block and a row table that gives the byte
// offset of each row from the block. All operations address rows through the row table,
// so top-down heap buffers, bottom-up display buffers and tile views share one code path.
#pragma once

#include <cstdint>
#include <string_view>

#include "pixel/PixelTypes.h"
#include "platform/Memory.h"

namespace tintara {

struct STileRec;

class CDibCore {
 public:
  CDibCore() = default;
  virtual ~CDibCore() = default;
  CDibCore(const CDibCore&) = delete;
  CDibCore& operator=(const CDibCore&) = delete;

  // Forgets everything without releasing (used by constructors and views).
  virtual void Init();
  // Releases the pixel block and row table; width and height become 0.
  virtual void Free();
  virtual void Clear() { Free(); }
  virtual bool IsValid() const { return bits_ != nullptr && rowTable_ != nullptr; }
  virtual bool Resize(int32_t width, int32_t height) = 0;
  virtual int64_t ByteSize() const = 0;
  virtual int32_t BytesPerPixel() const = 0;
  // Signed row step in pixels: positive when rows run top-down in memory.
  virtual int32_t Pitch() const = 0;
  // No range check: (x, y) must lie inside the buffer.
  virtual uint8_t* PixelAddress(int32_t x, int32_t y) const = 0;

  bool IsTopDown() const { return Pitch() > 0; }
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  SPixRect Bounds() const { return {0, 0, width_, height_}; }
  uint8_t* Bits() const { return bits_; }
  const int32_t* RowTable() const { return rowTable_; }

  // Fast row access for the loops (no virtual call).
  uint8_t* Row8(int32_t y) const { return bits_ + rowTable_[y]; }
  uint32_t* Row32(int32_t y) const { return reinterpret_cast<uint32_t*>(bits_ + rowTable_[y]); }

  // The buffer's own rectangle clipped to its size; empty for an invalid buffer.
  SPixRect Clip(const SPixRect& r) const {
    if (!IsValid()) return {r.x, r.y, 0, 0};
    return Intersect(r, Bounds());
  }

 protected:
  int32_t width_ = 0;
  int32_t height_ = 0;
  uint8_t* bits_ = nullptr;
  int32_t* rowTable_ = nullptr;
};

// 32-bit colour buffer on the heap, rows top-down and packed.
class TMTC : public CDibCore {
 public:
  TMTC() = default;
  TMTC(int32_t width, int32_t height) { Resize(width, height); }
  explicit TMTC(const SPixRect& size) { Resize(size.width, size.height); }
  // Same size and pixels as another colour buffer (any orientation).
  explicit TMTC(const CDibCore& other);
  TMTC(const TMTC& other) : TMTC(static_cast<const CDibCore&>(other)) {}
  // From the scan lines of a 32-bit bitmap (rows `stride` bytes apart, first row on top);
  // every alpha byte becomes 255.
  TMTC(const uint8_t* rows, int64_t stride, int32_t width, int32_t height);
  TMTC& operator=(const TMTC&) = delete;
  TMTC(TMTC&& other) noexcept { TakeFrom(other); }
  TMTC& operator=(TMTC&& other) noexcept {
    if (this != &other) {
      Free();
      TakeFrom(other);
    }
    return *this;
  }
  ~TMTC() override { TMTC::Free(); }

  void Free() override;
  bool Resize(int32_t width, int32_t height) override;
  int64_t ByteSize() const override { return int64_t(width_) * height_ * 4; }
  int32_t BytesPerPixel() const override { return 4; }
  int32_t Pitch() const override { return width_; }
  uint8_t* PixelAddress(int32_t x, int32_t y) const override { return bits_ + rowTable_[y] + x * 4; }

  uint32_t* Pixel(int32_t x, int32_t y) const { return Row32(y) + x; }

 protected:
  // Builds the row table for the current width/height; top-down unless bottomUp.
  bool BuildRows(bool bottomUp);
  // Shared by the colour buffers: resize to w x h with rows in the given order.
  bool ResizeImpl(int32_t width, int32_t height, bool bottomUp, std::string_view failureLine);

  void TakeFrom(TMTC& other) noexcept;

  MemPtr<uint8_t> block_;
  MemPtr<int32_t> rows_;
  size_t blockBytes_ = 0;
};

// The paper's composite and display buffers: rows bottom-up, as the display expects.
// The interface wraps the block in an image and paints it; drawing text into it goes
// through the text hook the interface installs.
class TTC : public TMTC {
 public:
  TTC() = default;
  TTC(int32_t width, int32_t height) { TTC::Resize(width, height); }
  TTC(TTC&&) noexcept = default;
  TTC& operator=(TTC&&) noexcept = default;
  ~TTC() override = default;

  // Raises width and height to at least 1.
  bool Resize(int32_t width, int32_t height) override;
  int32_t Pitch() const override { return -width_; }

  uint8_t contextFlag = 1;  // the display buffer wants a drawing context
};

// Draws text into a display buffer; installed by the interface (no-op until then).
struct TextStyle {
  std::string_view fontFamily;
  int32_t pixelHeight = 12;
  bool bold = false;
};
using TextDrawHook = void (*)(TTC& target, const TRect& rect, std::string_view utf8, const TextStyle& style,
                              uint32_t colorRef, uint32_t flags);
TextDrawHook SetTextDrawHook(TextDrawHook hook);
// Flags default to 0x8026 (single line, vertically centred, no clipping, end ellipsis).
void DrawTextInto(TTC& target, const TRect& rect, std::string_view utf8, const TextStyle& style,
                  uint32_t colorRef, uint32_t flags = 0);

// 8-bit buffer on the heap, rows bottom-up and packed.
class TChannel : public CDibCore {
 public:
  TChannel() = default;
  TChannel(int32_t width, int32_t height) { Resize(width, height); }
  TChannel(TChannel&& other) noexcept { TakeFrom(other); }
  TChannel& operator=(TChannel&& other) noexcept {
    if (this != &other) {
      Free();
      TakeFrom(other);
    }
    return *this;
  }
  ~TChannel() override { TChannel::Free(); }

  void Free() override;
  bool Resize(int32_t width, int32_t height) override;
  int64_t ByteSize() const override { return int64_t(width_) * height_; }
  int32_t BytesPerPixel() const override { return 1; }
  int32_t Pitch() const override { return -width_; }
  uint8_t* PixelAddress(int32_t x, int32_t y) const override { return bits_ + rowTable_[y] + x; }

 private:
  void TakeFrom(TChannel& other) noexcept;

  MemPtr<uint8_t> block_;
  MemPtr<int32_t> rows_;
};

// A view onto one tile of a colour block image: the tile's memory with the image's
// shared row table. It owns nothing.
class TVMTC : public TMTC {
 public:
  TVMTC() = default;
  TVMTC(STileRec* tile, int32_t tileWidth, int32_t tileHeight, int32_t* sharedRows);
  TVMTC(const TVMTC&) = delete;
  TVMTC& operator=(const TVMTC&) = delete;
  ~TVMTC() override { TVMTC::Free(); }

  void Free() override { Init(); }
  bool Resize(int32_t, int32_t) override { return false; }
  int64_t ByteSize() const override { return int64_t(tileWidth_) * tileHeight_ * 4; }
  int32_t Pitch() const override { return tileWidth_; }

  // Binds a default-constructed view to its tile (block images build views in bulk).
  void Attach(STileRec* tile, int32_t tileWidth, int32_t tileHeight, int32_t* sharedRows);
  // Points the view at the tile's memory (nullptr detaches it).
  void SetBits(uint8_t* bits);
  STileRec* Tile() const { return tile_; }

 private:
  STileRec* tile_ = nullptr;
  int32_t tileWidth_ = 0;
  int32_t tileHeight_ = 0;
  int32_t* sharedRows_ = nullptr;
};

class TVChannel : public TChannel {
 public:
  TVChannel() = default;
  TVChannel(STileRec* tile, int32_t tileWidth, int32_t tileHeight, int32_t* sharedRows);
  TVChannel(const TVChannel&) = delete;
  TVChannel& operator=(const TVChannel&) = delete;
  ~TVChannel() override { TVChannel::Free(); }

  void Free() override { Init(); }
  bool Resize(int32_t, int32_t) override { return false; }
  int64_t ByteSize() const override { return int64_t(tileWidth_) * tileHeight_; }
  int32_t Pitch() const override { return tileWidth_; }

  void Attach(STileRec* tile, int32_t tileWidth, int32_t tileHeight, int32_t* sharedRows);
  void SetBits(uint8_t* bits);
  STileRec* Tile() const { return tile_; }

 private:
  STileRec* tile_ = nullptr;
  int32_t tileWidth_ = 0;
  int32_t tileHeight_ = 0;
  int32_t* sharedRows_ = nullptr;
};

// Largest side accepted by any buffer; the byte count must also fit a 32-bit row offset.
inline constexpr int32_t kMaxBufferSide = 1 << 20;

}  // namespace tintara
