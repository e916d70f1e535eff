// Changes of the canvas as a whole: a new size with an anchor, resampling every layer, and
// cropping to a rectangle. Each builds the complete new layer set first and swaps it in
// only when every layer could be made, so a failure leaves the picture as it was.
#include <cmath>
#include <cstdio>

#include "document/Paper.h"
#include "pixel/ColorOps.h"
#include "platform/Debug.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

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

bool TPaper::ResizeCanvas(TFlowImage& flow, int32_t w, int32_t h, bool record, bool option, int32_t anchor) {
  if (!ValidSize(w, h) || anchor < 0 || anchor > 8 || layers.Count() == 0) return false;
  WaitCursor busy;
  if (record) Journal(PaperOp::kResizeCanvas, -1, w, h);
  const TPoint off = AnchorOffset(width, height, w, h, anchor);
  // The new paper, in old paper coordinates.
  const SPixRect area{-off.x, -off.y, w, h};
  std::vector<std::unique_ptr<CLayerData>> fresh;
  try {
    for (int32_t i = 0; i < layers.Count(); ++i) {
      const CLayerData& L = *layers.At(i);
      const SPixRect extent = L.Bounds();
      const SPixRect u = Union(extent, area);
      std::unique_ptr<CLayerData> n =
          ReplacementLayer(L, {u.width, u.height}, {extent.x - u.x, extent.y - u.y}, option);
      if (!n) {
        DebugOut("makeResizeLayerEx: Exception!");
        ShowWarning(kOutOfMemoryText);
        return false;
      }
      // Whatever the old view was, the view is now the new paper area.
      n->viewX = area.x - u.x;
      n->viewY = area.y - u.y;
      n->viewWidth = w;
      n->viewHeight = h;
      n->FitThumbnail(kThumbnailSide, kThumbnailSide);
      n->RenderThumbnail();
      fresh.push_back(std::move(n));
    }
  } catch (const std::exception&) {
    DebugOut("makeResizeLayerEx: Exception!");
    ShowWarning(kOutOfMemoryText);
    return false;
  }
  for (int32_t i = 0; i < layers.Count(); ++i) layers.Replace(i, std::move(fresh[size_t(i)]));
  const int32_t active = ActiveIndex();
  SetPaperSize(flow, w, h);
  host_->SetModified();
  RecompositeAll(true);
  host_->PreviewChanged();
  flow.Invalidate();
  ActivateLayer(flow, active);
  return true;
}

bool TPaper::ResampleImage(TFlowImage& flow, int32_t w, int32_t h, int32_t method) {
  if ((method != 1 && method != 2) || !ValidSize(w, h) || layers.Count() == 0) return false;
  WaitCursor busy;
  std::vector<std::unique_ptr<CLayerData>> fresh;
  try {
    for (int32_t i = 0; i < layers.Count(); ++i) {
      const CLayerData& L = *layers.At(i);
      const float sx = float(w) / float(std::max(1, L.viewWidth)),
                  sy = float(h) / float(std::max(1, L.viewHeight));
      // At least one pixel and at least the new view.
      const int32_t sw = std::max<int32_t>(w, int32_t(std::floor(L.pixels->Width() * sx + 0.5f)));
      const int32_t sh = std::max<int32_t>(h, int32_t(std::floor(L.pixels->Height() * sy + 0.5f)));
      auto n = std::make_unique<CLayerData>(L.index, level == 0);
      if (!n->CreatePixels(sw, sh, L.mode)) {
        ShowWarning(kOutOfMemoryText);
        return false;
      }
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
      if (!ok) {
        ShowWarning(kOutOfMemoryText);
        return false;
      }
      n->viewX = int32_t(std::floor(L.viewX * sx + 0.5f));
      n->viewY = int32_t(std::floor(L.viewY * sy + 0.5f));
      n->viewWidth = w;
      n->viewHeight = h;
      // The view stays inside the store.
      n->viewX = std::clamp(n->viewX, 0, sw - w);
      n->viewY = std::clamp(n->viewY, 0, sh - h);
      n->FitThumbnail(kThumbnailSide, kThumbnailSide);
      fresh.push_back(std::move(n));
    }
  } catch (const std::exception&) {
    ShowWarning(kOutOfMemoryText);
    return false;
  }
  for (int32_t i = 0; i < layers.Count(); ++i) layers.Replace(i, std::move(fresh[size_t(i)]));
  const int32_t active = ActiveIndex();
  Journal(PaperOp::kResampleImage, -1, w, h);
  SetPaperSize(flow, w, h);
  for (int32_t i = 0; i < layers.Count(); ++i) layers.At(i)->RenderThumbnail();
  host_->SetModified();
  RecompositeAll(true);
  host_->PreviewChanged();
  flow.Invalidate();
  ActivateLayer(flow, active);
  return true;
}

bool TPaper::Crop(TFlowImage& flow, int32_t layer, bool record, const SPixRect& rectIn) {
  // Normalised and clipped to the paper, whatever its source.
  SPixRect rect = rectIn;
  if (rect.width < 0) rect = {rect.x + rect.width, rect.y, -rect.width, rect.height};
  if (rect.height < 0) rect = {rect.x, rect.y + rect.height, rect.width, -rect.height};
  rect = Intersect(rect, {0, 0, width, height});
  if (rect.IsEmpty() || layers.Count() == 0) return false;
  WaitCursor busy;
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
  const int32_t active = ActiveIndex();
  for (int32_t i = 0; i < layers.Count(); ++i) layers.Replace(i, std::move(fresh[size_t(i)]));
  SetPaperSize(flow, rect.width, rect.height);
  if (record) Journal(PaperOp::kCrop, layer, rect.x, rect.y);
  host_->SetModified();
  RecompositeAll(true);
  host_->PreviewChanged();
  flow.Invalidate();
  ActivateLayer(flow, active);
  host_->ScrollRangesChanged();
  return true;
}

}  // namespace tintara
