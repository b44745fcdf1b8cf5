#include "cli/rtf_engine.h"

#ifdef ZORBEK_CLI_WITH_RTF
#include <QGuiApplication>
#include <cstdlib>
#include <memory>

#include "rtf/note_converter_engine.h"
#endif

namespace zorbek::cli {

bool EnsureRtfEngine() {
#ifdef ZORBEK_CLI_WITH_RTF
  // QTextDocument needs the GUI application object (fonts); no screen is needed.
  if (!QCoreApplication::instance()) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "zorbek-cli";
    static char* argv[] = {name, nullptr};
    static std::unique_ptr<QGuiApplication> app = std::make_unique<QGuiApplication>(argc, argv);
  }
  InstallNoteConverter();
  return true;
#else
  return false;
#endif
}

}  // namespace zorbek::cli
