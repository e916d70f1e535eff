// The processor speed measurement behind the profile's smooth-zoom default.
#pragma once

#include <cstddef>
#include <cstdint>

#include "files/GraphicsLibResult.h"

namespace tintara {

// Dependent integer operations in one round of the speed loop.
inline constexpr uint64_t kSpeedOpsPerRound = 4096;
// Rounds after which a clock that never moves is given up on.
inline constexpr uint64_t kSpeedMaxRounds = uint64_t(1) << 28;

// Runs rounds of a fixed chain of dependent integer operations until TimeGetTime() has moved
// on by at least `milliseconds` and stores operations per second — about the processor's clock
// rate — in `speed`. Reads the clock once before the first round and once after each.
GfxResult MeasureProcessorSpeed(uint32_t milliseconds, double* speed, uint64_t maxRounds = kSpeedMaxRounds);

}  // namespace tintara
