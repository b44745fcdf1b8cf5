// Only one copy of the program runs at a time. The lock file lives in the user's runtime
// directory; the lock of a copy that crashed is taken over. The copy that holds the lock also
// listens beside it: a second start asks it to come forward, then ends.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QSocketNotifier;

namespace zorbek {

class SingleInstance : public QObject {
  Q_OBJECT
 public:
  // Lock file in dir (default: the runtime directory), named after "Zorbek version serial".
  explicit SingleInstance(const QString& dir = QString());
  ~SingleInstance() override;
  // True when this process is the only copy; the lock is held until the object is destroyed.
  // The first copy then listens for later starts.
  bool Acquire();
  // A later start: asks the running copy to bring its window forward, handing on the token the
  // launcher gave (the desktop lets a window with it come to the front). Whether it was told.
  bool AskFirstToComeForward(const QString& token) const;
  QString LockPath() const { return path_; }
  QString ChannelPath() const { return channel_; }

  // The launcher's activation token (Wayland) or startup id (X11) of this start, if any.
  static QString LauncherToken();

 signals:
  // A later start asked for the window; token as it handed it on (may be empty).
  void comeForwardRequested(const QString& token);

 private:
  class Caller;
  void Listen();

  QString path_;
  QString channel_;
  std::unique_ptr<QLockFile> lock_;
  int listener_ = -1;  // the socket later starts connect to, while this copy runs
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace zorbek
