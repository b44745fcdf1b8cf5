#include "ui/app/single_instance.h"

#include <QDir>
#include <QStandardPaths>

namespace zorbek {

SingleInstance::SingleInstance(const QString& dir) {
  QString base = dir;
  if (base.isEmpty()) base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (base.isEmpty()) base = QDir::tempPath();
  QDir().mkpath(base);
  path_ = QDir(base).filePath(QStringLiteral("Zorbek version serial.lock"));
  lock_ = std::make_unique<QLockFile>(path_);
  // A lock is stale only when its owner is gone, never because of its age.
  lock_->setStaleLockTime(0);
}

bool SingleInstance::Acquire() { return lock_->isLocked() || lock_->tryLock(0); }

}  // namespace zorbek
