// BMP reader: any byte string must be refused or read without touching memory it
// does not own.
#include <cstddef>
#include <cstdint>

#include "pixel/Bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tintara::TMTC img;
  int32_t dpi = 0;
  if (tintara::ReadBmp(img, data, size, &dpi)) {
    // Touch every pixel that was claimed.
    uint32_t sum = 0;
    for (int32_t y = 0; y < img.Height(); ++y)
      for (int32_t x = 0; x < img.Width(); ++x) sum += *img.Pixel(x, y);
    (void)sum;
  }
  return 0;
}
