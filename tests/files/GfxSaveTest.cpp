// The save calls: 24-bit BMP on the program's own writer, the same contract for every format
// (whole files only, an existing file replaced only by a complete one), and the resolution rule.
#include <gtest/gtest.h>

#include "GfxTestUtil.h"
#include "files/GraphicsLib.h"

namespace tintara {
namespace {

using test::MakeTestImage;
using test::Pixels;
using test::ScratchDir;

TEST(DpiFromPixelsPerMeter, RoundsWithTheOffsetAndTiesToEven) {
  struct Case {
    int32_t ppm, dpi;
  };
  const Case kCases[] = {
      {0, 0},        // 0.41
      {20, 1},       // 0.508 + 0.41 = 0.918
      {2835, 72},    // 72.009 + 0.41
      {3779, 96},    // 95.987 + 0.41: what other programs write for 96 dpi
      {3780, 96},    // 96.012 + 0.41
      {11811, 300},  // 299.999 + 0.41
      {3350, 86},    // 85.09 + 0.41 = 85.5 exactly: to even
      {8350, 212},   // 212.09 + 0.41 = 212.5 exactly: to even
      {3351, 86},    // 85.5154
      {8349, 212},   // 212.4746
      {-100, -2},    // -2.54 + 0.41 = -2.13
      {INT32_MAX, 54546085},
  };
  for (const Case c : kCases) EXPECT_EQ(DpiFromPixelsPerMeter(c.ppm), c.dpi) << c.ppm;
}

TEST(DpiFromPixelsPerMeter, FileResolutionsOutsideTheDeviceRangeReadAsNone) {
  struct Case {
    int32_t ppm, dpi;
  };
  const Case kCases[] = {
      {2835, 72},       {0, 0},       {-100, 0},  // -2 by the rule
      {2580118, 65535}, {2580157, 0},             // 65536.4 by the rule
      {INT32_MAX, 0},
  };
  for (const Case c : kCases) EXPECT_EQ(FileDpiFromPixelsPerMeter(c.ppm), c.dpi) << c.ppm;
}

TEST(DpiFromPixelsPerMeter, EveryDpiSurvivesTheTripThroughPixelsPerMetre) {
  for (int32_t dpi = 1; dpi <= 4800; ++dpi)
    ASSERT_EQ(DpiFromPixelsPerMeter(MakeDibHeader(1, 1, dpi).xPelsPerMeter), dpi) << dpi;
}

TEST(BmpSave, RoundTripIsExactInColourAndOpaque) {
  ScratchDir dir;
  const std::pair<int32_t, int32_t> kSizes[] = {{1, 1}, {17, 9}, {4, 4}, {5, 2}};
  for (const auto& [w, h] : kSizes) {
    const TMTC src = MakeTestImage(w, h);
    const std::string path = dir.File("p.bmp");
    ASSERT_EQ(bmpSaveImage(path, MakeDibHeader(w, h, 300), src), GfxResult::Ok);
    GraphicsImage img;
    ASSERT_EQ(bmpGetImage(path, img), GfxResult::Ok);
    auto want = Pixels(src);
    for (auto& p : want) p |= 0xFF000000u;
    EXPECT_EQ(Pixels(img.pixels), want) << w << "x" << h;
    EXPECT_EQ(img.dpi, 300);
  }
}

TEST(BmpSave, WritesTwentyFourBitsWithTheHeadersResolution) {
  ScratchDir dir;
  const TMTC src = MakeTestImage(3, 2);
  ASSERT_EQ(bmpSaveImage(dir.File("a.bmp"), MakeDibHeader(3, 2, 72), src), GfxResult::Ok);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(ReadWholeFile(dir.File("a.bmp"), bytes));
  ASSERT_EQ(bytes.size(), 54u + 2u * 12u);
  EXPECT_EQ(bytes[28] | bytes[29] << 8, 24) << "bit count";
  EXPECT_EQ(bytes[38] | bytes[39] << 8, 2835) << "pixels per metre";
  // A resolution no device has is written as none (it once overflowed the header's conversion).
  DibHeader absurd = MakeDibHeader(3, 2, 72);
  absurd.xPelsPerMeter = absurd.yPelsPerMeter = INT32_MAX;
  ASSERT_EQ(bmpSaveImage(dir.File("b.bmp"), absurd, src), GfxResult::Ok);
  ASSERT_TRUE(ReadWholeFile(dir.File("b.bmp"), bytes));
  ASSERT_EQ(bytes.size(), 54u + 2u * 12u);
  EXPECT_EQ(bytes[38] | bytes[39] << 8 | bytes[40] << 16 | bytes[41] << 24, 0);
}

enum class Kind { Bmp, Png, Jpeg };

GfxResult Save(Kind k, const std::string& path, const DibHeader& h, const CDibCore& px) {
  switch (k) {
    case Kind::Bmp:
      return bmpSaveImage(path, h, px);
    case Kind::Png:
      return pngSaveImage(path, h, px);
    case Kind::Jpeg:
      return jpegSaveImage(path, h, px, JpegOptions{});
  }
  return GfxResult::BadArgument;
}

TEST(SaveImage, FailedSavesLeaveNoFileAndKeepTheOldOne) {
  ScratchDir dir;
  const TMTC src = MakeTestImage(6, 4);
  for (Kind k : {Kind::Bmp, Kind::Png, Kind::Jpeg}) {
    const std::string path = dir.File("keep.img");
    const std::vector<uint8_t> old{'o', 'l', 'd'};
    ASSERT_TRUE(WriteFileAtomic(path, old.data(), old.size()));
    // A header that does not describe the pixels: nothing is written.
    EXPECT_EQ(Save(k, path, MakeDibHeader(7, 4, 96), src), GfxResult::BadArgument);
    std::vector<uint8_t> now;
    ASSERT_TRUE(ReadWholeFile(path, now));
    EXPECT_EQ(now, old);
    // A folder that does not exist: the save fails and leaves nothing behind.
    EXPECT_EQ(Save(k, dir.File("missing/x.img"), MakeDibHeader(6, 4, 96), src), GfxResult::WriteFailed);
    EXPECT_EQ(Save(k, "", MakeDibHeader(6, 4, 96), src), GfxResult::BadArgument);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"keep.img"});
    // A good save replaces the old file whole.
    ASSERT_EQ(Save(k, path, MakeDibHeader(6, 4, 96), src), GfxResult::Ok);
    GraphicsImage img;
    const GfxResult r = k == Kind::Bmp   ? bmpGetImage(path, img)
                        : k == Kind::Png ? pngGetImage(path, img)
                                         : jpegGetImage(path, img);
    EXPECT_EQ(r, GfxResult::Ok);
    EXPECT_EQ(img.pixels.Width(), 6);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"keep.img"});
    std::filesystem::remove(path);
  }
}

}  // namespace
}  // namespace tintara
