// The image payload block "TTNL": a 40-byte descriptor and the compressed pixels, optionally
// scrambled. It carries the thumbnails of pictures and event files and the bitmaps of the
// item set files.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "files/BlockFile.h"

namespace tintara {

class TPaper;
class TMTC;

inline constexpr uint32_t kIdTTNL = BlockId("TTNL");
inline constexpr size_t kImageBlockHead = 48;  // block head and descriptor
inline constexpr size_t kScrambleChunk = 16384;
inline constexpr int32_t kThumbnailBox = 256;

enum ImagePixelFormat : uint16_t {
  kImageColour = 0,      // thumbnails
  kImageChannel2 = 2,    // 8-bit values of the set files
  kImageIconColour = 3,  // brush icons
  kImageChannel4 = 4,
};

struct ImageDescriptor {
  uint16_t version = 1;  // 1 plain, 2 scrambled
  uint16_t format = kImageColour;
  uint8_t group = 0, key = 0, stride = 0, extra = 0;  // scrambling, version 2
  int32_t sourceWidth = 0, sourceHeight = 0;
  int32_t width = 0, height = 0;
  uint32_t stored = 0;    // compressed length plus the extra bytes
  uint32_t expanded = 0;  // width x height x bytes per pixel
};

// 4 for the colour formats, 1 for the channel formats, 0 for any other.
int32_t ImageBytesPerPixel(uint16_t format);

// In place, chunk by chunk: reverse every whole group of `group` bytes, then XOR the first byte
// of every (stride + 1)-byte group with the complement of the key. Unscrambling undoes it.
void ScrambleBytes(std::span<uint8_t> bytes, uint8_t group, uint8_t key, uint8_t stride);
void UnscrambleBytes(std::span<uint8_t> bytes, uint8_t group, uint8_t key, uint8_t stride);

// The block for `pixels` (width x height x bytes per pixel, rows top to bottom). The
// descriptor's version, format, source and image sizes are used; the writer fills in the
// scrambling values and the lengths. Appended to `out`; on failure `out` is as before.
int32_t EncodeImageBlock(const ImageDescriptor& descriptor, std::span<const uint8_t> pixels,
                         std::vector<uint8_t>& out);
// The same block written into a sink; a write that fails cuts the sink back to where the block
// began, so it leaves no partial block behind.
int32_t WriteImageBlock(IBlockSink& sink, const ImageDescriptor& descriptor, std::span<const uint8_t> pixels);
// Reads the block at the reader's position. Every length is checked against the block, the
// file and the image size before anything is allocated; width and height must be 1..maxSide.
// On success the reader is past the block; on failure it has not moved.
int32_t ReadImageBlock(BlockReader& reader, ImageDescriptor& descriptor, std::vector<uint8_t>& pixels,
                       int32_t maxSide = 10000);

// --- thumbnails --------------------------------------------------------------------------------

// The 256 x 256 box fitted to a picture (small pictures are enlarged the same way).
void ThumbnailSize(int32_t width, int32_t height, int32_t& thumbWidth, int32_t& thumbHeight);
// The picture's composite (without the grid) reduced into the thumbnail by averaging,
// every alpha 255.
bool MakePictureThumbnail(TPaper& paper, TMTC& thumbnail);
// The thumbnail block of a picture: descriptor version 2 (scrambled) or 1, colour pixels,
// the picture size as source size. Event files use version 2 when their stream version is
// above 15, else 1.
int32_t EncodeThumbnailBlock(TPaper& paper, uint16_t descriptorVersion, std::vector<uint8_t>& out);
inline uint16_t EventThumbnailVersion(uint8_t streamVersion) { return streamVersion > 15 ? 2 : 1; }

}  // namespace tintara
