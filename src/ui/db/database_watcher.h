// Tells when the database file may have been changed on disk: by another program (a sync tool,
// an editor) or by the program's own saves, which the notebook tells apart
// (Notebook::ReloadIfChanged).
//
// A file replaced by a rename loses its watch, so the directory is watched too and the file is
// watched again after every change. Changes come in bursts (a temporary file, then the rename),
// so they are reported once the file has been quiet for a moment.
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <string>

namespace zorbek {

class DatabaseWatcher : public QObject {
  Q_OBJECT
 public:
  // How long the file must be quiet before a change is reported.
  static constexpr int kSettleMs = 250;

  // Watches the file at path (for a symbolic link, the file it points to) and its directory.
  explicit DatabaseWatcher(const std::string& path, QObject* parent = nullptr);

 signals:
  // On the main thread, kSettleMs after the last of a burst of changes.
  void changed();

 private:
  void Watch();

  QFileSystemWatcher watcher_;
  QTimer settle_;
  QString file_;
  QString directory_;
};

}  // namespace zorbek
