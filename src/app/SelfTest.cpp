#include "app/SelfTest.h"

#include <cmath>

#include "pixel/Bmp.h"
#include "pixel/ChannelOps.h"
#include "pixel/ColorModels.h"
#include "pixel/ColorOps.h"

namespace tintara {

bool DrawSelfTestImage(TMTC& out) {
  if (!out.Resize(256, 160)) return false;
  // A transparent canvas shown over the grey checkerboard of the display.
  FillAll(out, 0x00FFFFFF);
  // A hue sweep across the top band, fading in from transparent.
  for (int32_t x = 0; x < 256; ++x) {
    const uint32_t c = HsvToRgb(int32_t(x * 360 / 256) << 16, 255u << 16, 255u << 16);
    FillRect(out, {x, 0, 1, 40}, WithAlpha(c, uint8_t(x)));
  }
  // Discs: hard, anti-aliased and softened, drawn opaque.
  const SPixRect body{0, 40, 256, 120};
  SetAlphaRect(out, body, 255);
  DrawDisc(out, 40, 90, 24, 0x00203080, 255, false, false, BlendNormal);
  DrawDisc(out, 100, 90, 24, 0x00C03020, 255, true, false, BlendNormal);
  DrawDisc(out, 160, 90, 24, 0x00208040, 255, true, true, BlendNormal);
  DrawDisc(out, 215, 90, 24, 0x00808080, 200, true, false, BlendMultiply);
  // Lines with a weight ramp, one straight and one anti-aliased.
  DrawLine(out, 8, 130, 248, 150, 0x00000000, 255, 32, BlendNormal);
  DrawLineFixed(out, 8 << 16, 150 << 16, 248 << 16, 132 << 16, 0x000000FF, 255, true, BlendNormal);
  DrawRectFrame(out, out.Bounds(), 0xFF404040, 255, BlendSet);
  // Whatever is not opaque is shown over the checkerboard, as the display would.
  UnderChecker(out, out.Bounds(), 0, 0, 8, 8, 0x00E0E0E0, 0x00C8C8C8);
  SetAlphaAll(out, 255);
  return true;
}

bool WriteSelfTestImage(const std::string& path) {
  TMTC image;
  return DrawSelfTestImage(image) && WriteBmp24(image, path, 96);
}

}  // namespace tintara
