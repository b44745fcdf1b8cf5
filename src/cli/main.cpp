// zorbek-cli: the command-line companion of Zorbek, over the same core as the program.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "cli/command.h"
#include "core/db/database.h"
#include "cli/man_page.h"
#include "core/app/paths.h"
#include "core/db/database_lock.h"
#include "core/io/file_util.h"

#ifdef ZORBEK_CLI_HELPER
#include <unistd.h>

#include <filesystem>
#endif

#ifdef ZORBEK_CLI_HELPER
#define ZORBEK_CLI_HELPER_NAME ZORBEK_CLI_HELPER
#else
#define ZORBEK_CLI_HELPER_NAME "the RTF helper"
#endif

namespace zorbek::cli {

std::vector<Command>& Registry() {
  static std::vector<Command> commands;
  return commands;
}

int UsageError(const Command& command) {
  std::cerr << "usage: zorbek-cli [--db PATH] " << command.name
            << (command.usage.empty() ? "" : " ") << command.usage << "\n";
  return kUsage;
}

int UsageError(const std::string& name) {
  for (const auto& c : Registry())
    if (c.name == name) return UsageError(c);
  std::cerr << "usage: zorbek-cli [--db PATH] COMMAND [ARGS...]\n";
  return kUsage;
}

XmlNode ShownItemElement(CXmlDocument& doc, const ItemPath& item) {
  XmlNode element = doc.Select(kArchivePath);
  for (std::size_t i = 1; i < item.size() && element; ++i) {
    XmlNode found;
    for (XmlNode child : ShownChildren(element))
      if (ElementName(child) == item[i]) {
        found = child;
        break;
      }
    element = found;
  }
  return element;
}

std::optional<ItemPath> ResolveItem(CXmlDocument& doc, const std::string& text) {
  auto item = ParseItemPath(text);
  if (!item || !ShownItemElement(doc, *item)) return std::nullopt;
  return item;
}

std::optional<int> RefuseMissingDatabase(const Context& ctx) {
  if (!ctx.databaseGiven || PathExists(ctx.databasePath)) return std::nullopt;
  return Refuse("数据库文件不存在：" + ctx.databasePath);
}

int Refuse(const std::string& message) {
  std::cerr << message << "\n";
  return kRefused;
}

std::string WithReason(const std::string& message, const std::string& reason) {
  return reason.empty() || message.find(reason) != std::string::npos ? message
                                                                      : message + "\n" + reason;
}

namespace {
int PrintUsage() {
  auto commands = Registry();
  std::sort(commands.begin(), commands.end(),
            [](const Command& a, const Command& b) { return a.name < b.name; });
  std::cerr << "usage: zorbek-cli [--db PATH] COMMAND [ARGS...]\n\ncommands:\n";
  for (const auto& c : commands)
    std::cerr << "  " << c.name << (c.usage.empty() ? "" : " ") << c.usage << "\n      "
              << c.summary << "\n";
  return kUsage;
}
}  // namespace
}  // namespace zorbek::cli

#ifdef ZORBEK_CLI_HELPER
namespace {
// The commands that need the RTF engine (and with it Qt, whose libraries take longer to load
// than any other command takes to run) live in a helper program: beside this one in the build,
// in ../libexec/zorbek when installed. It has every command; it is run for the names this
// program lacks and for the usage text. Returns only when there is no helper.
void RunHelper(char** argv) {
  namespace fs = std::filesystem;
  const fs::path self = zorbek::CurrentExecutablePath();
  const fs::path candidates[] = {
      self.parent_path() / ZORBEK_CLI_HELPER,
      self.parent_path().parent_path() / "libexec" / "zorbek" / ZORBEK_CLI_HELPER};
  for (const fs::path& helper : candidates) {
    if (::access(helper.c_str(), X_OK) == 0) {
      ::execv(helper.c_str(), argv);
      std::cerr << "zorbek-cli: cannot run " << helper.string() << "\n";
      return;
    }
  }
}
}  // namespace
#endif

int main(int argc, char** argv) {
  using namespace zorbek::cli;
#ifdef ZORBEK_CLI_HELPER
  // Only the commands whose code is in the helper start it; the usage text, the manual page
  // and every other command are this program's own.
  for (int k = 1; k < argc; ++k) {
    const std::string a = argv[k];
    if (a == "--db") { ++k; continue; }
    if (a.rfind("--db=", 0) == 0) continue;
    for (const auto& c : Registry())
      if (c.name == a && !c.run) RunHelper(argv);
    break;
  }
#endif
  Context ctx;
  std::string db;
  bool haveDb = false;
  int i = 1;
  for (; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--db") {
      if (i + 1 >= argc) return PrintUsage();
      db = argv[++i];
      haveDb = true;
    } else if (a.rfind("--db=", 0) == 0) {
      db = a.substr(5);
      haveDb = true;
    } else if (a == "-h" || a == "--help") {
      PrintUsage();
      return kDone;
    } else if (a == "--man") {
      WriteManPage(std::cout);
      return std::cout.flush() ? kDone : kRefused;
    } else {
      break;
    }
  }
  if (i >= argc) return PrintUsage();
  const std::string name = argv[i++];
  for (; i < argc; ++i) ctx.args.emplace_back(argv[i]);

  // The program's own files in the user's data directory; its database is the default. That
  // directory is private to the user whoever made it (nothing is created here).
  if (zorbek::IsDirectory(zorbek::UserDataDirectory())) zorbek::CreateUserDataDirectory();
  ctx.programBase = zorbek::ProgramBase();
  ctx.databaseGiven = haveDb && !db.empty();
  ctx.databasePath = ctx.databaseGiven ? db : zorbek::ComputeDatabasePath(ctx.programBase);

  // A change waits for another command's change, and is refused while the program runs on the
  // database (it would write its own copy over the change when it closes).
  zorbek::SetWriterRole(zorbek::WriterRole::CommandLine);
  zorbek::SetWriterLockRefusedHandler([](const std::string& message) {
    std::cerr << message << "\n";
    std::exit(kRefused);
  });

  for (auto& c : Registry()) {
    if (c.name == name) {
      if (!c.run) {  // the helper's command, and no helper to run it
        std::cerr << "zorbek-cli: " << name << " needs " ZORBEK_CLI_HELPER_NAME ", which is missing\n";
        return kRefused;
      }
      try {
        return c.run(ctx);
      } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return kRefused;
      }
    }
  }
  std::cerr << "zorbek-cli: unknown command '" << name << "'\n";
  return PrintUsage();
}
