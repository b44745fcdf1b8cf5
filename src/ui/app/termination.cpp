#include "ui/app/termination.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace zorbek {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
volatile sig_atomic_t g_writeFd = -1;

void OnSignal(int sig) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(sig);
  if (g_writeFd >= 0) (void)!::write(g_writeFd, &byte, 1);
  errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0) {
    fds_[0] = fds_[1] = -1;
    return;
  }
  g_writeFd = fds_[1];
  notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::Drain);
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int sig : kSignals) ::sigaction(sig, &sa, nullptr);
}

TerminationSignals::~TerminationSignals() {
  if (!notifier_) return;
  struct sigaction sa {};
  sa.sa_handler = SIG_DFL;
  sigemptyset(&sa.sa_mask);
  for (int sig : kSignals) ::sigaction(sig, &sa, nullptr);
  g_writeFd = -1;
  delete notifier_;
  notifier_ = nullptr;
  ::close(fds_[0]);
  ::close(fds_[1]);
}

void TerminationSignals::Drain() {
  unsigned char buf[16];
  ssize_t n;
  int last = 0;
  while ((n = ::read(fds_[0], buf, sizeof buf)) > 0) last = buf[n - 1];
  if (last != 0) emit terminationRequested(last);
}

}  // namespace zorbek
