// JPEG through the bridge: round trips, the five option words, the JFIF density, damage
// refused through libjpeg's error hook, the picture limit, and the option dialog's range check.
#include <gtest/gtest.h>

#include "GfxTestUtil.h"
#include "files/GraphicsLib.h"
#include "platform/Memory.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

using test::MakeTestImage;
using test::MaxDiff;
using test::Pixels;

// A marker segment before the image data, read independently of libjpeg.
struct Segment {
  size_t at;  // offset of the 0xFF
  uint8_t marker;
  uint16_t length;  // the length field (counts itself, not the marker)
};

std::vector<Segment> Segments(const std::vector<uint8_t>& b) {
  std::vector<Segment> out;
  for (size_t at = 2; at + 4 <= b.size() && b[at] == 0xFF;) {
    const uint16_t n = uint16_t(b[at + 2] << 8 | b[at + 3]);
    out.push_back({at, b[at + 1], n});
    if (b[at + 1] == 0xDA) break;  // the scan follows
    at += 2 + n;
  }
  return out;
}

const Segment* FindSegment(const std::vector<Segment>& segs, uint8_t marker) {
  for (const auto& s : segs)
    if (s.marker == marker) return &s;
  return nullptr;
}

std::vector<uint8_t> Encode(const CDibCore& img, const JpegOptions& o = {}, int32_t dpi = 0) {
  std::vector<uint8_t> out;
  EXPECT_EQ(JpegEncode(MakeDibHeader(img.Width(), img.Height(), dpi), img, o, out), GfxResult::Ok);
  return out;
}

JpegOptions Options(int32_t progressive, int32_t monochrome, int32_t smoothingOn, int32_t quality,
                    int32_t smoothing) {
  return JpegOptions{progressive, monochrome, smoothingOn, quality, smoothing};
}

// Gentle slopes everywhere whatever the size, so that the loss stays small and predictable.
TMTC MakeSmoothImage(int32_t w, int32_t h) {
  TMTC img(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t r = uint32_t(40 + 2 * x), g = uint32_t(60 + 2 * y), b = uint32_t(128 + x - y);
      img.Row32(y)[x] = 0x80000000u | r << 16 | g << 8 | b;
    }
  return img;
}

std::vector<uint32_t> Opaque(const CDibCore& img) {
  auto px = Pixels(img);
  for (auto& p : px) p |= 0xFF000000u;
  return px;
}

TEST(Jpeg, RoundTripStaysCloseAndIsOpaque) {
  const std::pair<int32_t, int32_t> kSizes[] = {{1, 1}, {33, 17}, {8, 8}, {100, 3}, {3, 100}};
  for (const auto& [w, h] : kSizes) {
    const TMTC src = MakeSmoothImage(w, h);
    const auto bytes = Encode(src, Options(0, 0, 0, 95, 0));
    GraphicsImage img;
    ASSERT_EQ(JpegDecode(bytes.data(), bytes.size(), img), GfxResult::Ok) << w << "x" << h;
    EXPECT_EQ(img.header.width, w);
    EXPECT_EQ(img.header.height, h);
    EXPECT_LE(MaxDiff(img.pixels, Opaque(src), true), 12) << w << "x" << h;
  }
}

TEST(Jpeg, OptionWordsShapeTheFile) {
  const TMTC src = MakeTestImage(48, 24);
  struct Case {
    const char* name;
    JpegOptions options;
    uint8_t frameMarker;  // 0xC0 baseline, 0xC2 progressive
    uint8_t components;
  };
  const Case kCases[] = {
      {"baseline colour", Options(0, 0, 0, 90, 0), 0xC0, 3},
      {"progressive", Options(1, 0, 0, 90, 0), 0xC2, 3},
      {"progressive with any nonzero word", Options(-1, 0, 0, 90, 0), 0xC2, 3},
      {"monochrome", Options(0, 1, 0, 90, 0), 0xC0, 1},
      {"progressive monochrome", Options(1, -1, 0, 90, 0), 0xC2, 1},
      {"smoothed", Options(0, 0, -1, 90, 60), 0xC0, 3},
      {"quality 0", Options(0, 0, 0, 0, 0), 0xC0, 3},
      {"quality 100", Options(0, 0, 0, 100, 0), 0xC0, 3},
  };
  for (const auto& c : kCases) {
    const auto bytes = Encode(src, c.options);
    const auto segs = Segments(bytes);
    const Segment* frame = FindSegment(segs, c.frameMarker);
    ASSERT_NE(frame, nullptr) << c.name;
    EXPECT_EQ(bytes[frame->at + 9], c.components) << c.name;
    GraphicsImage img;
    ASSERT_EQ(JpegDecode(bytes.data(), bytes.size(), img), GfxResult::Ok) << c.name;
    if (c.components == 1) {
      for (uint32_t p : Pixels(img.pixels)) {
        ASSERT_EQ(p & 0xFF, (p >> 8) & 0xFF) << c.name;
        ASSERT_EQ(p & 0xFF, (p >> 16) & 0xFF) << c.name;
      }
    }
  }
}

