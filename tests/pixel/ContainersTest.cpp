#include <gtest/gtest.h>

#include <cstring>

#include "pixel/DynArray.h"
#include "pixel/DynStack.h"
#include "pixel/FixedMemStream.h"
#include "pixel/MemSeg.h"
#include "platform/Memory.h"

namespace tintara {
namespace {

TEST(FixedMemStream, ReadsAndWritesStopAtTheEnd) {
  uint8_t buf[6] = {1, 2, 3, 4, 5, 6};
  CFixedMemStream s(buf, sizeof buf);
  uint8_t out[4] = {};
  EXPECT_EQ(s.Read(out, 4), 4u);
  EXPECT_EQ(out[3], 4);
  const uint8_t in[5] = {9, 9, 9, 9, 9};
  EXPECT_EQ(s.Write(in, 5), 2u);  // cut at the end, short count
  EXPECT_EQ(buf[5], 9);
  EXPECT_EQ(s.Position(), 6u);
  EXPECT_EQ(s.Write(in, 1), 0u);
  EXPECT_EQ(s.Read(out, 1), 0u);
  s.SetSize(100);
  EXPECT_EQ(s.Size(), 6u);
  EXPECT_EQ(s.Seek(-2, SeekOrigin::End), 4u);
  EXPECT_EQ(s.Seek(-10, SeekOrigin::Current), 0u);
  EXPECT_EQ(s.Seek(50, SeekOrigin::Begin), 6u);
  EXPECT_EQ(s.Detach(), buf);
  EXPECT_EQ(s.Size(), 0u);
  EXPECT_EQ(s.Memory(), nullptr);
  EXPECT_EQ(s.Write(in, 1), 0u);
  CFixedMemStream none(nullptr, 100);  // no buffer: an empty stream
  EXPECT_EQ(none.Size(), 0u);
  EXPECT_EQ(none.Read(out, 1), 0u);
  EXPECT_EQ(none.Write(in, 1), 0u);
}

TEST(DynArray, AllocateResizeAndOwnership) {
  CDynArray a;
  EXPECT_FALSE(a.IsAllocated());
  ASSERT_TRUE(a.Allocate(4, 3));
  EXPECT_EQ(a.ByteSize(), 12u);
  a.As<uint32_t>()[0] = 0xAABBCCDD;
  uint8_t* before = a.Data();
  EXPECT_TRUE(a.Allocate(4, 3));  // same count: nothing happens
  EXPECT_EQ(a.Data(), before);
  ASSERT_TRUE(a.Allocate(4, 5));  // grows, keeps content, zero tail
  EXPECT_EQ(a.As<uint32_t>()[0], 0xAABBCCDDu);
  EXPECT_EQ(a.As<uint32_t>()[4], 0u);
  ASSERT_TRUE(a.Resize(4, 1));  // keeps the bytes that fit
  EXPECT_EQ(a.Count(), 1);
  EXPECT_EQ(a.As<uint32_t>()[0], 0xAABBCCDDu);
  ASSERT_TRUE(a.Allocate(2, 1));  // another element size starts over
  EXPECT_EQ(a.As<uint16_t>()[0], 0);
  // Element size x count must fit.
  EXPECT_FALSE(a.Allocate(1 << 20, 1 << 20));
  EXPECT_FALSE(a.IsAllocated());

  CDynArray b, c;
  ASSERT_TRUE(b.Allocate(1, 4));
  b.FillBytes(7);
  ASSERT_TRUE(c.CopyFrom(b));
  EXPECT_EQ(c.Data()[3], 7);
  EXPECT_FALSE(c.TakeOver(b));  // c holds a buffer: refused
  CDynArray d;
  ASSERT_TRUE(d.TakeOver(b));
  EXPECT_FALSE(b.IsAllocated());
  EXPECT_EQ(d.Count(), 4);
  CDynArray empty;
  ASSERT_TRUE(c.CopyFrom(empty));  // an empty source empties the target
  EXPECT_FALSE(c.IsAllocated());
  void* raw = d.Detach();
  EXPECT_FALSE(d.IsAllocated());
  MemFree(raw);
}

TEST(DynArray, AllocationFailureLeavesItEmpty) {
  CDynArray a;
  ASSERT_TRUE(a.Allocate(4, 2));
  {
    ScopedAllocFailure fail(0);
    EXPECT_FALSE(a.Allocate(4, 100));
    EXPECT_FALSE(a.IsAllocated());
    EXPECT_FALSE(a.Resize(4, 3));
  }
  CDynArray b;
  ASSERT_TRUE(b.Allocate(1, 8));
  {
    ScopedAllocFailure fail(0);
    EXPECT_FALSE(b.Resize(1, 16));  // a failed resize leaves the array empty, as every failure does
  }
  EXPECT_FALSE(b.IsAllocated());
  EXPECT_EQ(b.Count(), 0);
  // A count of 0 is an empty array, not a failure; a negative count is refused.
  CDynArray c;
  ASSERT_TRUE(c.Allocate(4, 3));
  EXPECT_TRUE(c.Allocate(4, 0));
  EXPECT_FALSE(c.IsAllocated());
  EXPECT_FALSE(c.Allocate(4, -1));
  // Resize to another element size keeps the bytes that fit.
  ASSERT_TRUE(c.Allocate(4, 2));
  c.As<uint32_t>()[0] = 0x04030201;
  ASSERT_TRUE(c.Resize(1, 3));
  EXPECT_EQ(c.Data()[2], 3);
  EXPECT_EQ(c.ElementSize(), 1);
}

TEST(DynArray, TwoDimensionalAndRectangleArraysRefuseWhatDoesNotFit) {
  CDynArray2D g;
  EXPECT_FALSE(g.Allocate(1, 65536, 32768));  // 2^31 elements: the count would not fit
  EXPECT_FALSE(g.Allocate(8, 30000, 30000));
  EXPECT_EQ(g.Data(), nullptr);
  {
    ScopedAllocFailure fail(0);
    EXPECT_FALSE(g.Allocate(4, 2, 2));
    CRectArray r;
    EXPECT_FALSE(r.Allocate(4));
    EXPECT_EQ(r.Count(), 0);
  }
  CRectArray r;
  EXPECT_FALSE(r.Allocate(0));
  EXPECT_FALSE(r.Allocate(0x7FFFFFFF));
}

TEST(DynArray, TwoDimensionalAndRectangleArrays) {
  CDynArray2D g;
  ASSERT_TRUE(g.Allocate(4, 3, 2));
  EXPECT_EQ(g.Count(), 6);
  const uint32_t rec = 0x01020304;
  g.FillWith(&rec);
  uint32_t v;
  std::memcpy(&v, g.At(2, 1), 4);
  EXPECT_EQ(v, rec);
  uint8_t* same = g.Data();
  EXPECT_TRUE(g.Allocate(4, 3, 2));
  EXPECT_EQ(g.Data(), same);
  g.FillBytes(0);
  std::memcpy(&v, g.At(0, 0), 4);
  EXPECT_EQ(v, 0u);
  EXPECT_FALSE(g.Allocate(4, 0, 2));
  EXPECT_EQ(g.Count(), 0);

  CRectArray r, s;
  ASSERT_TRUE(r.Allocate(3));
  uint8_t* buf = r.Data();
  EXPECT_TRUE(r.Allocate(3));
  EXPECT_EQ(r.Data(), buf);
  ASSERT_TRUE(s.TakeOver(r));
  EXPECT_EQ(s.Count(), 3);
  EXPECT_EQ(r.Count(), 0);
  EXPECT_FALSE(s.TakeOver(r));
}

TEST(DynStack, PushPopAndOverflow) {
  CDynStack st(8, 2);
  const uint64_t a = 1, b = 2, c = 3;
  uint64_t out = 99;
  EXPECT_FALSE(st.Pop(&out));
  EXPECT_EQ(out, 99u);  // untouched
  EXPECT_TRUE(st.Push(&a));
  EXPECT_TRUE(st.Push(&b));
  EXPECT_FALSE(st.Overflowed());
  EXPECT_FALSE(st.Push(&c));
  EXPECT_TRUE(st.Overflowed());
  EXPECT_TRUE(st.Pop(&out));
  EXPECT_EQ(out, 2u);
  EXPECT_TRUE(st.Pop(&out));
  EXPECT_EQ(out, 1u);
  EXPECT_EQ(st.Depth(), 0);
  EXPECT_TRUE(st.Reset());
  EXPECT_FALSE(st.Overflowed());

  ScopedAllocFailure fail(0);
  CDynStack broken(8, 100);
  EXPECT_EQ(broken.Capacity(), 0);
  EXPECT_FALSE(broken.Reset());
  EXPECT_FALSE(broken.Push(&a));
  EXPECT_TRUE(broken.Overflowed());
}

TEST(MemSeg, WritesAreCutToTheSegment) {
  CMemSeg m(8);
  ASSERT_TRUE(m.IsValid());
  EXPECT_TRUE(m.Owns());
  const uint8_t data[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(m.Write(data, 0, 6), 6u);
  EXPECT_EQ(m.Write(data, 5, 6), 3u);
  EXPECT_EQ(m.Memory()[7], 3);
  EXPECT_EQ(m.Write(data, 8, 1), 0u);  // offset = size
  EXPECT_EQ(m.Write(data, 0xFFFFFFFFu, 1), 0u);
  {
    ScopedAllocFailure fail(0);
    EXPECT_FALSE(m.Allocate(64));
  }
  EXPECT_EQ(m.Size(), 8u);  // the old memory stays
  EXPECT_EQ(m.Memory()[0], 1);
  m.Free();
  EXPECT_FALSE(m.IsValid());
  EXPECT_EQ(m.Write(data, 0, 1), 0u);
}

}  // namespace
}  // namespace tintara
