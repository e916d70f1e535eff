// JPEG decoder: any byte string must be refused or decoded without touching memory it does
// not own (libjpeg's errors come back through its hook); a decoded picture is whole and opaque.
#include <cstddef>
#include <cstdint>

#include "files/GraphicsLib.h"

namespace {
constexpr int32_t kMaxSide = 1024;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tintara::GraphicsImage img;
  if (tintara::JpegDecode(data, size, img, kMaxSide) != tintara::GfxResult::Ok) {
    if (img.pixels.IsValid()) __builtin_trap();
    return 0;
  }
  if (img.header.width != img.pixels.Width() || img.header.height != img.pixels.Height()) __builtin_trap();
  for (int32_t y = 0; y < img.pixels.Height(); ++y)
    for (int32_t x = 0; x < img.pixels.Width(); ++x)
      if ((*img.pixels.Pixel(x, y) >> 24) != 255) __builtin_trap();
  return 0;
}