TEST(Jpeg, QualityAndSmoothingChangeTheOutput) {
  const TMTC src = MakeTestImage(64, 32);
  const auto q10 = Encode(src, Options(0, 0, 0, 10, 0));
  const auto q50 = Encode(src, Options(0, 0, 0, 50, 0));
  const auto q100 = Encode(src, Options(0, 0, 0, 100, 0));
  EXPECT_LT(q10.size(), q50.size());
  EXPECT_LT(q50.size(), q100.size());
  // The amount only counts while smoothing is switched on.
  const auto off = Encode(src, Options(0, 0, 0, 80, 0));
  EXPECT_EQ(Encode(src, Options(0, 0, 0, 80, 100)), off);
  EXPECT_NE(Encode(src, Options(0, 0, -1, 80, 100)), off);
  EXPECT_EQ(Encode(src, Options(0, 0, -1, 80, 0)), off);
}

TEST(Jpeg, DensityIsWrittenInDotsPerInchAndReadBack) {
  struct Case {
    int32_t dpi;
    uint8_t unit;
    uint16_t density;
  };
  for (const Case c :
       {Case{0, 0, 1}, Case{72, 1, 72}, Case{96, 1, 96}, Case{300, 1, 300}, Case{1200, 1, 1200}}) {
    const auto bytes = Encode(MakeTestImage(8, 8), {}, c.dpi);
    const auto segs = Segments(bytes);
    const Segment* app0 = FindSegment(segs, 0xE0);
    ASSERT_NE(app0, nullptr);
    ASSERT_EQ(std::string(bytes.begin() + std::ptrdiff_t(app0->at + 4),
                          bytes.begin() + std::ptrdiff_t(app0->at + 8)),
              "JFIF");
    EXPECT_EQ(bytes[app0->at + 11], c.unit) << c.dpi;
    EXPECT_EQ(bytes[app0->at + 12] << 8 | bytes[app0->at + 13], c.density) << c.dpi;
    GraphicsImage img;
    ASSERT_EQ(JpegDecode(bytes.data(), bytes.size(), img), GfxResult::Ok);
    EXPECT_EQ(img.dpi, c.dpi);
  }
}

TEST(Jpeg, DensityPerCentimetreIsConverted) {
  auto bytes = Encode(MakeTestImage(8, 8), {}, 72);
  const auto segs = Segments(bytes);
  const Segment* app0 = FindSegment(segs, 0xE0);
  ASSERT_NE(app0, nullptr);
  bytes[app0->at + 11] = 2;  // dots per centimetre
  bytes[app0->at + 12] = 0;
  bytes[app0->at + 13] = 28;  // 2800 per metre -> 71.12 + 0.41 -> 72
  GraphicsImage img;
  ASSERT_EQ(JpegDecode(bytes.data(), bytes.size(), img), GfxResult::Ok);
  EXPECT_EQ(img.header.xPelsPerMeter, 2800);
  EXPECT_EQ(img.dpi, 72);
}

TEST(Jpeg, EncoderRefusesBadOptionsAndSizes) {
  const TMTC img = MakeTestImage(4, 3);
  const DibHeader h = MakeDibHeader(4, 3, 96);
  std::vector<uint8_t> out{9};
  for (const JpegOptions& o : {Options(0, 0, 0, -1, 0), Options(0, 0, 0, 101, 0), Options(0, 0, -1, 50, 101),
                               Options(0, 0, 0, 50, -1)}) {
    EXPECT_EQ(JpegEncode(h, img, o, out), GfxResult::BadArgument) << o.quality << " " << o.smoothing;
    EXPECT_TRUE(out.empty());
  }
  EXPECT_EQ(JpegEncode(MakeDibHeader(3, 3, 96), img, {}, out), GfxResult::BadArgument);
  const TMTC tall(1, 10001);
  EXPECT_EQ(JpegEncode(MakeDibHeader(1, 10001, 96), tall, {}, out), GfxResult::TooLarge);
}

