#include "events/PasteReplay.h"

#include <algorithm>
#include <new>

#include "document/Paper.h"
#include "files/NativeFile.h"
#include "platform/Strings.h"

namespace tintara {

namespace {

// Stores of pasted layers stay within what a picture file can hold.
constexpr int64_t kMaxPasteStore = kNativeMaxSide;

bool ImageFits(const ImageBody& image) {
  return image.width >= 1 && image.height >= 1 && image.width <= kNativeMaxSide &&
         image.height <= kNativeMaxSide && image.pixels.size() == size_t(image.width) * size_t(image.height);
}

// The image's rows, top to bottom, as a colour buffer.
bool ImageBuffer(const ImageBody& image, TMTC& buffer) {
  if (!buffer.Resize(image.width, image.height)) return false;
  for (int32_t y = 0; y < image.height; ++y)
    std::copy_n(image.pixels.begin() + std::ptrdiff_t(y) * image.width, image.width, buffer.Row32(y));
  return true;
}

}  // namespace

int32_t PasteAsNewLayer(TPaper& paper, TFlowImage& flow, int32_t index, const ImageBody& image) {
  if (!ImageFits(image)) return -1;
  try {
    LayerRecord place;
    const bool placed = image.hasPlacement && DecodeLayerRecord(image.placement, place);
    int64_t w = std::max<int64_t>(paper.width, image.width),
            h = std::max<int64_t>(paper.height, image.height);
    if (placed && (place.flags & kLayerClipboardCopy)) {
      w = std::max({w, int64_t(place.viewX) + paper.width, int64_t(place.storeWidth)});
      h = std::max({h, int64_t(place.viewY) + paper.height, int64_t(place.storeHeight)});
    } else if (placed) {
      w += std::max<int64_t>(0, place.viewX);
      h += std::max<int64_t>(0, place.viewY);
    }
    if (w > kMaxPasteStore || h > kMaxPasteStore) return -1;
    TMTC buffer;
    if (!ImageBuffer(image, buffer)) return -1;
    const int32_t at = paper.AddLayer(std::clamp(index, 0, paper.LayerCount()), int32_t(w), true, 255,
                                      kModeNormal, int32_t(h));
    if (at < 0) return -1;
    CLayerData& layer = *paper.Layer(at);
    layer.viewWidth = paper.width;
    layer.viewHeight = paper.height;
    paper.layers.NameLayer(at, 1);
    if (!layer.pixels->WriteRect(buffer, {0, 0}, 255, buffer.Bounds())) {
      paper.layers.Delete(at);
      flow.Invalidate();
      return -1;
    }
    layer.pixels->Compact();
    if (placed) ApplyLayerAttributes(layer, place, image.name.empty() ? nullptr : &image.name);
    layer.RenderThumbnail();
    paper.ActivateLayer(flow, at);
    paper.FinishWholeLayerEdit(flow, at);
    return at;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

bool PasteIntoLayer(TPaper& paper, TFlowImage& flow, int32_t i, const ImageBody& image) {
  CLayerData* layer = paper.Layer(i);
  if (!layer || !layer->pixels || !ImageFits(image)) return false;
  try {
    TMTC buffer;
    if (!ImageBuffer(image, buffer)) return false;
    const int32_t sw = layer->pixels->Width(), sh = layer->pixels->Height();
    if (image.width > sw || image.height > sh) {
      // The store grows to the image; what it held stays where it was.
      std::unique_ptr<CLayerData> grown =
          layer->ResizedCopy({std::max(sw, image.width), std::max(sh, image.height)}, {0, 0});
      if (!grown) return false;
      grown->CopyAttributes(*layer);
      paper.layers.Replace(i, std::move(grown));
      flow.Invalidate();
      layer = paper.Layer(i);
    }
    if (!layer->pixels->WriteRect(buffer, {0, 0}, 255, buffer.Bounds())) return false;
    layer->pixels->Compact();
    if (i == paper.ActiveIndex()) paper.ActivateLayer(flow, i);
    paper.FinishWholeLayerEdit(flow, i);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool ReplayPaste(TPaper& paper, TFlowImage& flow, const PasteRecord& r) {
  if (r.code == PacketCode{12, 1}) return PasteAsNewLayer(paper, flow, r.layer, r.image) >= 0;
  if (r.code == PacketCode{12, 2}) return PasteIntoLayer(paper, flow, r.layer, r.image);
  return false;
}

bool EncodePaste(bool asNewLayer, int32_t layer, const ImageBody& image, std::vector<uint8_t>& out) {
  if (layer < 0 || layer > 0xFFFF) return false;
  PasteRecord r;
  r.code = {12, uint8_t(asNewLayer ? 1 : 2)};
  r.layer = uint16_t(layer);
  r.image = image;
  return Encode(r, out);
}

}  // namespace tintara
