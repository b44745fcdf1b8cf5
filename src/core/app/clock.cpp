#include "core/app/clock.h"

#include <atomic>
#include <chrono>
#include <ctime>

namespace zorbek {
namespace {
std::atomic<const Clock*> g_clock{nullptr};

SystemTime FromTm(const std::tm& t, int millis) {
  SystemTime s;
  s.year = static_cast<std::uint16_t>(t.tm_year + 1900);
  s.month = static_cast<std::uint16_t>(t.tm_mon + 1);
  s.dayOfWeek = static_cast<std::uint16_t>(t.tm_wday);
  s.day = static_cast<std::uint16_t>(t.tm_mday);
  s.hour = static_cast<std::uint16_t>(t.tm_hour);
  s.minute = static_cast<std::uint16_t>(t.tm_min);
  s.second = static_cast<std::uint16_t>(t.tm_sec);
  s.milliseconds = static_cast<std::uint16_t>(millis);
  return s;
}
}  // namespace

std::int64_t Clock::UnixSeconds() const { return FloorDiv(NowUnixMillis(), 1000); }
SystemTime Clock::LocalNow() const { return LocalTimeOf(NowUnixMillis()); }
SystemTime Clock::UtcNow() const { return UtcTimeOf(NowUnixMillis()); }

std::int64_t SystemClock::NowUnixMillis() const {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void FakeClock::SetLocal(int year, int month, int day, int hour, int minute, int second,
                         int millis) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  millis_.store(static_cast<std::int64_t>(std::mktime(&t)) * 1000 + millis);
}

const Clock& clock() {
  static SystemClock system;
  const Clock* c = g_clock.load();
  return c ? *c : system;
}

void SetClock(const Clock* c) { g_clock.store(c); }

SystemTime LocalTimeOf(std::int64_t unixMillis) {
  const std::int64_t secs = FloorDiv(unixMillis, 1000);
  const auto t = static_cast<std::time_t>(secs);
  std::tm tm{};
  localtime_r(&t, &tm);
  return FromTm(tm, static_cast<int>(unixMillis - secs * 1000));
}

SystemTime UtcTimeOf(std::int64_t unixMillis) {
  const std::int64_t secs = FloorDiv(unixMillis, 1000);
  const auto t = static_cast<std::time_t>(secs);
  std::tm tm{};
  gmtime_r(&t, &tm);
  return FromTm(tm, static_cast<int>(unixMillis - secs * 1000));
}

}  // namespace zorbek