// Damage libjpeg sees in the headers, and damage in the data that a lenient decoder would paint
// over with grey: both fail.
TEST(Jpeg, DamagedFilesFail) {
  const auto good = Encode(MakeTestImage(33, 17), Options(0, 0, 0, 90, 0));
  const auto segs = Segments(good);
  const Segment* sof = FindSegment(segs, 0xC0);
  const Segment* dqt = FindSegment(segs, 0xDB);
  const Segment* dht = FindSegment(segs, 0xC4);
  const Segment* sos = FindSegment(segs, 0xDA);
  ASSERT_TRUE(sof && dqt && dht && sos);
  const size_t data = sos->at + 2 + sos->length;  // first byte of the entropy-coded data
  ASSERT_LT(data + 40, good.size());
  struct Case {
    const char* name;
    size_t at;
    std::vector<uint8_t> bytes;
    GfxResult expected;
  };
  const Case kCases[] = {
      {"no start-of-image marker", 1, {0xD9}, GfxResult::BadData},
      {"12-bit samples", sof->at + 4, {12}, GfxResult::BadData},
      {"width 0", sof->at + 7, {0, 0}, GfxResult::BadData},
      {"five components", sof->at + 9, {5}, GfxResult::BadData},
      {"quantisation table index 5", dqt->at + 4, {0x05}, GfxResult::BadData},
      {"Huffman table with too many codes", dht->at + 5, {0xFF, 0xFF}, GfxResult::BadData},
      {"scan names an unknown component", sos->at + 5, {0x77}, GfxResult::BadData},
      {"restart marker inside the data", data + 20, {0xFF, 0xD3}, GfxResult::BadData},
      {"another marker inside the data", data + 20, {0xFF, 0xC4}, GfxResult::BadData},
  };
  for (const auto& c : kCases) {
    auto bad = good;
    std::copy(c.bytes.begin(), c.bytes.end(), bad.begin() + std::ptrdiff_t(c.at));
    GraphicsImage img;
    EXPECT_EQ(JpegDecode(bad.data(), bad.size(), img), c.expected) << c.name;
    EXPECT_FALSE(img.pixels.IsValid()) << c.name;
  }
  struct Cut {
    const char* name;
    size_t keep;
  };
  for (const Cut c : {Cut{"inside the headers", sof->at + 5}, Cut{"inside the data", data + 30},
                      Cut{"before the end marker", good.size() - 2}}) {
    const std::vector<uint8_t> part(good.begin(), good.begin() + std::ptrdiff_t(c.keep));
    GraphicsImage img;
    EXPECT_NE(JpegDecode(part.data(), part.size(), img), GfxResult::Ok) << c.name;
    EXPECT_FALSE(img.pixels.IsValid()) << c.name;
  }
  const std::vector<uint8_t> noEnd(good.begin(), good.end() - 2);
  GraphicsImage img;
  EXPECT_EQ(JpegDecode(noEnd.data(), noEnd.size(), img), GfxResult::Truncated);
}

// Whatever a damaged byte does, the decoder either delivers a whole picture or nothing.
TEST(Jpeg, AnyDamagedByteGivesAPictureOrAFailure) {
  for (const JpegOptions& o : {Options(0, 0, 0, 80, 0), Options(1, 0, 0, 80, 0)}) {
    const auto good = Encode(MakeTestImage(24, 16), o);
    for (size_t i = 0; i < good.size(); ++i) {
      auto bad = good;
      bad[i] ^= 0xFF;
      GraphicsImage img;
      if (JpegDecode(bad.data(), bad.size(), img) == GfxResult::Ok) {
        ASSERT_TRUE(img.pixels.IsValid()) << i;
        EXPECT_EQ(img.header.width, img.pixels.Width()) << i;
        EXPECT_EQ(img.header.height, img.pixels.Height()) << i;
      } else {
        EXPECT_FALSE(img.pixels.IsValid()) << i;
      }
    }
  }
}

