// Millisecond clock and wall-clock time, injectable so tests are deterministic.
#pragma once

#include <cstdint>

namespace tintara {

// A calendar time in UTC, field for field the 16-byte record stored in event files.
struct SystemTime {
  uint16_t year = 0;
  uint16_t month = 0;      // 1..12
  uint16_t dayOfWeek = 0;  // 0 = Sunday
  uint16_t day = 0;        // 1..31
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
  uint16_t milliseconds = 0;
};

class IClock {
 public:
  virtual ~IClock() = default;
  // Milliseconds since some fixed start, wrapping at 2^32.
  virtual uint32_t Milliseconds() = 0;
  virtual SystemTime Now() = 0;
};

IClock* SetClock(IClock* clock);  // nullptr restores the system clock; returns the previous one

uint32_t TimeGetTime();
SystemTime GetSystemTime();

// A clock that only moves when told to. Installs itself for its lifetime.
class ManualClock : public IClock {
 public:
  ManualClock();
  ~ManualClock() override;
  ManualClock(const ManualClock&) = delete;
  ManualClock& operator=(const ManualClock&) = delete;

  uint32_t Milliseconds() override { return ms; }
  SystemTime Now() override { return now; }
  void Advance(uint32_t delta) { ms += delta; }

  uint32_t ms = 0;
  SystemTime now{2026, 1, 4, 1, 0, 0, 0, 0};

 private:
  IClock* previous_;
};

}  // namespace tintara
