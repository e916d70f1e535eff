// The result of every call of the graphics-library bridge.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tintara {

// 0 for success, a small non-zero code otherwise, which callers show as "(err=%d)" or map to
// their own codes.
enum class GfxResult : int32_t {
  Ok = 0,
  BadArgument = 1,  // a null, empty or inconsistent argument
  OpenFailed = 2,   // the file cannot be opened or read
  BadData = 3,      // not a file of this kind, or damaged
  Truncated = 4,    // the data ends before the image does
  Unsupported = 5,  // a valid file of a variant not read here (RLE bitmaps, 12-bit JPEG, ...)
  TooLarge = 6,     // a side above the picture limit, or a file too big to read
  NoMemory = 7,
  WriteFailed = 8,
  ClockStalled = 9,  // the speed measurement saw no time pass
};

constexpr int32_t ResultCode(GfxResult r) { return int32_t(r); }

}  // namespace tintara
