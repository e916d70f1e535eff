// Files that the bridge writes open in another program: ImageMagick reads the PNG and JPEG
// saves with the size, resolution and pixels they were given (PNG exactly, alpha included;
// JPEG within its loss). ImageMagick is one of the build's packages (scripts/install-deps),
// so a missing tool fails these tests rather than skipping them.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "GfxTestUtil.h"
#include "files/GraphicsLib.h"

namespace tintara {
namespace {

using test::MaxDiff;
using test::Pixels;
using test::RawRgbaPixels;
using test::ScratchDir;

// Runs a shell command and collects its standard output; the exit status, -1 if it did not run.
int Run(const std::string& command, std::string& out) {
  out.clear();
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int status = pclose(pipe);
  return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

bool HaveImageMagick() {
  std::string out;
  return Run("identify -version 2>/dev/null", out) == 0 && out.find("ImageMagick") != std::string::npos &&
         Run("convert -version 2>/dev/null", out) == 0 && out.find("ImageMagick") != std::string::npos;
}

#define REQUIRE_IMAGEMAGICK()                                                             \
  ASSERT_TRUE(HaveImageMagick()) << "ImageMagick's identify and convert are needed: run " \
                                    "scripts/install-deps"

// What identify says about a file.
struct Identified {
  std::string format, channels, units, interlace;
  int32_t width = 0, height = 0, depth = 0;
  double resX = 0, resY = 0;
};

bool Identify(const std::string& path, Identified& id) {
  std::string out;
  if (Run("identify -format '%m %w %h %z %[channels] %[interlace] %U %x %y' " + Quoted(path), out) != 0)
    return false;
  std::istringstream in(out);
  in >> id.format >> id.width >> id.height >> id.depth >> id.channels >> id.interlace >> id.units >>
      id.resX >> id.resY;
  return !in.fail();
}

// The pixels as ImageMagick decodes them, 8 bits per channel, R G B A, top row first.
bool ReadPixels(const std::string& path, std::vector<uint32_t>& px) {
  std::string out;
  if (Run("convert " + Quoted(path) + " -depth 8 rgba:-", out) != 0) return false;
  px = RawRgbaPixels(std::vector<uint8_t>(out.begin(), out.end()));
  return true;
}

// Alpha through its whole range, fully transparent pixels that still carry a colour among them.
TMTC MakeAlphaImage(int32_t w, int32_t h) {
  TMTC img(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t i = uint32_t(y * w + x);
      const uint32_t a = (i * 37) % 256, r = (i * 11 + 3) % 256, g = (255 - i * 5) % 256, b = (i * 71) % 256;
      img.Row32(y)[x] = a << 24 | r << 16 | g << 8 | b;
    }
  return img;
}

TEST(OutsideReader, OpensBridgePngWithSizeResolutionAndExactPixels) {
  REQUIRE_IMAGEMAGICK();
  struct Case {
    int32_t width, height;
    int32_t ppmX, ppmY;  // 0: no resolution written
  };
  const Case kCases[] = {
      {17, 9, 2835, 2835},  // 72 dpi
      {1, 1, 0, 0},
      {64, 5, 11811, 11811},  // 300 dpi
      {5, 64, 3780, 2835},    // the two directions apart
  };
  ScratchDir dir;
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " " << c.ppmX << "/" << c.ppmY);
    const TMTC src = MakeAlphaImage(c.width, c.height);
    DibHeader header = MakeDibHeader(c.width, c.height, 0);
    header.xPelsPerMeter = c.ppmX;
    header.yPelsPerMeter = c.ppmY;
    const std::string path = dir.File("bridge.png");
    ASSERT_EQ(pngSaveImage(path, header, src), GfxResult::Ok);

    Identified id;
    ASSERT_TRUE(Identify(path, id));
    EXPECT_EQ(id.format, "PNG");
    EXPECT_EQ(id.width, c.width);
    EXPECT_EQ(id.height, c.height);
    EXPECT_EQ(id.depth, 8);
    EXPECT_EQ(id.channels, "srgba");
    EXPECT_EQ(id.interlace, "None");
    if (c.ppmX == 0) {
      EXPECT_EQ(id.units, "Undefined");
    } else {
      // PNG keeps pixels per metre; ImageMagick shows them per centimetre.
      EXPECT_EQ(id.units, "PixelsPerCentimeter");
      EXPECT_NEAR(id.resX * 100, c.ppmX, 0.01);
      EXPECT_NEAR(id.resY * 100, c.ppmY, 0.01);
    }

    std::vector<uint32_t> px;
    ASSERT_TRUE(ReadPixels(path, px));
    EXPECT_EQ(px, Pixels(src));
  }
}

// The grey a JPEG encoder makes of a colour: Y of ITU-R BT.601.
uint32_t Grey(uint32_t argb) {
  const double y = 0.299 * ((argb >> 16) & 255) + 0.587 * ((argb >> 8) & 255) + 0.114 * (argb & 255);
  const uint32_t v = uint32_t(std::lround(y));
  return 0xFF000000u | v << 16 | v << 8 | v;
}

// Slopes gentle enough for the loss to stay small; alpha varies and must not reach the file.
TMTC MakeSmoothImage(int32_t w, int32_t h) {
  TMTC img(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t r = uint32_t(30 + 3 * x), g = uint32_t(200 - 2 * y), b = uint32_t(100 + x + y);
      img.Row32(y)[x] = uint32_t(x * 9 % 256) << 24 | r << 16 | g << 8 | b;
    }
  return img;
}

TEST(OutsideReader, OpensBridgeJpegWithSizeResolutionAndClosePixels) {
  REQUIRE_IMAGEMAGICK();
  struct Case {
    const char* name;
    int32_t width, height, dpi;
    JpegOptions options;
    const char* channels;
    int tolerance;  // per channel
  };
  const Case kCases[] = {
      {"baseline", 17, 9, 300, {0, 0, 0, 95, 0}, "srgb", 6},
      {"progressive", 40, 24, 72, {1, 0, 0, 90, 0}, "srgb", 8},
      {"monochrome", 33, 17, 96, {0, 1, 0, 95, 0}, "gray", 3},
      {"smoothed", 24, 16, 350, {0, 0, -1, 90, 30}, "srgb", 10},
      {"no resolution", 9, 40, 0, {0, 0, 0, 95, 0}, "srgb", 6},
  };
  ScratchDir dir;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const TMTC src = MakeSmoothImage(c.width, c.height);
    const std::string path = dir.File("bridge.jpg");
    ASSERT_EQ(jpegSaveImage(path, MakeDibHeader(c.width, c.height, c.dpi), src, c.options), GfxResult::Ok);

    Identified id;
    ASSERT_TRUE(Identify(path, id));
    EXPECT_EQ(id.format, "JPEG");
    EXPECT_EQ(id.width, c.width);
    EXPECT_EQ(id.height, c.height);
    EXPECT_EQ(id.channels, c.channels);
    EXPECT_EQ(id.interlace, c.options.progressive ? "JPEG" : "None");  // progressive scans
    if (c.dpi == 0) {
      EXPECT_EQ(id.units, "Undefined");
    } else {
      EXPECT_EQ(id.units, "PixelsPerInch");
      EXPECT_EQ(id.resX, c.dpi);
      EXPECT_EQ(id.resY, c.dpi);
    }

    std::vector<uint32_t> px;
    ASSERT_TRUE(ReadPixels(path, px));
    std::vector<uint32_t> want = Pixels(src);
    for (uint32_t& p : want) p = c.options.monochrome ? Grey(p) : p | 0xFF000000u;
    ASSERT_EQ(px.size(), want.size());
    TMTC seen(c.width, c.height);
    for (int32_t y = 0; y < c.height; ++y)
      for (int32_t x = 0; x < c.width; ++x) seen.Row32(y)[x] = px[size_t(y * c.width + x)];
    EXPECT_LE(MaxDiff(seen, want, true), c.tolerance);
  }
}

}  // namespace
}  // namespace tintara
