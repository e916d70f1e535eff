// The picture side of the paste packets: (12,1) pastes an image as a new layer, (12,2) into a
// given layer. The player replays them from the packet's own data (no clipboard is involved),
// and the paste commands record the packet they perform.
#pragma once

#include <cstdint>
#include <vector>

#include "events/EventRecords.h"

namespace tintara {

class TPaper;
class TFlowImage;

// A new layer holding the image at its store origin, its store at least the picture and the
// image; a placement record makes it at least its stored store too (and as wide and high as
// its view needs) when it carries the clipboard-copy mark, or widens it by its view position
// when it does not, and is then applied as the layer's attributes (blend mode above 21 taken
// as 21). The layer goes in at `index` (above the top when beyond it) and becomes active.
// Returns its index, or -1 when it could not be made (the paper is unchanged).
int32_t PasteAsNewLayer(TPaper& paper, TFlowImage& flow, int32_t index, const ImageBody& image);
// Copies the image into layer `layer` at its store origin; a store smaller than the image
// grows to hold it first (what it held stays). False when the layer does not exist or the
// memory is not there.
bool PasteIntoLayer(TPaper& paper, TFlowImage& flow, int32_t layer, const ImageBody& image);
// Replays a decoded (12,1) or (12,2) packet.
bool ReplayPaste(TPaper& paper, TFlowImage& flow, const PasteRecord& record);
// The packet of a paste: sub 1 as a new layer (at index `layer`), sub 2 into layer `layer`.
bool EncodePaste(bool asNewLayer, int32_t layer, const ImageBody& image, std::vector<uint8_t>& out);

}  // namespace tintara
