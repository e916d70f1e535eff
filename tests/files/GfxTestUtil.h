// Helpers for the graphics-library bridge tests: fixtures, the fixture pattern, pixel
// comparisons and a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "files/GraphicsLib.h"
#include "files/GraphicsLibResult.h"
#include "platform/FileIO.h"

namespace tintara {

// Readable results in test failures.
inline void PrintTo(GfxResult r, std::ostream* os) { *os << "GfxResult(" << ResultCode(r) << ")"; }

}  // namespace tintara

namespace tintara::test {

inline std::string DataPath(const std::string& name) { return std::string(TINTARA_TEST_DATA) + "/" + name; }

inline std::vector<uint8_t> ReadData(const std::string& name) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(ReadWholeFile(DataPath(name), bytes)) << name;
  return bytes;
}

// The 17 × 9 picture every fixture was made from (R, G, B, A as written to the raw file).
inline constexpr int32_t kPatternWidth = 17;
inline constexpr int32_t kPatternHeight = 9;
inline uint32_t PatternPixel(int32_t x, int32_t y) {
  const uint32_t r = uint32_t(15 * x), g = uint32_t(28 * y), b = uint32_t(128 + 5 * x - 8 * y);
  const uint32_t a = uint32_t(255 - 10 * x - 5 * y);
  return a << 24 | r << 16 | g << 8 | b;
}

// Raw R, G, B, A rows (as ImageMagick writes "rgba:") into 0xAARRGGBB pixels.
inline std::vector<uint32_t> RawRgbaPixels(const std::vector<uint8_t>& raw) {
  std::vector<uint32_t> px(raw.size() / 4);
  for (size_t i = 0; i < px.size(); ++i)
    px[i] = uint32_t(raw[4 * i + 3]) << 24 | uint32_t(raw[4 * i]) << 16 | uint32_t(raw[4 * i + 1]) << 8 |
            raw[4 * i + 2];
  return px;
}

inline int ChannelDiff(uint32_t a, uint32_t b, int shift) {
  return std::abs(int((a >> shift) & 255) - int((b >> shift) & 255));
}

// Largest difference of any channel (alpha included when withAlpha) over the whole image.
inline int MaxDiff(const CDibCore& img, const std::vector<uint32_t>& expected, bool withAlpha) {
  int worst = 0;
  for (int32_t y = 0; y < img.Height(); ++y)
    for (int32_t x = 0; x < img.Width(); ++x) {
      const uint32_t got = img.Row32(y)[x], want = expected[size_t(y) * size_t(img.Width()) + size_t(x)];
      for (int s = 0; s < (withAlpha ? 32 : 24); s += 8) worst = std::max(worst, ChannelDiff(got, want, s));
    }
  return worst;
}

inline std::vector<uint32_t> Pixels(const CDibCore& img) {
  std::vector<uint32_t> px;
  for (int32_t y = 0; y < img.Height(); ++y)
    for (int32_t x = 0; x < img.Width(); ++x) px.push_back(img.Row32(y)[x]);
  return px;
}

inline std::vector<uint32_t> PatternPixels(bool opaque) {
  std::vector<uint32_t> px;
  for (int32_t y = 0; y < kPatternHeight; ++y)
    for (int32_t x = 0; x < kPatternWidth; ++x) px.push_back(PatternPixel(x, y) | (opaque ? 0xFF000000u : 0));
  return px;
}

// A w × h picture with every channel varying, smooth enough for JPEG, with alpha varying too.
inline TMTC MakeTestImage(int32_t w, int32_t h) {
  TMTC img(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t r = uint32_t(x * 255 / std::max(1, w - 1)), g = uint32_t(y * 255 / std::max(1, h - 1));
      const uint32_t b = uint32_t((x + y) * 255 / std::max(1, w + h - 2));
      const uint32_t a = uint32_t(255 - (x * 7 + y * 3) % 200);
      img.Row32(y)[x] = a << 24 | r << 16 | g << 8 | b;
    }
  return img;
}

// The CRC of PNG chunks (polynomial 0xEDB88320), for tests that edit a chunk and keep it valid.
inline uint32_t Crc32(const uint8_t* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
  }
  return c ^ 0xFFFFFFFFu;
}

inline void PutBe32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
}

// A fresh folder for files a test writes, removed with everything in it afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("tintara_files_" + std::to_string(getpid()) + "_" + std::to_string(++counter));
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string File(const std::string& name) const { return (path_ / name).string(); }
  // Names of everything in the folder (to see that no temporary file was left behind).
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_))
      names.push_back(e.path().filename().string());
    return names;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace tintara::test
