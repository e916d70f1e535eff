// Changes of the canvas as a whole: a new size with an anchor, resampling every layer, and
// cropping to a rectangle. Each builds the complete new layer set first; the old set then
// goes to the undo history. When the copy cannot be made the user may go on without undo:
// the layers are then changed one by one, and what still does not fit falls back to a
// change of the view alone, so nothing is lost.
#include <cmath>
#include <cstdio>

#include "document/Paper.h"
#include "document/PaperUndo.h"
#include "pixel/ColorOps.h"
#include "platform/Debug.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

constexpr const char* kUndoWord = "アンドゥ";
constexpr const char* kCropName = "切り抜き";
constexpr const char* kCropFailedFormat = "メモリ不足により%sの実行に失敗しました！";

bool ValidSize(int32_t w, int32_t h) { return w >= 1 && h >= 1 && w <= kMaxPaperSide && h <= kMaxPaperSide; }

}  // namespace

TPoint TPaper::AnchorOffset(int32_t oldW, int32_t oldH, int32_t newW, int32_t newH, int32_t anchor) {
  const int32_t dx = newW - oldW, dy = newH - oldH;
  const int32_t hx = dx / 2, hy = dy / 2;  // truncated toward zero
  static constexpr int32_t kColumn[9] = {0, 0, 0, 1, 1, 1, 2, 2, 2};
  static constexpr int32_t kRow[9] = {0, 1, 2, 0, 1, 2, 0, 1, 2};
  const int32_t a = std::clamp(anchor, 0, 8);
  const int32_t x = kColumn[a] == 0 ? 0 : kColumn[a] == 1 ? hx : dx;
  const int32_t y = kRow[a] == 0 ? 0 : kRow[a] == 1 ? hy : dy;
  return {x, y};
}

std::unique_ptr<CLayerData> TPaper::ReplacementLayer(const CLayerData& layer, TPoint size, TPoint storeOffset,
                                                     bool allAttributes) const {
  std::unique_ptr<CLayerData> copy = layer.ResizedCopy(size, storeOffset);
  if (!copy) return nullptr;
  copy->id = layer.id;
  if (allAttributes) {
    copy->CopyAttributes(layer);
  } else {
    copy->name = layer.name;
  }
  copy->visible = layer.visible;
  copy->opacity = layer.opacity;
  copy->mode = layer.mode;
  return copy;
}

namespace {

// The layer of a canvas resize: its store covers the old extent and the new paper area.
std::unique_ptr<CLayerData> Resized(const TPaper& paper, const CLayerData& L, const SPixRect& area,
                                    bool option,
                                    std::unique_ptr<CLayerData> (TPaper::*make)(const CLayerData&, TPoint,
                                                                                TPoint, bool) const) {
  const SPixRect extent = L.Bounds();
  const SPixRect u = Union(extent, area);
  std::unique_ptr<CLayerData> n =
      (paper.*make)(L, {u.width, u.height}, {extent.x - u.x, extent.y - u.y}, option);
  if (!n) return nullptr;
  n->viewX = area.x - u.x;
  n->viewY = area.y - u.y;
  n->viewWidth = area.width;
  n->viewHeight = area.height;
  n->FitThumbnail(kThumbnailSide, kThumbnailSide);
  n->RenderThumbnail();
  return n;
}

}  // namespace

