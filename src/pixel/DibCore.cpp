#include "pixel/DibCore.h"

#include <cstring>

#include "platform/Debug.h"

namespace tintara {

void CDibCore::Init() {
  width_ = height_ = 0;
  bits_ = nullptr;
  rowTable_ = nullptr;
}

void CDibCore::Free() { Init(); }

// --- TMTC -------------------------------------------------------------------------

TMTC::TMTC(const CDibCore& other) {
  if (!other.IsValid() || other.BytesPerPixel() != 4) return;
  if (!Resize(other.Width(), other.Height())) return;
  for (int32_t y = 0; y < height_; ++y) std::memcpy(Row8(y), other.Row8(y), size_t(width_) * 4);
}

TMTC::TMTC(const uint8_t* rows, int64_t stride, int32_t width, int32_t height) {
  if (!rows || !Resize(width, height)) return;
  for (int32_t y = 0; y < height; ++y) {
    std::memcpy(Row8(y), rows + stride * y, size_t(width) * 4);
    uint32_t* p = Row32(y);
    for (int32_t x = 0; x < width; ++x) p[x] |= 0xFF000000u;
  }
}

void TMTC::TakeFrom(TMTC& other) noexcept {
  block_ = std::move(other.block_);
  rows_ = std::move(other.rows_);
  blockBytes_ = other.blockBytes_;
  width_ = other.width_;
  height_ = other.height_;
  bits_ = other.bits_;
  rowTable_ = other.rowTable_;
  other.blockBytes_ = 0;
  other.Init();
}

void TMTC::Free() {
  block_.reset();
  rows_.reset();
  blockBytes_ = 0;
  Init();
}

bool TMTC::BuildRows(bool bottomUp) {
  rows_ = MemAllocArray<int32_t>(size_t(height_));
  if (!rows_) return false;
  const int64_t rowBytes = int64_t(width_) * 4;
  for (int32_t y = 0; y < height_; ++y) rows_.get()[y] = int32_t(rowBytes * (bottomUp ? height_ - 1 - y : y));
  rowTable_ = rows_.get();
  return true;
}

bool TMTC::ResizeImpl(int32_t width, int32_t height, bool bottomUp, std::string_view failureLine) {
  if (IsValid() && width == width_ && height == height_) return true;
  if (width < 1 || height < 1) {
    Free();
    return false;
  }
  size_t bytes = 0;
  // Row offsets are 32-bit, so the block must stay below 2 GiB.
  if (width > kMaxBufferSide || height > kMaxBufferSide ||
      !CheckedBytes(uint64_t(width), uint64_t(height), 4, 0x7FFFFFFFu, &bytes)) {
    Free();
    DebugOut(failureLine);
    return false;
  }
  if (!(block_ && bytes == blockBytes_)) {
    block_.reset();
    blockBytes_ = 0;
    block_.reset(static_cast<uint8_t*>(MemAlloc(bytes)));
    if (!block_) {
      Free();
      DebugOut(failureLine);
      return false;
    }
    blockBytes_ = bytes;
  }
  rows_.reset();
  rowTable_ = nullptr;
  width_ = width;
  height_ = height;
  bits_ = block_.get();
  if (!BuildRows(bottomUp)) {
    Free();
    DebugOut(failureLine);
    return false;
  }
  return true;
}

bool TMTC::Resize(int32_t width, int32_t height) {
  return ResizeImpl(width, height, false, "TMTC::Resize: caught an exception!\n");
}

// --- TTC --------------------------------------------------------------------------

bool TTC::Resize(int32_t width, int32_t height) {
  return ResizeImpl(width < 1 ? 1 : width, height < 1 ? 1 : height, true,
                    "TTC::Resize: caught an exception!\n");
}

namespace {
TextDrawHook g_textHook = nullptr;
}

TextDrawHook SetTextDrawHook(TextDrawHook hook) {
  TextDrawHook old = g_textHook;
  g_textHook = hook;
  return old;
}

void DrawTextInto(TTC& target, const TRect& rect, std::string_view utf8, const TextStyle& style,
                  uint32_t colorRef, uint32_t flags) {
  if (g_textHook && target.IsValid())
    g_textHook(target, rect, utf8, style, colorRef, flags ? flags : 0x8026u);
}

// --- TChannel ---------------------------------------------------------------------

void TChannel::TakeFrom(TChannel& other) noexcept {
  block_ = std::move(other.block_);
  rows_ = std::move(other.rows_);
  width_ = other.width_;
  height_ = other.height_;
  bits_ = other.bits_;
  rowTable_ = other.rowTable_;
  other.Init();
}

void TChannel::Free() {
  block_.reset();
  rows_.reset();
  Init();
}

bool TChannel::Resize(int32_t width, int32_t height) {
  if (IsValid() && width == width_ && height == height_) return true;
  Free();
  if (width < 1 || height < 1) return false;
  size_t bytes = 0;
  if (width > kMaxBufferSide || height > kMaxBufferSide ||
      !CheckedBytes(uint64_t(width), uint64_t(height), 0x7FFFFFFFu, &bytes)) {
    DebugOut("TChannel::Resize: caught an exception!\n");
    return false;
  }
  block_.reset(static_cast<uint8_t*>(MemAlloc(bytes)));
  rows_ = MemAllocArray<int32_t>(size_t(height));
  if (!block_ || !rows_) {
    Free();
    DebugOut("TChannel::Resize: caught an exception!\n");
    return false;
  }
  width_ = width;
  height_ = height;
  for (int32_t y = 0; y < height; ++y) rows_.get()[y] = int32_t(int64_t(width) * (height - 1 - y));
  bits_ = block_.get();
  rowTable_ = rows_.get();
  return true;
}

// --- tile views -------------------------------------------------------------------

TVMTC::TVMTC(STileRec* tile, int32_t tileWidth, int32_t tileHeight, int32_t* sharedRows)
    : tile_(tile), tileWidth_(tileWidth), tileHeight_(tileHeight), sharedRows_(sharedRows) {}

void TVMTC::Attach(STileRec* tile, int32_t tileWidth, int32_t tileHeight, int32_t* sharedRows) {
  Init();
  tile_ = tile;
  tileWidth_ = tileWidth;
  tileHeight_ = tileHeight;
  sharedRows_ = sharedRows;
}

void TVMTC::SetBits(uint8_t* bits) {
  if (!bits) {
    Init();
    return;
  }
  width_ = tileWidth_;
  height_ = tileHeight_;
  bits_ = bits;
  rowTable_ = sharedRows_;
}

TVChannel::TVChannel(STileRec* tile, int32_t tileWidth, int32_t tileHeight, int32_t* sharedRows)
    : tile_(tile), tileWidth_(tileWidth), tileHeight_(tileHeight), sharedRows_(sharedRows) {}

void TVChannel::Attach(STileRec* tile, int32_t tileWidth, int32_t tileHeight, int32_t* sharedRows) {
  Init();
  tile_ = tile;
  tileWidth_ = tileWidth;
  tileHeight_ = tileHeight;
  sharedRows_ = sharedRows;
}

void TVChannel::SetBits(uint8_t* bits) {
  if (!bits) {
    Init();
    return;
  }
  width_ = tileWidth_;
  height_ = tileHeight_;
  bits_ = bits;
  rowTable_ = sharedRows_;
}

}  // namespace tintara
