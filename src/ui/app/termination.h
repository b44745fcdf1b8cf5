// SIGTERM, SIGINT and SIGHUP end the program as a normal exit does: the signal is turned into a
// Qt signal on the main thread, where the frame closes and the database is saved.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace zorbek {

class TerminationSignals : public QObject {
  Q_OBJECT
 public:
  // Installs the handlers (one object per process).
  explicit TerminationSignals(QObject* parent = nullptr);
  // Restores the default handlers.
  ~TerminationSignals() override;

  bool installed() const { return notifier_ != nullptr; }

 signals:
  void terminationRequested(int signalNumber);

 private:
  void Drain();

  int fds_[2] = {-1, -1};
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace zorbek
