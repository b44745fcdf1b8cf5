// zorbek-cli reminders, reminder-add, reminder-modify, reminder-delete: the reminder list and
// its commands, with the edit dialog's checks.
#include <iostream>
#include <optional>

#include "cli/command.h"
#include "core/db/database.h"
#include "core/notes/notebook.h"
#include "core/reminders/reminder_form.h"
#include "core/reminders/reminder_store.h"
#include "core/reminders/reminder_text.h"
#include "core/reminders/reminder_time.h"

namespace zorbek::cli {
namespace {

constexpr const char* kEditUsage =
    "[--date YYYY-MM-DD] [--time HH:MM:SS] [--weekday 0-6] [--to YYYY-MM-DD]";

std::string UnreadableMessage(const std::string& path) { return "数据库文件无法读取：" + path; }
std::string NoSuchReminder(const std::string& id) { return "没有这个提醒：" + id; }

// Line breaks written as the two characters "\n".
std::string OneLine(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += "\\n";
    } else {
      out += text[i];
    }
  }
  return out;
}

std::optional<int> ParseInt(const std::string& text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  std::size_t i = text[0] == '-' ? 1 : 0;
  if (i == text.size()) return std::nullopt;
  for (std::size_t j = i; j < text.size(); ++j)
    if (text[j] < '0' || text[j] > '9') return std::nullopt;
  return std::stoi(text);
}

// The edit dialog's controls as options. Returns false on bad usage.
struct EditArgs {
  std::optional<int> mode;
  std::optional<SystemTime> date, time, to;
  std::optional<int> weekday;
  std::optional<std::string> text;
  std::vector<std::string> rest;  // positional words before the text (the id of modify)
};

bool ParseEditArgs(const std::vector<std::string>& args, std::size_t positionals, EditArgs& out) {
  std::vector<std::string> words;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
    if (a == "--mode") {
      const std::string* v = value();
      if (!v || !(out.mode = ParseInt(*v))) return false;
    } else if (a == "--date") {
      const std::string* v = value();
      if (!v || !(out.date = ParseDateText(*v))) return false;
    } else if (a == "--time") {
      const std::string* v = value();
      if (!v || !(out.time = ParseTimeText(*v))) return false;
    } else if (a == "--to") {
      const std::string* v = value();
      if (!v || !(out.to = ParseDateText(*v))) return false;
    } else if (a == "--weekday") {
      const std::string* v = value();
      if (!v || !(out.weekday = ParseInt(*v)) || *out.weekday < 0 || *out.weekday > 6) return false;
    } else if (a == "--") {
      words.insert(words.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      return false;
    } else {
      words.push_back(a);
    }
  }
  if (words.size() < positionals || words.size() > positionals + 1) return false;
  out.rest.assign(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(positionals));
  if (words.size() > positionals) out.text = words.back();
  return true;
}

// Sets the dialog's controls as a user would.
void Apply(const EditArgs& a, ReminderForm& f) {
  if (a.mode) {
    f.hourly = *a.mode == reminder_mode::kHourly;
    f.halfHourly = *a.mode == reminder_mode::kHalfHourly;
    f.modeListEnabled = !f.hourly && !f.halfHourly;
    f.modeIndex = (*a.mode >= reminder_mode::kOnce && *a.mode <= reminder_mode::kRange) ? *a.mode : -1;
  }
  if (a.date) {
    f.date = *a.date;
    f.weekday = a.date->dayOfWeek;  // the weekday of the date, unless one is given
  }
  if (a.time) {
    f.time.hour = a.time->hour;
    f.time.minute = a.time->minute;
    f.time.second = a.time->second;
    f.time.milliseconds = 0;
  }
  if (a.weekday) f.weekday = *a.weekday;
  if (a.to) f.endDate = *a.to;
  if (a.text) f.text = *a.text;
}

// Loads the database for a change, as the program opens it. Refuses an unreadable file; with
// mustExist, also a missing one (nothing is created then).
std::optional<int> OpenForChange(Context& ctx, Notebook& notebook, bool mustExist,
                                 const std::string& missingMessage) {
  CXmlDocument probe;
  const LoadStatus status = LoadDatabaseReadOnly(probe, ctx.databasePath);
  if (status == LoadStatus::Unparsable) return Refuse(UnreadableMessage(ctx.databasePath));
  if (status == LoadStatus::Missing && mustExist) return Refuse(missingMessage);
  notebook.Open(ctx.databasePath);
  return std::nullopt;
}

