// Only one copy of the program runs at a time. The lock file lives in the user's runtime
// directory; the lock of a copy that crashed is taken over.
#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace zorbek {

class SingleInstance {
 public:
  // Lock file in dir (default: the runtime directory), named after "Zorbek version serial".
  explicit SingleInstance(const QString& dir = QString());
  // True when this process is the only copy; the lock is held until the object is destroyed.
  bool Acquire();
  QString LockPath() const { return path_; }

 private:
  QString path_;
  std::unique_ptr<QLockFile> lock_;
};

}  // namespace zorbek
