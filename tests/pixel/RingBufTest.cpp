#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pixel/RingBuf.h"
#include "platform/Memory.h"

namespace tintara {
namespace {

// A script of ring operations: P<n> push, R<n> replace current, B step back,
// F step forward, D drop, X discard forward, C<back>,<fwd> reconfigure.
// After the script the counts and the records visible through Peek are checked.
struct RingCase {
  const char* name;
  int32_t back, forward;
  std::vector<std::string> ops;
  std::vector<bool> results;  // per op
  int32_t backCount, forwardCount;
  std::vector<int32_t> backRecords;     // current first, then older (Peek 0, -1, ...)
  std::vector<int32_t> forwardRecords;  // Peek 1, 2, ...
};

// clang-format off
const RingCase kCases[] = {
    {"five pushes keep the last three",
     3,
     2,
     {"P1", "P2", "P3", "P4", "P5"},
     {true, true, true, true, true},
     3,
     0,
     {5, 4, 3},
     {}},
    {"forward count is not limited by the forward capacity",
     3,
     2,
     {"P1", "P2", "P3", "P4", "P5", "B", "B", "B", "B"},
     {true, true, true, true, true, true, true, true, false},
     0,
     3,
     {},
     {3, 4, 5}},
    {"push after stepping back drops the forward part",
     3,
     2,
     {"P1", "P2", "P3", "B", "B", "P9"},
     {true, true, true, true, true, true},
     2,
     0,
     {9, 1},
     {}},
    {"step forward again",
     4,
     1,
     {"P1", "P2", "P3", "B", "B", "F"},
     {true, true, true, true, true, true},
     2,
     1,
     {2, 1},
     {3}},
    {"replace on an empty ring makes one record", 2, 0, {"R7"}, {true}, 1, 0, {7}, {}},
    // Both counts together stay within the back capacity: the farthest forward record goes.
    {"replace after stepping all the way back keeps the nearest forward records", 3, 0,
     {"P1", "P2", "P3", "B", "B", "B", "R8"}, {true, true, true, true, true, true, true}, 1, 2, {8}, {1, 2}},
    {"replace and step back again and again never overwrites a forward record", 3, 0,
     {"P1", "P2", "P3", "B", "B", "B", "R8", "B", "R9", "B", "R7"},
     {true, true, true, true, true, true, true, true, true, true, true}, 1, 2, {7}, {9, 8}},
    {"the same with forward storage", 2, 1,
     {"P1", "P2", "B", "B", "R5", "B", "R6", "B", "R7", "F", "F"},
     {true, true, true, true, true, true, true, true, true, true, false}, 2, 0, {6, 7}, {}},
    {"drop forgets without a forward record",
     3,
     1,
     {"P1", "P2", "B", "D", "D"},
     {true, true, true, true, false},
     0,
     0,
     {},
     {}},
    {"discard forward", 3, 1, {"P1", "P2", "B", "X"}, {true, true, true, true}, 1, 0, {1}, {}},
    {"reconfigure keeps the newest back records",
     4,
     0,
     {"P1", "P2", "P3", "P4", "C2,0"},
     {true, true, true, true, true},
     2,
     0,
     {4, 3},
     {}},
    {"reconfigure keeps the nearest forward records",
     4,
     2,
     {"P1", "P2", "P3", "P4", "B", "B", "C3,1"},
     {true, true, true, true, true, true, true},
     2,
     1,
     {2, 1},
     {3}},
    {"reconfigure refuses forward records without a back record",
     2,
     2,
     {"P1", "P2", "B", "B", "C1,1"},
     {true, true, true, true, false},
     0,
     2,
     {},
     {1, 2}},
    {"reconfigure to the same capacities is a no-op", 2, 2, {"P1", "C2,2"}, {true, true}, 1, 0, {1}, {}},
    {"grow and keep everything",
     2,
     0,
     {"P1", "P2", "C5,3", "P3", "P4"},
     {true, true, true, true, true},
     4,
     0,
     {4, 3, 2, 1},
     {}},
};
// clang-format on

TEST(RingBuf, Scripts) {
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CRingBufDWORD ring;
    ASSERT_TRUE(ring.Setup(c.back, c.forward));
    for (size_t i = 0; i < c.ops.size(); ++i) {
      const std::string& op = c.ops[i];
      bool r = false;
      switch (op[0]) {
        case 'P':
          r = ring.Push(uint32_t(std::stoi(op.substr(1))));
          break;
        case 'R':
          r = ring.ReplaceCurrent(uint32_t(std::stoi(op.substr(1))));
          break;
        case 'B':
          r = ring.StepBack();
          break;
        case 'F':
          r = ring.StepForward();
          break;
        case 'D':
          r = ring.Drop();
          break;
        case 'X':
          r = ring.DiscardForward() > 0;
          break;
        case 'C': {
          const auto comma = op.find(',');
          r = ring.Reconfigure(std::stoi(op.substr(1, comma - 1)), std::stoi(op.substr(comma + 1)));
          break;
        }
      }
      EXPECT_EQ(r, bool(c.results[i])) << "op " << i << " " << op;
    }
    EXPECT_EQ(ring.BackCount(), c.backCount);
    EXPECT_EQ(ring.ForwardCount(), c.forwardCount);
    for (size_t k = 0; k < c.backRecords.size(); ++k) {
      uint32_t v = 0;
      ASSERT_TRUE(ring.Peek(-int32_t(k), v)) << k;
      EXPECT_EQ(v, uint32_t(c.backRecords[k])) << "back " << k;
    }
    uint32_t v = 0;
    EXPECT_FALSE(ring.Peek(-int32_t(c.backRecords.size()), v));
    for (size_t k = 0; k < c.forwardRecords.size(); ++k) {
      ASSERT_TRUE(ring.Peek(int32_t(k + 1), v)) << k;
      EXPECT_EQ(v, uint32_t(c.forwardRecords[k])) << "forward " << k;
    }
    EXPECT_FALSE(ring.Peek(int32_t(c.forwardRecords.size() + 1), v));
  }
}

TEST(RingBuf, PeekRangesAndCurrent) {
  CRingBufDWORD ring;
  EXPECT_EQ(ring.CurrentValue(), 0u);  // never set up
  EXPECT_FALSE(ring.Valid());
  ASSERT_TRUE(ring.Setup(3, 1));
  uint32_t v = 0;
  EXPECT_FALSE(ring.Current(&v));
  ring.Push(11);
  EXPECT_FALSE(ring.Peek(-1, v));  // back count 1: nothing behind the current record
  EXPECT_TRUE(ring.Peek(0, v));
  EXPECT_EQ(v, 11u);
  EXPECT_EQ(ring.CurrentValue(), 11u);
  ring.Clear();
  EXPECT_EQ(ring.BackCount(), 0);
  EXPECT_FALSE(ring.Current(&v));
}

TEST(RingBuf, FailuresLeaveTheRingAsItWas) {
  CRingBufDWORD never;
  EXPECT_FALSE(never.Push(1));
  EXPECT_FALSE(never.StepBack());
  EXPECT_FALSE(never.ReplaceCurrent(1));
  CRingBuf sizeless;  // no record size: nothing to reconfigure
  EXPECT_FALSE(sizeless.Reconfigure(2, 2));
  CRingBufDWORD ring;
  ASSERT_TRUE(ring.Setup(2, 1));
  ring.Push(5);
  EXPECT_FALSE(ring.Reconfigure(0, 1));
  EXPECT_FALSE(ring.Reconfigure(2, -1));
  {
    ScopedAllocFailure fail(0);
    EXPECT_FALSE(ring.Reconfigure(4, 4));
    CRingBufDWORD other;
    EXPECT_FALSE(other.Setup(3, 3));
    EXPECT_FALSE(other.Valid());
  }
  EXPECT_EQ(ring.BackCapacity(), 2);
  EXPECT_EQ(ring.CurrentValue(), 5u);
}

TEST(RingBuf, SetupNeedsPositiveSizes) {
  CRingBuf ring(4);
  EXPECT_FALSE(ring.Setup(4, 0, 5));
  EXPECT_FALSE(ring.Setup(0, 3, 0));
  EXPECT_FALSE(ring.Valid());
  EXPECT_TRUE(ring.Setup(16, 1, 0));
  const uint8_t rec[16] = {1, 2, 3};
  uint8_t out[16] = {};
  ring.Push(rec);
  ASSERT_TRUE(ring.Current(out));
  EXPECT_EQ(out[2], 3);
}

}  // namespace
}  // namespace tintara
