#include "ui/db/database_watcher.h"

#include <QFileInfo>

#include "core/io/file_util.h"

namespace zorbek {

DatabaseWatcher::DatabaseWatcher(const std::string& path, QObject* parent)
    : QObject(parent),
      file_(QString::fromStdString(ResolveSymbolicLinks(path))),
      directory_(QFileInfo(file_).absolutePath()) {
  settle_.setSingleShot(true);
  settle_.setInterval(kSettleMs);
  connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &DatabaseWatcher::Changed);
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &DatabaseWatcher::Changed);
  connect(&settle_, &QTimer::timeout, this, [this] {
    Watch();
    emit changed();
  });
  Watch();
}

void DatabaseWatcher::Changed() {
  if (!settle_.isActive()) burst_.start();
  // Past the longest wait the running timer is left to fire.
  if (!settle_.isActive() || burst_.elapsed() < kLongestWaitMs - kSettleMs) settle_.start();
}

void DatabaseWatcher::Watch() {
  // A file replaced by a rename (or removed) has dropped out of the watch; the new one is
  // watched from now on.
  if (!watcher_.directories().contains(directory_) && QFileInfo::exists(directory_))
    watcher_.addPath(directory_);
  if (!watcher_.files().contains(file_) && QFileInfo::exists(file_)) watcher_.addPath(file_);
}

}  // namespace zorbek
