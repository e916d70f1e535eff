// A small picture drawn with the pixel operations, written as a 24-bit BMP: shows on a
// machine without a display that the engine draws what it should.
#pragma once

#include <string>

#include "pixel/DibCore.h"

namespace tintara {

// Draws the test picture into `out` (resized to 256 x 160).
bool DrawSelfTestImage(TMTC& out);
bool WriteSelfTestImage(const std::string& path);

}  // namespace tintara
