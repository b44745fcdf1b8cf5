// The program's one source of time. Tests and the simulator install a clock of their own.
#pragma once

#include <atomic>
#include <cstdint>

namespace zorbek {

// A calendar date and time as the program records it: year, month (1-12), day of week
// (0 = Sunday), day (1-31), hour, minute, second, milliseconds.
struct SystemTime {
  std::uint16_t year = 0, month = 0, dayOfWeek = 0, day = 0;
  std::uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;
  friend bool operator==(const SystemTime&, const SystemTime&) = default;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since 1970-01-01 00:00 UTC.
  virtual std::int64_t NowUnixMillis() const = 0;

  std::int64_t UnixSeconds() const;
  SystemTime LocalNow() const;  // in the process's time zone (TZ)
  SystemTime UtcNow() const;
};

class SystemClock : public Clock {
 public:
  std::int64_t NowUnixMillis() const override;
};

// A clock that stands still until it is moved. It may be read on one thread (the reminder
// check) while another moves it.
class FakeClock : public Clock {
 public:
  explicit FakeClock(std::int64_t unixMillis = 0) : millis_(unixMillis) {}
  std::int64_t NowUnixMillis() const override { return millis_.load(); }
  void SetUnixMillis(std::int64_t millis) { millis_.store(millis); }
  // Sets the clock to a local wall-clock time (as mktime reads it, daylight saving unknown).
  void SetLocal(int year, int month, int day, int hour, int minute, int second, int millis = 0);
  void Advance(std::int64_t millis) { millis_ += millis; }

 private:
  std::atomic<std::int64_t> millis_;
};

// a / b rounded toward minus infinity (b > 0): whole units of a span that may be negative.
inline std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// The process-wide clock; SystemClock until another is installed.
const Clock& clock();
void SetClock(const Clock* clock);

// Broken-down local and UTC time of a moment (milliseconds since the epoch).
SystemTime LocalTimeOf(std::int64_t unixMillis);
SystemTime UtcTimeOf(std::int64_t unixMillis);

}  // namespace zorbek
