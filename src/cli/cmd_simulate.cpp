// zorbek-cli simulate: the reminder check run over a stretch of time on the database's
// reminders, with the clock stepping from one moment to another.
#include <iostream>
#include <map>
#include <optional>

#include "cli/command.h"
#include "core/app/clock.h"
#include "core/db/database.h"
#include "core/reminders/reminder_store.h"
#include "core/reminders/reminder_time.h"

namespace zorbek::cli {
namespace {

constexpr std::int32_t kMaxPostponeMinutes = 366 * 24 * 60;

std::optional<std::int64_t> ParsePositive(const std::string& text, std::int64_t max) {
  if (text.empty() || text.size() > 12) return std::nullopt;
  std::int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  if (v < 1 || v > max) return std::nullopt;
  return v;
}

// The calendar moment of a local wall-clock date-time, in milliseconds.
std::int64_t LocalMillis(const SystemTime& t) {
  FakeClock c;
  c.SetLocal(t.year, t.month, t.day, t.hour, t.minute, t.second);
  return c.NowUnixMillis();
}

// Puts the program's clock back when the command ends.
struct ClockGuard {
  explicit ClockGuard(const Clock* c) { SetClock(c); }
  ~ClockGuard() { SetClock(nullptr); }
};

int RunSimulate(Context& ctx) {
  std::optional<SystemTime> from, to;
  std::int64_t step = 5;
  std::map<std::string, std::int32_t> postpone;  // id -> minutes, for its first firing
  const auto& args = ctx.args;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i + 1 >= args.size()) return UsageError("simulate");
    const std::string& option = args[i];
    const std::string& value = args[++i];
    if (option == "--from") {
      if (!(from = ParseDateTimeText(value))) return UsageError("simulate");
    } else if (option == "--to") {
      if (!(to = ParseDateTimeText(value))) return UsageError("simulate");
    } else if (option == "--step") {
      const auto s = ParsePositive(value, 366LL * 24 * 3600);
      if (!s) return UsageError("simulate");
      step = *s;
    } else if (option == "--postpone") {
      const auto colon = value.rfind(':');
      if (colon == std::string::npos || colon == 0) return UsageError("simulate");
      const auto minutes = ParsePositive(value.substr(colon + 1), kMaxPostponeMinutes);
      if (!minutes) return UsageError("simulate");
      postpone[value.substr(0, colon)] = static_cast<std::int32_t>(*minutes);
    } else {
      return UsageError("simulate");
    }
  }
  if (!from || !to) return UsageError("simulate");
  const std::int64_t begin = LocalMillis(*from), end = LocalMillis(*to);
  if (end < begin) return UsageError("simulate");

  CXmlDocument doc;
  const LoadStatus status = LoadDatabaseReadOnly(doc, ctx.databasePath);
  if (status == LoadStatus::Unparsable) return Refuse("数据库文件无法读取：" + ctx.databasePath);
  if (status == LoadStatus::Missing) return kDone;  // no reminders, nothing to write
  OpenDatabaseFile(doc, ctx.databasePath);

  FakeClock fake(begin);
  ClockGuard guard(&fake);
  ReminderStore store;
  store.Init(doc, kSchedulePath, nullptr, false);

  bool allSaved = true;
  std::string out;
  std::int64_t fired = 0, dropped = 0;
  const std::uint64_t savesBefore = doc.SuccessfulSaves();
  for (std::int64_t t = begin; t <= end; t += step * 1000) {
    fake.SetUnixMillis(t);
    const CheckPassResult pass = store.CheckPass();
    allSaved = allSaved && pass.saved;
    if (pass.events.empty()) continue;
    const std::string moment = FormatDateTime(clock().LocalNow());
    for (const CheckEvent& e : pass.events) {
      const bool fire = e.action == DueAction::kFire;
      out += moment + (fire ? "\tfire\t" : "\tdrop\t") + e.reminder.id + "\n";
      ++(fire ? fired : dropped);
      if (!fire) continue;
      // The pop-up: postponed once if asked, otherwise dismissed with "确定" at once.
      const auto p = postpone.find(e.reminder.id);
      if (p != postpone.end()) {
        store.SetDelay(e.reminder.id, p->second);
        postpone.erase(p);
      } else {
        store.SetDelay(e.reminder.id, 0);
      }
    }
    if (out.size() > (1 << 16)) {
      std::cout << out;
      out.clear();
    }
  }
  std::cout << out;
  std::cerr << "simulate: " << fired << " fired, " << dropped << " dropped, "
            << doc.SuccessfulSaves() - savesBefore << " saves\n";
  return allSaved ? kDone : Refuse(SaveFailedMessage(ctx.databasePath));
}

Register reg({"simulate",
              "--from \"YYYY-MM-DD HH:MM:SS\" --to \"YYYY-MM-DD HH:MM:SS\" [--step SECONDS] "
              "[--postpone ID:MINUTES]...",
              "run the reminder check with the clock stepping from one local moment to another "
              "(every 5 s unless told), writing each change to the database; prints "
              "\"<moment>\\tfire|drop\\t<id>\", and on standard error how many fired, were dropped and "
              "how often the database was saved; fired reminders are dismissed at once, the first "
              "firing of a --postpone reminder is postponed instead",
              RunSimulate});

}  // namespace
}  // namespace zorbek::cli
