#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <filesystem>

#include "PixelTestUtil.h"
#include "pixel/Bmp.h"
#include "pixel/ColorOps.h"
#include "platform/FileIO.h"

namespace tintara {
namespace {

using test::Dump;
using test::Grid;
using test::Load;

// Builds BMP bytes field by field, independently of the writer under test.
struct BmpSpec {
  uint16_t magic = 19778;
  uint32_t infoSize = 40;
  int32_t width = 2;
  int32_t height = 2;
  uint16_t bitCount = 24;
  uint32_t compression = 0;
  uint32_t clrUsed = 0;
  int32_t ppm = 2835;       // 72 dpi
  int64_t dataOffset = -1;  // -1: right after the headers
  size_t gap = 0;           // junk bytes between headers and pixels
  int64_t pixelBytes = -1;  // -1: exactly what the rows need
};

std::vector<uint8_t> BuildBmp(const BmpSpec& s) {
  std::vector<uint8_t> b;
  auto u16 = [&](uint32_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  const int64_t rowBytes = s.bitCount == 24 ? ((int64_t(s.width) * 3 + 3) & ~3) : int64_t(s.width) * 4;
  const int64_t rows = s.height < 0 ? -int64_t(s.height) : s.height;
  const int64_t need = s.pixelBytes >= 0 ? s.pixelBytes : rowBytes * rows;
  const size_t masks = (s.compression == 3) ? 12 : 0;
  const uint32_t headerEnd = uint32_t(14 + s.infoSize + masks);
  u16(s.magic);
  u32(uint32_t(headerEnd + s.gap + size_t(need)));
  u32(0);
  u32(s.dataOffset >= 0 ? uint32_t(s.dataOffset) : uint32_t(headerEnd + s.gap));
  u32(s.infoSize);
  u32(uint32_t(s.width));
  u32(uint32_t(s.height));
  u16(1);
  u16(s.bitCount);
  u32(s.compression);
  u32(0);
  u32(uint32_t(s.ppm));
  u32(uint32_t(s.ppm));
  u32(s.clrUsed);
  u32(0);
  for (uint32_t i = 40; i < s.infoSize; ++i) b.push_back(0);
  for (size_t i = 0; i < masks; ++i) b.push_back(0xEE);
  for (size_t i = 0; i < s.gap; ++i) b.push_back(0xAB);
  // Pixels: file row k, byte j gets (k * 16 + j) so every byte is recognisable.
  for (int64_t i = 0; i < need; ++i) {
    const int64_t k = rowBytes ? i / rowBytes : 0, j = rowBytes ? i % rowBytes : 0;
    b.push_back(uint8_t(k * 16 + j));
  }
  return b;
}

TEST(BmpRead, TwentyFourBitRowsAreBottomUpAndPadded) {
  // 2 x 2, rows of 8 bytes (6 + 2 padding). File row 0 is the bottom row.
  const auto bytes = BuildBmp({});
  TMTC img(2, 2);
  FillAll(img, 0x7F000000);  // alpha is left as it was
  int32_t dpi = 0;
  ASSERT_TRUE(ReadBmp(img, bytes.data(), bytes.size(), &dpi));
  EXPECT_EQ(dpi, 72);
  EXPECT_EQ(Dump(img), (Grid{{0x7F121110, 0x7F151413}, {0x7F020100, 0x7F050403}}));
}

TEST(BmpRead, NegativeHeightIsTopDown) {
  BmpSpec s;
  s.height = -2;
  s.bitCount = 32;
  const auto bytes = BuildBmp(s);
  TMTC img;
  ASSERT_TRUE(ReadBmp(img, bytes.data(), bytes.size()));
  EXPECT_EQ(Dump(img), (Grid{{0x03020100, 0x07060504}, {0x13121110, 0x17161514}}));
}

TEST(BmpRead, WidthOneReadsFourByteRows) {
  BmpSpec s;
  s.width = 1;
  s.height = 3;
  const auto bytes = BuildBmp(s);
  ASSERT_EQ(bytes.size(), 54u + 12u);
  TMTC img;
  ASSERT_TRUE(ReadBmp(img, bytes.data(), bytes.size()));
  EXPECT_EQ(Dump(img), (Grid{{0x00222120}, {0x00121110}, {0x00020100}}));
}

TEST(BmpRead, HonoursThePixelOffsetAndBitFields) {
  BmpSpec s;
  s.gap = 6;  // the offset field points past six junk bytes
  const auto bytes = BuildBmp(s);
  TMTC img;
  ASSERT_TRUE(ReadBmp(img, bytes.data(), bytes.size()));
  EXPECT_EQ(*img.Pixel(0, 1), 0x00020100u);

  BmpSpec bf;
  bf.bitCount = 32;
  bf.compression = 3;
  bf.clrUsed = 3;
  const auto b2 = BuildBmp(bf);
  TMTC img32;
  ASSERT_TRUE(ReadBmp(img32, b2.data(), b2.size()));
  EXPECT_EQ(*img32.Pixel(0, 1), 0x03020100u);

  // An offset into the headers cannot be where pixels start: they follow the headers.
  BmpSpec inside;
  inside.dataOffset = 20;
  const auto b4 = BuildBmp(inside);
  TMTC img4;
  ASSERT_TRUE(ReadBmp(img4, b4.data(), b4.size()));
  EXPECT_EQ(*img4.Pixel(0, 1), 0x00020100u);
  // A valid offset that leaves too few bytes for the rows is refused.
  BmpSpec late;
  late.gap = 6;
  auto b5 = BuildBmp(late);
  b5.resize(b5.size() - 3);
  TMTC img5;
  EXPECT_FALSE(ReadBmp(img5, b5.data(), b5.size()));

  // An offset outside the file is ignored: the pixels follow the headers.
  BmpSpec off;
  off.dataOffset = 100000;
  const auto b3 = BuildBmp(off);
  TMTC img3;
  ASSERT_TRUE(ReadBmp(img3, b3.data(), b3.size()));
  EXPECT_EQ(*img3.Pixel(0, 1), 0x00020100u);
}

TEST(BmpRead, MalformedInputIsRefused) {
  struct Case {
    const char* name;
    BmpSpec spec;
    size_t cut;  // bytes removed from the end
  };
  auto with = [](auto f) {
    BmpSpec s;
    f(s);
    return s;
  };
  const Case kCases[] = {
      {"wrong magic", with([](BmpSpec& s) { s.magic = 0x4D43; }), 0},
      {"info header 108", with([](BmpSpec& s) { s.infoSize = 108; }), 0},
      {"info header 12", with([](BmpSpec& s) { s.infoSize = 12; }), 0},
      {"bit count 8", with([](BmpSpec& s) { s.bitCount = 8; }), 0},
      {"bit count 16", with([](BmpSpec& s) { s.bitCount = 16; }), 0},
      {"run-length compression", with([](BmpSpec& s) { s.compression = 1; }), 0},
      {"bit fields without three masks", with([](BmpSpec& s) {
         s.compression = 3;
         s.bitCount = 32;
       }),
       0},
      {"truncated rows", BmpSpec{}, 1},
      {"width 0", with([](BmpSpec& s) { s.width = 0; }), 0},
      {"negative width", with([](BmpSpec& s) { s.width = -4; }), 0},
      {"height 0", with([](BmpSpec& s) { s.height = 0; }), 0},
      {"absurd width", with([](BmpSpec& s) {
         s.width = INT32_MAX;
         s.pixelBytes = 64;
       }),
       0},
      {"most negative height", with([](BmpSpec& s) {
         s.height = INT32_MIN;
         s.pixelBytes = 64;
       }),
       0},
      {"size overflowing 32 bits", with([](BmpSpec& s) {
         s.width = 1 << 20;
         s.height = 1 << 20;
         s.bitCount = 32;
         s.pixelBytes = 16;
       }),
       0},
      {"rows beyond the bytes", with([](BmpSpec& s) {
         s.width = 1000;
         s.height = 1000;
         s.pixelBytes = 4000;
       }),
       0},
  };
  for (const auto& c : kCases) {
    auto bytes = BuildBmp(c.spec);
    bytes.resize(bytes.size() - c.cut);
    TMTC img;
    EXPECT_FALSE(ReadBmp(img, bytes.data(), bytes.size())) << c.name;
    // Nothing was allocated for a file that does not hold its pixels.
    EXPECT_FALSE(img.IsValid()) << c.name;
  }
  // Every prefix of a good file is refused without reading past it.
  const auto good = BuildBmp({});
  for (size_t n = 0; n < good.size(); ++n) {
    std::vector<uint8_t> prefix(good.begin(), good.begin() + long(n));
    TMTC img;
    EXPECT_FALSE(ReadBmp(img, prefix.data(), prefix.size())) << n;
  }
  TMTC img;
  EXPECT_FALSE(ReadBmp(img, nullptr, 0));
}

TEST(BmpWrite, TwentyFourBitFileLayout) {
  TMTC img(1, 2);
  Load(img, {{0xFF010203}, {0x00040506}});
  std::vector<uint8_t> out;
  ASSERT_TRUE(EncodeBmp24(img, 72, out));
  ASSERT_EQ(out.size(), 54u + 2 * 4);
  EXPECT_EQ(out[0], 'B');
  EXPECT_EQ(out[1], 'M');
  EXPECT_EQ(out[2], 62);                    // file size
  EXPECT_EQ(out[10], 54);                   // data offset
  EXPECT_EQ(out[14], 40);                   // info header size
  EXPECT_EQ(out[28], 24);                   // bit count
  EXPECT_EQ(out[34], 8);                    // image size ((1*3+3)&~3) * 2
  EXPECT_EQ(out[38] | out[39] << 8, 2835);  // 72 * 100 / 2.54 = 2834.6
  // Bottom row first: (4,5,6) then (1,2,3) as B, G, R.
  const std::vector<uint8_t> pixels(out.begin() + 54, out.end());
  EXPECT_EQ(pixels, (std::vector<uint8_t>{6, 5, 4, 0, 3, 2, 1, 0}));
}

TEST(BmpWrite, RoundTripsThroughTheReader) {
  for (auto [w, h] : {std::pair{1, 1}, {3, 2}, {5, 7}, {64, 3}}) {
    TMTC img(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        *img.Pixel(x, y) = 0xFF000000u | uint32_t(x * 40 + y) << 8 | uint32_t(y * 7 + x);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(EncodeBmp24(img, 96, bytes));
    TMTC back(w, h);
    SetAlphaAll(back, 255);
    int32_t dpi = 0;
    ASSERT_TRUE(ReadBmp(back, bytes.data(), bytes.size(), &dpi));
    EXPECT_EQ(dpi, 96);
    EXPECT_EQ(Dump(back), Dump(img)) << w << "x" << h;
    // 32-bit packed DIB behind a file header reads back with alpha.
    std::vector<uint8_t> dib;
    ASSERT_TRUE(PackDib(img, 32, 96, dib));
    std::vector<uint8_t> file = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0};
    file.insert(file.end(), dib.begin(), dib.end());
    TMTC back32;
    ASSERT_TRUE(ReadBmp(back32, file.data(), file.size()));
    EXPECT_EQ(Dump(back32), Dump(img));
  }
}

TEST(BmpWrite, PackedDibOfTwentyFourBits) {
  TMTC img(2, 1);
  Load(img, {{0x00112233, 0x00445566}});
  std::vector<uint8_t> dib;
  ASSERT_TRUE(PackDib(img, 24, 72, dib));
  ASSERT_EQ(dib.size(), 40u + 8u);
  EXPECT_EQ(dib[14], 24);
  const std::vector<uint8_t> px(dib.begin() + 40, dib.end());
  EXPECT_EQ(px, (std::vector<uint8_t>{0x33, 0x22, 0x11, 0x66, 0x55, 0x44, 0, 0}));
  EXPECT_FALSE(PackDib(img, 16, 72, dib));
  TMTC empty;
  EXPECT_FALSE(PackDib(empty, 32, 72, dib));
}

TEST(BmpWrite, FileOnDisk) {
  const auto path =
      std::filesystem::temp_directory_path() / ("tintara-bmp-" + std::to_string(getpid()) + ".bmp");
  TMTC img(3, 3);
  FillAll(img, 0xFF336699);
  ASSERT_TRUE(WriteBmp24(img, path.string()));
  TMTC back;
  ASSERT_TRUE(ReadBmpFile(back, path.string()));
  SetAlphaAll(back, 255);
  EXPECT_EQ(Dump(back), Dump(img));
  std::filesystem::remove(path);
  EXPECT_FALSE(WriteBmp24(img, "/nonexistent-dir/x.bmp"));
  EXPECT_FALSE(ReadBmpFile(back, "/nonexistent-dir/x.bmp"));
}

}  // namespace
}  // namespace tintara
