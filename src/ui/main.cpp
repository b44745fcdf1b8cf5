// Zorbek: start-up. One copy runs at a time; the database is open before the window shows.
#include <QApplication>
#include <QLibraryInfo>
#include <QTimer>

#include "core/app/input_method.h"
#include "core/app/clock.h"
#include "core/app/paths.h"
#include "core/app/prompts.h"
#include "core/app/recovery.h"
#include "core/db/database_lock.h"
#include "core/notes/notebook.h"
#include "ui/app/navigator.h"
#include "core/notes/recycle_bin.h"
#include "rtf/note_converter_engine.h"
#include "ui/app/main_frame.h"
#include "ui/app/qt_prompts.h"
#include "ui/app/single_instance.h"
#include "ui/app/termination.h"
#include "ui/app/translations.h"
#include "ui/db/wnd_recycle_bin.h"
#include "ui/editor/install_editor.h"
#include "ui/reminders/install_reminders.h"
#include "ui/legacy/wnd_data_import.h"

#if defined(__SANITIZE_ADDRESS__)
// Sanitizer builds: the desktop's D-Bus library keeps a buffer for the life of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }
#endif

namespace {

// Chinese input: where the desktop names no input method module (most Wayland sessions), one
// that runs is connected. It must be chosen before the application object exists.
void ChooseInputMethod() {
  zorbek::InputMethodSetting setting;
  setting.imModule = qEnvironmentVariable("QT_IM_MODULE").toStdString();
  if (!setting.imModule.empty()) return;
  setting.running = zorbek::RunningProgramNames();
  setting.pluginFiles = zorbek::FileNamesIn(
      QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString() + "/platforminputcontexts");
  const std::string module = zorbek::ChooseInputMethodModule(setting);
  if (!module.empty()) qputenv("QT_IM_MODULE", QByteArray::fromStdString(module));
}

}  // namespace

int main(int argc, char** argv) {
  ChooseInputMethod();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Zorbek"));
#ifdef ZORBEK_APP_ID
  // The desktop entry the program was installed with: task bars find its icon through it (the
  // Wayland app id; on X11 the window class "Zorbek" matches its StartupWMClass).
  QGuiApplication::setDesktopFileName(QStringLiteral(ZORBEK_APP_ID));
#endif
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(zorbek::AppIcon());
  zorbek::InstallQtChineseTranslations();

  // A second copy opens no window: it asks the first to bring its window forward (handing on
  // the launcher's token, which lets the desktop raise it), and leaves.
  zorbek::SingleInstance instance;
  if (!instance.Acquire()) {
    instance.AskFirstToComeForward(zorbek::SingleInstance::LauncherToken());
    return 0;
  }

  // A termination signal ends the run as closing the window does, without a question: the
  // open windows close and the database is saved. It may arrive while the database is being
  // opened (a message box is up): then the window never shows.
  zorbek::TerminationSignals termination;
  zorbek::CMainFrame* frame = nullptr;
  bool terminating = false;
  // Ended by a signal, nobody is there to answer: from then on no message box waits (a closing
  // save that fails is written to standard error), and unsaved text goes to recovery files.
  zorbek::ConsolePrompts unattended;
  QObject::connect(&termination, &zorbek::TerminationSignals::terminationRequested, &app, [&] {
    terminating = true;
    zorbek::SetPrompts(&unattended);
    if (frame) frame->ShutDown();
    QCoreApplication::exit(0);
  });

  // The program is the one writer of its database for the whole run.
  zorbek::SetWriterRole(zorbek::WriterRole::Program);

  zorbek::QtPrompts prompts;
  zorbek::SetPrompts(&prompts);

  // The program's files live in the user's data directory, wherever the program file lies.
  zorbek::CreateUserDataDirectory();
  const std::string base = zorbek::ProgramBase();
  zorbek::InstallNoteEditor(base);
  zorbek::InstallReminderList();
  zorbek::InstallNoteConverter();  // import and export convert through the RTF engine
  int rc = 0;
  {
    zorbek::CMainFrame mainFrame(base);
    frame = &mainFrame;
    zorbek::InstallDataImport(mainFrame);
    zorbek::InstallRecycleBin(mainFrame);
    prompts.SetParentWindow(&mainFrame);
    QObject::connect(&mainFrame, &zorbek::CMainFrame::closed, &app,
                     [] { QCoreApplication::exit(0); });
    QObject::connect(&instance, &zorbek::SingleInstance::comeForwardRequested, &mainFrame,
                     [&mainFrame](const QString& token) { mainFrame.ComeForward(token); });
    if (!terminating) {
      mainFrame.show();
      // Text saved aside when the last run was ended: the user learns where it lies.
      QTimer::singleShot(0, &mainFrame, [base] {
        const std::vector<std::string> files = zorbek::TakeUnannouncedRecoveryFiles(base);
        if (!files.empty())
          zorbek::prompts().Message(zorbek::RecoveryMessage(base, files), zorbek::MsgButtons::Ok,
                                    zorbek::MsgIcon::Information);
      });
      // The recycle bin is emptied of entries older than its keeping time once the window
      // is up ([RecycleBin] KeepDays in Zorbek.ini), off the way to the first paint.
      QTimer::singleShot(0, &mainFrame, [base, &mainFrame] {
        if (const zorbek::CWndNavigator* navigator = mainFrame.navigator())
          zorbek::RecycleBin(navigator->notebook().DatabasePath())
              .Prune(zorbek::TrashKeepDays(zorbek::SettingsFilePath(base)),
                     zorbek::clock().UnixSeconds());
      });
      rc = app.exec();
    }
    frame = nullptr;
    prompts.SetParentWindow(nullptr);
  }  // the frame goes first: the note tree saves the database as it is destroyed
  zorbek::SetPrompts(nullptr);
  return rc;
}
