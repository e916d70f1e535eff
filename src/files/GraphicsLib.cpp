// The common parts of the bridge: the resolution rule, whole-file reads and atomic saves, and
// the JPEG option check.
#include "files/GraphicsLib.h"

#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>

#include "files/GraphicsLibDetail.h"
#include "platform/FileIO.h"
#include "platform/Notify.h"

namespace tintara {

int32_t DpiFromPixelsPerMeter(int32_t ppm) {
  // ppm × 2.54 / 100 + 0.41 = (ppm × 254 + 4100) / 10000, rounded with ties to even.
  const int64_t n = int64_t(ppm) * 254 + 4100;
  int64_t q = n / 10000;
  int64_t r = n % 10000;
  if (r < 0) {  // floor division for negative resolutions
    r += 10000;
    --q;
  }
  if (r > 5000 || (r == 5000 && (q & 1) != 0)) ++q;
  return int32_t(q);
}

int32_t FileDpiFromPixelsPerMeter(int32_t ppm) {
  const int32_t dpi = DpiFromPixelsPerMeter(ppm);
  return dpi >= 0 && dpi <= kMaxFileDpi ? dpi : 0;
}

namespace gfx_detail {

GfxResult ReadImageFile(const std::string& path, std::vector<uint8_t>& bytes) {
  bytes.clear();
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::is_regular_file(status)) return GfxResult::OpenFailed;
  const uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return GfxResult::OpenFailed;
  if (size > kMaxImageFileBytes) return GfxResult::TooLarge;
  try {
    bytes.reserve(size_t(size));
  } catch (const std::bad_alloc&) {
    return GfxResult::NoMemory;
  }
  if (!ReadWholeFile(path, bytes)) return GfxResult::OpenFailed;
  // The file may have grown since it was measured.
  if (bytes.size() > kMaxImageFileBytes) {
    bytes.clear();
    return GfxResult::TooLarge;
  }
  return GfxResult::Ok;
}

void ResetImage(GraphicsImage& image) {
  image.header = DibHeader{};
  image.dpi = 0;
  image.pixels.Free();
}

DibHeader DecodedHeader(int32_t width, int32_t height, int32_t ppmX, int32_t ppmY) {
  DibHeader h;
  h.width = width;
  h.height = height;
  h.bitCount = 32;
  h.imageSize = uint32_t(int64_t(width) * height * 4);
  h.xPelsPerMeter = ppmX;
  h.yPelsPerMeter = ppmY;
  return h;
}

GfxResult CheckEncodeArgs(const DibHeader& header, const CDibCore& pixels) {
  if (!pixels.IsValid() || pixels.BytesPerPixel() != 4) return GfxResult::BadArgument;
  const int64_t rows = header.height < 0 ? -int64_t(header.height) : int64_t(header.height);
  if (header.width != pixels.Width() || rows != pixels.Height()) return GfxResult::BadArgument;
  if (header.width > kMaxImageSide || rows > kMaxImageSide) return GfxResult::TooLarge;
  return GfxResult::Ok;
}

}  // namespace gfx_detail

namespace {

using DecodeFn = GfxResult (*)(const uint8_t*, size_t, GraphicsImage&, int32_t);

GfxResult GetImage(const std::string& path, GraphicsImage& image, DecodeFn decode) {
  gfx_detail::ResetImage(image);
  std::vector<uint8_t> bytes;
  const GfxResult r = gfx_detail::ReadImageFile(path, bytes);
  if (r != GfxResult::Ok) return r;
  return decode(bytes.data(), bytes.size(), image, kMaxImageSide);
}

GfxResult WriteAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
  if (path.empty()) return GfxResult::BadArgument;
  return WriteFileAtomic(path, bytes.data(), bytes.size()) ? GfxResult::Ok : GfxResult::WriteFailed;
}

}  // namespace

GfxResult bmpGetImage(const std::string& path, GraphicsImage& image) {
  return GetImage(path, image, BmpDecode);
}
GfxResult pngGetImage(const std::string& path, GraphicsImage& image) {
  return GetImage(path, image, PngDecode);
}
GfxResult jpegGetImage(const std::string& path, GraphicsImage& image) {
  return GetImage(path, image, JpegDecode);
}

GfxResult bmpSaveImage(const std::string& path, const DibHeader& header, const CDibCore& pixels) {
  GfxResult r = gfx_detail::CheckEncodeArgs(header, pixels);
  if (r != GfxResult::Ok) return r;
  std::vector<uint8_t> bytes;
  if (!EncodeBmp24(pixels, FileDpiFromPixelsPerMeter(header.xPelsPerMeter), bytes))
    return GfxResult::NoMemory;
  return WriteAtomically(path, bytes);
}

GfxResult pngSaveImage(const std::string& path, const DibHeader& header, const CDibCore& pixels) {
  std::vector<uint8_t> bytes;
  const GfxResult r = PngEncode(header, pixels, bytes);
  return r != GfxResult::Ok ? r : WriteAtomically(path, bytes);
}

GfxResult jpegSaveImage(const std::string& path, const DibHeader& header, const CDibCore& pixels,
                        const JpegOptions& options) {
  std::vector<uint8_t> bytes;
  const GfxResult r = JpegEncode(header, pixels, options, bytes);
  return r != GfxResult::Ok ? r : WriteAtomically(path, bytes);
}

std::string RangeMessage(std::string_view word, int32_t low, int32_t high) {
  const std::string w(word);
  char buf[256];
  const int n =
      std::snprintf(buf, sizeof buf, "%sは %d ～ %d にしてください！", w.c_str(), int(low), int(high));
  if (n < 0) return {};
  if (size_t(n) < sizeof buf) return std::string(buf, size_t(n));
  // A long word: format again with room for all of it.
  std::string out(size_t(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), "%sは %d ～ %d にしてください！", w.c_str(), int(low), int(high));
  out.resize(size_t(n));
  return out;
}

bool CheckJpegOptionValues(int32_t quality, int32_t smoothing) {
  const auto inRange = [](int32_t v) { return v >= kJpegValueMin && v <= kJpegValueMax; };
  if (inRange(quality) && inRange(smoothing)) return true;
  ShowWarning(RangeMessage("範囲", kJpegValueMin, kJpegValueMax));
  return false;
}

}  // namespace tintara
