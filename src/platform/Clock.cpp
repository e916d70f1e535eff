#include "platform/Clock.h"

#include <chrono>
#include <ctime>

namespace tintara {
namespace {

class SystemClock final : public IClock {
 public:
  uint32_t Milliseconds() override {
    auto t = std::chrono::steady_clock::now().time_since_epoch();
    return uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(t).count());
  }
  SystemTime Now() override {
    auto now = std::chrono::system_clock::now();
    std::time_t secs = std::chrono::system_clock::to_time_t(now);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    gmtime_r(&secs, &tm);
    SystemTime st;
    st.year = uint16_t(tm.tm_year + 1900);
    st.month = uint16_t(tm.tm_mon + 1);
    st.dayOfWeek = uint16_t(tm.tm_wday);
    st.day = uint16_t(tm.tm_mday);
    st.hour = uint16_t(tm.tm_hour);
    st.minute = uint16_t(tm.tm_min);
    st.second = uint16_t(tm.tm_sec);
    st.milliseconds = uint16_t(ms);
    return st;
  }
};

SystemClock g_systemClock;
IClock* g_clock = &g_systemClock;

}  // namespace

IClock* SetClock(IClock* clock) {
  IClock* old = g_clock;
  g_clock = clock ? clock : &g_systemClock;
  return old;
}

uint32_t TimeGetTime() { return g_clock->Milliseconds(); }
SystemTime GetSystemTime() { return g_clock->Now(); }

ManualClock::ManualClock() : previous_(SetClock(this)) {}
ManualClock::~ManualClock() { SetClock(previous_); }

}  // namespace tintara
