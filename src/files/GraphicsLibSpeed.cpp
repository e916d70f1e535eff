// The processor speed measurement: how many simple dependent operations fit into a stretch of
// the millisecond clock. The profile turns smooth zoomed display on above 1e9.
#include "files/GraphicsLibSpeed.h"
#include "platform/Clock.h"

namespace tintara {
namespace {

// One round: kSpeedOpsPerRound shift-and-add steps, each depending on the last, so the count
// follows the processor's clock rather than its width. The empty asm keeps the compiler from
// folding the chain.
uint32_t SpeedRound(uint32_t x) {
  for (uint64_t i = 0; i < kSpeedOpsPerRound / 2; ++i) {
    x += x >> 1;
    __asm__ volatile("" : "+r"(x));
  }
  return x;
}

// Where the chain ends up, so that it is computed at all.
volatile uint32_t g_speedSink = 0;

}  // namespace

GfxResult MeasureProcessorSpeed(uint32_t milliseconds, double* speed, uint64_t maxRounds) {
  if (speed) *speed = 0;
  if (!speed || milliseconds == 0 || maxRounds == 0) return GfxResult::BadArgument;
  const uint32_t start = TimeGetTime();
  uint64_t rounds = 0;
  uint32_t elapsed = 0;  // unsigned difference: correct across the clock's wrap
  uint32_t chain = 1;
  while (elapsed < milliseconds) {
    if (rounds == maxRounds) return GfxResult::ClockStalled;
    chain = SpeedRound(chain | 1);
    ++rounds;
    elapsed = TimeGetTime() - start;
  }
  g_speedSink = chain;
  *speed = double(rounds) * double(kSpeedOpsPerRound) * 1000.0 / double(elapsed);
  return GfxResult::Ok;
}

}  // namespace tintara