// The notebook a changing command works on; every change saves itself, so closing writes
// nothing more.
struct OpenNotebook {
  Notebook notebook;
  ~OpenNotebook() { notebook.Close(false); }
};

int Unsaved(const Context& ctx, Notebook& notebook) {
  return Refuse(SaveFailedMessage(ctx.databasePath, notebook.Document().LastSaveError()));
}

int Finish(const Context& ctx, const ReminderCommandOutcome& outcome, Notebook& notebook) {
  if (!outcome.ok) return Refuse(outcome.message);
  return outcome.saved ? kDone : Unsaved(ctx, notebook);
}

int RunList(Context& ctx) {
  if (!ctx.args.empty()) return UsageError("reminders");
  if (auto missing = RefuseMissingDatabase(ctx)) return *missing;
  CXmlDocument doc;
  if (LoadDatabaseReadOnly(doc, ctx.databasePath) == LoadStatus::Unparsable)
    return Refuse(UnreadableMessage(ctx.databasePath));
  std::string out;
  for (const ReminderRecord& r : ReadReminders(doc.Select(kSchedulePath))) {
    out += r.id + "\t" + ReminderTimeColumn(r.mode, r.start, r.stop) + "\t" +
           ReminderModeColumn(r.mode) + "\t" + ReminderValidityColumn(r.mode) + "\t" +
           std::to_string(r.valid) + "\t" + OneLine(r.content) + "\n";
  }
  std::cout << out;
  return kDone;
}

int RunAdd(Context& ctx) {
  EditArgs a;
  if (!ParseEditArgs(ctx.args, 0, a) || !a.mode || !a.text) return UsageError("reminder-add");
  OpenNotebook open;
  if (auto refused = OpenForChange(ctx, open.notebook, false, {})) return *refused;
  ReminderStore& store = open.notebook.Reminders();

  ReminderForm form = NewReminderForm();
  Apply(a, form);
  const ReminderFormResult checked = CheckReminderForm(form);
  if (!checked.ok) return Refuse(checked.message);
  const int status = Finish(ctx, AddReminderFromForm(store, checked), open.notebook);
  if (status == kDone) std::cout << checked.id << "\n";
  return status;
}

int RunModify(Context& ctx) {
  EditArgs a;
  if (!ParseEditArgs(ctx.args, 1, a)) return UsageError("reminder-modify");
  const std::string id = a.rest[0];
  OpenNotebook open;
  if (auto refused = OpenForChange(ctx, open.notebook, true, NoSuchReminder(id))) return *refused;
  ReminderStore& store = open.notebook.Reminders();
  const auto record = store.Get(id);
  if (!record) return Refuse(NoSuchReminder(id));

  ReminderForm form = ReminderFormFor(*record);
  Apply(a, form);
  const ReminderFormResult checked = CheckReminderForm(form);
  if (!checked.ok) return Refuse(checked.message);
  return Finish(ctx, ModifyReminderFromForm(store, id, checked), open.notebook);
}

int RunDelete(Context& ctx) {
  if (ctx.args.size() != 1) return UsageError("reminder-delete");
  const std::string& id = ctx.args[0];
  OpenNotebook open;
  if (auto refused = OpenForChange(ctx, open.notebook, true, NoSuchReminder(id))) return *refused;
  ReminderStore& store = open.notebook.Reminders();
  switch (store.Delete(id)) {
    case StoreResult::kDone: return kDone;
    case StoreResult::kUnsaved: return Unsaved(ctx, open.notebook);
    case StoreResult::kFailed: break;
  }
  return Refuse(NoSuchReminder(id));
}

Register regList({"reminders", "",
               "print the reminders in store order: id, time, mode, validity, valid (0/1) and the "
               "text (line breaks as \\n), separated by TAB",
               RunList});
Register regAdd({"reminder-add", std::string("--mode N ") + kEditUsage + " TEXT",
              "add a reminder (mode 0 once, 1 daily, 2 weekly, 3 monthly, 4 yearly, 5 date "
              "range, 30 half-hourly, 60 hourly) with the edit dialog's checks; prints its id",
              RunAdd});
Register regModify({"reminder-modify", std::string("ID [--mode N] ") + kEditUsage + " [TEXT]",
                 "change a reminder; what is not given stays as it is", RunModify});
Register regDelete({"reminder-delete", "ID", "delete a reminder", RunDelete});

}  // namespace
}  // namespace zorbek::cli
