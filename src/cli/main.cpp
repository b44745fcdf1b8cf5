// zorbek-cli: the command-line companion of Zorbek, over the same core as the program.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "cli/command.h"
#include "core/app/paths.h"
#include "core/db/database_lock.h"

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

int Refuse(const std::string& message) {
  std::cerr << message << "\n";
  return kRefused;
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

int main(int argc, char** argv) {
  using namespace zorbek::cli;
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
    } else {
      break;
    }
  }
  if (i >= argc) return PrintUsage();
  const std::string name = argv[i++];
  for (; i < argc; ++i) ctx.args.emplace_back(argv[i]);

  // The program's own files in the user's data directory; its database is the default.
  ctx.programBase = zorbek::ProgramBase();
  ctx.databasePath = (haveDb && !db.empty()) ? db : zorbek::ComputeDatabasePath(ctx.programBase);

  // A change waits for another command's change, and is refused while the program runs on the
  // database (it would write its own copy over the change when it closes).
  zorbek::SetWriterRole(zorbek::WriterRole::CommandLine);
  zorbek::SetWriterLockRefusedHandler([](const std::string& message) {
    std::cerr << message << "\n";
    std::exit(kRefused);
  });

  for (auto& c : Registry()) {
    if (c.name == name) {
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
