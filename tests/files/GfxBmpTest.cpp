// Bitmap decoding through the bridge: every header size, bit depth and mask layout, the
// refusals, the size limit, and bmpConv32 on packed rows.
#include <gtest/gtest.h>

#include "GfxTestUtil.h"
#include "files/GraphicsLib.h"
#include "pixel/Bmp.h"
#include "platform/Memory.h"

namespace tintara {
namespace {

using Grid = std::vector<std::vector<uint32_t>>;

Grid Dump(const CDibCore& b) {
  Grid g(size_t(b.Height()), std::vector<uint32_t>(size_t(b.Width())));
  for (int32_t y = 0; y < b.Height(); ++y)
    for (int32_t x = 0; x < b.Width(); ++x) g[size_t(y)][size_t(x)] = b.Row32(y)[x];
  return g;
}

// Builds bitmap file bytes field by field, independently of the code under test.
struct BmpBuild {
  uint16_t magic = 19778;
  uint32_t infoSize = 40;
  int32_t width = 2;
  int32_t height = 1;
  uint16_t bitCount = 24;
  uint32_t compression = 0;
  uint32_t clrUsed = 0;
  int32_t ppm = 2835;             // 72 dpi
  std::vector<uint32_t> masks;    // inside headers of 52 bytes and more, else after the header
  std::vector<uint32_t> palette;  // 0x00RRGGBB
  std::vector<uint8_t> rows;      // the stored pixel bytes, as they are
  int64_t dataOffset = -1;        // -1: where the pixels really start
  size_t gap = 0;                 // junk between the palette and the pixels
};

std::vector<uint8_t> Build(const BmpBuild& s) {
  std::vector<uint8_t> b;
  auto u16 = [&](uint32_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  const bool core = s.infoSize == 12;
  const size_t masksAfter = s.infoSize == 40 ? s.masks.size() * 4 : 0;
  const size_t paletteBytes = s.palette.size() * (core ? 3 : 4);
  const size_t start = 14 + s.infoSize + masksAfter + paletteBytes + s.gap;
  u16(s.magic);
  u32(uint32_t(start + s.rows.size()));
  u32(0);
  u32(s.dataOffset >= 0 ? uint32_t(s.dataOffset) : uint32_t(start));
  u32(s.infoSize);
  if (core) {
    u16(uint32_t(s.width));
    u16(uint32_t(s.height));
    u16(1);
    u16(s.bitCount);
  } else {
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
    for (size_t i = 0; i < s.masks.size() && 40 + 4 * i < s.infoSize; ++i) u32(s.masks[i]);
    while (b.size() < 14 + s.infoSize) b.push_back(0);
    if (s.infoSize == 40)
      for (uint32_t m : s.masks) u32(m);
  }
  for (uint32_t c : s.palette) {
    b.push_back(uint8_t(c)), b.push_back(uint8_t(c >> 8)), b.push_back(uint8_t(c >> 16));
    if (!core) b.push_back(0);
  }
  b.insert(b.end(), s.gap, 0xAB);
  b.insert(b.end(), s.rows.begin(), s.rows.end());
  return b;
}

template <class F>
BmpBuild With(F f) {
  BmpBuild s;
  f(s);
  return s;
}

struct DecodeCase {
  const char* name;
  BmpBuild layout;
  Grid expected;  // top row first
  int32_t dpi;
};

constexpr uint32_t kC0 = 0xFF102030, kC1 = 0xFFA0B0C0;

const DecodeCase kDecodeCases[] = {
    {"24 bits, bottom row first, padded rows",
     With([](BmpBuild& s) {
       s.height = 2;
       s.rows = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
     }),
     {{0xFF090807, 0xFF0C0B0A}, {0xFF030201, 0xFF060504}},
     72},
    {"1 bit across a byte boundary",
     With([](BmpBuild& s) {
       s.width = 9;
       s.height = 2;
       s.bitCount = 1;
       s.palette = {0x102030, 0xA0B0C0};
       s.rows = {0xA0, 0x80, 0, 0, 0x01, 0x00, 0, 0};  // bottom: x 0, 2, 8 set; top: x 7 set
     }),
     {{kC0, kC0, kC0, kC0, kC0, kC0, kC0, kC1, kC0}, {kC1, kC0, kC1, kC0, kC0, kC0, kC0, kC0, kC1}},
     72},
    {"4 bits: an index past the palette is black",
     With([](BmpBuild& s) {
       s.width = 3;
       s.bitCount = 4;
       s.clrUsed = 2;
       s.palette = {0x102030, 0xA0B0C0};
       s.rows = {0x01, 0xF0, 0, 0};
     }),
     {{kC0, kC1, 0xFF000000}},
     72},
    {"8 bits, top row first",
     With([](BmpBuild& s) {
       s.height = -2;
       s.bitCount = 8;
       s.clrUsed = 3;
       s.palette = {0x102030, 0xA0B0C0, 0x0000FF};
       s.rows = {2, 1, 0, 0, 0, 2, 0, 0};
     }),
     {{0xFF0000FF, kC1}, {kC0, 0xFF0000FF}},
     72},
    {"16 bits as 5-5-5, stretched to 0..255",
     With([](BmpBuild& s) {
       s.width = 3;
       s.bitCount = 16;
       s.rows = {0xFF, 0x7F, 0x10, 0x00, 0x00, 0x7C, 0, 0};
     }),
     {{0xFFFFFFFF, 0xFF000084, 0xFFFF0000}},  // 16 of 31 -> (16 * 255 + 15) / 31 = 132
     72},
    {"16 bits as 5-6-5 bit fields after the header",
     With([](BmpBuild& s) {
       s.width = 3;
       s.bitCount = 16;
       s.compression = 3;
       s.masks = {0xF800, 0x07E0, 0x001F};
       s.rows = {0x00, 0xF8, 0x20, 0x00, 0x1F, 0x00, 0, 0};
     }),
     {{0xFFFF0000, 0xFF000400, 0xFF0000FF}},  // 1 of 63 -> (255 + 31) / 63 = 4
     72},
    {"32 bits plain keep their alpha bytes",
     With([](BmpBuild& s) {
       s.bitCount = 32;
       s.rows = {1, 2, 3, 0x80, 4, 5, 6, 0};
     }),
     {{0x80030201, 0x00060504}},
     72},
    {"32 bits plain without any alpha are opaque",
     With([](BmpBuild& s) {
       s.bitCount = 32;
       s.rows = {1, 2, 3, 0, 4, 5, 6, 0};
     }),
     {{0xFF030201, 0xFF060504}},
     72},
    {"32-bit fields of a 124-byte header, alpha mask honoured",
     With([](BmpBuild& s) {
       s.infoSize = 124;
       s.width = 1;
       s.bitCount = 32;
       s.compression = 3;
       s.masks = {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000};  // R, G, B, A bytes
       s.rows = {0x11, 0x22, 0x33, 0x44};
     }),
     {{0x44112233}},
     72},
    {"32-bit fields after a 40-byte header have no alpha",
     With([](BmpBuild& s) {
       s.width = 1;
       s.bitCount = 32;
       s.compression = 3;
       s.masks = {0xFF0000, 0xFF00, 0xFF};
       s.rows = {1, 2, 3, 0x80};
     }),
     {{0xFF030201}},
     72},
    {"alpha bit fields after a 40-byte header",
     With([](BmpBuild& s) {
       s.width = 1;
       s.bitCount = 32;
       s.compression = 6;
       s.masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
       s.rows = {1, 2, 3, 0x80};
     }),
     {{0x80030201}},
     72},
    {"10-bit fields keep their top eight bits",
     With([](BmpBuild& s) {
       s.width = 1;
       s.bitCount = 32;
       s.compression = 3;
       s.masks = {0x3FF00000, 0x000FFC00, 0x000003FF};
       s.rows = {0x01, 0x00, 0xF8, 0x3F};  // R 0x3FF, G 0x200, B 0x001
     }),
     {{0xFFFF8000}},
     72},
    {"12-byte header with a three-byte palette and no resolution",
     With([](BmpBuild& s) {
       s.infoSize = 12;
       s.bitCount = 1;
       s.palette = {0x010203, 0x040506};
       s.rows = {0x80, 0, 0, 0};
     }),
     {{0xFF040506, 0xFF010203}},
     0},
    {"52-byte header holds the masks; its resolution does not count",
     With([](BmpBuild& s) {
       s.infoSize = 52;
       s.width = 1;
       s.bitCount = 16;
       s.compression = 3;
       s.masks = {0xF800, 0x07E0, 0x001F};
       s.rows = {0x00, 0xF8, 0, 0};
     }),
     {{0xFFFF0000}},
     0},
    {"56-byte header holds an alpha mask too",
     With([](BmpBuild& s) {
       s.infoSize = 56;
       s.width = 1;
       s.bitCount = 32;
       s.compression = 3;
       s.masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
       s.rows = {1, 2, 3, 0x80};
     }),
     {{0x80030201}},
     0},
    {"108-byte header: 3779 per metre is 96 dpi",
     With([](BmpBuild& s) {
       s.infoSize = 108;
       s.width = 1;
       s.ppm = 3779;
       s.rows = {1, 2, 3, 0};
     }),
     {{0xFF030201}},
     96},
    {"a resolution no device has reads as none",
     With([](BmpBuild& s) {
       s.width = 1;
       s.ppm = 0x7FFFFFFD;
       s.rows = {1, 2, 3, 0};
     }),
     {{0xFF030201}},
     0},
    {"a negative resolution reads as none",
     With([](BmpBuild& s) {
       s.width = 1;
       s.ppm = -3780;
       s.rows = {1, 2, 3, 0};
     }),
     {{0xFF030201}},
     0},
    {"the pixel offset skips a gap",
     With([](BmpBuild& s) {
       s.width = 1;
       s.gap = 6;
       s.rows = {1, 2, 3, 0};
     }),
     {{0xFF030201}},
     72},
    {"a pixel offset outside the file is ignored",
     With([](BmpBuild& s) {
       s.width = 1;
       s.dataOffset = 100000;
       s.rows = {1, 2, 3, 0};
     }),
     {{0xFF030201}},
     72},
    {"a pixel offset into the headers is ignored",
     With([](BmpBuild& s) {
       s.width = 1;
       s.dataOffset = 20;
       s.rows = {1, 2, 3, 0};
     }),
     {{0xFF030201}},
     72},
};

TEST(BmpDecode, ReadsEveryLayout) {
  for (const auto& c : kDecodeCases) {
    const auto bytes = Build(c.layout);
    GraphicsImage img;
    ASSERT_EQ(BmpDecode(bytes.data(), bytes.size(), img), GfxResult::Ok) << c.name;
    EXPECT_EQ(Dump(img.pixels), c.expected) << c.name;
    EXPECT_EQ(img.dpi, c.dpi) << c.name;
    EXPECT_EQ(img.header.width, img.pixels.Width()) << c.name;
    EXPECT_EQ(img.header.height, img.pixels.Height()) << c.name;
    EXPECT_EQ(img.header.bitCount, 32) << c.name;
  }
}

struct RefuseCase {
  const char* name;
  BmpBuild layout;
  GfxResult expected;
  size_t cut = 0;  // bytes removed from the end
};

const RefuseCase kRefuseCases[] = {
    {"wrong magic", With([](BmpBuild& s) { s.magic = 0x4142; }), GfxResult::BadData},
    {"info header of 8 bytes", With([](BmpBuild& s) { s.infoSize = 8; }), GfxResult::BadData},
    {"info header of 64 bytes", With([](BmpBuild& s) { s.infoSize = 64; }), GfxResult::Unsupported},
    {"info header cut short", With([](BmpBuild& s) { s.rows = {1, 2, 3, 0, 4, 5, 6, 0}; }),
     GfxResult::Truncated, 8 + 30},
    {"bit count 0", With([](BmpBuild& s) { s.bitCount = 0; }), GfxResult::BadData},
    {"bit count 2", With([](BmpBuild& s) { s.bitCount = 2; }), GfxResult::BadData},
    {"bit count 48", With([](BmpBuild& s) { s.bitCount = 48; }), GfxResult::BadData},
    {"16 bits in a 12-byte header", With([](BmpBuild& s) {
       s.infoSize = 12;
       s.bitCount = 16;
     }),
     GfxResult::BadData},
    {"run-length 8", With([](BmpBuild& s) {
       s.bitCount = 8;
       s.compression = 1;
     }),
     GfxResult::Unsupported},
    {"run-length 4", With([](BmpBuild& s) {
       s.bitCount = 4;
       s.compression = 2;
     }),
     GfxResult::Unsupported},
    {"embedded JPEG", With([](BmpBuild& s) { s.compression = 4; }), GfxResult::Unsupported},
    {"unknown compression", With([](BmpBuild& s) { s.compression = 7; }), GfxResult::BadData},
    {"bit fields on 24 bits", With([](BmpBuild& s) {
       s.compression = 3;
       s.masks = {0xFF0000, 0xFF00, 0xFF};
     }),
     GfxResult::BadData},
    {"a mask in two pieces", With([](BmpBuild& s) {
       s.bitCount = 32;
       s.compression = 3;
       s.masks = {0x00FF00FF, 0xFF00, 0};
       s.rows.assign(8, 0);
     }),
     GfxResult::BadData},
    {"alpha bit fields with no room for the alpha mask", With([](BmpBuild& s) {
       s.infoSize = 52;
       s.bitCount = 32;
       s.compression = 6;
       s.masks = {0xFF0000, 0xFF00, 0xFF};
       s.rows.assign(8, 0);
     }),
     GfxResult::BadData},
    {"bit-field masks missing", With([](BmpBuild& s) {
       s.bitCount = 32;
       s.compression = 3;
     }),
     GfxResult::Truncated},
    {"width 0", With([](BmpBuild& s) { s.width = 0; }), GfxResult::BadData},
    {"negative width", With([](BmpBuild& s) { s.width = -3; }), GfxResult::BadData},
    {"height 0", With([](BmpBuild& s) { s.height = 0; }), GfxResult::BadData},
    {"most negative height", With([](BmpBuild& s) { s.height = INT32_MIN; }), GfxResult::BadData},
    {"300 palette entries", With([](BmpBuild& s) {
       s.bitCount = 8;
       s.clrUsed = 300;
     }),
     GfxResult::BadData},
    {"palette beyond the file", With([](BmpBuild& s) {
       s.bitCount = 8;
       s.clrUsed = 200;
       s.palette = {1, 2, 3};
     }),
     GfxResult::Truncated},
    {"rows beyond the file", With([](BmpBuild& s) {
       s.height = 2;
       s.rows = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8};
     }),
     GfxResult::Truncated},
    {"huge rows beyond the file", With([](BmpBuild& s) {
       s.width = 9000;
       s.height = 9000;
       s.bitCount = 32;
       s.rows.assign(64, 0);
     }),
     GfxResult::Truncated},
    {"wider than the picture limit", With([](BmpBuild& s) { s.width = 10001; }), GfxResult::TooLarge},
    {"taller than the picture limit", With([](BmpBuild& s) { s.height = -10001; }), GfxResult::TooLarge},
    {"far wider than the limit", With([](BmpBuild& s) { s.width = INT32_MAX; }), GfxResult::TooLarge},
};

TEST(BmpDecode, RefusesWhatItCannotReadWithoutAllocating) {
  for (const auto& c : kRefuseCases) {
    auto bytes = Build(c.layout);
    bytes.resize(bytes.size() - c.cut);
    GraphicsImage img;
    ScopedAllocFailure noMemory;  // a refusal must come before any pixel memory is asked for
    EXPECT_EQ(BmpDecode(bytes.data(), bytes.size(), img), c.expected) << c.name;
    EXPECT_EQ(noMemory.FailedCount(), 0) << c.name;
    EXPECT_FALSE(img.pixels.IsValid()) << c.name;
  }
}

TEST(BmpDecode, PictureLimitIsInclusive) {
  const auto wide = Build(With([](BmpBuild& s) {
    s.width = 10000;
    s.rows.assign(30000, 0x40);
  }));
  GraphicsImage img;
  ASSERT_EQ(BmpDecode(wide.data(), wide.size(), img), GfxResult::Ok);
  EXPECT_EQ(img.pixels.Width(), 10000);
  EXPECT_EQ(*img.pixels.Pixel(9999, 0), 0xFF404040u);
}

TEST(BmpDecode, HonoursTheCallersSideLimit) {
  const auto bytes = Build(With([](BmpBuild& s) {
    s.width = 3;
    s.height = 2;
    s.rows.assign(24, 0);
  }));
  struct Case {
    int32_t maxSide;
    GfxResult expected;
  };
  for (const Case c : {Case{2, GfxResult::TooLarge}, Case{3, GfxResult::Ok}, Case{0, GfxResult::BadArgument},
                       Case{10001, GfxResult::BadArgument}}) {
    GraphicsImage img;
    EXPECT_EQ(BmpDecode(bytes.data(), bytes.size(), img, c.maxSide), c.expected) << c.maxSide;
  }
}

TEST(BmpDecode, OutOfMemoryIsReportedAndLeavesTheImageEmpty) {
  const auto bytes = Build(With([](BmpBuild& s) { s.rows = {1, 2, 3, 4, 5, 6, 0, 0}; }));
  GraphicsImage img;
  ScopedAllocFailure noMemory;
  EXPECT_EQ(BmpDecode(bytes.data(), bytes.size(), img), GfxResult::NoMemory);
  EXPECT_GT(noMemory.FailedCount(), 0);
  EXPECT_FALSE(img.pixels.IsValid());
}

TEST(BmpDecode, EmptyAndNullInput) {
  GraphicsImage img;
  EXPECT_EQ(BmpDecode(nullptr, 0, img), GfxResult::BadData);
  EXPECT_EQ(BmpDecode(nullptr, 10, img), GfxResult::BadArgument);
}

// --- bmpConv32 --------------------------------------------------------------------------------

DibHeader Header(int32_t w, int32_t h, uint16_t bits, uint32_t compression = 0) {
  DibHeader hd;
  hd.width = w;
  hd.height = h;
  hd.bitCount = bits;
  hd.compression = compression;
  return hd;
}

TEST(BmpConv32, FillsTheTargetFromPackedRows) {
  struct Case {
    const char* name;
    DibHeader header;
    std::vector<uint8_t> bits;
    Grid expected;
  };
  const Case kCases[] = {
      {"24 bits bottom-up",
       Header(2, 2, 24),
       {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0},
       {{0xFF090807, 0xFF0C0B0A}, {0xFF030201, 0xFF060504}}},
      {"32 bits top-down keep alpha",
       Header(1, -2, 32),
       {1, 2, 3, 0x80, 4, 5, 6, 0x40},
       {{0x80030201}, {0x40060504}}},
      {"32 bits without alpha are opaque",
       Header(1, 2, 32),
       {1, 2, 3, 0, 4, 5, 6, 0},
       {{0xFF060504}, {0xFF030201}}},
      {"16 bits as 5-5-5", Header(2, 1, 16), {0xFF, 0x7F, 0x1F, 0x00}, {{0xFFFFFFFF, 0xFF0000FF}}},
  };
  for (const auto& c : kCases) {
    TMTC target;
    ASSERT_EQ(bmpConv32(c.header, c.bits.data(), c.bits.size(), target), GfxResult::Ok) << c.name;
    EXPECT_EQ(Dump(target), c.expected) << c.name;
  }
}

TEST(BmpConv32, RefusesRowsItCannotRead) {
  struct Case {
    const char* name;
    DibHeader header;
    size_t bytes;
    GfxResult expected;
  };
  const Case kCases[] = {
      {"bit fields need masks the record lacks", Header(1, 1, 32, 3), 4, GfxResult::Unsupported},
      {"palette formats need a palette", Header(4, 1, 8), 4, GfxResult::Unsupported},
      {"rows shorter than the header says", Header(2, 2, 24), 13, GfxResult::Truncated},
      {"width 0", Header(0, 1, 24), 4, GfxResult::BadData},
      {"height 0", Header(1, 0, 24), 4, GfxResult::BadData},
      {"above the picture limit", Header(10001, 1, 24), 4, GfxResult::TooLarge},
  };
  const std::vector<uint8_t> bits(64, 7);
  for (const auto& c : kCases) {
    TMTC target;
    EXPECT_EQ(bmpConv32(c.header, bits.data(), c.bytes, target), c.expected) << c.name;
    EXPECT_FALSE(target.IsValid()) << c.name;
  }
  TMTC target;
  EXPECT_EQ(bmpConv32(Header(1, 1, 24), nullptr, 4, target), GfxResult::BadArgument);
}

TEST(BmpConv32, ReadsWhatThePixelLibraryPacks) {
  const TMTC src = test::MakeTestImage(5, 3);
  for (uint16_t bits : {uint16_t(24), uint16_t(32)}) {
    std::vector<uint8_t> dib;
    ASSERT_TRUE(PackDib(src, bits, 96, dib));
    TMTC target;
    ASSERT_EQ(bmpConv32(MakeDibHeader(5, 3, 96, bits), dib.data() + 40, dib.size() - 40, target),
              GfxResult::Ok);
    const uint32_t alphaMask = bits == 24 ? 0xFF000000u : 0;
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(*target.Pixel(x, y), *src.Pixel(x, y) | alphaMask) << bits;
  }
}

}  // namespace
}  // namespace tintara
