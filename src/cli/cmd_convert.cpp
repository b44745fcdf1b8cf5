// zorbek-cli convert IN OUT: a file converted as note import and export convert it.
#ifdef ZORBEK_CLI_WITH_RTF

#include <QGuiApplication>
#include <cstdlib>
#include <memory>
#include <string>

#include "cli/command.h"
#include "cli/helper_commands.h"
#include "rtf/note_file.h"

namespace {

// QTextDocument needs the GUI application object (fonts); no screen is needed.
void EnsureGuiApplication() {
  if (QCoreApplication::instance()) return;
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "zorbek-cli";
  static char* argv[] = {name, nullptr};
  static std::unique_ptr<QGuiApplication> app = std::make_unique<QGuiApplication>(argc, argv);
}

int Run(zorbek::cli::Context& c) {
  if (c.args.size() != 2) return zorbek::cli::UsageError("convert");
  EnsureGuiApplication();
  std::string error;
  if (!zorbek::ConvertFile(c.args[0], c.args[1], &error))
    return zorbek::cli::Refuse("convert: " + error);
  return zorbek::cli::kDone;
}

zorbek::cli::Register reg({zorbek::cli::HelperCommandText("convert").name,
                           zorbek::cli::HelperCommandText("convert").usage,
                           zorbek::cli::HelperCommandText("convert").summary, Run});

}  // namespace

#endif  // ZORBEK_CLI_WITH_RTF
