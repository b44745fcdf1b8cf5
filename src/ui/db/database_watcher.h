// Tells when the database file may have been changed on disk: by another program (a sync tool,
// an editor) or by the program's own saves, which the notebook tells apart
// (Notebook::ReloadIfChanged).
//
// A file replaced by a rename loses its watch, so the directory is watched too and the file is
// watched again after every change. Changes come in bursts (a temporary file, then the rename),
// so they are reported once the file has been quiet for a moment; a directory that is never
// quiet (a sync tool at work beside the database) delays the report by kLongestWaitMs at most.
#pragma once

#include <QElapsedTimer>
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
  // The longest a change waits for its burst to end.
  static constexpr int kLongestWaitMs = 2000;

  // Watches the file at path (for a symbolic link, the file it points to) and its directory.
  explicit DatabaseWatcher(const std::string& path, QObject* parent = nullptr);

 signals:
  // On the main thread, kSettleMs after the last of a burst of changes, or kLongestWaitMs after
  // its first.
  void changed();

 private:
  void Watch();
  void Changed();

  QFileSystemWatcher watcher_;
  QTimer settle_;
  QElapsedTimer burst_;  // since the first change of the burst
  QString file_;
  QString directory_;
};

}  // namespace zorbek
