// The block compressor and expander: both output forms, the buffer sizes they work with, and an
// expander that produces exactly the announced length or fails without writing outside it.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "GfxTestUtil.h"
#include "files/GraphicsLibCompress.h"

namespace tintara {
namespace {

// Bytes like a painted layer's tiles: smooth colour runs, soft edges, some noise in the low bits.
std::vector<uint8_t> LayerLikeBytes(size_t n) {
  std::vector<uint8_t> b(n);
  uint32_t seed = 12345;
  for (size_t i = 0; i < n; i += 4) {
    seed = seed * 134775813u + 1;
    const uint32_t pixel = uint32_t(i / 4);
    const uint8_t base = uint8_t((pixel / 97) & 0xFF);
    b[i] = uint8_t(base + ((seed >> 30) & 1));
    if (i + 1 < n) b[i + 1] = uint8_t(base / 2);
    if (i + 2 < n) b[i + 2] = uint8_t(255 - base);
    if (i + 3 < n) b[i + 3] = (pixel % 4096) < 2048 ? 255 : 0;
  }
  return b;
}

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<uint8_t> b(n);
  for (auto& v : b) v = uint8_t(gen());
  return b;
}

enum class Form { File, Memory };

// Compresses in one form, recording how the compressor used its output.
struct CompressRun {
  GfxResult result = GfxResult::BadArgument;
  std::vector<uint8_t> out;
  uint64_t length = 0;
  std::vector<size_t> writes;  // file form: bytes per call
  std::vector<size_t> grows;   // memory form: sizes asked for
};

CompressRun CompressIn(Form form, const std::vector<uint8_t>& src) {
  CompressRun run;
  CompressControl control;
  std::vector<uint8_t> buffer;
  if (form == Form::File) {
    buffer.resize(kCompressFileBuffer);
    control.write = [&run](const uint8_t* p, size_t size, size_t count) {
      run.writes.push_back(size * count);
      run.out.insert(run.out.end(), p, p + size * count);
      return count;
    };
  } else {
    buffer.resize(kCompressMemoryStart);
    control.grow = [&run, &buffer](uint8_t* old, size_t newSize) -> uint8_t* {
      EXPECT_EQ(old, buffer.data());
      run.grows.push_back(newSize);
      buffer.resize(newSize);
      return buffer.data();
    };
  }
  run.result = Compress(src.data(), src.size(), buffer.data(), buffer.size(), control);
  run.length = control.outputLength;
  if (form == Form::Memory) run.out.assign(buffer.begin(), buffer.begin() + std::ptrdiff_t(run.length));
  return run;
}

struct RoundTripCase {
  const char* name;
  std::vector<uint8_t> (*make)();
};

const RoundTripCase kRoundTrips[] = {
    {"empty", [] { return std::vector<uint8_t>(); }},
    {"one byte", [] { return std::vector<uint8_t>{0x5A}; }},
    {"five bytes",
     [] {
       return std::vector<uint8_t>{1, 2, 3, 4, 5};
     }},
    {"one tile", [] { return LayerLikeBytes(4096); }},
    {"a run of 16 tiles", [] { return LayerLikeBytes(16 * 4096); }},
    {"incompressible 1 MiB", [] { return RandomBytes(1 << 20, 7); }},
    {"uniform 3 MiB", [] { return std::vector<uint8_t>(3 << 20, 0xC3); }},
    {"64 MiB layer", [] { return LayerLikeBytes(64u << 20); }},
};

TEST(Compress, BothFormsRoundTrip) {
  for (const auto& c : kRoundTrips) {
    const auto src = c.make();
    const CompressRun file = CompressIn(Form::File, src);
    const CompressRun memory = CompressIn(Form::Memory, src);
    ASSERT_EQ(file.result, GfxResult::Ok) << c.name;
    ASSERT_EQ(memory.result, GfxResult::Ok) << c.name;
    // The forms differ only in where the bytes go.
    EXPECT_EQ(file.length, file.out.size()) << c.name;
    EXPECT_EQ(memory.length, file.length) << c.name;
    EXPECT_TRUE(file.out == memory.out) << c.name;
    std::vector<uint8_t> back(src.size() + 1, 0xEE);
    ASSERT_EQ(Expand(file.out.data(), file.out.size(), back.data(), src.size()), GfxResult::Ok) << c.name;
    EXPECT_TRUE(std::equal(src.begin(), src.end(), back.begin())) << c.name;
    EXPECT_EQ(back.back(), 0xEE) << c.name;
  }
}

TEST(Compress, CompressesWhatCanBeCompressedAndBarelyGrowsTheRest) {
  const auto layer = LayerLikeBytes(16 * 4096);
  const auto noise = RandomBytes(1 << 20, 3);
  EXPECT_LT(CompressIn(Form::Memory, layer).length, layer.size() / 2);
  const uint64_t noisy = CompressIn(Form::Memory, noise).length;
  EXPECT_GE(noisy, noise.size());
  EXPECT_LE(noisy, noise.size() + noise.size() / 100);
}

TEST(Compress, FileFormWritesFullSixteenKiBBlocksThenTheRest) {
  const auto src = RandomBytes(100000, 11);
  const CompressRun run = CompressIn(Form::File, src);
  ASSERT_EQ(run.result, GfxResult::Ok);
  ASSERT_GE(run.writes.size(), 2u);
  for (size_t i = 0; i + 1 < run.writes.size(); ++i) EXPECT_EQ(run.writes[i], kCompressFileBuffer) << i;
  EXPECT_GT(run.writes.back(), 0u);
  EXPECT_LE(run.writes.back(), kCompressFileBuffer);
}

TEST(Compress, MemoryFormStartsAtSixtyFourKiBAndDoubles) {
  const auto src = RandomBytes(300000, 5);
  const CompressRun run = CompressIn(Form::Memory, src);
  ASSERT_EQ(run.result, GfxResult::Ok);
  EXPECT_EQ(run.grows, (std::vector<size_t>{128 * 1024, 256 * 1024, 512 * 1024}));
  // Small output never grows the first buffer.
  EXPECT_TRUE(CompressIn(Form::Memory, LayerLikeBytes(16 * 4096)).grows.empty());
  // Without a first buffer the first grow asks for the usual start.
  CompressControl control;
  std::vector<size_t> asked;
  std::vector<uint8_t> buffer;
  control.grow = [&](uint8_t*, size_t n) {
    asked.push_back(n);
    buffer.resize(n);
    return buffer.data();
  };
  const uint8_t one = 1;
  ASSERT_EQ(Compress(&one, 1, nullptr, 0, control), GfxResult::Ok);
  EXPECT_EQ(asked, std::vector<size_t>{kCompressMemoryStart});
}

TEST(Compress, FailuresOfTheOutputAreReported) {
  const auto src = RandomBytes(50000, 9);
  std::vector<uint8_t> buffer(kCompressFileBuffer);
  struct Case {
    const char* name;
    size_t takenOnCall;  // the call on which the writer takes one item fewer
  };
  for (const Case c : {Case{"first block", 0}, Case{"third block", 2}, Case{"last block", 3}}) {
    CompressControl control;
    size_t calls = 0;
    control.write = [&](const uint8_t*, size_t, size_t count) {
      return calls++ == c.takenOnCall ? count - 1 : count;
    };
    EXPECT_EQ(Compress(src.data(), src.size(), buffer.data(), buffer.size(), control), GfxResult::WriteFailed)
        << c.name;
    EXPECT_EQ(calls, c.takenOnCall + 1) << c.name << ": nothing more is written after a short write";
    EXPECT_EQ(control.outputLength, 0u) << c.name;
  }
  CompressControl control;
  control.grow = [](uint8_t*, size_t) -> uint8_t* { return nullptr; };
  EXPECT_EQ(Compress(src.data(), src.size(), buffer.data(), 64, control), GfxResult::NoMemory);
  control.grow = [](uint8_t*, size_t) -> uint8_t* { throw std::bad_alloc(); };
  EXPECT_EQ(Compress(src.data(), src.size(), buffer.data(), 64, control), GfxResult::NoMemory);
}

TEST(Compress, NeedsExactlyOneForm) {
  const uint8_t one = 1;
  std::vector<uint8_t> buffer(64);
  CompressControl neither;
  EXPECT_EQ(Compress(&one, 1, buffer.data(), buffer.size(), neither), GfxResult::BadArgument);
  CompressControl both;
  both.write = [](const uint8_t*, size_t, size_t count) { return count; };
  both.grow = [](uint8_t* b, size_t) { return b; };
  EXPECT_EQ(Compress(&one, 1, buffer.data(), buffer.size(), both), GfxResult::BadArgument);
  CompressControl file;
  file.write = both.write;
  EXPECT_EQ(Compress(&one, 1, nullptr, 0, file), GfxResult::BadArgument) << "the file form needs its buffer";
  EXPECT_EQ(Compress(nullptr, 4, buffer.data(), buffer.size(), file), GfxResult::BadArgument);
}

TEST(Compress, ConvenienceFormsMatchTheControlRecord) {
  const auto src = LayerLikeBytes(200000);
  std::vector<uint8_t> mem;
  ASSERT_EQ(CompressToMemory(src.data(), src.size(), mem), GfxResult::Ok);
  std::vector<uint8_t> written;
  uint64_t length = 0;
  ASSERT_EQ(CompressToWriter(
                src.data(), src.size(),
                [&](const uint8_t* p, size_t size, size_t count) {
                  EXPECT_LE(size * count, kCompressFileBuffer);
                  written.insert(written.end(), p, p + size * count);
                  return count;
                },
                &length),
            GfxResult::Ok);
  EXPECT_EQ(length, written.size());
  EXPECT_EQ(written, mem);
  EXPECT_EQ(mem, CompressIn(Form::Memory, src).out);
  EXPECT_EQ(CompressToWriter(src.data(), src.size(), CompressWriteFn(), &length), GfxResult::BadArgument);
}

// --- Expand ---------------------------------------------------------------------------------

std::vector<uint8_t> Compressed(const std::vector<uint8_t>& src) {
  std::vector<uint8_t> out;
  EXPECT_EQ(CompressToMemory(src.data(), src.size(), out), GfxResult::Ok);
  return out;
}

// A target with guard bytes on both sides, to see that nothing outside it is written.
struct Guarded {
  static constexpr size_t kGuard = 64;
  explicit Guarded(size_t n) : bytes(n + 2 * kGuard, 0xA5), size(n) {}
  uint8_t* data() { return bytes.data() + kGuard; }
  bool GuardsIntact() const {
    for (size_t i = 0; i < kGuard; ++i)
      if (bytes[i] != 0xA5 || bytes[kGuard + size + i] != 0xA5) return false;
    return true;
  }
  std::vector<uint8_t> bytes;
  size_t size;
};

TEST(Expand, OnlyTheAnnouncedLengthSucceeds) {
  const auto src = LayerLikeBytes(5000);
  const auto packed = Compressed(src);
  struct Case {
    size_t dstLen;
    GfxResult expected;
  };
  for (const Case c :
       {Case{5000, GfxResult::Ok}, Case{4999, GfxResult::BadData}, Case{5001, GfxResult::BadData},
        Case{0, GfxResult::BadData}, Case{1 << 20, GfxResult::BadData}}) {
    Guarded dst(c.dstLen);
    EXPECT_EQ(Expand(packed.data(), packed.size(), dst.data(), c.dstLen), c.expected) << c.dstLen;
    EXPECT_TRUE(dst.GuardsIntact()) << c.dstLen;
  }
}

TEST(Expand, TheBlockMayEndBeforeTheSourceLength) {
  const auto src = LayerLikeBytes(5000);
  auto packed = Compressed(src);
  const size_t blockLen = packed.size();
  packed.insert(packed.end(), {0x28, 0xB5, 0x2F, 0xFD, 1, 2, 3});  // whatever follows in the file
  std::vector<uint8_t> back(src.size());
  ASSERT_EQ(Expand(packed.data(), packed.size(), back.data(), back.size()), GfxResult::Ok);
  EXPECT_EQ(back, src);
  ASSERT_EQ(Expand(packed.data(), blockLen, back.data(), back.size()), GfxResult::Ok);
}

TEST(Expand, EveryTruncationFails) {
  const auto src = LayerLikeBytes(20000);
  const auto packed = Compressed(src);
  for (size_t n = 0; n < packed.size(); ++n) {
    Guarded dst(src.size());
    EXPECT_NE(Expand(packed.data(), n, dst.data(), src.size()), GfxResult::Ok) << n;
    ASSERT_TRUE(dst.GuardsIntact()) << n;
  }
}

// A flipped bit either makes the block fail or — where it lands in a bit the format does not use
// — still gives exactly the original bytes (the frame carries a checksum of its content); it
// never gives other bytes, and never writes outside the target.
TEST(Expand, FlippedBitsFailOrChangeNothingAndNeverWriteOutside) {
  for (const auto& src : {LayerLikeBytes(3000), RandomBytes(700, 1), std::vector<uint8_t>(2000, 7)}) {
    const auto packed = Compressed(src);
    size_t harmless = 0;
    for (size_t i = 0; i < packed.size(); ++i)
      for (int bit = 0; bit < 8; ++bit) {
        auto bad = packed;
        bad[i] ^= uint8_t(1 << bit);
        Guarded dst(src.size());
        if (Expand(bad.data(), bad.size(), dst.data(), src.size()) == GfxResult::Ok) {
          ++harmless;
          ASSERT_TRUE(std::equal(src.begin(), src.end(), dst.data())) << i << ":" << bit;
        }
        ASSERT_TRUE(dst.GuardsIntact()) << i << ":" << bit;
      }
    // Unused bits are few: nearly every flip is caught.
    EXPECT_LT(harmless * 20, packed.size() * 8);
  }
}

TEST(Expand, RefusesWhatThisCompressorDoesNotWrite) {
  std::vector<uint8_t> out(16);
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  const Case kCases[] = {
      {"nothing", {}},
      {"three bytes", {0x28, 0xB5, 0x2F}},
      {"not a frame", {1, 2, 3, 4, 5, 6, 7, 8}},
      {"a skippable frame", {0x50, 0x2A, 0x4D, 0x18, 4, 0, 0, 0, 1, 2, 3, 4}},
      {"zlib data", {0x78, 0x9C, 0x63, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01}},
  };
  for (const auto& c : kCases)
    EXPECT_NE(Expand(c.bytes.data(), c.bytes.size(), out.data(), out.size()), GfxResult::Ok) << c.name;
  EXPECT_EQ(Expand(nullptr, 8, out.data(), out.size()), GfxResult::BadArgument);
  const auto packed = Compressed({1, 2, 3});
  EXPECT_EQ(Expand(packed.data(), packed.size(), nullptr, 3), GfxResult::BadArgument);
}

TEST(Expand, EmptyBlockExpandsToNothing) {
  const auto packed = Compressed({});
  EXPECT_GT(packed.size(), 0u);
  EXPECT_EQ(Expand(packed.data(), packed.size(), nullptr, 0), GfxResult::Ok);
  uint8_t one = 0x42;
  EXPECT_EQ(Expand(packed.data(), packed.size(), &one, 1), GfxResult::BadData);
  EXPECT_EQ(one, 0x42);
}

}  // namespace
}  // namespace tintara
