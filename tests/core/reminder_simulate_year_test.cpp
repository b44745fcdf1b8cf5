// zorbek-cli simulate over a year of 299 reminders of the modes with occurrences (once, daily,
// weekly, monthly, yearly, date range), in a time zone with daylight saving time: each reminder
// fires once per occurrence, never otherwise, and the database is written once per pass that
// fires. (The hourly reminder's saves are counted over 48 hours with the due rules.)
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "core/reminders/reminder_record.h"
#include "core/reminders/reminder_time.h"
#include "reminder_test_util.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {

using testing::At;
using namespace reminder_mode;

struct Planned {
  std::string id;
  std::int32_t mode;
  SystemTime start, stop, lastUpdate;
  int valid;
};

// Whether a reminder occurs on a date of 2027: written from the modes' descriptions, day by day.
bool OccursOn(const Planned& r, int y, int m, int d) {
  const SystemTime day = At(y, m, d);
  const auto on = [&](const SystemTime& t) { return t.year == y && t.month == m && t.day == d; };
  switch (r.mode) {
    case kOnce: return on(r.start);
    case kDaily: return true;
    case kWeekly: return day.dayOfWeek == r.start.dayOfWeek;
    case kMonthly: return d == r.start.day;
    case kYearly: return m == r.start.month && d == r.start.day;
    case kRange: {
      const auto key = [](const SystemTime& t) { return t.year * 10000 + t.month * 100 + t.day; };
      return key(r.start) <= y * 10000 + m * 100 + d && y * 10000 + m * 100 + d <= key(r.stop);
    }
    default: return false;
  }
}

// A directory in memory where there is one: a year of saves need not wear a disk.
struct MemoryTempDir {
  MemoryTempDir() {
    const char* old = std::getenv("TMPDIR");
    if (old) saved = old;
    if (::access("/dev/shm", W_OK) == 0) ::setenv("TMPDIR", "/dev/shm", 1);
    dir = std::make_unique<testing::TempDir>("zorbek-year");
    if (old) ::setenv("TMPDIR", saved.c_str(), 1);
    else ::unsetenv("TMPDIR");
  }
  std::string saved;
  std::unique_ptr<testing::TempDir> dir;
};

TEST(ReminderSimulateYear, FiringsEqualOccurrencesAndSavesEqualFirings) {
  testing::ScopedTimeZone tz("Europe/Berlin");  // inherited by the command
  MemoryTempDir tmp;
  const std::string db = *tmp.dir / "Zorbek.xml";

  // 300 reminders at whole ten minutes (never 02:00-02:59, which one night of the year skips),
  // checked every ten minutes.
  std::mt19937 random(2027);
  std::vector<std::pair<int, int>> slots;
  for (int round = 0; round < 3; ++round)
    for (int h = 0; h < 24; ++h)
      for (int mi = 0; mi < 60; mi += 10)
        if (h != 2) slots.emplace_back(h, mi);
  std::shuffle(slots.begin(), slots.end(), random);
  const SystemTime handledBefore = At(2026, 12, 31, 23, 59, 59);
  std::vector<Planned> plan;
  auto day = [&](int from, int span) {  // a day number from..from+span-1 as a date
    int y = 0, m = 0, d = 0;
    CivilFromDays(from + static_cast<int>(random() % static_cast<unsigned>(span)), y, m, d);
    return std::array<int, 3>{y, m, d};
  };
  const int jan2026 = static_cast<int>(DaysFromCivil(2026, 1, 1));
  const int jan2027 = static_cast<int>(DaysFromCivil(2027, 1, 1));
  const std::vector<std::pair<std::int32_t, int>> modes = {
      {kOnce, 120}, {kDaily, 2}, {kWeekly, 20}, {kMonthly, 60}, {kYearly, 60}, {kRange, 37}};
  for (const auto& [mode, count] : modes) {
    for (int i = 0; i < count; ++i) {
      Planned r;
      r.mode = mode;
      r.id = "s" + std::to_string(mode) + "x" + std::to_string(i);
      const auto [h, mi] = slots[plan.size()];
      std::array<int, 3> date;
      if (mode == kOnce) date = day(jan2027, 365);
      else if (mode == kRange) date = day(jan2027 - 20, 385);
      else if (mode == kYearly && i < 3) date = {2024, 2, 29};  // no 29 February in 2027
      else date = day(jan2026, 365);
      r.start = At(date[0], date[1], date[2], h, mi, 0);
      r.stop = r.start;
      if (mode == kRange) {
        const int first = static_cast<int>(DaysFromCivil(date[0], date[1], date[2]));
        const auto last = day(first + 1, 40);
        r.stop = At(last[0], last[1], last[2], h, mi, 0);
      }
      // Every occurrence before the year was handled, as a running program leaves the file; a
      // reminder that begins within the year is as it was added.
      const bool begun = r.start.year < 2027;
      r.lastUpdate = begun ? handledBefore : r.start;
      r.valid = begun ? 0 : 1;
      plan.push_back(r);
    }
  }
  ASSERT_EQ(plan.size(), 299u);

  std::ostringstream xml;
  xml << "<list><hotkey/><filetree><archive/><schedule>";
  for (const Planned& r : plan) {
    const FileTimeHalves s = StoredHalves(r.start), e = StoredHalves(r.stop),
                         u = StoredHalves(r.lastUpdate);
    xml << "<" << r.id << " mode=\"" << r.mode << "\" lowtime=\"" << s.low << "\" hightime=\""
        << s.high << "\" stoplowtime=\"" << e.low << "\" stophightime=\"" << e.high
        << "\" lulowtime=\"" << u.low << "\" luhightime=\"" << u.high << "\" valid=\"" << r.valid
        << "\">" << r.id << "</" << r.id << ">";
  }
  xml << "</schedule></filetree></list>";
  testing::WriteFile(db, xml.str());

  std::map<std::string, int> expected;
  int occurrences = 0;
  for (int n = jan2027; n < jan2027 + 365; ++n) {
    int y = 0, m = 0, d = 0;
    CivilFromDays(n, y, m, d);
    for (const Planned& r : plan) {
      if (r.mode != kHourly && OccursOn(r, y, m, d)) {
        ++expected[r.id];
        ++occurrences;
      }
    }
  }

  std::string out, err;
  ASSERT_EQ(testing::RunCli({"--db", db, "simulate", "--from", "2027-01-01 00:00:00", "--to",
                             "2027-12-31 23:50:00", "--step", "600"},
                            &out, &err),
            0)
      << err;
  std::map<std::string, int> fired;
  std::set<std::string> passesThatFired;
  int firings = 0;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const auto tab1 = line.find('\t'), tab2 = line.rfind('\t');
    ASSERT_EQ(line.substr(tab1 + 1, tab2 - tab1 - 1), "fire") << line;
    ++fired[line.substr(tab2 + 1)];
    passesThatFired.insert(line.substr(0, tab1));
    ++firings;
  }
  EXPECT_EQ(firings, occurrences);
  for (const Planned& r : plan) EXPECT_EQ(fired[r.id], expected[r.id]) << r.id;
  // One save for each pass that fired something (reminders due at the same moment share it),
  // and none for any other.
  EXPECT_EQ(err, "simulate: " + std::to_string(firings) + " fired, 0 dropped, " +
                     std::to_string(passesThatFired.size()) + " saves\n");
}

}  // namespace
}  // namespace zorbek
