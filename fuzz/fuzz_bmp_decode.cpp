// Bitmap decoder of the bridge (every header size, palettes, bit fields): any byte string must
// be refused or decoded without touching memory it does not own; the colours of a decoded
// picture survive a trip through the program's 24-bit writer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "files/GraphicsLib.h"
#include "pixel/Bmp.h"

namespace {
constexpr int32_t kMaxSide = 1024;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tintara::GraphicsImage img;
  if (tintara::BmpDecode(data, size, img, kMaxSide) != tintara::GfxResult::Ok) {
    if (img.pixels.IsValid()) __builtin_trap();
    return 0;
  }
  std::vector<uint8_t> bmp;
  if (!tintara::EncodeBmp24(img.pixels, img.dpi, bmp)) __builtin_trap();
  tintara::GraphicsImage again;
  if (tintara::BmpDecode(bmp.data(), bmp.size(), again, kMaxSide) != tintara::GfxResult::Ok) __builtin_trap();
  for (int32_t y = 0; y < img.pixels.Height(); ++y)
    for (int32_t x = 0; x < img.pixels.Width(); ++x)
      if ((*img.pixels.Pixel(x, y) | 0xFF000000u) != *again.pixels.Pixel(x, y)) __builtin_trap();
  return 0;
}
