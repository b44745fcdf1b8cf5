// Zorbek: start-up. One copy runs at a time; the database is open before the window shows.
#include <QApplication>

#include "core/app/paths.h"
#include "ui/app/main_frame.h"
#include "ui/app/qt_prompts.h"
#include "ui/app/single_instance.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Zorbek"));
  QApplication::setQuitOnLastWindowClosed(false);

  // A second copy leaves at once, without a window, and does not disturb the first.
  zorbek::SingleInstance instance;
  if (!instance.Acquire()) return 0;

  zorbek::QtPrompts prompts;
  zorbek::SetPrompts(&prompts);

  const std::string base =
      zorbek::ProgramBase(QCoreApplication::applicationFilePath().toStdString());
  int rc = 0;
  {
    zorbek::CMainFrame frame(base);
    prompts.SetParentWindow(&frame);
    QObject::connect(&app, &QApplication::lastWindowClosed, &app, &QApplication::quit);
    frame.show();
    rc = app.exec();
  }  // the frame goes first: the note tree saves the database as it is destroyed
  zorbek::SetPrompts(nullptr);
  return rc;
}
