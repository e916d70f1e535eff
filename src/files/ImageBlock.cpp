#include "files/ImageBlock.h"

#include <algorithm>
#include <new>

#include "document/Paper.h"
#include "files/GraphicsLibCompress.h"
#include "pixel/ByteIO.h"

namespace tintara {

namespace {

// The key byte thumbnails are scrambled with.
constexpr uint8_t kThumbnailKey = 0x5A;
constexpr uint8_t kThumbnailGroup = 4, kThumbnailStride = 3;

void ReverseGroups(uint8_t* p, size_t n, uint8_t group) {
  if (group <= 1) return;
  for (size_t at = 0; at + group <= n; at += group) std::reverse(p + at, p + at + group);
}

void XorStrides(uint8_t* p, size_t n, uint8_t key, uint8_t stride) {
  const size_t step = size_t(stride) + 1;
  const uint8_t x = uint8_t(~key);
  for (size_t at = 0; at < n; at += step) p[at] ^= x;
}

}  // namespace

int32_t ImageBytesPerPixel(uint16_t format) {
  switch (format) {
    case kImageColour:
    case kImageIconColour:
      return 4;
    case kImageChannel2:
    case kImageChannel4:
      return 1;
    default:
      return 0;
  }
}

void ScrambleBytes(std::span<uint8_t> bytes, uint8_t group, uint8_t key, uint8_t stride) {
  for (size_t at = 0; at < bytes.size(); at += kScrambleChunk) {
    const size_t n = std::min(kScrambleChunk, bytes.size() - at);
    ReverseGroups(bytes.data() + at, n, group);
    XorStrides(bytes.data() + at, n, key, stride);
  }
}

void UnscrambleBytes(std::span<uint8_t> bytes, uint8_t group, uint8_t key, uint8_t stride) {
  for (size_t at = 0; at < bytes.size(); at += kScrambleChunk) {
    const size_t n = std::min(kScrambleChunk, bytes.size() - at);
    XorStrides(bytes.data() + at, n, key, stride);
    ReverseGroups(bytes.data() + at, n, group);
  }
}

int32_t EncodeImageBlock(const ImageDescriptor& d, std::span<const uint8_t> pixels,
                         std::vector<uint8_t>& out) {
  const int32_t bpp = ImageBytesPerPixel(d.format);
  if (bpp == 0) return kFileBadFormat;
  if (d.version != 1 && d.version != 2) return kFileBadDescriptor;
  if (d.width < 1 || d.height < 1 ||
      uint64_t(d.width) * uint64_t(d.height) * uint64_t(bpp) != pixels.size() || pixels.size() > 0xFFFFFFFFu)
    return kFileBadSize;
  const size_t start = out.size();
  try {
    std::vector<uint8_t> packed;
    if (CompressToMemory(pixels.data(), pixels.size(), packed) != GfxResult::Ok) return kFileNoMemory;
    if (packed.size() > 0xFFFFFFF0u) return kFileBadSize;
    ImageDescriptor w = d;
    if (w.version == 2) {
      w.group = kThumbnailGroup;
      w.key = kThumbnailKey;
      w.stride = kThumbnailStride;
      w.extra = 0;
      ScrambleBytes(packed, w.group, w.key, w.stride);
    } else {
      w.group = w.key = w.stride = w.extra = 0;
    }
    w.stored = uint32_t(packed.size());
    w.expanded = uint32_t(pixels.size());
    PutBlockHead(out, kIdTTNL, uint32_t(40 + Padded4(packed.size())));
    ByteWriter b(out);
    b.u16(w.version);
    b.u16(w.format);
    b.u8(w.group);
    b.u8(w.key);
    b.u8(w.stride);
    b.u8(w.extra);
    b.i32(w.sourceWidth);
    b.i32(w.sourceHeight);
    b.i32(w.width);
    b.i32(w.height);
    b.u32(w.stored);
    b.u32(w.expanded);
    b.zeros(8);
    b.bytes(packed.data(), packed.size());
    b.zeros(size_t(Padded4(packed.size()) - packed.size()));
    return kFileOk;
  } catch (const std::bad_alloc&) {
    out.resize(start);
    return kFileNoMemory;
  }
}

int32_t WriteImageBlock(IBlockSink& sink, const ImageDescriptor& d, std::span<const uint8_t> pixels) {
  try {
    std::vector<uint8_t> block;
    if (const int32_t s = EncodeImageBlock(d, pixels, block); s != kFileOk) return s;
    const uint64_t start = sink.Position();
    if (sink.Write(block)) return kFileOk;
    sink.Truncate(start);
    return kFileShortWrite;
  } catch (const std::bad_alloc&) {
    return kFileNoMemory;
  }
}

int32_t ReadImageBlock(BlockReader& reader, ImageDescriptor& d, std::vector<uint8_t>& pixels,
                       int32_t maxSide) {
  const uint64_t start = reader.Position();
  uint8_t head[kImageBlockHead];
  if (!reader.Read(head, sizeof head)) return kFileShortRead;
  auto fail = [&](int32_t status) {
    reader.Seek(start);
    return status;
  };
  ByteReader r(head, sizeof head);
  const uint32_t id = r.u32(), size = r.u32();
  ImageDescriptor x;
  x.version = r.u16();
  x.format = r.u16();
  x.group = r.u8();
  x.key = r.u8();
  x.stride = r.u8();
  x.extra = r.u8();
  x.sourceWidth = r.i32();
  x.sourceHeight = r.i32();
  x.width = r.i32();
  x.height = r.i32();
  x.stored = r.u32();
  x.expanded = r.u32();
  if (id != kIdTTNL) return fail(kFileBadId);
  if (size < 40) return fail(kFileBadSize);
  if (x.version != 1 && x.version != 2) return fail(kFileBadDescriptor);
  const int32_t bpp = ImageBytesPerPixel(x.format);
  if (bpp == 0) return fail(kFileBadFormat);
  // Everything the descriptor says is checked against the image, the block and the file.
  if (x.width < 1 || x.height < 1 || x.width > maxSide || x.height > maxSide) return fail(kFileBadSize);
  if (uint64_t(x.width) * uint64_t(x.height) * uint64_t(bpp) != x.expanded) return fail(kFileBadSize);
  if (x.stored > size - 40 || x.stored == 0) return fail(kFileBadSize);
  if (x.version == 1 ? x.extra != 0 : x.extra >= x.stored) return fail(kFileBadSize);
  if (uint64_t(size) - 40 > reader.Left()) return fail(kFilePastEnd);
  try {
    std::vector<uint8_t> stored(x.stored);
    if (!reader.Read(stored.data(), stored.size())) return fail(kFileShortRead);
    const size_t packed = x.stored - x.extra;
    if (x.version == 2) UnscrambleBytes(std::span(stored.data(), packed), x.group, x.key, x.stride);
    std::vector<uint8_t> image(x.expanded);
    if (Expand(stored.data(), packed, image.data(), image.size()) != GfxResult::Ok) return fail(kFileBadSize);
    if (!reader.Seek(start + kBlockHeadBytes + size)) return fail(kFilePastEnd);
    pixels = std::move(image);
    d = x;
    return kFileOk;
  } catch (const std::bad_alloc&) {
    return fail(kFileNoMemory);
  }
}

// --- thumbnails --------------------------------------------------------------------------------

void ThumbnailSize(int32_t width, int32_t height, int32_t& tw, int32_t& th) {
  const int64_t w = std::max(1, width), h = std::max(1, height);
  if (w == h) {
    tw = th = kThumbnailBox;
  } else if (w > h) {
    tw = kThumbnailBox;
    th = int32_t(std::max<int64_t>(1, h * kThumbnailBox / w));
  } else {
    th = kThumbnailBox;
    tw = int32_t(std::max<int64_t>(1, w * kThumbnailBox / h));
  }
}

bool MakePictureThumbnail(TPaper& paper, TMTC& thumb) {
  const TTC& src = paper.composite;
  if (!src.IsValid() || src.Width() < 1 || src.Height() < 1) return false;
  int32_t tw, th;
  ThumbnailSize(src.Width(), src.Height(), tw, th);
  if (!thumb.Resize(tw, th)) return false;
  const bool grid = paper.gridOn != 0;
  if (grid) paper.RecompositeAll(false);
  const int64_t W = src.Width(), H = src.Height();
  for (int32_t ty = 0; ty < th; ++ty) {
    const int32_t y0 = int32_t(ty * H / th);
    const int32_t y1 = std::max(y0 + 1, int32_t((ty + 1) * H / th));
    uint32_t* out = thumb.Row32(ty);
    for (int32_t tx = 0; tx < tw; ++tx) {
      const int32_t x0 = int32_t(tx * W / tw);
      const int32_t x1 = std::max(x0 + 1, int32_t((tx + 1) * W / tw));
      uint64_t b = 0, g = 0, r = 0;
      for (int32_t y = y0; y < y1; ++y) {
        const uint32_t* row = src.Row32(y);
        for (int32_t x = x0; x < x1; ++x) {
          b += row[x] & 0xFF;
          g += (row[x] >> 8) & 0xFF;
          r += (row[x] >> 16) & 0xFF;
        }
      }
      const uint64_t n = uint64_t(y1 - y0) * uint64_t(x1 - x0);
      out[tx] = 0xFF000000u | uint32_t(r / n) << 16 | uint32_t(g / n) << 8 | uint32_t(b / n);
    }
  }
  if (grid) paper.RecompositeAll(true);
  return true;
}

int32_t EncodeThumbnailBlock(TPaper& paper, uint16_t version, std::vector<uint8_t>& out) {
  try {
    TMTC thumb;
    if (!MakePictureThumbnail(paper, thumb)) return kFileNoMemory;
    std::vector<uint8_t> pixels;
    pixels.reserve(size_t(thumb.Width()) * size_t(thumb.Height()) * 4);
    ByteWriter w(pixels);
    for (int32_t y = 0; y < thumb.Height(); ++y)
      for (int32_t x = 0; x < thumb.Width(); ++x) w.u32(*thumb.Pixel(x, y));
    ImageDescriptor d;
    d.version = version;
    d.format = kImageColour;
    d.sourceWidth = paper.width;
    d.sourceHeight = paper.height;
    d.width = thumb.Width();
    d.height = thumb.Height();
    return EncodeImageBlock(d, pixels, out);
  } catch (const std::bad_alloc&) {
    return kFileNoMemory;
  }
}

}  // namespace tintara
