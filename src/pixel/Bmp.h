// Windows bitmap headers and files: the 40-byte info header, reading a BMP from memory
// into a colour buffer, writing 24-bit BMP files, and packed DIB blocks for the clipboard.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pixel/DibCore.h"

namespace tintara {

struct DibHeader {
  uint32_t size = 40;
  int32_t width = 0;
  int32_t height = 0;
  uint16_t planes = 1;
  uint16_t bitCount = 32;
  uint32_t compression = 0;
  uint32_t imageSize = 0;
  int32_t xPelsPerMeter = 0;
  int32_t yPelsPerMeter = 0;
  uint32_t clrUsed = 0;
  uint32_t clrImportant = 0;
};

inline constexpr uint16_t kBmpSignature = 19778;  // "BM"
inline constexpr uint32_t kDibHeaderSize = 40;

// The header for a buffer of the given size: bit count 32 (image size w * 4 * h) or 24
// (image size ((w * 3 + 3) & ~3) * h); pixels per metre = dpi * 100 / 2.54, rounded.
DibHeader MakeDibHeader(int32_t width, int32_t height, int32_t dpi, uint16_t bitCount = 32);
void WriteDibHeader(const DibHeader& h, std::vector<uint8_t>& out);
// Bytes of one 24-bit row, padded to 4.
constexpr int64_t Bmp24RowBytes(int64_t width) { return (width * 3 + 3) & ~int64_t(3); }

// Reads a BMP (24 or 32 bits, uncompressed or bit-field) into `dst`, the right way up.
// Every header field is checked against the bytes really present before anything is
// allocated. The pixels start at the file's data offset when that lies between the end of
// the headers and the end of the file, else right after the headers. The alpha byte of 24-bit pixels is left
// as it was. `dpi` (optional) receives the horizontal resolution.
bool ReadBmp(TMTC& dst, const uint8_t* data, size_t size, int32_t* dpi = nullptr);
bool ReadBmpFile(TMTC& dst, const std::string& path, int32_t* dpi = nullptr);

// A complete 24-bit BMP file image of the buffer (bottom-up rows of B, G, R).
bool EncodeBmp24(const CDibCore& src, int32_t dpi, std::vector<uint8_t>& out);
// Writes the 24-bit file; the file appears only when complete.
bool WriteBmp24(const CDibCore& src, const std::string& path, int32_t dpi = 96);

// A packed DIB (info header followed by bottom-up rows) of 24 or 32 bits, as the
// clipboard carries it.
bool PackDib(const CDibCore& src, uint16_t bitCount, int32_t dpi, std::vector<uint8_t>& out);

}  // namespace tintara
