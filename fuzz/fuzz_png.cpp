// PNG decoder: any byte string must be refused or decoded without touching memory it does
// not own (libpng's errors come back through its hook); a decoded picture must survive a trip
// through the encoder unchanged.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "files/GraphicsLib.h"

namespace {
// Small pictures keep each run fast; the picture limit itself is covered by the unit tests.
constexpr int32_t kMaxSide = 1024;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tintara::GraphicsImage img;
  const tintara::GfxResult r = tintara::PngDecode(data, size, img, kMaxSide);
  if (r != tintara::GfxResult::Ok) {
    if (img.pixels.IsValid()) __builtin_trap();
    return 0;
  }
  if (img.header.width != img.pixels.Width() || img.header.height != img.pixels.Height()) __builtin_trap();
  std::vector<uint8_t> png;
  if (tintara::PngEncode(img.header, img.pixels, png) != tintara::GfxResult::Ok) __builtin_trap();
  tintara::GraphicsImage again;
  if (tintara::PngDecode(png.data(), png.size(), again, kMaxSide) != tintara::GfxResult::Ok) __builtin_trap();
  for (int32_t y = 0; y < img.pixels.Height(); ++y)
    for (int32_t x = 0; x < img.pixels.Width(); ++x)
      if (*img.pixels.Pixel(x, y) != *again.pixels.Pixel(x, y)) __builtin_trap();
  return 0;
}
