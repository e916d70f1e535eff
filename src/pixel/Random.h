// The program's pseudo-random state: 20 bytes, used for dithering and noise.
#pragma once

#include <cstdint>

namespace tintara {

struct SRandomState {
  uint32_t seed = 0;
  uint32_t minimum = 0;
  uint32_t maximum = 0;
  uint32_t drawCount = 0;
  uint32_t current = 0;
};

inline void Seed(SRandomState& s, uint32_t seed, uint32_t minimum, uint32_t maximum) {
  s.seed = seed;
  s.current = seed;
  s.minimum = minimum;
  s.maximum = maximum;
  s.drawCount = 0;
}

// current := current * 134775813 + 1; the value is min + ((max - min) * current) >> 32,
// so with min 0 and max 255 the values are 0..254.
inline uint32_t Draw(SRandomState& s) {
  s.current = s.current * 134775813u + 1u;
  ++s.drawCount;
  return s.minimum + uint32_t((uint64_t(s.maximum - s.minimum) * s.current) >> 32);
}

}  // namespace tintara
