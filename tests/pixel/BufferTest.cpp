#include <gtest/gtest.h>

#include "pixel/ChannelOps.h"
#include "pixel/ColorOps.h"
#include "pixel/DibCore.h"
#include "platform/Debug.h"
#include "platform/Memory.h"

namespace tintara {
namespace {

TEST(Buffers, RowOrderAndPitchOfEachKind) {
  TMTC m(3, 2);
  TTC t(3, 2);
  TChannel c(3, 2);
  EXPECT_EQ(m.Pitch(), 3);
  EXPECT_TRUE(m.IsTopDown());
  EXPECT_EQ(t.Pitch(), -3);
  EXPECT_FALSE(t.IsTopDown());
  EXPECT_EQ(c.Pitch(), -3);
  // Row y's offset from the block.
  EXPECT_EQ(m.PixelAddress(1, 1) - m.Bits(), (3 * 1 + 1) * 4);
  EXPECT_EQ(t.PixelAddress(1, 1) - t.Bits(), (3 * 0 + 1) * 4);  // bottom-up: row 1 is first in memory
  EXPECT_EQ(t.PixelAddress(0, 0) - t.Bits(), 3 * 1 * 4);
  EXPECT_EQ(c.PixelAddress(2, 0) - c.Bits(), 3 * 1 + 2);
  EXPECT_EQ(m.ByteSize(), 24);
  EXPECT_EQ(c.ByteSize(), 6);
  EXPECT_EQ(m.BytesPerPixel(), 4);
  EXPECT_EQ(c.BytesPerPixel(), 1);
}

TEST(Buffers, FreshPixelMemoryIsZero) {
  TMTC m(17, 9);
  TChannel c(17, 9);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 17; ++x) {
      ASSERT_EQ(*m.Pixel(x, y), 0u);
      ASSERT_EQ(GetPixel8(c, x, y), 0);
    }
}

TEST(Buffers, ResizeRules) {
  TMTC m;
  EXPECT_FALSE(m.IsValid());
  ASSERT_TRUE(m.Resize(4, 4));
  uint8_t* block = m.Bits();
  FillAll(m, 0x12345678);
  // Same size: nothing happens.
  EXPECT_TRUE(m.Resize(4, 4));
  EXPECT_EQ(m.Bits(), block);
  // Same byte count: the block is reused (content stays, rows are rebuilt).
  ASSERT_TRUE(m.Resize(8, 2));
  EXPECT_EQ(m.Bits(), block);
  EXPECT_EQ(*m.Pixel(7, 1), 0x12345678u);
  // Sizes below 1 are refused and leave the buffer freed.
  EXPECT_FALSE(m.Resize(0, 5));
  EXPECT_FALSE(m.IsValid());
  EXPECT_EQ(m.Width(), 0);
  EXPECT_EQ(m.Height(), 0);
  TChannel c(2, 2);
  EXPECT_FALSE(c.Resize(-1, 2));
  EXPECT_FALSE(c.IsValid());
}

TEST(Buffers, DisplayBufferIsAtLeastOnePixel) {
  TTC t;
  ASSERT_TRUE(t.Resize(0, 0));
  EXPECT_EQ(t.Width(), 1);
  EXPECT_EQ(t.Height(), 1);
  ASSERT_TRUE(t.Resize(-5, 3));
  EXPECT_EQ(t.Width(), 1);
  EXPECT_EQ(t.Height(), 3);
}

TEST(Buffers, CopyConstructorCopiesPixelsAcrossOrientations) {
  TTC t(3, 2);
  *reinterpret_cast<uint32_t*>(t.PixelAddress(2, 1)) = 0xAABBCCDD;
  TMTC copy(t);
  ASSERT_TRUE(copy.IsValid());
  EXPECT_EQ(*copy.Pixel(2, 1), 0xAABBCCDDu);
  EXPECT_EQ(*copy.Pixel(0, 0), 0u);
}

struct FailCase {
  const char* name;
  int32_t w, h;
  long allowedAllocations;  // -1: no injected failure
};

// Impossible sizes and refused allocations end the same way: false, the debug line,
// an invalid buffer with size 0.
const FailCase kFailCases[] = {
    {"byte count over the cap", 50000, 50000, -1},
    {"side over the cap", 1 << 21, 1, -1},
    {"pixel block refused", 64, 64, 0},
    {"row table refused", 64, 64, 1},
};

TEST(Buffers, FailedResizeFreesAndReports) {
  for (const auto& c : kFailCases) {
    SCOPED_TRACE(c.name);
    {
      DebugCapture debug;
      TMTC m(8, 8);
      TMTC other(4, 4);
      std::unique_ptr<ScopedAllocFailure> fail;
      if (c.allowedAllocations >= 0) fail = std::make_unique<ScopedAllocFailure>(c.allowedAllocations);
      EXPECT_FALSE(m.Resize(c.w, c.h));
      EXPECT_FALSE(m.IsValid());
      EXPECT_EQ(m.Width(), 0);
      EXPECT_EQ(m.Height(), 0);
      EXPECT_TRUE(debug.Contains("TMTC::Resize: caught an exception!\n"));
      // Every later operation clips to nothing.
      FillAll(m, 1);
      FillRect(m, {0, 0, 5, 5}, 1);
      DrawLine(m, 0, 0, 5, 5, 1, 255, 255, BlendSet);
      DrawDisc(m, 2, 2, 2, 1, 255, true, false, BlendSet);
      CopyRect(m, {0, 0}, other, {0, 0, 4, 4});
      CopyRect(other, {0, 0}, m, {0, 0, 4, 4});
      EXPECT_EQ(*other.Pixel(0, 0), 0u);
    }
    {
      DebugCapture debug;
      TTC t;
      std::unique_ptr<ScopedAllocFailure> fail;
      if (c.allowedAllocations >= 0) fail = std::make_unique<ScopedAllocFailure>(c.allowedAllocations);
      EXPECT_FALSE(t.Resize(c.w, c.h));
      EXPECT_FALSE(t.IsValid());
      EXPECT_TRUE(debug.Contains("TTC::Resize: caught an exception!\n"));
    }
    {
      DebugCapture debug;
      TChannel ch(3, 3);
      std::unique_ptr<ScopedAllocFailure> fail;
      if (c.allowedAllocations >= 0) fail = std::make_unique<ScopedAllocFailure>(c.allowedAllocations);
      EXPECT_FALSE(ch.Resize(c.w, c.h));
      EXPECT_FALSE(ch.IsValid());
      EXPECT_TRUE(debug.Contains("TChannel::Resize: caught an exception!\n"));
      FillAll8(ch, 5);
      TRect r;
      EXPECT_FALSE(NonZeroBounds(ch, r));
      EXPECT_EQ(GetPixel8Clamped(ch, 0, 0), 0);
    }
  }
}

TEST(TileViews, ShareTheRowTableAndNeverResize) {
  int32_t rows[4] = {0, 16, 32, 48};
  uint8_t data[64] = {};
  TVMTC view(nullptr, 4, 4, rows);
  EXPECT_FALSE(view.IsValid());
  view.SetBits(data);
  EXPECT_TRUE(view.IsValid());
  EXPECT_EQ(view.Width(), 4);
  EXPECT_EQ(view.Pitch(), 4);
  EXPECT_EQ(view.ByteSize(), 64);
  EXPECT_FALSE(view.Resize(8, 8));
  FillRect(view, {1, 1, 2, 1}, 0x01020304);
  EXPECT_EQ(data[16 + 4], 0x04);
  EXPECT_EQ(data[16 + 8 + 3], 0x01);
  view.Free();
  EXPECT_FALSE(view.IsValid());

  int32_t rows8[2] = {0, 2};
  uint8_t bytes[4] = {};
  TVChannel cv(nullptr, 2, 2, rows8);
  cv.SetBits(bytes);
  FillRect8(cv, {1, 1, 1, 1}, 9);
  EXPECT_EQ(bytes[3], 9);
  EXPECT_EQ(cv.Pitch(), 2);
}

}  // namespace
}  // namespace tintara
