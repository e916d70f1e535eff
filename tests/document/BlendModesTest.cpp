#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "document/BlendModes.h"
#include "pixel/PixelTypes.h"

namespace tintara {
namespace {

struct PixelCase {
  int32_t code;
  uint32_t d, s;
  uint8_t t;
  uint32_t expected;
};

// Worked out from each mode's formula by a separate script (not by this code): three
// pixel pairs that between them take both sides of every branch, at full, partial and
// zero weight.
const PixelCase kOpaqueCases[] = {
    {0, 0xFFC86400, 0x8080FF00, 255, 0xFF646400},  {0, 0xFFC86400, 0x8080FF00, 128, 0xFF966400},
    {0, 0x40FF007F, 0xFF7F01FE, 255, 0x407F007E},  {0, 0x40FF007F, 0xFF7F01FE, 77, 0x40D9007F},
    {0, 0xFF1080F0, 0xC040C0FF, 200, 0xFF0667F0},  {0, 0xFF1080F0, 0xC040C0FF, 0, 0xFF1080F0},
    {1, 0xFFC86400, 0x8080FF00, 255, 0xFFFFFF00},  {1, 0xFFC86400, 0x8080FF00, 128, 0xFFFFE400},
    {1, 0x40FF007F, 0xFF7F01FE, 255, 0x40FF01FF},  {1, 0x40FF007F, 0xFF7F01FE, 77, 0x40FF00CB},
    {1, 0xFF1080F0, 0xC040C0FF, 200, 0xFF42FFFF},  {1, 0xFF1080F0, 0xC040C0FF, 0, 0xFF1080F0},
    {2, 0xFFC86400, 0x8080FF00, 255, 0xFF480000},  {2, 0xFFC86400, 0x8080FF00, 128, 0xFF880000},
    {2, 0x40FF007F, 0xFF7F01FE, 255, 0x40800000},  {2, 0x40FF007F, 0xFF7F01FE, 77, 0x40D90033},
    {2, 0xFF1080F0, 0xC040C0FF, 200, 0xFF000028},  {2, 0xFF1080F0, 0xC040C0FF, 0, 0xFF1080F0},
    {3, 0xFFC86400, 0x8080FF00, 255, 0xFF80FF00},  {3, 0xFFC86400, 0x8080FF00, 128, 0xFFA3B100},
    {3, 0x40FF007F, 0xFF7F01FE, 255, 0x407F01FE},  {3, 0x40FF007F, 0xFF7F01FE, 77, 0x40D800A5},
    {3, 0xFF1080F0, 0xC040C0FF, 200, 0xFF35B2FB},  {3, 0xFF1080F0, 0xC040C0FF, 0, 0xFF1080F0},
    {4, 0xFFC86400, 0x8080FF00, 255, 0xFFE4FF00},  {4, 0xFFC86400, 0x8080FF00, 128, 0xFFD6B100},
    {4, 0x40FF007F, 0xFF7F01FE, 255, 0x40FF01FF},  {4, 0x40FF007F, 0xFF7F01FE, 77, 0x40FF00A5},
    {4, 0xFF1080F0, 0xC040C0FF, 200, 0xFF3FCBFB},  {4, 0xFF1080F0, 0xC040C0FF, 0, 0xFF1080F0},
    {5, 0xFFC86400, 0x8080FF00, 255, 0xFFC8C800},  {5, 0xFFC86400, 0x8080FF00, 128, 0xFFC89600},
    {5, 0x40FF007F, 0xFF7F01FE, 255, 0x40FF00FD},  {5, 0x40FF007F, 0xFF7F01FE, 77, 0x40FF00A5},
    {5, 0xFF1080F0, 0xC040C0FF, 200, 0xFF09B2FB},  {5, 0xFF1080F0, 0xC040C0FF, 0, 0xFF1080F0},
    {6, 0xFFC86400, 0x8080FF00, 255, 0xFFC8FF00},  {6, 0xFFC86400, 0x8080FF00, 128, 0xFFC8B100},
    {6, 0x40FF007F, 0xFF7F01FE, 255, 0x40FE00FD},  {6, 0x40FF007F, 0xFF7F01FE, 77, 0x40FE00A5},
    {6, 0xFF1080F0, 0xC040C0FF, 200, 0xFF09B2FB},  {6, 0xFF1080F0, 0xC040C0FF, 0, 0xFF1080F0},
    {7, 0xFFC86400, 0x8080FF00, 255, 0xFFC89F00},  {7, 0xFFC86400, 0x8080FF00, 128, 0xFFC88100},
    {7, 0x40FF007F, 0xFF7F01FE, 255, 0x40FF00B2},  {7, 0x40FF007F, 0xFF7F01FE, 77, 0x40FF008E},
    {7, 0xFF1080F0, 0xC040C0FF, 200, 0xFF0A94F5},  {7, 0xFF1080F0, 0xC040C0FF, 0, 0xFF1080F0},
    {8, 0xFFC86400, 0x8080FF00, 255, 0xFF489B00},  {8, 0xFFC86400, 0x8080FF00, 128, 0xFF877F00},
    {8, 0x40FF007F, 0xFF7F01FE, 255, 0x4080017F},  {8, 0x40FF007F, 0xFF7F01FE, 77, 0x40D8007F},
    {8, 0xFF1080F0, 0xC040C0FF, 200, 0xFF294D3F},  {8, 0xFF1080F0, 0xC040C0FF, 0, 0xFF1080F0},
    {9, 0xFFC86400, 0x8080FF00, 255, 0xFF809B00},  {9, 0xFFC86400, 0x8080FF00, 128, 0xFFA37F00},
    {9, 0x40FF007F, 0xFF7F01FE, 255, 0x40800181},  {9, 0x40FF007F, 0xFF7F01FE, 77, 0x40D8007F},
    {9, 0xFF1080F0, 0xC040C0FF, 200, 0xFF3B803F},  {9, 0xFF1080F0, 0xC040C0FF, 0, 0xFF1080F0},
    {10, 0xFFC86400, 0x8080FF00, 255, 0xFF806400}, {10, 0xFFC86400, 0x8080FF00, 128, 0xFFA36400},
    {10, 0x40FF007F, 0xFF7F01FE, 255, 0x407F007F}, {10, 0x40FF007F, 0xFF7F01FE, 77, 0x40D8007F},
    {10, 0xFF1080F0, 0xC040C0FF, 200, 0xFF1080F0}, {10, 0xFF1080F0, 0xC040C0FF, 0, 0xFF1080F0},
    {11, 0xFFC86400, 0x8080FF00, 255, 0xFFC8FF00}, {11, 0xFFC86400, 0x8080FF00, 128, 0xFFC8B100},
    {11, 0x40FF007F, 0xFF7F01FE, 255, 0x40FF01FE}, {11, 0x40FF007F, 0xFF7F01FE, 77, 0x40FF00A5},
    {11, 0xFF1080F0, 0xC040C0FF, 200, 0xFF35B2FB}, {11, 0xFF1080F0, 0xC040C0FF, 0, 0xFF1080F0},
    {12, 0xFFC86400, 0x8080FF00, 255, 0xFF926400}, {12, 0xFFC86400, 0x8080FF00, 128, 0xFFAC6400},
    {12, 0x40FF007F, 0xFF7F01FE, 255, 0x40FF007F}, {12, 0x40FF007F, 0xFF7F01FE, 77, 0x40FF007F},
    {12, 0xFF1080F0, 0xC040C0FF, 200, 0xFF035FF0}, {12, 0xFF1080F0, 0xC040C0FF, 0, 0xFF1080F0},
    {13, 0xFFC86400, 0x8080FF00, 255, 0xFFFFFF00}, {13, 0xFFC86400, 0x8080FF00, 128, 0xFFE3B100},
    {13, 0x40FF007F, 0xFF7F01FE, 255, 0x40FF00FF}, {13, 0x40FF007F, 0xFF7F01FE, 77, 0x40FF00A5},
    {13, 0xFF1080F0, 0xC040C0FF, 200, 0xFF13E3FB}, {13, 0xFF1080F0, 0xC040C0FF, 0, 0xFF1080F0},
    {14, 0xFFC86400, 0x8080FF00, 255, 0xFF50A000}, {14, 0xFFC86400, 0x8080FF00, 128, 0xFF8B8200},
    {14, 0x40FF007F, 0xFF7F01FE, 255, 0x408E20FF}, {14, 0x40FF007F, 0xFF7F01FE, 77, 0x40DC09A5},
    {14, 0xFF1080F0, 0xC040C0FF, 200, 0xFF038ADA}, {14, 0xFF1080F0, 0xC040C0FF, 0, 0xFF1080F0},
    {15, 0xFFC86400, 0x8080FF00, 255, 0xFFC86300}, {15, 0xFFC86400, 0x8080FF00, 128, 0xFFC86300},
    {15, 0x40FF007F, 0xFF7F01FE, 255, 0x40FD007E}, {15, 0x40FF007F, 0xFF7F01FE, 77, 0x40FE007E},
    {15, 0xFF1080F0, 0xC040C0FF, 200, 0xFF1A7DE1}, {15, 0xFF1080F0, 0xC040C0FF, 0, 0xFF1080F0},
    {16, 0xFFC86400, 0x8080FF00, 255, 0xFF50A000}, {16, 0xFFC86400, 0x8080FF00, 128, 0xFF8B8200},
    {16, 0x40FF007F, 0xFF7F01FE, 255, 0x408F1FFF}, {16, 0x40FF007F, 0xFF7F01FE, 77, 0x40DD09A5},
    {16, 0xFF1080F0, 0xC040C0FF, 200, 0xFF0C88D2}, {16, 0xFF1080F0, 0xC040C0FF, 0, 0xFF1080F0},
    {17, 0xFFC86400, 0x8080FF00, 255, 0xFFFFAC58}, {17, 0xFFC86400, 0x8080FF00, 128, 0xFFE3882C},
    {17, 0x40FF007F, 0xFF7F01FE, 255, 0x40BD005E}, {17, 0x40FF007F, 0xFF7F01FE, 77, 0x40EB0075},
    {17, 0xFF1080F0, 0xC040C0FF, 200, 0xFF4DA4FB}, {17, 0xFF1080F0, 0xC040C0FF, 0, 0xFF1080F0},
    {18, 0xFFC86400, 0x8080FF00, 255, 0xFF496400}, {18, 0xFFC86400, 0x8080FF00, 128, 0xFF896400},
    {18, 0x40FF007F, 0xFF7F01FE, 255, 0x407F007E}, {18, 0x40FF007F, 0xFF7F01FE, 77, 0x40D9007F},
    {18, 0xFF1080F0, 0xC040C0FF, 200, 0xFF004FF0}, {18, 0xFF1080F0, 0xC040C0FF, 0, 0xFF1080F0},
    {19, 0xFFC86400, 0x8080FF00, 255, 0xFFC8FF00}, {19, 0xFFC86400, 0x8080FF00, 128, 0xFFC8B100},
    {19, 0x40FF007F, 0xFF7F01FE, 255, 0x40FD00FF}, {19, 0x40FF007F, 0xFF7F01FE, 77, 0x40FE00A5},
    {19, 0xFF1080F0, 0xC040C0FF, 200, 0xFF03E3FB}, {19, 0xFF1080F0, 0xC040C0FF, 0, 0xFF1080F0},
    {20, 0xFFC86400, 0x8080FF00, 255, 0xFFC8FF00}, {20, 0xFFC86400, 0x8080FF00, 128, 0xFFC8B100},
    {20, 0x40FF007F, 0xFF7F01FE, 255, 0x40FF00FF}, {20, 0x40FF007F, 0xFF7F01FE, 77, 0x40FF00A5},
    {20, 0xFF1080F0, 0xC040C0FF, 200, 0xFF03E3FB}, {20, 0xFF1080F0, 0xC040C0FF, 0, 0xFF1080F0},
    {21, 0xFFC86400, 0x8080FF00, 255, 0xFFC8FF00}, {21, 0xFFC86400, 0x8080FF00, 128, 0xFFC8B100},
    {21, 0x40FF007F, 0xFF7F01FE, 255, 0x40FE00FD}, {21, 0x40FF007F, 0xFF7F01FE, 77, 0x40FE00A5},
    {21, 0xFF1080F0, 0xC040C0FF, 200, 0xFF1080FB}, {21, 0xFF1080F0, 0xC040C0FF, 0, 0xFF1080F0},
};

TEST(BlendOpaque, EveryModeOnTheCaseTable) {
  for (const auto& c : kOpaqueCases) {
    uint32_t p = c.d;
    BlendOpaque(c.code)(&p, c.s, c.t);
    EXPECT_EQ(p, c.expected) << "mode " << c.code << std::hex << " d=" << c.d << " s=" << c.s
                             << " t=" << int(c.t) << " got " << p;
  }
}

struct ChannelCase {
  uint8_t (*f)(uint32_t, uint32_t);
  const char* name;
  uint8_t d, s, expected;
};

const ChannelCase kChannelCases[] = {
    {LinearLightChannel, "linear light 100/128", 100, 128, 100},
    {LinearLightChannel, "linear light 100/127", 100, 127, 98},  // 256, not 255
    {LinearLightChannel, "linear light clamps high", 250, 200, 255},
    {LinearLightChannel, "linear light clamps low", 10, 20, 0},
    {BurnChannel, "burn s=0 d=255", 255, 0, 255},
    {BurnChannel, "burn s=0 d=254", 254, 0, 0},
    {BurnChannel, "burn s=255 keeps d", 77, 255, 77},
    {DodgeChannel, "dodge s=255 d=1", 1, 255, 255},
    {DodgeChannel, "dodge s=255 d=0", 0, 255, 0},
    {DodgeChannel, "dodge s=0 keeps d", 77, 0, 77},
    {VividLightChannel, "vivid s=255", 0, 255, 255},
    {VividLightChannel, "vivid s=0", 255, 0, 0},
    {VividLightChannel, "vivid s=128", 100, 128, 100},  // (100*255/127) >> 1
    {VividLightChannel, "vivid s=127", 100, 127, 100},  // 255 - min(255, (155*255/127) >> 1)
    {PinLightChannel, "pin light low", 200, 50, 100},
    {PinLightChannel, "pin light high", 10, 200, 145},
    {PinLightChannel, "pin light between", 120, 128, 120},
    {OverlayChannel, "overlay d>=128", 128, 0, 1},  // (65025 - 2*255*127) div 255
    {OverlayChannel, "overlay d<128", 127, 255, 254},
    {HardLightChannel, "hard light s>=128", 0, 128, 1},
    {ScreenChannel, "screen", 128, 128, 192},
    {ExclusionChannel, "exclusion", 255, 255, 0},
    {DifferenceChannel, "difference", 3, 250, 247},
    {SoftLightChannel, "soft light s=128 d=0", 0, 128, 0},
    {SoftLightChannel, "soft light s=255 d=64", 64, 255, 127},
    {SoftLightChannel, "soft light s=0 d=128", 128, 0, 65},  // (32640 - 255 * 63) / 255
};

TEST(BlendChannels, EdgeCases) {
  for (const auto& c : kChannelCases) EXPECT_EQ(c.f(c.d, c.s), c.expected) << c.name;
  // D(d) at the ends and across the two branches (x <= 16384 is d <= 63).
  EXPECT_EQ(SoftLightD(0), 0);
  EXPECT_EQ(SoftLightD(255), 255);
  EXPECT_EQ(SoftLightD(64), 127);  // sqrt(0.251) * 255
  EXPECT_EQ(SoftLightD(63), 126);  // the cubic branch
}

TEST(BlendModes, MultiplyByWhiteIsIdentityForAnyWeight) {
  for (int t = 0; t < 256; t += 5) {
    uint32_t p = 0x7F123456;
    BlendOpaque(kModeMultiply)(&p, 0x00FFFFFF, uint8_t(t));
    EXPECT_EQ(p, 0x7F123456u) << t;
  }
}

TEST(BlendModes, HueOfAGreySourceIsGreyAtTheDestinationLuminance) {
  uint32_t p = 0xFF3070C0;
  const uint32_t L = Luminance(p);
  BlendOpaque(kModeHue)(&p, 0xFF808080, 255);
  EXPECT_EQ(p, 0xFF000000u | L << 16 | L << 8 | L);
}

TEST(BlendModes, SmallDivisionIsExactOverItsWholeRange) {
  for (uint32_t d = 1; d < 256; ++d)
    for (uint32_t x = 0; x <= 65025; ++x) ASSERT_EQ(DivideSmall(x, d), x / d) << x << "/" << d;
}

TEST(BlendModes, SetSatLumMeetsTheTargetLuminanceWithinOneLevel) {
  std::mt19937 rng(11);
  for (int i = 0; i < 20000; ++i) {
    const uint32_t c = rng() & 0x00FFFFFF, k = rng() % 256, L = rng() % 256;
    const uint32_t out = SetSatLum(c | 0xAB000000, k, L);
    ASSERT_LE(std::abs(int(Luminance(out)) - int(L)), 1) << std::hex << c << " " << k << " " << L;
    ASSERT_EQ(out >> 24, 0xABu);
  }
}

TEST(BlendModes, WithAlphaIsOpaqueAtScaledWeightAndRowsMatchPixels) {
  const uint32_t kLevels[] = {0, 1, 64, 127, 128, 200, 254, 255};
  std::vector<uint32_t> ds, ss;
  for (uint32_t a : {0u, 77u, 255u})
    for (uint32_t r : kLevels)
      for (uint32_t g : {0u, 128u, 255u})
        for (uint32_t b : kLevels) ds.push_back(a << 24 | r << 16 | g << 8 | b);
  for (uint32_t a : {0u, 1u, 128u, 255u})
    for (uint32_t r : kLevels)
      for (uint32_t g : {0u, 127u, 255u})
        for (uint32_t b : {0u, 200u}) ss.push_back(a << 24 | r << 16 | g << 8 | b);
  for (int32_t code = 0; code < kModeCount; ++code) {
    for (int t : {0, 1, 128, 200, 255}) {
      std::vector<uint32_t> rowD, rowS;
      for (uint32_t d : ds)
        for (uint32_t s : ss) {
          uint32_t a = d, b = d;
          BlendWithAlpha(code)(&a, s, uint8_t(t));
          BlendOpaque(code)(&b, s, Mul8(uint32_t(t), s >> 24));
          ASSERT_EQ(a, b) << "mode " << code;
          ASSERT_EQ(b >> 24, d >> 24) << "mode " << code << ": alpha changed";
          if ((s >> 24) == 0) {
            ASSERT_EQ(a, d) << "mode " << code << ": transparent source changed something";
          }
          rowD.push_back(d);
          rowS.push_back(s);
        }
      std::vector<uint32_t> expect = rowD;
      for (size_t i = 0; i < expect.size(); ++i) BlendWithAlpha(code)(&expect[i], rowS[i], uint8_t(t));
      BlendWithAlphaRow(code)(rowD.data(), rowS.data(), int32_t(rowD.size()), uint8_t(t));
      ASSERT_EQ(rowD, expect) << "row loop of mode " << code << " t " << t;
    }
  }
}

TEST(BlendModes, DitheredRowsBlendOnlyPixelsThatPassTheGate) {
  SRandomState r;
  Seed(r, 12345, 0, 255);  // draws 98, 73, 20, 141, 161, 87
  std::vector<uint32_t> dst(6, 0xFF000000), src(6, 0xFFFFFFFF);
  src[2] = 0x10FFFFFF;  // Mul8(160, 16) = 10: the draw 20 does not pass
  DitheredRow(BlendWithAlpha(kModeNormal), dst.data(), src.data(), 6, 255, r, 160);
  EXPECT_EQ(dst,
            (std::vector<uint32_t>{0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF}));
  EXPECT_EQ(r.drawCount, 6u);  // one draw per pixel, blended or not
  // The gate of the pixel layer gives the same answer pixel by pixel.
  SRandomState r2;
  Seed(r2, 12345, 0, 255);
  ThresholdGate gate;
  gate.Setup(BlendSet, r2, 160);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(gate.Pass(src[size_t(i)]), (dst[size_t(i)] & 0xFFFFFF) != 0) << i;
}

TEST(BlendModes, TableAndLookups) {
  const SLayerParam* normal = ModeRow(kModeNormal);
  ASSERT_NE(normal, nullptr);
  EXPECT_EQ(normal->code, 3);
  EXPECT_EQ(ModeName(3), "標準");
  EXPECT_EQ(ModeName(18), "減算(ネガ)");
  EXPECT_EQ(ModeName(7), "ソフトライト");
  EXPECT_EQ(ModeName(21), "ピンライト");
  EXPECT_EQ(ModeRow(22), nullptr);
  EXPECT_EQ(ModeRow(-1), nullptr);
  EXPECT_EQ(NeutralColor(kModeOverlay), 0x007F7F7Fu);
  EXPECT_EQ(NeutralColor(kModeMultiply), 0x00FFFFFFu);
  EXPECT_EQ(ModeRow(kModeSubtract)->flags, 0x21u);
  EXPECT_EQ(ModeRow(kModeHue)->mergeStart, 0x00FFFFFFu);
  EXPECT_EQ(ModeRow(kModeVividLight)->flags, 0x02u);
  // Bytes above 21 blend as 21; the high bit is not part of the code.
  EXPECT_EQ(EffectiveMode(0x83), 3);
  EXPECT_EQ(EffectiveMode(40), 21);
  EXPECT_EQ(BlendOpaque(99), BlendOpaque(21));
  const int32_t order[] = {3, 0, 1, 2, 18, 4, 5, 6, 7, 19, 20, 21, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
  for (int32_t i = 0; i < 22; ++i) {
    EXPECT_EQ(ModeAtPosition(i), order[i]);
    EXPECT_EQ(PositionOfMode(order[i]), i);
  }
  EXPECT_EQ(ModeAtPosition(22), 3);
  EXPECT_EQ(ModeAtPosition(-1), 3);
  EXPECT_EQ(PositionOfMode(30), 0);
  EXPECT_EQ(LevelZeroTileProc(0), BlendMultiply);
  EXPECT_EQ(LevelZeroTileProc(2), BlendSubtract);
  EXPECT_EQ(LevelZeroTileProc(5), BlendWithAlpha(3));
}

const PixelCase kMergeCases[] = {
    {0, 0x80204060, 0xC0F08010, 200, 0xCB6C4B21},  {0, 0x00000000, 0x00FFFFFF, 255, 0x00000000},
    {0, 0x00123456, 0x00ABCDEF, 255, 0x00123456},  {0, 0xFF102030, 0x40E0D0C0, 255, 0xFF0F1E2C},
    {0, 0x20FF8000, 0x00000000, 255, 0x20FF8000},  {0, 0x20FF8000, 0x10204080, 128, 0x27D17216},
    {0, 0x00445566, 0x80102030, 255, 0x80102030},  {1, 0x80204060, 0xC0F08010, 200, 0xFF9D6B39},
    {1, 0x00000000, 0x00FFFFFF, 255, 0x00000000},  {1, 0x00123456, 0x00ABCDEF, 255, 0x00123456},
    {1, 0xFF102030, 0x40E0D0C0, 255, 0xFF485460},  {1, 0x20FF8000, 0x00000000, 255, 0x20FF8000},
    {1, 0x20FF8000, 0x10204080, 128, 0xFF211204},  {1, 0x00445566, 0x80102030, 255, 0x80102030},
    {2, 0x80204060, 0xC0F08010, 200, 0xFF9D6B39},  {2, 0x00000000, 0x00FFFFFF, 255, 0x00000000},
    {2, 0x00123456, 0x00ABCDEF, 255, 0x00123456},  {2, 0xFF102030, 0x40E0D0C0, 255, 0xFF485460},
    {2, 0x20FF8000, 0x00000000, 255, 0x20FF8000},  {2, 0x20FF8000, 0x10204080, 128, 0xFF211204},
    {2, 0x00445566, 0x80102030, 255, 0x80102030},  {3, 0x80204060, 0xC0F08010, 200, 0xCABA6F24},
    {3, 0x00000000, 0x00FFFFFF, 255, 0x00000000},  {3, 0x00123456, 0x00ABCDEF, 255, 0x00123456},
    {3, 0xFF102030, 0x40E0D0C0, 255, 0xFF444C54},  {3, 0x20FF8000, 0x00000000, 255, 0x20FF8000},
    {3, 0x20FF8000, 0x10204080, 128, 0x26D0721A},  {3, 0x00445566, 0x80102030, 255, 0x80102030},
    {4, 0x80204060, 0xC0F08010, 200, 0xCBBA7B46},  {4, 0x00000000, 0x00FFFFFF, 255, 0x00000000},
    {4, 0x00123456, 0x00ABCDEF, 255, 0x00123456},  {4, 0xFF102030, 0x40E0D0C0, 255, 0xFF444D57},
    {4, 0x20FF8000, 0x00000000, 255, 0x20FF8000},  {4, 0x20FF8000, 0x10204080, 128, 0x27D6751A},
    {4, 0x00445566, 0x80102030, 255, 0x80102030},  {5, 0x80204060, 0xC0F08010, 200, 0xCB745622},
    {5, 0x00000000, 0x00FFFFFF, 255, 0x00000000},  {5, 0x00123456, 0x00ABCDEF, 255, 0x00123456},
    {5, 0xFF102030, 0x40E0D0C0, 255, 0xFF132536},  {5, 0x20FF8000, 0x00000000, 255, 0x20FE7F00},
    {5, 0x20FF8000, 0x10204080, 128, 0x27D46B16},  {5, 0x00445566, 0x80102030, 255, 0x800D1D2D},
    {6, 0x80204060, 0xC0F08010, 200, 0xCBB55622},  {6, 0x00000000, 0x00FFFFFF, 255, 0x00000000},
    {6, 0x00123456, 0x00ABCDEF, 255, 0x00123456},  {6, 0xFF102030, 0x40E0D0C0, 255, 0xFF3D434A},
    {6, 0x20FF8000, 0x00000000, 255, 0x20FE7F00},  {6, 0x20FF8000, 0x10204080, 128, 0x27CD6B16},
    {6, 0x00445566, 0x80102030, 255, 0x800D1D2D},  {7, 0x80204060, 0xC0F08010, 200, 0xCB695641},
    {7, 0x00000000, 0x00FFFFFF, 255, 0x00000000},  {7, 0x00123456, 0x00ABCDEF, 255, 0x00123456},
    {7, 0xFF102030, 0x40E0D0C0, 255, 0xFF162837},  {7, 0x20FF8000, 0x00000000, 255, 0x20FE7F00},
    {7, 0x20FF8000, 0x10204080, 128, 0x27DA7116},  {7, 0x00445566, 0x80102030, 255, 0x80454D55},
    {8, 0x80204060, 0xC0F08010, 200, 0xCBAD5730},  {8, 0x00000000, 0x00FFFFFF, 255, 0x00000000},
    {8, 0x00123456, 0x00ABCDEF, 255, 0x00123456},  {8, 0xFF102030, 0x40E0D0C0, 255, 0xFF404448},
    {8, 0x20FF8000, 0x00000000, 255, 0x20FF8000},  {8, 0x20FF8000, 0x10204080, 128, 0x27CA6F1A},
    {8, 0x00445566, 0x80102030, 255, 0x80102030},  {9, 0x80204060, 0xC0F08010, 200, 0xCBAE6E42},
    {9, 0x00000000, 0x00FFFFFF, 255, 0x00000000},  {9, 0x00123456, 0x00ABCDEF, 255, 0x00123456},
    {9, 0xFF102030, 0x40E0D0C0, 255, 0xFF41474E},  {9, 0x20FF8000, 0x00000000, 255, 0x20FF7F00},
    {9, 0x20FF8000, 0x10204080, 128, 0x27D16F1A},  {9, 0x00445566, 0x80102030, 255, 0x800F1F2F},
    {10, 0x80204060, 0xC0F08010, 200, 0xCB726F25}, {10, 0x00000000, 0x00FFFFFF, 255, 0x00000000},
    {10, 0x00123456, 0x00ABCDEF, 255, 0x00123456}, {10, 0xFF102030, 0x40E0D0C0, 255, 0xFF102030},
    {10, 0x20FF8000, 0x00000000, 255, 0x20FF8000}, {10, 0x20FF8000, 0x10204080, 128, 0x27D1721A},
    {10, 0x00445566, 0x80102030, 255, 0x80102030}, {11, 0x80204060, 0xC0F08010, 200, 0xCBB96F3C},
    {11, 0x00000000, 0x00FFFFFF, 255, 0x00000000}, {11, 0x00123456, 0x00ABCDEF, 255, 0x00123456},
    {11, 0xFF102030, 0x40E0D0C0, 255, 0xFF444C54}, {11, 0x20FF8000, 0x00000000, 255, 0x20FF8000},
    {11, 0x20FF8000, 0x10204080, 128, 0x27D1721A}, {11, 0x00445566, 0x80102030, 255, 0x80102030},
    {12, 0x80204060, 0xC0F08010, 200, 0xCB6C4019}, {12, 0x00000000, 0x00FFFFFF, 255, 0x00000000},
    {12, 0x00123456, 0x00ABCDEF, 255, 0x00123456}, {12, 0xFF102030, 0x40E0D0C0, 255, 0xFF0B1723},
    {12, 0x20FF8000, 0x00000000, 255, 0x20FF7F00}, {12, 0x20FF8000, 0x10204080, 128, 0x27FF8927},
    {12, 0x00445566, 0x80102030, 255, 0x80FFFFFF}, {13, 0x80204060, 0xC0F08010, 200, 0xCBC33E3D},
    {13, 0x00000000, 0x00FFFFFF, 255, 0x00000000}, {13, 0x00123456, 0x00ABCDEF, 255, 0x00123456},
    {13, 0xFF102030, 0x40E0D0C0, 255, 0xFF2C4354}, {13, 0x20FF8000, 0x00000000, 255, 0x20FF7F00},
    {13, 0x20FF8000, 0x10204080, 128, 0x27D16800}, {13, 0x00445566, 0x80102030, 255, 0x80000000},
    {14, 0x80204060, 0xC0F08010, 200, 0xCB85827E}, {14, 0x00000000, 0x00FFFFFF, 255, 0x00000000},
    {14, 0x00123456, 0x00ABCDEF, 255, 0x00123456}, {14, 0xFF102030, 0x40E0D0C0, 255, 0xFF161E26},
    {14, 0x20FF8000, 0x00000000, 255, 0x20FF7F00}, {14, 0x20FF8000, 0x10204080, 128, 0x27F89634},
    {14, 0x00445566, 0x80102030, 255, 0x80FFFFFF}, {15, 0x80204060, 0xC0F08010, 200, 0xCB488FD5},
    {15, 0x00000000, 0x00FFFFFF, 255, 0x00000000}, {15, 0x00123456, 0x00ABCDEF, 255, 0x00123456},
    {15, 0xFF102030, 0x40E0D0C0, 255, 0xFF102030}, {15, 0x20FF8000, 0x00000000, 255, 0x20FF7F00},
    {15, 0x20FF8000, 0x10204080, 128, 0x27FF8F27}, {15, 0x00445566, 0x80102030, 255, 0x80FFFFFF},
    {16, 0x80204060, 0xC0F08010, 200, 0xCBBE742A}, {16, 0x00000000, 0x00FFFFFF, 255, 0x00000000},
    {16, 0x00123456, 0x00ABCDEF, 255, 0x00123456}, {16, 0xFF102030, 0x40E0D0C0, 255, 0xFF161E26},
    {16, 0x20FF8000, 0x00000000, 255, 0x20FF7F00}, {16, 0x20FF8000, 0x10204080, 128, 0x27F89634},
    {16, 0x00445566, 0x80102030, 255, 0x80FFFFFF}, {17, 0x80204060, 0xC0F08010, 200, 0xCB6C8094},
    {17, 0x00000000, 0x00FFFFFF, 255, 0x00000000}, {17, 0x00123456, 0x00ABCDEF, 255, 0x00123456},
    {17, 0xFF102030, 0x40E0D0C0, 255, 0xFF3D4D5D}, {17, 0x20FF8000, 0x00000000, 255, 0x20FF7F00},
    {17, 0x20FF8000, 0x10204080, 128, 0x27D76F06}, {17, 0x00445566, 0x80102030, 255, 0x801B1B1B},
    {18, 0x80204060, 0xC0F08010, 200, 0xCB682900}, {18, 0x00000000, 0x00FFFFFF, 255, 0x00000000},
    {18, 0x00123456, 0x00ABCDEF, 255, 0x00123456}, {18, 0xFF102030, 0x40E0D0C0, 255, 0xFF091521},
    {18, 0x20FF8000, 0x00000000, 255, 0x20FF7F00}, {18, 0x20FF8000, 0x10204080, 128, 0x27D7751A},
    {18, 0x00445566, 0x80102030, 255, 0x80112131}, {19, 0x80204060, 0xC0F08010, 200, 0xCBC45617},
    {19, 0x00000000, 0x00FFFFFF, 255, 0x00000000}, {19, 0x00123456, 0x00ABCDEF, 255, 0x00123456},
    {19, 0xFF102030, 0x40E0D0C0, 255, 0xFF404850}, {19, 0x20FF8000, 0x00000000, 255, 0x20FE7F00},
    {19, 0x20FF8000, 0x10204080, 128, 0x27C66416}, {19, 0x00445566, 0x80102030, 255, 0x80000000},
    {20, 0x80204060, 0xC0F08010, 200, 0xCBC38619}, {20, 0x00000000, 0x00FFFFFF, 255, 0x00000000},
    {20, 0x00123456, 0x00ABCDEF, 255, 0x00123456}, {20, 0xFF102030, 0x40E0D0C0, 255, 0xFF1C2D3C},
    {20, 0x20FF8000, 0x00000000, 255, 0x20FF7F00}, {20, 0x20FF8000, 0x10204080, 128, 0x27FF8F2D},
    {20, 0x00445566, 0x80102030, 255, 0x80FFFFFF}, {21, 0x80204060, 0xC0F08010, 200, 0xCBAD562F},
    {21, 0x00000000, 0x00FFFFFF, 255, 0x00000000}, {21, 0x00123456, 0x00ABCDEF, 255, 0x00123456},
    {21, 0xFF102030, 0x40E0D0C0, 255, 0xFF3C4044}, {21, 0x20FF8000, 0x00000000, 255, 0x20FE7F00},
    {21, 0x20FF8000, 0x10204080, 128, 0x27D47F16}, {21, 0x00445566, 0x80102030, 255, 0x801F3F5F},
};

TEST(MergeKeepAlpha, EveryModeOnTheCaseTable) {
  for (const auto& c : kMergeCases) {
    uint32_t p = c.d;
    MergeKeepAlpha(c.code)(&p, c.s, c.t);
    EXPECT_EQ(p, c.expected) << "mode " << c.code << std::hex << " d=" << c.d << " s=" << c.s
                             << " t=" << int(c.t) << " got " << p;
  }
}

TEST(MergeKeepAlpha, TransparentOntoTransparentKeepsAlphaZeroAndColours) {
  for (int32_t code = 0; code < kModeCount; ++code) {
    uint32_t p = 0x00123456;
    MergeKeepAlpha(code)(&p, 0x00FEDCBA, 255);
    EXPECT_EQ(p, 0x00123456u) << code;
  }
}

// The generic merge as first written: channel = acc * 255 div ar.
uint32_t OriginalGeneric(uint32_t D, uint32_t S, uint8_t t, const MergeParam& mp) {
  const uint32_t d = D >> 24, s = Mul8(S >> 24, t), e = Mul8(d, s), ar = d + s - e;
  if (ar == 0) return D & 0x00FFFFFF;
  uint32_t acc = (mp.flags & kModeFlagStartFromSource) ? S : mp.startColour;
  mp.destinationProc(&acc, D, uint8_t(d));
  mp.sourceProc(&acc, S, uint8_t(s));
  uint32_t out = ar << 24;
  for (int sh = 0; sh <= 16; sh += 8) out |= std::min<uint32_t>(255, (acc >> sh & 0xFF) * 255 / ar) << sh;
  return out;
}

TEST(GenericMerge, MatchesTheFirstFormWhereverTheDestinationIsOpaqueOrTheStartIsBlack) {
  std::mt19937 rng(3);
  for (int32_t code : {5, 7, 9, 12, 13, 14, 17, 19, 20, 21}) {
    for (uint32_t start : {0u, 0x00FFFFFFu, 0x007F7F7Fu}) {
      const MergeParam mp{start, 0, BlendNormal, BlendOpaque(code)};
      for (int i = 0; i < 3000; ++i) {
        const uint32_t S = rng(), t = rng() % 256;
        const uint32_t D = start == 0 ? rng() : (rng() | 0xFF000000u);
        uint32_t p = D;
        GenericMerge(&p, S, uint8_t(t), &mp);
        ASSERT_EQ(p, OriginalGeneric(D, S, uint8_t(t), mp)) << code << std::hex << " " << D << " " << S;
      }
    }
  }
}

TEST(MergeKeepAlpha, NormalMergeBranches) {
  // Full weight: the source colour with alpha 255, whatever was below.
  uint32_t p = 0x10203040;
  MergeNormal(&p, 0xFFAABBCC, 255, nullptr);
  EXPECT_EQ(p, 0xFFAABBCCu);
  // Weight 0 (transparent source): nothing.
  p = 0x10203040;
  MergeNormal(&p, 0x00AABBCC, 255, nullptr);
  EXPECT_EQ(p, 0x10203040u);
  // Opaque destination: the plain normal blend at w, alpha stays 255.
  p = 0xFF000000;
  MergeNormal(&p, 0x80FFFFFF, 255, nullptr);  // w = MulTab[255][128] = 128
  EXPECT_EQ(p, 0xFF808080u);
  // Transparent destination: d' = MulTab[w][255] = w, and the colour blends at w * 255 / d' = 255.
  p = 0x00000000;
  MergeNormal(&p, 0x80FFFFFF, 255, nullptr);
  EXPECT_EQ(p, 0x80FFFFFFu);
}

TEST(MergeKeepAlpha, DarkenMatchesItsFirstFormOverAnOpaqueDestination) {
  std::mt19937 rng(8);
  for (int i = 0; i < 20000; ++i) {
    const uint32_t D = rng() | 0xFF000000u, S = rng(), t = rng() % 256;
    uint32_t p = D;
    MergeDarken(&p, S, uint8_t(t), nullptr);
    // channel = (s * min(g, 255 Cs) + g * (255 - s)) div (255 ar) with d = 255, so ar = 255.
    const uint32_t s = Mul8(S >> 24, t);
    uint32_t expected = 0xFF000000u;
    for (int sh = 0; sh <= 16; sh += 8) {
      const uint64_t cd = D >> sh & 0xFF, cs = S >> sh & 0xFF, g = cd * 255;
      expected |= uint32_t(std::min<uint64_t>(255, (s * std::min(g, 255 * cs) + g * (255 - s)) / (255 * 255)))
                  << sh;
    }
    ASSERT_EQ(p, expected) << std::hex << D << " " << S << " " << t;
  }
}

TEST(GenericMerge, AFaintDestinationUnderAFaintSourceIsNotWhitened) {
  // Start colour white, destination (16, 32, 48) at alpha 10, a white source at alpha 1.
  // Composited honestly the channels stay near the destination's (about 18..67); the
  // first form of the merge gives 255 for all three.
  const MergeParam mp{0x00FFFFFF, 0, BlendNormal, BlendOpaque(kModeBurn)};
  uint32_t p = 0x0A102030;
  GenericMerge(&p, 0x01FFFFFF, 255, &mp);
  EXPECT_EQ(p >> 24, 11u);
  for (int sh = 0; sh <= 16; sh += 8) EXPECT_LE(p >> sh & 0xFF, 70u) << sh;
  uint32_t q = 0x0A102030;
  MergeDarken(&q, 0x01FFFFFF, 255, nullptr);
  for (int sh = 0; sh <= 16; sh += 8) EXPECT_LE(q >> sh & 0xFF, 70u) << sh;
  EXPECT_EQ(q & 0xFF, 66u);  // (62955 * 255 - 65025 * 244) / (255 * 11)
}

TEST(GenericMerge, SkipFlagLeavesTransparentSourcesAlone) {
  const MergeParam mp{0, kModeFlagSkipTransparent, BlendNormal, BlendOpaque(kModeScreen)};
  uint32_t p = 0x80112233;
  GenericMerge(&p, 0x00FFFFFF, 255, &mp);
  EXPECT_EQ(p, 0x80112233u);
  const MergeParam plain{0, 0, BlendNormal, BlendOpaque(kModeScreen)};
  GenericMerge(&p, 0x00FFFFFF, 255, &plain);
  EXPECT_EQ(p >> 24, 0x80u);
}

TEST(LayerMerge, PairListAndBuiltParameters) {
  struct Case {
    int32_t lower, upper;
    uint32_t option;
    bool ok;
    MergeProc proc;
    bool throughParam, invert;
  };
  const Case kCases[] = {
      {2, 4, 0, true, MergeScreen, false, false},  // plain: the upper mode's own merge
      {2, 5, 0, true, GenericMerge, false, false},
      {3, 3, 0, true, MergeNormal, false, false},
      {0, 0, 1, true, MergeMultiply, false, false},  // first pair
      {3, 0, 1, true, GenericMerge, true, false},    // needs N >= 3
      {3, 0, 2, true, MergeMultiply, false, false},
      {1, 1, 2, true, GenericMerge, true, false},  // needs N = 6
      {1, 1, 3, true, MergeAddSubtract, false, false},
      {2, 2, 1, true, MergeAddSubtract, false, false},  // subtract into subtract: a pair, no inversion
      {2, 4, 1, true, GenericMerge, true, true},        // screen into subtract inverts
      {2, 4, 2, true, GenericMerge, true, true},
      {2, 4, 3, true, GenericMerge, true, true},
      {3, 3, 4, false, nullptr, false, false},
  };
  for (const auto& c : kCases) {
    MergeParam storage;
    const MergeChoice m = ChooseLayerMerge(c.lower, c.upper, c.option, storage);
    EXPECT_EQ(m.ok, c.ok) << c.lower << "<-" << c.upper << " opt " << c.option;
    if (!c.ok) continue;
    EXPECT_EQ(m.fn.proc, c.proc) << c.lower << "<-" << c.upper << " opt " << c.option;
    EXPECT_EQ(m.throughParam, c.throughParam) << c.lower << "<-" << c.upper << " opt " << c.option;
    EXPECT_EQ(m.invertAfter, c.invert) << c.lower << "<-" << c.upper << " opt " << c.option;
  }
  MergeParam storage;
  ChooseLayerMerge(kModeSubtract, kModeHue, 0x10003, storage);
  EXPECT_EQ(storage.startColour, 0x00FFFFFFu);  // both white
  EXPECT_EQ(storage.flags, 0x1Au | 0x40u);
  EXPECT_EQ(storage.destinationProc, BlendOpaque(kModeSubtract));
  EXPECT_EQ(storage.sourceProc, BlendOpaque(kModeHue));
  ChooseLayerMerge(kModeNormal, kModeOverlay, 3, storage);
  EXPECT_EQ(storage.startColour, 0x007F7F7Fu);  // the larger of 0 and 0x7F7F7F
  EXPECT_EQ(storage.flags, 0x26u);
}

}  // namespace
}  // namespace tintara
