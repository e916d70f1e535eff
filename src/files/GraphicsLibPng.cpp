// PNG through libpng.
//
// libpng reports errors by calling a hook that must not return. Ours jumps back with longjmp
// to a setjmp in a function whose locals are all plain C values, so the jump never passes a
// C++ frame with anything to destroy; the buffers with destructors live in the callers.
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <new>

#include "files/GraphicsLib.h"
#include "files/GraphicsLibDetail.h"

namespace tintara {
namespace {

// Ancillary chunks (text, ICC profiles) may not take more than this.
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;

struct PngReadState {
  std::jmp_buf jump;
  const uint8_t* data;
  size_t size;
  size_t pos;
  int32_t maxSide;
  TMTC* out;
  GfxResult failure;  // the reason, when known before the jump
  int32_t ppmX, ppmY;
};

struct PngWriteState {
  std::jmp_buf jump;
  std::vector<uint8_t>* out;
  const CDibCore* pixels;
  int32_t ppmX, ppmY;
  GfxResult failure;
};

// Shared by reading and writing: both states start with the jump buffer.
[[noreturn]] void PngError(png_structp png, png_const_charp) {
  std::longjmp(*static_cast<std::jmp_buf*>(png_get_error_ptr(png)), 1);
}

void PngWarning(png_structp, png_const_charp) {}

void PngReadBytes(png_structp png, png_bytep out, size_t n) {
  auto* st = static_cast<PngReadState*>(png_get_io_ptr(png));
  if (n > st->size - st->pos) {
    st->failure = GfxResult::Truncated;
    png_error(png, "truncated");
  }
  std::memcpy(out, st->data + st->pos, n);
  st->pos += n;
}

// Only plain locals from here to the end of the decode: see the note at the top.
GfxResult DecodeRows(PngReadState* st) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &st->jump, PngError, PngWarning);
  if (!png) return GfxResult::NoMemory;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return GfxResult::NoMemory;
  }
  if (setjmp(st->jump)) {
    png_destroy_read_struct(&png, &info, nullptr);
    return st->failure != GfxResult::Ok ? st->failure : GfxResult::BadData;
  }
  png_set_read_fn(png, st, PngReadBytes);
  png_set_chunk_malloc_max(png, kMaxChunkBytes);
  // Our own limit, checked right after the header, is far lower than libpng's; let libpng pass
  // every legal size so that an oversized picture is reported as such.
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_read_info(png, info);

  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
  if (width > png_uint_32(st->maxSide) || height > png_uint_32(st->maxSide)) {
    st->failure = GfxResult::TooLarge;
    png_error(png, "too large");
  }
  const bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  const bool hasAlpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0 || hasTrns;
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (hasTrns) png_set_tRNS_to_alpha(png);
  if (bitDepth == 16) png_set_scale_16(png);
  if ((colorType & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(png);
  png_set_bgr(png);
  if (!hasAlpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != size_t(width) * 4) {
    st->failure = GfxResult::Unsupported;
    png_error(png, "unexpected row layout");
  }
  png_uint_32 resX = 0, resY = 0;
  int unit = 0;
  if (png_get_pHYs(png, info, &resX, &resY, &unit) && unit == PNG_RESOLUTION_METER && resX <= INT32_MAX &&
      resY <= INT32_MAX) {
    st->ppmX = int32_t(resX);
    st->ppmY = int32_t(resY);
  }
  if (!st->out->Resize(int32_t(width), int32_t(height))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return GfxResult::NoMemory;
  }
  for (int pass = 0; pass < passes; ++pass)
    for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, st->out->Row8(int32_t(y)), nullptr);
  // The rest of the stream must be there and sound too (a cut-off file is not a picture).
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return GfxResult::Ok;
}

void PngWriteBytes(png_structp png, png_bytep data, size_t n) {
  auto* st = static_cast<PngWriteState*>(png_get_io_ptr(png));
  bool full = false;
  try {
    st->out->insert(st->out->end(), data, data + n);
  } catch (const std::bad_alloc&) {
    full = true;
  }
  // Raised outside the handler: the jump must not leave an exception behind.
  if (full) {
    st->failure = GfxResult::NoMemory;
    png_error(png, "out of memory");
  }
}

void PngFlush(png_structp) {}

// Only plain locals, as in DecodeRows.
GfxResult EncodeRows(PngWriteState* st) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &st->jump, PngError, PngWarning);
  if (!png) return GfxResult::NoMemory;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return GfxResult::NoMemory;
  }
  if (setjmp(st->jump)) {
    png_destroy_write_struct(&png, &info);
    return st->failure != GfxResult::Ok ? st->failure : GfxResult::WriteFailed;
  }
  png_set_write_fn(png, st, PngWriteBytes, PngFlush);
  const png_uint_32 width = png_uint_32(st->pixels->Width());
  const png_uint_32 height = png_uint_32(st->pixels->Height());
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (st->ppmX > 0 && st->ppmY > 0)
    png_set_pHYs(png, info, png_uint_32(st->ppmX), png_uint_32(st->ppmY), PNG_RESOLUTION_METER);
  png_write_info(png, info);
  png_set_bgr(png);  // the buffers hold B, G, R, A
  for (png_uint_32 y = 0; y < height; ++y) png_write_row(png, st->pixels->Row8(int32_t(y)));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return GfxResult::Ok;
}

}  // namespace

GfxResult PngDecode(const uint8_t* data, size_t size, GraphicsImage& image, int32_t maxSide) {
  gfx_detail::ResetImage(image);
  if ((!data && size) || maxSide < 1 || maxSide > kMaxImageSide) return GfxResult::BadArgument;
  if (size < 8 || png_sig_cmp(data, 0, 8) != 0) return GfxResult::BadData;
  PngReadState st{};
  st.data = data;
  st.size = size;
  st.maxSide = maxSide;
  st.out = &image.pixels;
  st.failure = GfxResult::Ok;
  const GfxResult r = DecodeRows(&st);
  if (r != GfxResult::Ok) {
    gfx_detail::ResetImage(image);
    return r;
  }
  image.header = gfx_detail::DecodedHeader(image.pixels.Width(), image.pixels.Height(), st.ppmX,
                                           st.ppmY ? st.ppmY : st.ppmX);
  image.dpi = FileDpiFromPixelsPerMeter(st.ppmX);
  return GfxResult::Ok;
}

GfxResult PngEncode(const DibHeader& header, const CDibCore& pixels, std::vector<uint8_t>& out) {
  out.clear();
  GfxResult r = gfx_detail::CheckEncodeArgs(header, pixels);
  if (r != GfxResult::Ok) return r;
  PngWriteState st{};
  st.out = &out;
  st.pixels = &pixels;
  st.ppmX = header.xPelsPerMeter;
  st.ppmY = header.yPelsPerMeter > 0 ? header.yPelsPerMeter : header.xPelsPerMeter;
  st.failure = GfxResult::Ok;
  try {
    out.reserve(size_t(pixels.Width()) * size_t(pixels.Height()) + 1024);
  } catch (const std::bad_alloc&) {
    return GfxResult::NoMemory;
  }
  r = EncodeRows(&st);
  if (r != GfxResult::Ok) out.clear();
  return r;
}

}  // namespace tintara