TEST(Jpeg, SizesAboveThePictureLimitAreRefusedBeforeAllocating) {
  const auto line = Encode(MakeTestImage(10000, 1));
  GraphicsImage img;
  ASSERT_EQ(JpegDecode(line.data(), line.size(), img), GfxResult::Ok) << "the limit itself is allowed";
  EXPECT_EQ(img.pixels.Width(), 10000);

  const auto good = Encode(MakeTestImage(16, 8));
  const auto segs = Segments(good);
  const Segment* sof = FindSegment(segs, 0xC0);
  ASSERT_NE(sof, nullptr);
  struct Case {
    uint16_t width, height;
  };
  for (const Case c : {Case{10001, 8}, Case{16, 10001}, Case{65535, 65535}}) {
    auto bad = good;
    bad[sof->at + 5] = uint8_t(c.height >> 8), bad[sof->at + 6] = uint8_t(c.height);
    bad[sof->at + 7] = uint8_t(c.width >> 8), bad[sof->at + 8] = uint8_t(c.width);
    ScopedAllocFailure noMemory;
    EXPECT_EQ(JpegDecode(bad.data(), bad.size(), img), GfxResult::TooLarge) << c.width << "x" << c.height;
    EXPECT_EQ(noMemory.FailedCount(), 0);
    EXPECT_FALSE(img.pixels.IsValid());
  }
  EXPECT_EQ(JpegDecode(good.data(), good.size(), img, 15), GfxResult::TooLarge);
  EXPECT_EQ(JpegDecode(good.data(), good.size(), img, 16), GfxResult::Ok);
}

TEST(Jpeg, OutOfMemoryForThePixelsIsReported) {
  const auto bytes = Encode(MakeTestImage(5, 4));
  GraphicsImage img;
  ScopedAllocFailure noMemory;
  EXPECT_EQ(JpegDecode(bytes.data(), bytes.size(), img), GfxResult::NoMemory);
  EXPECT_FALSE(img.pixels.IsValid());
}

TEST(Jpeg, SaveAndGetThroughAFile) {
  test::ScratchDir dir;
  const TMTC src = MakeSmoothImage(20, 10);
  const JpegOptions o = Options(-1, 0, -1, 85, 10);
  ASSERT_EQ(jpegSaveImage(dir.File("a.jpg"), MakeDibHeader(20, 10, 300), src, o), GfxResult::Ok);
  std::vector<uint8_t> onDisk;
  ASSERT_TRUE(ReadWholeFile(dir.File("a.jpg"), onDisk));
  EXPECT_EQ(onDisk, Encode(src, o, 300));
  GraphicsImage img;
  ASSERT_EQ(jpegGetImage(dir.File("a.jpg"), img), GfxResult::Ok);
  EXPECT_EQ(img.dpi, 300);
  EXPECT_LE(MaxDiff(img.pixels, Opaque(src), true), 16);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"a.jpg"});
}

// --- JPEG option dialog ---------------------------------------------------------------------

TEST(JpegOptionCheck, ValuesOutsideZeroToHundredShowTheRangeMessage) {
  struct Case {
    int32_t quality, smoothing;
    bool ok;
  };
  const Case kCases[] = {
      {0, 0, true},    {100, 100, true}, {75, 0, true},    {-1, 0, false},
      {101, 0, false}, {50, -1, false},  {50, 101, false}, {INT32_MIN, INT32_MAX, false},
  };
  for (const Case c : kCases) {
    RecordingNotifySink sink;
    EXPECT_EQ(CheckJpegOptionValues(c.quality, c.smoothing), c.ok) << c.quality << " " << c.smoothing;
    if (c.ok) {
      EXPECT_TRUE(sink.warnings.empty());
    } else {
      EXPECT_EQ(sink.warnings, std::vector<std::string>{"範囲は 0 ～ 100 にしてください！"});
    }
  }
}

TEST(JpegOptionCheck, RangeMessageFormatsAnyWordAndBounds) {
  EXPECT_EQ(RangeMessage("画質", 1, 99), "画質は 1 ～ 99 にしてください！");
  EXPECT_EQ(RangeMessage("", -5, 5), "は -5 ～ 5 にしてください！");
  const std::string longWord(400, 'x');
  EXPECT_EQ(RangeMessage(longWord, 0, 100), longWord + "は 0 ～ 100 にしてください！");
}

}  // namespace
}  // namespace tintara
