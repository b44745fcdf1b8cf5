// zorbek-cli names the helper's commands without their code; main() runs the helper for them.
#include "cli/command.h"
#include "cli/helper_commands.h"

#ifdef ZORBEK_CLI_HELPER
namespace zorbek::cli {
namespace {

const bool registered = [] {
  for (const CommandText& c : kHelperCommands) Register({c.name, c.usage, c.summary, {}});
  return true;
}();

}  // namespace
}  // namespace zorbek::cli
#endif  // ZORBEK_CLI_HELPER
