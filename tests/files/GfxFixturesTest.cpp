// Files written by another program (ImageMagick 6.9; see data/README.md) open through the
// bridge with the right size, resolution and pixels, and every truncation of them fails.
#include <gtest/gtest.h>

#include "GfxTestUtil.h"
#include "files/GraphicsLib.h"

namespace tintara {
namespace {

using test::DataPath;
using test::MaxDiff;
using test::PatternPixels;
using test::RawRgbaPixels;
using test::ReadData;

enum class Codec { Bmp, Png, Jpeg };

GfxResult Get(Codec c, const std::string& path, GraphicsImage& img) {
  switch (c) {
    case Codec::Bmp:
      return bmpGetImage(path, img);
    case Codec::Png:
      return pngGetImage(path, img);
    case Codec::Jpeg:
      return jpegGetImage(path, img);
  }
  return GfxResult::BadArgument;
}

GfxResult Decode(Codec c, const std::vector<uint8_t>& b, GraphicsImage& img) {
  switch (c) {
    case Codec::Bmp:
      return BmpDecode(b.data(), b.size(), img);
    case Codec::Png:
      return PngDecode(b.data(), b.size(), img);
    case Codec::Jpeg:
      return JpegDecode(b.data(), b.size(), img);
  }
  return GfxResult::BadArgument;
}

struct FixtureCase {
  const char* file;
  Codec codec;
  // Expected pixels: the pattern itself ("alpha"), the pattern made opaque ("opaque"), or
  // ImageMagick's own decoding of the file (a raw file name).
  const char* expected;
  int tolerance;  // per channel, alpha included
  int32_t dpi;
};

const FixtureCase kFixtures[] = {
    // PNG: pHYs of 2835 per metre is 72 dpi.
    {"im_rgba_17x9.png", Codec::Png, "alpha", 0, 72},
    {"im_rgba16_17x9.png", Codec::Png, "alpha", 0, 0},
    {"im_rgba_17x9_interlaced.png", Codec::Png, "alpha", 0, 0},
    {"im_palette_trns_17x9.png", Codec::Png, "im_palette_trns_17x9.decoded.rgba", 0, 0},
    {"im_gray8_17x9.png", Codec::Png, "im_gray8_17x9.decoded.rgba", 0, 0},
    {"im_gray4_17x9.png", Codec::Png, "im_gray4_17x9.decoded.rgba", 0, 0},
    // BMP: ImageMagick writes 96 dpi as 3779 per metre, which the rule turns back into 96.
    {"im_rgb_17x9_v3.bmp", Codec::Bmp, "opaque", 0, 96},
    {"im_rgb_17x9_v5.bmp", Codec::Bmp, "opaque", 0, 96},
    {"im_rgba_17x9.bmp", Codec::Bmp, "alpha", 0, 96},
    {"im_palette8_17x9.bmp", Codec::Bmp, "opaque", 0, 0},
    {"im_palette4_17x9.bmp", Codec::Bmp, "im_palette4_17x9.decoded.rgba", 0, 0},
    {"im_mono_17x9.bmp", Codec::Bmp, "im_mono_17x9.decoded.rgba", 0, 0},
    {"im_rgb565_17x9.bmp", Codec::Bmp, "im_rgb565_17x9.decoded.rgba", 1, 0},
    // JPEG: a decoder's rounding may differ by a unit from ImageMagick's.
    {"im_rgb_17x9.jpg", Codec::Jpeg, "im_rgb_17x9.decoded.rgba", 1, 300},
    {"im_rgb_17x9_progressive.jpg", Codec::Jpeg, "im_rgb_17x9_progressive.decoded.rgba", 1, 0},
    {"im_gray_17x9.jpg", Codec::Jpeg, "im_gray_17x9.decoded.rgba", 1, 0},
    {"im_cmyk_17x9.jpg", Codec::Jpeg, "im_cmyk_17x9.decoded.rgba", 1, 0},
};

std::vector<uint32_t> ExpectedPixels(const std::string& expected) {
  if (expected == "alpha") return PatternPixels(false);
  if (expected == "opaque") return PatternPixels(true);
  return RawRgbaPixels(ReadData(expected));
}

TEST(GetImage, ReadsFilesOfAnotherProgram) {
  for (const auto& c : kFixtures) {
    GraphicsImage img;
    ASSERT_EQ(Get(c.codec, DataPath(c.file), img), GfxResult::Ok) << c.file;
    ASSERT_EQ(img.pixels.Width(), test::kPatternWidth) << c.file;
    ASSERT_EQ(img.pixels.Height(), test::kPatternHeight) << c.file;
    EXPECT_EQ(img.header.size, 40u) << c.file;
    EXPECT_EQ(img.header.width, 17) << c.file;
    EXPECT_EQ(img.header.height, 9) << c.file;
    EXPECT_EQ(img.header.bitCount, 32) << c.file;
    EXPECT_EQ(img.header.imageSize, 17u * 9u * 4u) << c.file;
    EXPECT_EQ(img.dpi, c.dpi) << c.file;
    const auto want = ExpectedPixels(c.expected);
    ASSERT_EQ(want.size(), 17u * 9u) << c.file;
    EXPECT_LE(MaxDiff(img.pixels, want, true), c.tolerance) << c.file;
  }
}

TEST(GetImage, JpegFixturesStayCloseToThePictureTheyWereMadeFrom) {
  // Independent of any decoder: the colour fixtures against the source pattern itself.
  for (const char* file : {"im_rgb_17x9.jpg", "im_rgb_17x9_progressive.jpg", "im_cmyk_17x9.jpg"}) {
    GraphicsImage img;
    ASSERT_EQ(jpegGetImage(DataPath(file), img), GfxResult::Ok) << file;
    EXPECT_LE(MaxDiff(img.pixels, PatternPixels(true), true), 8) << file;
  }
}

TEST(GetImage, RunLengthBitmapsAreRefusedAsUnsupported) {
  GraphicsImage img;
  EXPECT_EQ(bmpGetImage(DataPath("im_rle8_17x9.bmp"), img), GfxResult::Unsupported);
  EXPECT_FALSE(img.pixels.IsValid());
}

TEST(GetImage, MissingFilesAndFoldersFailToOpen) {
  GraphicsImage img;
  for (Codec c : {Codec::Bmp, Codec::Png, Codec::Jpeg}) {
    EXPECT_EQ(Get(c, DataPath("no_such_file.img"), img), GfxResult::OpenFailed);
    EXPECT_EQ(Get(c, std::string(TINTARA_TEST_DATA), img), GfxResult::OpenFailed);
  }
}

TEST(GetImage, EachDecoderRefusesTheOtherFormats) {
  const std::pair<const char*, Codec> kFiles[] = {
      {"im_rgb_17x9_v3.bmp", Codec::Bmp}, {"im_rgba_17x9.png", Codec::Png}, {"im_rgb_17x9.jpg", Codec::Jpeg}};
  for (const auto& [file, own] : kFiles) {
    const auto bytes = ReadData(file);
    for (Codec c : {Codec::Bmp, Codec::Png, Codec::Jpeg}) {
      if (c == own) continue;
      GraphicsImage img;
      EXPECT_EQ(Decode(c, bytes, img), GfxResult::BadData) << file;
      EXPECT_FALSE(img.pixels.IsValid()) << file;
    }
  }
}

// Every prefix of a file is missing part of its picture or its end and must fail, leaving the
// image empty. (Run under the sanitizers, this is also the "never reads past the end" check.)
TEST(GetImage, EveryTruncationFails) {
  struct Case {
    const char* file;
    Codec codec;
    size_t acceptedShortBy;  // a bitmap's last row may lack its padding: so many bytes may go
  };
  const Case kCases[] = {
      {"im_rgba_17x9.png", Codec::Png, 0},
      {"im_rgba_17x9_interlaced.png", Codec::Png, 0},
      {"im_palette_trns_17x9.png", Codec::Png, 0},
      {"im_rgb_17x9.jpg", Codec::Jpeg, 0},
      {"im_rgb_17x9_progressive.jpg", Codec::Jpeg, 0},
      {"im_cmyk_17x9.jpg", Codec::Jpeg, 0},
      {"im_rgba_17x9.bmp", Codec::Bmp, 0},
      {"im_rgb_17x9_v3.bmp", Codec::Bmp, 1},    // 17 × 3 = 51 bytes, padded to 52
      {"im_palette4_17x9.bmp", Codec::Bmp, 3},  // 9 bytes, padded to 12
  };
  for (const auto& c : kCases) {
    const auto whole = ReadData(c.file);
    for (size_t n = 0; n < whole.size(); ++n) {
      const std::vector<uint8_t> part(whole.begin(), whole.begin() + std::ptrdiff_t(n));
      GraphicsImage img;
      const GfxResult r = Decode(c.codec, part, img);
      if (n + c.acceptedShortBy >= whole.size()) {
        EXPECT_EQ(r, GfxResult::Ok) << c.file << " cut to " << n;
      } else {
        EXPECT_NE(r, GfxResult::Ok) << c.file << " cut to " << n;
        EXPECT_FALSE(img.pixels.IsValid()) << c.file << " cut to " << n;
      }
    }
  }
}

}  // namespace
}  // namespace tintara