bool TPaper::ResizeCanvas(TFlowImage& flow, int32_t w, int32_t h, bool record, bool option, int32_t anchor) {
  BeginOp();
  if (!ValidSize(w, h) || anchor < 0 || anchor > 8 || layers.Count() == 0) return false;
  WaitCursor busy;
  const TPoint off = AnchorOffset(width, height, w, h, anchor);
  const SPixRect area{-off.x, -off.y, w, h};  // the new paper, in old paper coordinates
  const bool replaying = IsReplaying();
  const bool withUndo = !replaying && undo && undo->CanUndo();
  const int32_t oldW = width, oldH = height, oldActive = ActiveIndex();

  std::vector<std::unique_ptr<CLayerData>> fresh;
  bool copied = true;
  try {
    for (int32_t i = 0; i < layers.Count() && copied; ++i) {
      std::unique_ptr<CLayerData> n = Resized(*this, *layers.At(i), area, option, &TPaper::ReplacementLayer);
      if (!n) {
        DebugOut("makeResizeLayerEx: Exception!");
        copied = false;
      } else {
        fresh.push_back(std::move(n));
      }
    }
  } catch (const std::exception&) {
    DebugOut("makeResizeLayerEx: Exception!");
    copied = false;
  }
  std::vector<std::unique_ptr<CLayerData>> old;
  std::vector<std::unique_ptr<CMaskData>> oldMasks;
  const int32_t oldMaskActive = masks.ActiveIndex();
  bool keepRecord = withUndo && copied;
  if (copied) {
    for (int32_t i = 0; i < layers.Count(); ++i)
      old.push_back(layers.Replace(i, std::move(fresh[size_t(i)])));
  } else {
    fresh.clear();
    if (withUndo) {
      if (!ConfirmWithoutUndo(kUndoWord)) return false;
      ClearUndo();
    }
    // One layer at a time; a layer that still cannot be copied changes its view only.
    for (int32_t i = 0; i < layers.Count(); ++i) {
      CLayerData& L = *layers.At(i);
      std::unique_ptr<CLayerData> n = Resized(*this, L, area, option, &TPaper::ReplacementLayer);
      if (n) {
        layers.Replace(i, std::move(n));
      } else {
        L.viewX -= off.x;
        L.viewY -= off.y;
        L.viewWidth = w;
        L.viewHeight = h;
      }
    }
  }
  if (keepRecord && !masks.CopyAll(oldMasks)) {
    keepRecord = false;
    UndoRecordFailed();
  }
  masks.ShiftAll(off.x, off.y);
  SetPaperSize(flow, w, h);
  if (record) Journal(PaperOp::kResizeCanvas, -1, {w, h, anchor, option});
  if (keepRecord)
    PushUndo(std::make_unique<CanvasRecord>(50, std::move(old), oldActive, std::move(oldMasks), oldMaskActive,
                                            oldW, oldH));
  host_->SetModified();
  RecompositeAll(true);
  host_->PreviewChanged();
  flow.Invalidate();
  ActivateLayer(flow, std::clamp(oldActive, 0, layers.Count() - 1));
  return true;
}

namespace {

std::unique_ptr<CLayerData> Resampled(const CLayerData& L, int32_t w, int32_t h, int32_t method,
                                      bool ownUndo) {
  const float sx = float(w) / float(std::max(1, L.viewWidth)),
              sy = float(h) / float(std::max(1, L.viewHeight));
  // At least one pixel and at least the new view.
  const int32_t sw = std::max<int32_t>(w, int32_t(std::floor(L.pixels->Width() * sx + 0.5f)));
  const int32_t sh = std::max<int32_t>(h, int32_t(std::floor(L.pixels->Height() * sy + 0.5f)));
  auto n = std::make_unique<CLayerData>(L.index, ownUndo);
  if (!n->CreatePixels(sw, sh, L.mode)) return nullptr;
  n->id = L.id;
  n->CopyAttributes(L);
  bool ok;
  if (method == 1) {
    ok = L.pixels->Resample4x4(*n->pixels);
  } else {
    CScaleLayerImage scaler(L.pixels.get(), n->pixels.get());
    ok = scaler.Scale(L.pixels->Bounds(), n->pixels->Bounds());
    n->pixels->Compact();
  }
  if (!ok) return nullptr;
  // The view stays inside the store.
  n->viewX = std::clamp(int32_t(std::floor(L.viewX * sx + 0.5f)), 0, sw - w);
  n->viewY = std::clamp(int32_t(std::floor(L.viewY * sy + 0.5f)), 0, sh - h);
  n->viewWidth = w;
  n->viewHeight = h;
  n->FitThumbnail(kThumbnailSide, kThumbnailSide);
  return n;
}

}  // namespace

