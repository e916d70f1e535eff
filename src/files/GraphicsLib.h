// The graphics-library bridge, image codecs: BMP (own code), PNG (libpng) and JPEG
// (libjpeg-turbo), and the JPEG option dialog's check. The block compressor, the 32-bit map and
// the speed measurement have headers of their own (GraphicsLibCompress.h, GraphicsLibMap.h,
// GraphicsLibSpeed.h).
//
// Nothing here talks to the user except the JPEG option check, and no C library error unwinds
// through C++ code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "files/GraphicsLibResult.h"
#include "pixel/Bmp.h"
#include "pixel/DibCore.h"

namespace tintara {

// The program's picture limit: decoders refuse larger images before allocating anything.
inline constexpr int32_t kMaxImageSide = 10000;

// Dots per inch from pixels per metre: round(ppm × 2.54 / 100 + 0.41), ties to even, computed
// exactly in integers so that files at the halfway points read the same everywhere.
int32_t DpiFromPixelsPerMeter(int32_t ppm);

// The largest resolution taken from or written to a file (JFIF's own limit). A file's
// resolution outside 0..kMaxFileDpi is damage, not a device: it reads as none (0).
inline constexpr int32_t kMaxFileDpi = 65535;
// DpiFromPixelsPerMeter, or 0 when that lies outside 0..kMaxFileDpi.
int32_t FileDpiFromPixelsPerMeter(int32_t ppm);

// A decoded image: the fields of the 40-byte bitmap info header and the pixels.
struct GraphicsImage {
  // size 40, width and height (positive), bit count 32, image size width × 4 × height,
  // the file's pixels per metre (0 when it has none).
  DibHeader header;
  // The resolution callers use: FileDpiFromPixelsPerMeter of the file's horizontal resolution
  // for bitmap headers of 40, 108 and 124 bytes, PNG pHYs in metres and JPEG JFIF densities;
  // else 0.
  int32_t dpi = 0;
  // Top-down, 0xAARRGGBB; opaque wherever the file has no alpha.
  TMTC pixels;
};

// --- reading --------------------------------------------------------------------------------

// Decoders from memory. On failure `image` is left empty. Images wider or taller than
// `maxSide` (at most kMaxImageSide) fail with TooLarge before their pixels are allocated.
//
// BMP: info headers of 12, 40, 52, 56, 108 and 124 bytes; 1, 4, 8, 16, 24 and 32 bits;
// uncompressed or bit fields. A 32-bit file whose alpha bytes are all 0 is read as opaque.
GfxResult BmpDecode(const uint8_t* data, size_t size, GraphicsImage& image, int32_t maxSide = kMaxImageSide);
// PNG: every colour type and depth; 16-bit samples are scaled to 8, transparency becomes alpha.
GfxResult PngDecode(const uint8_t* data, size_t size, GraphicsImage& image, int32_t maxSide = kMaxImageSide);
// JPEG: greyscale, YCbCr/RGB and CMYK/YCCK baseline or progressive, 8-bit. Truncated or
// damaged entropy data is a failure, not a grey patch.
GfxResult JpegDecode(const uint8_t* data, size_t size, GraphicsImage& image, int32_t maxSide = kMaxImageSide);

// The same from a file (files above the largest readable size fail with TooLarge unread).
GfxResult bmpGetImage(const std::string& path, GraphicsImage& image);
GfxResult pngGetImage(const std::string& path, GraphicsImage& image);
GfxResult jpegGetImage(const std::string& path, GraphicsImage& image);

// Fills `target` from packed bitmap rows described by `header` (16 bits as 5-5-5, 24 or 32
// bits, uncompressed; bottom-up unless the height is negative), as a packed DIB carries them.
// The target takes the header's width and height; 24- and 16-bit pixels become opaque.
GfxResult bmpConv32(const DibHeader& header, const uint8_t* bits, size_t bitsSize, TMTC& target);

// --- writing --------------------------------------------------------------------------------

// The five option words of a JPEG save.
struct JpegOptions {
  int32_t progressive = 0;  // nonzero: progressive scans
  int32_t monochrome = 0;   // nonzero: greyscale output
  int32_t smoothingOn = 0;  // -1 on, 0 off
  int32_t quality = 75;     // 0..100
  int32_t smoothing = 0;    // 0..100, used when smoothing is on
};

// Encoders into memory. `header` gives the size, which must match `pixels` (4 bytes per pixel,
// any row order), and the resolution in pixels per metre (0: none written).
// PNG: 8-bit RGBA keeping alpha, pHYs from the header's resolution.
GfxResult PngEncode(const DibHeader& header, const CDibCore& pixels, std::vector<uint8_t>& out);
// JPEG: colour or greyscale, alpha dropped, JFIF density in dots per inch.
GfxResult JpegEncode(const DibHeader& header, const CDibCore& pixels, const JpegOptions& options,
                     std::vector<uint8_t>& out);

// Writes the file atomically: it appears complete or not at all, and an existing file is
// replaced only by a complete one.
GfxResult bmpSaveImage(const std::string& path, const DibHeader& header, const CDibCore& pixels);  // 24-bit
GfxResult pngSaveImage(const std::string& path, const DibHeader& header, const CDibCore& pixels);
GfxResult jpegSaveImage(const std::string& path, const DibHeader& header, const CDibCore& pixels,
                        const JpegOptions& options);

// --- the JPEG option dialog's check ---------------------------------------------------------

inline constexpr int32_t kJpegValueMin = 0;
inline constexpr int32_t kJpegValueMax = 100;

// "%sは %d ～ %d にしてください！" with the given word and bounds.
std::string RangeMessage(std::string_view word, int32_t low, int32_t high);
// True when quality and smoothing both lie in 0..100; otherwise shows
// "範囲は 0 ～ 100 にしてください！" and returns false (the dialog stays open).
bool CheckJpegOptionValues(int32_t quality, int32_t smoothing);

}  // namespace tintara
