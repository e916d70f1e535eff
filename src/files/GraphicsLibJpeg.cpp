// JPEG through libjpeg-turbo.
//
// libjpeg's error_exit must not return. Ours longjmps to a setjmp in a function whose locals
// are all plain C values; everything with a destructor lives in the callers, so the jump never
// passes a C++ frame with anything to destroy. Warnings that mean the entropy data is damaged
// or cut short end the decode the same way: a grey patch is not the user's picture.
#include <cstdio>  // jpeglib.h needs FILE and size_t first
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <csetjmp>
#include <cstring>
#include <new>

#include "files/GraphicsLib.h"
#include "files/GraphicsLibDetail.h"
#include "pixel/Arith.h"
#include "platform/Memory.h"

namespace tintara {
namespace {

// Working memory libjpeg may take for one picture (progressive files keep all coefficients).
constexpr long kMaxDecoderMemory = 1L << 30;
// More scans than any real progressive file has; beyond this a file only burns time.
constexpr int kMaxScans = 500;
constexpr size_t kOutputChunk = 16 * 1024;
static_assert(sizeof(unsigned long) >= sizeof(size_t), "jpeg_mem_src takes the whole size");

struct JpegErrorHook {
  jpeg_error_mgr mgr;  // first: libjpeg hands back &mgr
  std::jmp_buf jump;
  GfxResult failure;
};

JpegErrorHook* HookOf(j_common_ptr c) { return reinterpret_cast<JpegErrorHook*>(c->err); }

[[noreturn]] void Fail(j_common_ptr c, GfxResult reason) {
  JpegErrorHook* hook = HookOf(c);
  if (hook->failure == GfxResult::Ok) hook->failure = reason;
  std::longjmp(hook->jump, 1);
}

[[noreturn]] void JpegErrorExit(j_common_ptr c) {
  switch (c->err->msg_code) {
    case JERR_OUT_OF_MEMORY:
      Fail(c, GfxResult::NoMemory);
    case JERR_IMAGE_TOO_BIG:  // beyond libjpeg's own limit, and so far beyond ours
      Fail(c, GfxResult::TooLarge);
    default:
      Fail(c, GfxResult::BadData);
  }
}

void JpegEmitMessage(j_common_ptr c, int level) {
  if (level >= 0) return;  // trace output
  switch (c->err->msg_code) {
    case JWRN_JPEG_EOF:
      Fail(c, GfxResult::Truncated);
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_NOT_SEQUENTIAL:
      Fail(c, GfxResult::BadData);
    default:
      ++c->err->num_warnings;  // harmless: unknown JFIF revision, stray bytes between markers, ...
  }
}

void JpegOutputMessage(j_common_ptr) {}

void JpegProgress(j_common_ptr c) {
  if (c->is_decompressor && reinterpret_cast<j_decompress_ptr>(c)->input_scan_number > kMaxScans)
    Fail(c, GfxResult::BadData);
}

void InstallHooks(jpeg_error_mgr* mgr) {
  jpeg_std_error(mgr);
  mgr->error_exit = JpegErrorExit;
  mgr->emit_message = JpegEmitMessage;
  mgr->output_message = JpegOutputMessage;
}

struct JpegReadState {
  jpeg_decompress_struct cinfo;
  JpegErrorHook err;
  jpeg_progress_mgr progress;
  const uint8_t* data;
  size_t size;
  int32_t maxSide;
  TMTC* out;
  uint8_t* inkRow;  // CMYK scan line, freed by the caller
  int32_t ppmX, ppmY;
};

// Pixels per metre of a JFIF density (1: per inch, 2: per centimetre).
int32_t DensityToPpm(int unit, unsigned density) {
  if (unit == 1) return int32_t((int64_t(density) * 10000 + 127) / 254);
  if (unit == 2) return int32_t(density) * 100;
  return 0;
}

// Adobe writers store ink inverted (255 = no ink); others store it plainly.
void InkRowToPixels(const uint8_t* ink, uint32_t* out, int32_t width, bool inverted) {
  for (int32_t x = 0; x < width; ++x, ink += 4) {
    uint32_t c = ink[0], m = ink[1], y = ink[2], k = ink[3];
    if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
    out[x] = 0xFF000000u | uint32_t(Mul8(c, k)) << 16 | uint32_t(Mul8(m, k)) << 8 | Mul8(y, k);
  }
}

// Only plain locals from here to the end of the decode: see the note at the top.
GfxResult DecodeScanlines(JpegReadState* st) {
  j_decompress_ptr cinfo = &st->cinfo;
  InstallHooks(&st->err.mgr);
  cinfo->err = &st->err.mgr;
  if (setjmp(st->err.jump)) {
    jpeg_destroy_decompress(cinfo);
    return st->err.failure != GfxResult::Ok ? st->err.failure : GfxResult::BadData;
  }
  jpeg_create_decompress(cinfo);
  cinfo->mem->max_memory_to_use = kMaxDecoderMemory;
  st->progress.progress_monitor = JpegProgress;
  cinfo->progress = &st->progress;
  jpeg_mem_src(cinfo, st->data, static_cast<unsigned long>(st->size));
  jpeg_read_header(cinfo, TRUE);
  if (cinfo->image_width > JDIMENSION(st->maxSide) || cinfo->image_height > JDIMENSION(st->maxSide)) {
    jpeg_destroy_decompress(cinfo);
    return GfxResult::TooLarge;
  }
  bool ink = false;
  switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
      cinfo->out_color_space = JCS_EXT_BGRA;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      cinfo->out_color_space = JCS_CMYK;
      ink = true;
      break;
    default:
      jpeg_destroy_decompress(cinfo);
      return GfxResult::Unsupported;
  }
  if (cinfo->saw_JFIF_marker) {
    st->ppmX = DensityToPpm(cinfo->density_unit, cinfo->X_density);
    st->ppmY = DensityToPpm(cinfo->density_unit, cinfo->Y_density);
  }
  jpeg_start_decompress(cinfo);
  const int32_t width = int32_t(cinfo->output_width), height = int32_t(cinfo->output_height);
  if (cinfo->output_components != 4 || width < 1 || height < 1) {
    jpeg_destroy_decompress(cinfo);
    return GfxResult::Unsupported;
  }
  if (!st->out->Resize(width, height)) {
    jpeg_destroy_decompress(cinfo);
    return GfxResult::NoMemory;
  }
  if (ink) {
    st->inkRow = static_cast<uint8_t*>(MemAlloc(size_t(width) * 4));
    if (!st->inkRow) {
      jpeg_destroy_decompress(cinfo);
      return GfxResult::NoMemory;
    }
  }
  while (cinfo->output_scanline < cinfo->output_height) {
    const int32_t y = int32_t(cinfo->output_scanline);
    JSAMPROW row = ink ? st->inkRow : st->out->Row8(y);
    if (jpeg_read_scanlines(cinfo, &row, 1) != 1)
      Fail(reinterpret_cast<j_common_ptr>(cinfo), GfxResult::BadData);
    if (ink) InkRowToPixels(st->inkRow, st->out->Row32(y), width, cinfo->saw_Adobe_marker);
  }
  jpeg_finish_decompress(cinfo);
  jpeg_destroy_decompress(cinfo);
  return GfxResult::Ok;
}

struct JpegWriteState {
  jpeg_compress_struct cinfo;
  JpegErrorHook err;
  jpeg_destination_mgr dest;
  std::vector<uint8_t>* out;
  const CDibCore* pixels;
  JpegOptions options;
  int32_t dpi;
  JOCTET chunk[kOutputChunk];
};

JpegWriteState* WriteStateOf(j_compress_ptr c) { return static_cast<JpegWriteState*>(c->client_data); }

// Appends to the output vector; false when there is no memory (the caller then fails).
bool AppendOutput(JpegWriteState* st, size_t n) {
  try {
    st->out->insert(st->out->end(), st->chunk, st->chunk + n);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void DestInit(j_compress_ptr c) {
  JpegWriteState* st = WriteStateOf(c);
  st->dest.next_output_byte = st->chunk;
  st->dest.free_in_buffer = kOutputChunk;
}

boolean DestEmpty(j_compress_ptr c) {
  JpegWriteState* st = WriteStateOf(c);
  // libjpeg wants the whole chunk taken, whatever free_in_buffer says.
  if (!AppendOutput(st, kOutputChunk)) Fail(reinterpret_cast<j_common_ptr>(c), GfxResult::NoMemory);
  st->dest.next_output_byte = st->chunk;
  st->dest.free_in_buffer = kOutputChunk;
  return TRUE;
}

void DestTerm(j_compress_ptr c) {
  JpegWriteState* st = WriteStateOf(c);
  if (!AppendOutput(st, kOutputChunk - st->dest.free_in_buffer))
    Fail(reinterpret_cast<j_common_ptr>(c), GfxResult::NoMemory);
}

// Only plain locals, as in DecodeScanlines.
GfxResult EncodeScanlines(JpegWriteState* st) {
  j_compress_ptr cinfo = &st->cinfo;
  InstallHooks(&st->err.mgr);
  cinfo->err = &st->err.mgr;
  if (setjmp(st->err.jump)) {
    jpeg_destroy_compress(cinfo);
    return st->err.failure != GfxResult::Ok ? st->err.failure : GfxResult::WriteFailed;
  }
  jpeg_create_compress(cinfo);
  cinfo->client_data = st;
  st->dest.init_destination = DestInit;
  st->dest.empty_output_buffer = DestEmpty;
  st->dest.term_destination = DestTerm;
  cinfo->dest = &st->dest;
  cinfo->image_width = JDIMENSION(st->pixels->Width());
  cinfo->image_height = JDIMENSION(st->pixels->Height());
  cinfo->input_components = 4;
  cinfo->in_color_space = JCS_EXT_BGRA;
  jpeg_set_defaults(cinfo);
  if (st->options.monochrome) jpeg_set_colorspace(cinfo, JCS_GRAYSCALE);
  jpeg_set_quality(cinfo, st->options.quality, TRUE);
  cinfo->smoothing_factor = st->options.smoothingOn ? st->options.smoothing : 0;
  if (st->options.progressive) jpeg_simple_progression(cinfo);
  cinfo->write_JFIF_header = TRUE;
  if (st->dpi > 0) {
    cinfo->density_unit = 1;
    cinfo->X_density = cinfo->Y_density = UINT16(st->dpi);
  }
  jpeg_start_compress(cinfo, TRUE);
  while (cinfo->next_scanline < cinfo->image_height) {
    JSAMPROW row = st->pixels->Row8(int32_t(cinfo->next_scanline));
    jpeg_write_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_compress(cinfo);
  jpeg_destroy_compress(cinfo);
  return GfxResult::Ok;
}

}  // namespace

GfxResult JpegDecode(const uint8_t* data, size_t size, GraphicsImage& image, int32_t maxSide) {
  gfx_detail::ResetImage(image);
  if ((!data && size) || maxSide < 1 || maxSide > kMaxImageSide) return GfxResult::BadArgument;
  if (size < 3 || data[0] != 0xFF || data[1] != 0xD8) return GfxResult::BadData;
  JpegReadState st{};
  st.data = data;
  st.size = size;
  st.maxSide = maxSide;
  st.out = &image.pixels;
  st.err.failure = GfxResult::Ok;
  const GfxResult r = DecodeScanlines(&st);
  MemFree(st.inkRow);
  if (r != GfxResult::Ok) {
    gfx_detail::ResetImage(image);
    return r;
  }
  image.header = gfx_detail::DecodedHeader(image.pixels.Width(), image.pixels.Height(), st.ppmX, st.ppmY);
  image.dpi = FileDpiFromPixelsPerMeter(st.ppmX);
  return GfxResult::Ok;
}

GfxResult JpegEncode(const DibHeader& header, const CDibCore& pixels, const JpegOptions& options,
                     std::vector<uint8_t>& out) {
  out.clear();
  GfxResult r = gfx_detail::CheckEncodeArgs(header, pixels);
  if (r != GfxResult::Ok) return r;
  const auto inRange = [](int32_t v) { return v >= kJpegValueMin && v <= kJpegValueMax; };
  if (!inRange(options.quality) || !inRange(options.smoothing)) return GfxResult::BadArgument;
  // The state holds the output chunk: keep it off the stack.
  void* block = MemAlloc(sizeof(JpegWriteState));
  if (!block) return GfxResult::NoMemory;
  auto* st = new (block) JpegWriteState{};
  st->out = &out;
  st->pixels = &pixels;
  st->options = options;
  st->dpi = FileDpiFromPixelsPerMeter(header.xPelsPerMeter);
  st->err.failure = GfxResult::Ok;
  r = EncodeScanlines(st);
  MemFree(st);
  if (r != GfxResult::Ok) out.clear();
  return r;
}

}  // namespace tintara
