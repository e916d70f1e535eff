// Pieces shared by the codec files of the graphics-library bridge; not for use outside it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/GraphicsLib.h"

namespace tintara::gfx_detail {

// The largest file the get calls read whole: a 32-bit bitmap of the largest picture with room
// to spare for headers, and far more than any PNG or JPEG of that size needs.
inline constexpr uint64_t kMaxImageFileBytes = uint64_t(kMaxImageSide) * kMaxImageSide * 4 + (16u << 20);

GfxResult ReadImageFile(const std::string& path, std::vector<uint8_t>& bytes);

// Empties the image (used before decoding and on every failure).
void ResetImage(GraphicsImage& image);

// The record of a decoded width × height image with the file's pixels per metre.
DibHeader DecodedHeader(int32_t width, int32_t height, int32_t ppmX, int32_t ppmY);

// The size check shared by the encoders: a valid 4-byte buffer of the header's size.
GfxResult CheckEncodeArgs(const DibHeader& header, const CDibCore& pixels);

}  // namespace tintara::gfx_detail
