// Bitmap files and packed bitmap rows into 32-bit buffers.
//
// The pixel reader of the pixel library takes only the 40-byte header that the program itself
// writes; files from other programs carry the larger headers, palettes and bit fields as well.
#include <bit>

#include "files/GraphicsLib.h"
#include "files/GraphicsLibDetail.h"
#include "pixel/ByteIO.h"

namespace tintara {
namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitFields = 3;
constexpr uint32_t kBiJpeg = 4;
constexpr uint32_t kBiPng = 5;
constexpr uint32_t kBiAlphaBitFields = 6;

// One colour channel of a bit-field pixel.
struct ChannelMask {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
};

// False for a mask whose bits are not one run (no sensible channel).
bool MakeMask(uint32_t mask, ChannelMask& m) {
  m = ChannelMask{};
  if (mask == 0) return true;
  m.mask = mask;
  m.shift = std::countr_zero(mask);
  const uint32_t run = mask >> m.shift;
  if ((run & (run + 1)) != 0) return false;
  m.bits = std::popcount(run);
  return true;
}

// The channel scaled to 8 bits: wide fields keep their top bits, narrow ones stretch to 0..255.
inline uint32_t Channel8(const ChannelMask& m, uint32_t v) {
  if (m.bits == 0) return 0;
  const uint32_t x = (v & m.mask) >> m.shift;
  if (m.bits >= 8) return x >> (m.bits - 8);
  const uint32_t max = (1u << m.bits) - 1;
  return (x * 255 + max / 2) / max;
}

// Everything the row converter needs to know about the stored pixels.
struct DibLayout {
  int32_t width = 0;
  int32_t rows = 0;
  bool topDown = false;
  uint16_t bitCount = 0;
  bool bitFields = false;
  ChannelMask red, green, blue, alpha;
  const uint8_t* palette = nullptr;
  uint32_t paletteCount = 0;
  uint32_t paletteEntryBytes = 4;
};

constexpr int64_t StoredRowBytes(int64_t width, int64_t bitCount) { return (width * bitCount + 31) / 32 * 4; }

// Bytes the rows need; the last row may lack its padding (some writers leave it off).
constexpr int64_t StoredImageBytes(const DibLayout& l) {
  const int64_t used = (int64_t(l.width) * l.bitCount + 7) / 8;
  return StoredRowBytes(l.width, l.bitCount) * (int64_t(l.rows) - 1) + used;
}

GfxResult SetDefaultMasks(DibLayout& l) {
  if (l.bitCount == 16) {
    MakeMask(0x7C00, l.red);
    MakeMask(0x03E0, l.green);
    MakeMask(0x001F, l.blue);
  } else {
    MakeMask(0xFF0000, l.red);
    MakeMask(0x00FF00, l.green);
    MakeMask(0x0000FF, l.blue);
  }
  l.alpha = ChannelMask{};
  return GfxResult::Ok;
}

GfxResult SetMasks(DibLayout& l, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  if (!MakeMask(r, l.red) || !MakeMask(g, l.green) || !MakeMask(b, l.blue) || !MakeMask(a, l.alpha))
    return GfxResult::BadData;
  l.bitFields = true;
  return GfxResult::Ok;
}

inline uint32_t Le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
inline uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline uint32_t FromFields(const DibLayout& l, uint32_t v) {
  const uint32_t a = l.alpha.bits ? Channel8(l.alpha, v) : 255;
  return a << 24 | Channel8(l.red, v) << 16 | Channel8(l.green, v) << 8 | Channel8(l.blue, v);
}

// Converts the stored rows (whose size the caller has checked) into `out`, already sized.
void ConvertRows(const DibLayout& l, const uint8_t* bits, TMTC& out) {
  uint32_t colours[256];
  if (l.bitCount <= 8) {
    for (uint32_t i = 0; i < 256; ++i) {
      colours[i] = 0xFF000000u;
      if (i < l.paletteCount) {
        const uint8_t* e = l.palette + size_t(i) * l.paletteEntryBytes;
        colours[i] |= uint32_t(e[2]) << 16 | uint32_t(e[1]) << 8 | e[0];
      }
    }
  }
  const size_t rowBytes = size_t(StoredRowBytes(l.width, l.bitCount));
  const bool plainAlpha = l.bitCount == 32 && !l.bitFields;
  bool anyAlpha = false;
  for (int32_t k = 0; k < l.rows; ++k) {
    const uint8_t* p = bits + size_t(k) * rowBytes;
    uint32_t* o = out.Row32(l.topDown ? k : l.rows - 1 - k);
    const int32_t w = l.width;
    switch (l.bitCount) {
      case 1:
        for (int32_t x = 0; x < w; ++x) o[x] = colours[(p[x >> 3] >> (7 - (x & 7))) & 1];
        break;
      case 4:
        for (int32_t x = 0; x < w; ++x) o[x] = colours[(p[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
        break;
      case 8:
        for (int32_t x = 0; x < w; ++x) o[x] = colours[p[x]];
        break;
      case 16:
        for (int32_t x = 0; x < w; ++x) o[x] = FromFields(l, Le16(p + 2 * x));
        break;
      case 24:
        for (int32_t x = 0; x < w; ++x)
          o[x] = 0xFF000000u | uint32_t(p[3 * x + 2]) << 16 | uint32_t(p[3 * x + 1]) << 8 | p[3 * x];
        break;
      default:  // 32
        if (plainAlpha) {
          for (int32_t x = 0; x < w; ++x) {
            o[x] = Le32(p + 4 * x);
            anyAlpha |= (o[x] >> 24) != 0;
          }
        } else {
          for (int32_t x = 0; x < w; ++x) o[x] = FromFields(l, Le32(p + 4 * x));
        }
        break;
    }
  }
  // Writers that ignore alpha leave the fourth byte 0: such a picture is meant to be opaque.
  if (plainAlpha && !anyAlpha) {
    for (int32_t y = 0; y < l.rows; ++y) {
      uint32_t* o = out.Row32(y);
      for (int32_t x = 0; x < l.width; ++x) o[x] |= 0xFF000000u;
    }
  }
}

bool KnownInfoSize(uint32_t size) {
  return size == 12 || size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

bool KnownBitCount(uint32_t b) { return b == 1 || b == 4 || b == 8 || b == 16 || b == 24 || b == 32; }

}  // namespace

GfxResult BmpDecode(const uint8_t* data, size_t size, GraphicsImage& image, int32_t maxSide) {
  gfx_detail::ResetImage(image);
  if ((!data && size) || maxSide < 1 || maxSide > kMaxImageSide) return GfxResult::BadArgument;
  ByteReader r(data, size);
  const uint16_t magic = r.u16();
  if (!r.ok() || magic != kBmpSignature) return GfxResult::BadData;
  r.skip(8);  // file size and reserved words: not trusted
  const uint32_t dataOffset = r.u32();
  const uint32_t infoSize = r.u32();
  if (!r.ok()) return GfxResult::Truncated;
  if (infoSize < 12) return GfxResult::BadData;
  if (!KnownInfoSize(infoSize)) return GfxResult::Unsupported;
  if (infoSize - 4 > r.left()) return GfxResult::Truncated;

  DibLayout l;
  int64_t width = 0, height = 0;
  uint32_t compression = kBiRgb, clrUsed = 0;
  int32_t ppmX = 0, ppmY = 0;
  uint32_t masks[4] = {0, 0, 0, 0};
  if (infoSize == 12) {
    width = r.u16();
    height = r.u16();
    r.u16();  // planes
    l.bitCount = r.u16();
    l.paletteEntryBytes = 3;
    if (l.bitCount == 16 || l.bitCount == 32) return GfxResult::BadData;
  } else {
    width = r.i32();
    height = r.i32();
    r.u16();  // planes: ignored, as most readers do
    l.bitCount = r.u16();
    compression = r.u32();
    r.u32();  // image size: not trusted
    ppmX = r.i32();
    ppmY = r.i32();
    clrUsed = r.u32();
    r.u32();  // important colours
    for (uint32_t i = 0; i < 4 && 40 + 4 * i < infoSize; ++i) masks[i] = r.u32();
  }
  r.seek(14 + size_t(infoSize));
  if (!KnownBitCount(l.bitCount)) return GfxResult::BadData;

  switch (compression) {
    case kBiRgb:
      SetDefaultMasks(l);
      break;
    case kBiBitFields:
    case kBiAlphaBitFields: {
      if (l.bitCount != 16 && l.bitCount != 32) return GfxResult::BadData;
      const bool withAlpha = compression == kBiAlphaBitFields;
      if (infoSize == 40) {
        // The masks follow the short header.
        masks[0] = r.u32();
        masks[1] = r.u32();
        masks[2] = r.u32();
        masks[3] = withAlpha ? r.u32() : 0;
        if (!r.ok()) return GfxResult::Truncated;
      } else if (infoSize == 52 && withAlpha) {
        return GfxResult::BadData;  // no room for the alpha mask
      }
      const GfxResult m = SetMasks(l, masks[0], masks[1], masks[2], masks[3]);
      if (m != GfxResult::Ok) return m;
      break;
    }
    case kBiRle8:
    case kBiRle4:
    case kBiJpeg:
    case kBiPng:
      return GfxResult::Unsupported;
    default:
      return GfxResult::BadData;
  }

  if (width < 1 || height == 0 || height == INT32_MIN) return GfxResult::BadData;
  l.topDown = height < 0;
  const int64_t rows = height < 0 ? -height : height;
  if (width > maxSide || rows > maxSide) return GfxResult::TooLarge;
  l.width = int32_t(width);
  l.rows = int32_t(rows);

  if (l.bitCount <= 8) {
    const uint32_t full = 1u << l.bitCount;
    l.paletteCount = clrUsed ? clrUsed : full;
    if (l.paletteCount > 256) return GfxResult::BadData;
    const size_t bytes = size_t(l.paletteCount) * l.paletteEntryBytes;
    if (bytes > r.left()) return GfxResult::Truncated;
    l.palette = r.here();
    r.skip(bytes);
  }
  // The pixels start where the file says when that lies inside it, past the headers.
  size_t start = r.pos();
  if (dataOffset >= start && dataOffset < size) start = dataOffset;
  if (uint64_t(StoredImageBytes(l)) > uint64_t(size - start)) return GfxResult::Truncated;

  if (!image.pixels.Resize(l.width, l.rows)) return GfxResult::NoMemory;
  ConvertRows(l, data + start, image.pixels);
  image.header = gfx_detail::DecodedHeader(l.width, l.rows, ppmX, ppmY);
  const bool hasResolution = infoSize == 40 || infoSize == 108 || infoSize == 124;
  image.dpi = hasResolution ? FileDpiFromPixelsPerMeter(ppmX) : 0;
  return GfxResult::Ok;
}

GfxResult bmpConv32(const DibHeader& header, const uint8_t* bits, size_t bitsSize, TMTC& target) {
  if (!bits && bitsSize) return GfxResult::BadArgument;
  if (header.compression != kBiRgb) return GfxResult::Unsupported;  // no masks in the record
  if (header.bitCount != 16 && header.bitCount != 24 && header.bitCount != 32) return GfxResult::Unsupported;
  if (header.width < 1 || header.height == 0 || header.height == INT32_MIN) return GfxResult::BadData;
  const int64_t rows = header.height < 0 ? -int64_t(header.height) : int64_t(header.height);
  if (header.width > kMaxImageSide || rows > kMaxImageSide) return GfxResult::TooLarge;
  DibLayout l;
  l.width = header.width;
  l.rows = int32_t(rows);
  l.topDown = header.height < 0;
  l.bitCount = header.bitCount;
  SetDefaultMasks(l);
  if (!bits || uint64_t(StoredImageBytes(l)) > bitsSize) return GfxResult::Truncated;
  if (!target.Resize(l.width, l.rows)) return GfxResult::NoMemory;
  ConvertRows(l, bits, target);
  return GfxResult::Ok;
}

}  // namespace tintara