bool TPaper::ResampleImage(TFlowImage& flow, int32_t w, int32_t h, int32_t method) {
  BeginOp();
  if ((method != 1 && method != 2) || !ValidSize(w, h) || layers.Count() == 0) return false;
  WaitCursor busy;
  const bool withUndo = !IsReplaying() && undo && undo->CanUndo();
  const int32_t oldW = width, oldH = height, oldActive = ActiveIndex();
  std::vector<std::unique_ptr<CLayerData>> fresh;
  bool copied = true;
  try {
    for (int32_t i = 0; i < layers.Count() && copied; ++i) {
      std::unique_ptr<CLayerData> n = Resampled(*layers.At(i), w, h, method, level == 0);
      if (n)
        fresh.push_back(std::move(n));
      else
        copied = false;
    }
  } catch (const std::exception&) {
    copied = false;
  }
  std::vector<std::unique_ptr<CLayerData>> old;
  std::vector<std::unique_ptr<CMaskData>> oldMasks;
  const int32_t oldMaskActive = masks.ActiveIndex();
  bool keepRecord = withUndo && copied;
  if (copied) {
    for (int32_t i = 0; i < layers.Count(); ++i)
      old.push_back(layers.Replace(i, std::move(fresh[size_t(i)])));
  } else {
    fresh.clear();
    if (withUndo) {
      if (!ConfirmWithoutUndo(kUndoWord)) return false;
      ClearUndo();
    }
    // One layer at a time; a layer that still cannot be resampled keeps its pixels unscaled
    // and only its view follows the new size, so nothing is lost.
    bool lost = false;
    for (int32_t i = 0; i < layers.Count(); ++i) {
      CLayerData& L = *layers.At(i);
      std::unique_ptr<CLayerData> n;
      try {
        n = Resampled(L, w, h, method, level == 0);
      } catch (const std::exception&) {
        n.reset();
      }
      if (n) {
        layers.Replace(i, std::move(n));
        continue;
      }
      lost = true;
      L.viewX = int32_t(std::floor(L.viewX * double(w) / std::max(1, oldW) + 0.5));
      L.viewY = int32_t(std::floor(L.viewY * double(h) / std::max(1, oldH) + 0.5));
      L.viewWidth = w;
      L.viewHeight = h;
    }
    if (lost) {
      DebugOut("makeResizeLayerEx: Exception!");
      ShowWarning(kOutOfMemoryText);
    }
  }
  if (keepRecord && !masks.CopyAll(oldMasks)) {
    keepRecord = false;
    UndoRecordFailed();
  }
  masks.ScaleAll(oldW, oldH, w, h);
  SetPaperSize(flow, w, h);
  for (int32_t i = 0; i < layers.Count(); ++i) layers.At(i)->RenderThumbnail();
  Journal(PaperOp::kResampleImage, -1, {w, h, method});
  if (keepRecord)
    PushUndo(std::make_unique<CanvasRecord>(51, std::move(old), oldActive, std::move(oldMasks), oldMaskActive,
                                            oldW, oldH));
  host_->SetModified();
  RecompositeAll(true);
  host_->PreviewChanged();
  flow.Invalidate();
  ActivateLayer(flow, std::clamp(oldActive, 0, layers.Count() - 1));
  return true;
}

bool TPaper::Crop(TFlowImage& flow, int32_t layer, bool record, const SPixRect& rectIn) {
  BeginOp();
  // Normalised and clipped to the paper, whatever its source.
  SPixRect rect = rectIn;
  if (rect.width < 0) rect = {rect.x + rect.width, rect.y, -rect.width, rect.height};
  if (rect.height < 0) rect = {rect.x, rect.y + rect.height, rect.width, -rect.height};
  rect = Intersect(rect, {0, 0, width, height});
  if (rect.IsEmpty() || layers.Count() == 0) return false;
  WaitCursor busy;
  const bool withUndo = record && !IsReplaying() && undo && undo->CanUndo();
  std::vector<std::unique_ptr<CLayerData>> fresh;
  bool failed = false;
  try {
    for (int32_t i = 0; i < layers.Count() && !failed; ++i) {
      const CLayerData& L = *layers.At(i);
      auto n = std::make_unique<CLayerData>(L.index, level == 0);
      if (!n->CreatePixels(rect.width, rect.height, L.mode) ||
          !n->pixels->CopyFrom(*L.pixels, {0, 0},
                               {rect.x + L.viewX, rect.y + L.viewY, rect.width, rect.height})) {
        failed = true;
        break;
      }
      n->pixels->Compact();
      n->id = L.id;
      // Every attribute stays, the group structure included.
      n->CopyAttributes(L);
      n->FitThumbnail(kThumbnailSide, kThumbnailSide);
      n->RenderThumbnail();
      fresh.push_back(std::move(n));
    }
  } catch (const std::exception&) {
    DebugOut("makeResizeLayer: Exception!");
    failed = true;
  }
  if (failed) {
    char text[256];
    std::snprintf(text, sizeof text, kCropFailedFormat, kCropName);
    ShowWarning(text);
    return false;
  }
  const int32_t active = ActiveIndex(), oldW = width, oldH = height;
  std::vector<std::unique_ptr<CLayerData>> old;
  for (int32_t i = 0; i < layers.Count(); ++i) old.push_back(layers.Replace(i, std::move(fresh[size_t(i)])));
  std::vector<std::unique_ptr<CMaskData>> oldMasks;
  const int32_t oldMaskActive = masks.ActiveIndex();
  bool keepRecord = withUndo;
  if (keepRecord && !masks.CopyAll(oldMasks)) {
    keepRecord = false;
    UndoRecordFailed();
  }
  masks.ShiftAll(-rect.x, -rect.y);
  SetPaperSize(flow, rect.width, rect.height);
  if (record) Journal(PaperOp::kCrop, layer, {rect.x, rect.y, rect.width, rect.height});
  if (keepRecord)
    PushUndo(std::make_unique<CanvasRecord>(52, std::move(old), active, std::move(oldMasks), oldMaskActive,
                                            oldW, oldH));
  host_->SetModified();
  RecompositeAll(true);
  host_->PreviewChanged();
  flow.Invalidate();
  ActivateLayer(flow, active);
  host_->ScrollRangesChanged();
  return true;
}

}  // namespace tintara
