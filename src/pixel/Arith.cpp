#include "pixel/Arith.h"

namespace tintara {
namespace {

PixelTables BuildTables() {
  PixelTables t;
  for (int i = 0; i < 256; ++i) {
    for (int j = 0; j < 256; ++j) {
      t.mul[i * 256 + j] = uint8_t(i * j / 255);
      t.scr[i * 256 + j] = uint8_t(255 - i * (255 - j) / 255);
    }
    for (int c = -128; c <= 127; ++c) {
      // C++ division truncates toward zero, as the table wants.
      int v = i * c * 2 / 255;
      t.halfDiff[i * 256 + (c & 0xFF)] = uint8_t(v & 0xFF);
    }
  }
  return t;
}

}  // namespace

const PixelTables& Tables() {
  static const PixelTables tables = BuildTables();
  return tables;
}

void InitPixelTables() { (void)Tables(); }

}  // namespace tintara
