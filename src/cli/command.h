// zorbek-cli commands register themselves here; main() dispatches on the first word.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/db/xml_document.h"
#include "core/notes/item_path.h"

namespace zorbek::cli {

// The element of an item given on the command line ("a/b", "/" for the file box) as the tree
// shows it: every name must be a shown folder or note. Empty when the tree has no such item.
XmlNode ShownItemElement(CXmlDocument& doc, const ItemPath& item);
// The parsed item, when the tree has it.
std::optional<ItemPath> ResolveItem(CXmlDocument& doc, const std::string& text);

// What every command receives: the database path (--db or the program's default) and the
// arguments after the command word.
struct Context {
  std::string databasePath;
  bool databaseGiven = false;  // named with --db (else the program's default)
  std::string programBase;  // where the program keeps Zorbek.ini, Zorbek.xml and Zorbek/
  std::vector<std::string> args;
};

// Exit statuses of every command.
enum Exit : int { kDone = 0, kRefused = 1, kUsage = 2 };

struct Command {
  std::string name;
  std::string usage;    // arguments, shown after "zorbek-cli [--db PATH] <name> "
  std::string summary;  // one line
  std::function<int(Context&)> run;
};

std::vector<Command>& Registry();

struct Register {
  explicit Register(Command command) { Registry().push_back(std::move(command)); }
};

// Prints "usage: zorbek-cli [--db PATH] <name> <usage>" to standard error and returns kUsage.
int UsageError(const Command& command);
int UsageError(const std::string& commandName);
// A database named with --db that does not exist: the commands that only read say so and are
// refused (a typing slip must not look like an empty notebook). The default database is
// simply empty until the program or a changing command makes it. nullopt otherwise.
std::optional<int> RefuseMissingDatabase(const Context& ctx);
// Prints the system's message to standard error and returns kRefused.
int Refuse(const std::string& message);
// A message followed, on a line of its own, by the system's reason (when there is one).
std::string WithReason(const std::string& message, const std::string& reason);

}  // namespace zorbek::cli
