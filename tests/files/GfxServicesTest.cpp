// The small services of the bridge: the 32-bit map and the speed measurement.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "GfxTestUtil.h"
#include "files/GraphicsLibMap.h"
#include "files/GraphicsLibSpeed.h"
#include "platform/Clock.h"

namespace tintara {
namespace {

// --- CMapDD ---------------------------------------------------------------------------------

TEST(CMapDD, KeepsOneValuePerKeyOverTheWholeRange) {
  CMapDD map;
  ASSERT_EQ(map.Create(16), 0);
  struct Entry {
    uint32_t key, value;
  };
  const Entry kEntries[] = {{0, 0xFFFFFFFF}, {0xFFFFFFFF, 0}, {1, 1}, {0x80000000, 0x12345678}};
  for (const Entry e : kEntries) EXPECT_TRUE(map.SetAt(e.key, e.value));
  EXPECT_EQ(map.Count(), 4u);
  for (const Entry e : kEntries) {
    uint32_t v = 0xDEAD;
    EXPECT_TRUE(map.Lookup(e.key, &v)) << e.key;
    EXPECT_EQ(v, e.value) << e.key;
  }
  uint32_t v = 0xDEAD;
  EXPECT_FALSE(map.Lookup(2, &v));
  EXPECT_EQ(v, 0xDEADu) << "a miss leaves the value alone";
  EXPECT_TRUE(map.Lookup(1, nullptr));
  // Setting a key again replaces its value.
  EXPECT_TRUE(map.SetAt(1, 99));
  EXPECT_TRUE(map.Lookup(1, &v));
  EXPECT_EQ(v, 99u);
  EXPECT_EQ(map.Count(), 4u);
  EXPECT_TRUE(map.RemoveKey(1));
  EXPECT_FALSE(map.RemoveKey(1));
  EXPECT_FALSE(map.Lookup(1, &v));
  map.RemoveAll();
  EXPECT_EQ(map.Count(), 0u);
  EXPECT_FALSE(map.Lookup(0, &v));
}

TEST(CMapDD, CreateFailsOnlyForAbsurdSizesAndStartsEmpty) {
  CMapDD map;
  EXPECT_EQ(map.Create(0), 0);
  EXPECT_TRUE(map.SetAt(5, 6));
  EXPECT_EQ(map.Create(1000), 0);
  EXPECT_EQ(map.Count(), 0u) << "creating again drops what was there";
  EXPECT_NE(map.Create(CMapDD::kMaxInitialSize + 1), 0);
  EXPECT_NE(map.Create(0xFFFFFFFF), 0);
  EXPECT_EQ(map.Count(), 0u);
}

TEST(CMapDD, AgreesWithAReferenceMapOverManyOperations) {
  CMapDD map;
  ASSERT_EQ(map.Create(8), 0);
  std::map<uint32_t, uint32_t> model;
  std::mt19937 gen(2024);
  for (int i = 0; i < 20000; ++i) {
    const uint32_t key = gen() % 300, value = gen();
    switch (gen() % 4) {
      case 0:
      case 1:
        ASSERT_TRUE(map.SetAt(key, value));
        model[key] = value;
        break;
      case 2:
        ASSERT_EQ(map.RemoveKey(key), model.erase(key) == 1) << i;
        break;
      default: {
        uint32_t got = 0;
        const auto it = model.find(key);
        ASSERT_EQ(map.Lookup(key, &got), it != model.end()) << i;
        if (it != model.end()) {
          ASSERT_EQ(got, it->second) << i;
        }
      }
    }
    ASSERT_EQ(map.Count(), model.size()) << i;
  }
}

// --- speed measurement ----------------------------------------------------------------------

// A clock that moves on by a fixed step at every reading, and counts the readings.
class SteppingClock : public IClock {
 public:
  SteppingClock(uint32_t start, uint32_t step) : now_(start), step_(step), previous_(SetClock(this)) {}
  ~SteppingClock() override { SetClock(previous_); }
  uint32_t Milliseconds() override {
    ++reads;
    const uint32_t t = now_;
    now_ += step_;
    return t;
  }
  SystemTime Now() override { return {}; }
  int reads = 0;

 private:
  uint32_t now_, step_;
  IClock* previous_;
};

TEST(MeasureProcessorSpeed, CountsRoundsUntilTheTimeHasPassed) {
  struct Case {
    uint32_t start, step, milliseconds;
    int rounds;        // ceil(milliseconds / step)
    uint32_t elapsed;  // rounds × step, the time actually measured
  };
  const Case kCases[] = {
      {0, 1, 100, 100, 100}, {1000, 7, 100, 15, 105},
      {0, 250, 100, 1, 250}, {0xFFFFFFF0u, 3, 100, 34, 102},  // across the clock's wrap
      {5, 10, 10, 1, 10},
  };
  for (const Case c : kCases) {
    SteppingClock clock(c.start, c.step);
    double speed = -1;
    ASSERT_EQ(MeasureProcessorSpeed(c.milliseconds, &speed), GfxResult::Ok) << c.step;
    EXPECT_EQ(clock.reads, c.rounds + 1) << c.step;
    EXPECT_DOUBLE_EQ(speed, double(c.rounds) * double(kSpeedOpsPerRound) * 1000.0 / double(c.elapsed))
        << c.step;
  }
}

TEST(MeasureProcessorSpeed, GivesUpOnAClockThatNeverMoves) {
  SteppingClock frozen(42, 0);
  double speed = -1;
  EXPECT_EQ(MeasureProcessorSpeed(100, &speed, 1000), GfxResult::ClockStalled);
  EXPECT_EQ(frozen.reads, 1001);
  EXPECT_EQ(speed, 0);
}

TEST(MeasureProcessorSpeed, RefusesNonsense) {
  double speed = -1;
  EXPECT_EQ(MeasureProcessorSpeed(0, &speed), GfxResult::BadArgument);
  EXPECT_EQ(speed, 0);
  EXPECT_EQ(MeasureProcessorSpeed(100, nullptr), GfxResult::BadArgument);
}

TEST(MeasureProcessorSpeed, RealClockGivesAPlausibleRate) {
  // Not a timing assertion: any processor of this century runs far more than a million
  // dependent additions a second, and a loop that the compiler folded away would not be counted.
  double speed = 0;
  ASSERT_EQ(MeasureProcessorSpeed(20, &speed), GfxResult::Ok);
  EXPECT_GT(speed, 1e6);
  EXPECT_LT(speed, 1e12);
}

}  // namespace
}  // namespace tintara
