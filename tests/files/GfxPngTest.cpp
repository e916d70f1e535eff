// PNG through the bridge: round trips with alpha and resolution, the bytes written, damage of
// every kind refused through libpng's error hook, and the picture limit.
#include <gtest/gtest.h>

#include <algorithm>

#include "GfxTestUtil.h"
#include "files/GraphicsLib.h"
#include "platform/Memory.h"

namespace tintara {
namespace {

using test::MakeTestImage;
using test::Pixels;

uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

struct Chunk {
  size_t at;  // offset of the length field
  uint32_t length;
  std::string type;
};

// The chunk list of a PNG, read independently of libpng.
std::vector<Chunk> Chunks(const std::vector<uint8_t>& b) {
  std::vector<Chunk> out;
  for (size_t at = 8; at + 12 <= b.size();) {
    const uint32_t n = Be32(b, at);
    out.push_back(
        {at, n, std::string(b.begin() + std::ptrdiff_t(at + 4), b.begin() + std::ptrdiff_t(at + 8))});
    at += 12 + size_t(n);
  }
  return out;
}

const Chunk* FindChunk(const std::vector<Chunk>& chunks, const std::string& type) {
  for (const auto& c : chunks)
    if (c.type == type) return &c;
  return nullptr;
}

// Rewrites a chunk's CRC after its data was edited, so only the edit itself is judged.
void FixCrc(std::vector<uint8_t>& b, const Chunk& c) {
  test::PutBe32(b, c.at + 8 + c.length, test::Crc32(b.data() + c.at + 4, 4 + c.length));
}

std::vector<uint8_t> Encode(const CDibCore& img, int32_t dpi = 0) {
  std::vector<uint8_t> out;
  EXPECT_EQ(PngEncode(MakeDibHeader(img.Width(), img.Height(), dpi), img, out), GfxResult::Ok);
  return out;
}

TEST(Png, RoundTripKeepsEveryPixelAndAlpha) {
  const std::pair<int32_t, int32_t> kSizes[] = {{1, 1}, {17, 9}, {64, 3}, {3, 64}, {255, 2}};
  for (const auto& [w, h] : kSizes) {
    const TMTC src = MakeTestImage(w, h);
    const auto bytes = Encode(src);
    GraphicsImage img;
    ASSERT_EQ(PngDecode(bytes.data(), bytes.size(), img), GfxResult::Ok) << w << "x" << h;
    EXPECT_EQ(img.header.width, w);
    EXPECT_EQ(img.header.height, h);
    EXPECT_EQ(Pixels(img.pixels), Pixels(src)) << w << "x" << h;
  }
}

TEST(Png, WritesEightBitRgbaWithTheResolutionInMetres) {
  struct Case {
    int32_t dpi;
    uint32_t ppm;  // what pHYs must hold; 0: no pHYs at all
  };
  for (const Case c : {Case{0, 0}, Case{72, 2835}, Case{96, 3780}, Case{300, 11811}, Case{350, 13780}}) {
    const auto bytes = Encode(MakeTestImage(4, 2), c.dpi);
    const auto chunks = Chunks(bytes);
    ASSERT_GE(chunks.size(), 3u);
    ASSERT_EQ(chunks[0].type, "IHDR");
    EXPECT_EQ(Be32(bytes, 16), 4u);
    EXPECT_EQ(Be32(bytes, 20), 2u);
    EXPECT_EQ(bytes[24], 8) << "bit depth";
    EXPECT_EQ(bytes[25], 6) << "colour type RGBA";
    EXPECT_EQ(chunks.back().type, "IEND");
    const Chunk* phys = FindChunk(chunks, "pHYs");
    if (c.ppm == 0) {
      EXPECT_EQ(phys, nullptr);
    } else {
      ASSERT_NE(phys, nullptr) << c.dpi;
      EXPECT_EQ(Be32(bytes, phys->at + 8), c.ppm);
      EXPECT_EQ(Be32(bytes, phys->at + 12), c.ppm);
      EXPECT_EQ(bytes[phys->at + 16], 1) << "unit: metre";
    }
    GraphicsImage img;
    ASSERT_EQ(PngDecode(bytes.data(), bytes.size(), img), GfxResult::Ok);
    EXPECT_EQ(img.dpi, c.dpi);
    EXPECT_EQ(uint32_t(img.header.xPelsPerMeter), c.ppm);
  }
}

TEST(Png, RowOrderOfTheSourceDoesNotMatter) {
  const TMTC top = MakeTestImage(6, 5);
  TTC bottomUp(6, 5);  // rows stored the other way round
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 6; ++x) bottomUp.Row32(y)[x] = top.Row32(y)[x];
  EXPECT_EQ(Encode(top, 96), Encode(bottomUp, 96));
}

TEST(Png, EncoderRefusesInconsistentArguments) {
  const TMTC img = MakeTestImage(4, 3);
  std::vector<uint8_t> out{1, 2, 3};
  EXPECT_EQ(PngEncode(MakeDibHeader(5, 3, 96), img, out), GfxResult::BadArgument);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(PngEncode(MakeDibHeader(4, 2, 96), img, out), GfxResult::BadArgument);
  EXPECT_EQ(PngEncode(MakeDibHeader(0, 0, 96), TMTC(), out), GfxResult::BadArgument);
  TChannel gray(4, 3);
  EXPECT_EQ(PngEncode(MakeDibHeader(4, 3, 96), gray, out), GfxResult::BadArgument);
  const TMTC wide(10001, 1);
  EXPECT_EQ(PngEncode(MakeDibHeader(10001, 1, 96), wide, out), GfxResult::TooLarge);
}

// One flipped bit anywhere in a critical chunk (or the signature) makes the file unreadable;
// a damaged ancillary chunk is dropped, as libpng does, and the picture still reads.
TEST(Png, EveryDamagedCriticalByteFails) {
  const TMTC src = MakeTestImage(7, 5);
  const auto good = Encode(src, 96);
  const auto chunks = Chunks(good);
  const Chunk* phys = FindChunk(chunks, "pHYs");
  ASSERT_NE(phys, nullptr);
  const size_t physFrom = phys->at + 4, physTo = phys->at + 12 + phys->length;  // type .. crc
  for (size_t i = 0; i < good.size(); ++i) {
    auto bad = good;
    bad[i] ^= 0x01;
    GraphicsImage img;
    const GfxResult r = PngDecode(bad.data(), bad.size(), img);
    if (i >= physFrom && i < physTo) {
      ASSERT_EQ(r, GfxResult::Ok) << "byte " << i;
      EXPECT_EQ(Pixels(img.pixels), Pixels(src)) << "byte " << i;
      EXPECT_EQ(img.dpi, 0) << "the damaged resolution is not used";
    } else {
      EXPECT_NE(r, GfxResult::Ok) << "byte " << i;
      EXPECT_FALSE(img.pixels.IsValid()) << "byte " << i;
    }
  }
}

// Damage that keeps every CRC right reaches libpng's own checks and zlib.
TEST(Png, DamageBehindValidChecksumsFails) {
  const auto good = Encode(MakeTestImage(7, 5));
  const auto chunks = Chunks(good);
  const Chunk& ihdr = chunks[0];
  const Chunk* idat = FindChunk(chunks, "IDAT");
  ASSERT_NE(idat, nullptr);
  struct Case {
    const char* name;
    const Chunk* chunk;
    size_t offset;  // into the chunk's data
    std::vector<uint8_t> bytes;
  };
  const Case kCases[] = {
      {"width 0", &ihdr, 0, {0, 0, 0, 0}}, {"bit depth 3", &ihdr, 8, {3}},
      {"colour type 5", &ihdr, 9, {5}},    {"compression method 1", &ihdr, 10, {1}},
      {"filter method 1", &ihdr, 11, {1}}, {"interlace method 2", &ihdr, 12, {2}},
      {"zlib header", idat, 0, {0xFF}},    {"deflate stream", idat, 4, {0xFF, 0xFF}},
  };
  for (const auto& c : kCases) {
    auto bad = good;
    std::copy(c.bytes.begin(), c.bytes.end(), bad.begin() + std::ptrdiff_t(c.chunk->at + 8 + c.offset));
    FixCrc(bad, *c.chunk);
    GraphicsImage img;
    EXPECT_NE(PngDecode(bad.data(), bad.size(), img), GfxResult::Ok) << c.name;
    EXPECT_FALSE(img.pixels.IsValid()) << c.name;
  }
  // The image data cut off inside the stream, the chunk itself kept sound, IEND after it.
  const uint32_t keep = idat->length / 2;
  std::vector<uint8_t> cut(good.begin(), good.begin() + std::ptrdiff_t(idat->at + 8 + keep));
  test::PutBe32(cut, idat->at, keep);
  cut.insert(cut.end(), 4, 0);
  FixCrc(cut, Chunk{idat->at, keep, "IDAT"});
  cut.insert(cut.end(), good.begin() + std::ptrdiff_t(idat->at + 12 + idat->length), good.end());
  ASSERT_EQ(Chunks(cut).back().type, "IEND");
  GraphicsImage img;
  EXPECT_NE(PngDecode(cut.data(), cut.size(), img), GfxResult::Ok);
  EXPECT_FALSE(img.pixels.IsValid());
}

TEST(Png, SizesAboveThePictureLimitAreRefusedBeforeAllocating) {
  const TMTC line = MakeTestImage(10000, 1);
  const auto good = Encode(line);
  GraphicsImage img;
  ASSERT_EQ(PngDecode(good.data(), good.size(), img), GfxResult::Ok) << "the limit itself is allowed";
  EXPECT_EQ(img.pixels.Width(), 10000);
  struct Case {
    uint32_t width, height;
  };
  for (const Case c : {Case{10001, 1}, Case{1, 10001}, Case{0x7FFFFFFF, 0x7FFFFFFF}}) {
    auto bad = good;
    test::PutBe32(bad, 16, c.width);
    test::PutBe32(bad, 20, c.height);
    FixCrc(bad, Chunks(bad)[0]);
    ScopedAllocFailure noMemory;
    EXPECT_EQ(PngDecode(bad.data(), bad.size(), img), GfxResult::TooLarge) << c.width << "x" << c.height;
    EXPECT_EQ(noMemory.FailedCount(), 0);
    EXPECT_FALSE(img.pixels.IsValid());
  }
  // The caller's own limit.
  const auto small = Encode(MakeTestImage(5, 4));
  EXPECT_EQ(PngDecode(small.data(), small.size(), img, 4), GfxResult::TooLarge);
  EXPECT_EQ(PngDecode(small.data(), small.size(), img, 5), GfxResult::Ok);
}

TEST(Png, OutOfMemoryForThePixelsIsReported) {
  const auto bytes = Encode(MakeTestImage(5, 4));
  GraphicsImage img;
  ScopedAllocFailure noMemory;
  EXPECT_EQ(PngDecode(bytes.data(), bytes.size(), img), GfxResult::NoMemory);
  EXPECT_FALSE(img.pixels.IsValid());
}

TEST(Png, SaveAndGetThroughAFile) {
  test::ScratchDir dir;
  const TMTC src = MakeTestImage(9, 4);
  const DibHeader header = MakeDibHeader(9, 4, 144);
  ASSERT_EQ(pngSaveImage(dir.File("a.png"), header, src), GfxResult::Ok);
  std::vector<uint8_t> onDisk, inMemory;
  ASSERT_TRUE(ReadWholeFile(dir.File("a.png"), onDisk));
  ASSERT_EQ(PngEncode(header, src, inMemory), GfxResult::Ok);
  EXPECT_EQ(onDisk, inMemory);
  GraphicsImage img;
  ASSERT_EQ(pngGetImage(dir.File("a.png"), img), GfxResult::Ok);
  EXPECT_EQ(Pixels(img.pixels), Pixels(src));
  EXPECT_EQ(img.dpi, 144);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"a.png"});
}

}  // namespace
}  // namespace tintara
