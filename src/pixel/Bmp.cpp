#include "pixel/Bmp.h"

#include <cmath>
#include <cstring>

#include "pixel/ByteIO.h"
#include "platform/FileIO.h"

namespace tintara {

DibHeader MakeDibHeader(int32_t width, int32_t height, int32_t dpi, uint16_t bitCount) {
  DibHeader h;
  h.width = width;
  h.height = height;
  h.bitCount = bitCount;
  const int64_t rowBytes = bitCount == 24 ? Bmp24RowBytes(width) : int64_t(width) * 4;
  h.imageSize = uint32_t(rowBytes * height);
  // A resolution beyond what the 32-bit field holds is written as none.
  const double exact = std::nearbyint(dpi * 100.0 / 2.54);
  const int32_t ppm = exact >= 0 && exact <= 2147483647.0 ? int32_t(exact) : 0;
  h.xPelsPerMeter = h.yPelsPerMeter = ppm;
  return h;
}

void WriteDibHeader(const DibHeader& h, std::vector<uint8_t>& out) {
  ByteWriter w(out);
  w.u32(h.size);
  w.i32(h.width);
  w.i32(h.height);
  w.u16(h.planes);
  w.u16(h.bitCount);
  w.u32(h.compression);
  w.u32(h.imageSize);
  w.i32(h.xPelsPerMeter);
  w.i32(h.yPelsPerMeter);
  w.u32(h.clrUsed);
  w.u32(h.clrImportant);
}

bool ReadBmp(TMTC& dst, const uint8_t* data, size_t size, int32_t* dpi) {
  if (!data) return false;
  ByteReader r(data, size);
  const uint16_t magic = r.u16();
  r.skip(8);  // file size and reserved words: not trusted
  const uint32_t dataOffset = r.u32();
  if (!r.ok() || magic != kBmpSignature) return false;
  DibHeader h;
  h.size = r.u32();
  if (!r.ok() || h.size != kDibHeaderSize) return false;
  h.width = r.i32();
  h.height = r.i32();
  h.planes = r.u16();
  h.bitCount = r.u16();
  h.compression = r.u32();
  h.imageSize = r.u32();
  h.xPelsPerMeter = r.i32();
  h.yPelsPerMeter = r.i32();
  h.clrUsed = r.u32();
  h.clrImportant = r.u32();
  if (!r.ok()) return false;
  if (h.bitCount != 24 && h.bitCount != 32) return false;
  if (h.compression == 3 && h.clrUsed == 3)
    r.skip(12);  // the three channel masks
  else if (h.compression != 0)
    return false;
  if (!r.ok()) return false;
  if (h.width < 1 || h.height == 0 || h.height == INT32_MIN) return false;
  if (h.width > kMaxBufferSide) return false;
  const int64_t rows = h.height < 0 ? -int64_t(h.height) : h.height;
  if (rows > kMaxBufferSide) return false;
  const int64_t rowBytes = h.bitCount == 24 ? Bmp24RowBytes(h.width) : int64_t(h.width) * 4;
  // The pixel data starts where the file says when that lies inside the file.
  size_t start = r.pos();
  if (dataOffset >= start && dataOffset < size) start = dataOffset;
  if (uint64_t(rowBytes) * uint64_t(rows) > uint64_t(size - start)) return false;
  if (dpi) *dpi = int32_t(std::nearbyint(h.xPelsPerMeter * 2.54 / 100.0 + 0.41));
  if (!dst.Resize(h.width, int32_t(rows))) return false;
  const uint8_t* p = data + start;
  for (int64_t k = 0; k < rows; ++k, p += rowBytes) {
    // Positive heights store the bottom row first.
    const int32_t y = int32_t(h.height > 0 ? rows - 1 - k : k);
    uint8_t* out = dst.Row8(y);
    if (h.bitCount == 32) {
      std::memcpy(out, p, size_t(h.width) * 4);
    } else {
      for (int32_t x = 0; x < h.width; ++x) {
        out[x * 4 + 0] = p[x * 3 + 0];
        out[x * 4 + 1] = p[x * 3 + 1];
        out[x * 4 + 2] = p[x * 3 + 2];
      }
    }
  }
  return true;
}

bool ReadBmpFile(TMTC& dst, const std::string& path, int32_t* dpi) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, bytes)) return false;
  return ReadBmp(dst, bytes.data(), bytes.size(), dpi);
}

namespace {
void AppendRows(const CDibCore& src, uint16_t bitCount, std::vector<uint8_t>& out) {
  const int32_t w = src.Width();
  const size_t rowBytes = size_t(bitCount == 24 ? Bmp24RowBytes(w) : int64_t(w) * 4);
  size_t at = out.size();
  out.resize(at + rowBytes * size_t(src.Height()), 0);
  for (int32_t y = src.Height() - 1; y >= 0; --y, at += rowBytes) {
    const uint32_t* in = src.Row32(y);
    uint8_t* o = out.data() + at;
    if (bitCount == 32) {
      std::memcpy(o, in, size_t(w) * 4);
    } else {
      for (int32_t x = 0; x < w; ++x) {
        o[x * 3 + 0] = uint8_t(in[x]);
        o[x * 3 + 1] = uint8_t(in[x] >> 8);
        o[x * 3 + 2] = uint8_t(in[x] >> 16);
      }
    }
  }
}
}  // namespace

bool EncodeBmp24(const CDibCore& src, int32_t dpi, std::vector<uint8_t>& out) {
  out.clear();
  if (!src.IsValid() || src.BytesPerPixel() != 4) return false;
  try {
    const uint64_t imageBytes = uint64_t(Bmp24RowBytes(src.Width())) * uint64_t(src.Height());
    if (imageBytes + 54 > 0xFFFFFFFFu) return false;
    out.reserve(size_t(imageBytes) + 54);
    ByteWriter w(out);
    w.u16(kBmpSignature);
    w.u32(uint32_t(imageBytes + 54));
    w.u16(0);
    w.u16(0);
    w.u32(54);
    WriteDibHeader(MakeDibHeader(src.Width(), src.Height(), dpi, 24), out);
    AppendRows(src, 24, out);
  } catch (const std::bad_alloc&) {
    out.clear();
    return false;
  }
  return true;
}

bool WriteBmp24(const CDibCore& src, const std::string& path, int32_t dpi) {
  std::vector<uint8_t> bytes;
  if (!EncodeBmp24(src, dpi, bytes)) return false;
  return WriteFileAtomic(path, bytes.data(), bytes.size());
}

bool PackDib(const CDibCore& src, uint16_t bitCount, int32_t dpi, std::vector<uint8_t>& out) {
  out.clear();
  if (!src.IsValid() || src.BytesPerPixel() != 4 || (bitCount != 24 && bitCount != 32)) return false;
  try {
    WriteDibHeader(MakeDibHeader(src.Width(), src.Height(), dpi, bitCount), out);
    AppendRows(src, bitCount, out);
  } catch (const std::bad_alloc&) {
    out.clear();
    return false;
  }
  return true;
}

}  // namespace tintara
