#include "ui/app/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>

namespace zorbek {
namespace {
constexpr char kForward[] = "forward ";
constexpr int kMaxMessage = 4096;  // a token is a few dozen bytes
constexpr int kTalkMs = 2000;

// The address of the socket file at path; false when the path is too long for one.
bool AddressOf(const QString& path, sockaddr_un* address) {
  const QByteArray file = QFile::encodeName(path);
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  if (file.isEmpty() || static_cast<std::size_t>(file.size()) >= sizeof address->sun_path)
    return false;
  std::memcpy(address->sun_path, file.constData(), static_cast<std::size_t>(file.size()));
  return true;
}

// Waits until fd is ready for events, up to the deadline.
bool WaitFor(int fd, short events, const QDeadlineTimer& deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, static_cast<int>(deadline.remainingTime()));
    if (n > 0) return (p.revents & (events | POLLERR | POLLHUP)) != 0;
    if (n == 0 || errno != EINTR) return false;
  }
}
}  // namespace

// One later start talking to the running copy: its line is read as it comes, without ever
// waiting on it, and the connection ends with the line, at its limit, or when it hangs up. A
// child of the copy's SingleInstance, so that it goes with it at the latest.
class SingleInstance::Caller : public QObject {
 public:
  Caller(SingleInstance* owner, int fd)
      : QObject(owner), owner_(owner), fd_(fd), notifier_(fd, QSocketNotifier::Read) {
    connect(&notifier_, &QSocketNotifier::activated, this, [this] { Read(); });
  }
  ~Caller() override { ::close(fd_); }
  Caller(const Caller&) = delete;
  Caller& operator=(const Caller&) = delete;

 private:
  void Read() {
    char buffer[512];
    for (;;) {
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n > 0) {
        line_.append(buffer, n);
        if (const qsizetype end = line_.indexOf('\n'); end >= 0) {
          line_.truncate(end);
          return Finish(true);
        }
        if (line_.size() > kMaxMessage) return Finish(false);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;  // more to come
      return Finish(false);  // hung up before its line was whole
    }
  }
  void Finish(bool whole) {
    notifier_.setEnabled(false);
    deleteLater();  // not while its notifier's signal is on the way
    const QByteArray line = line_.trimmed();
    if (whole && line.startsWith(QByteArray(kForward).trimmed()))
      emit owner_->comeForwardRequested(QString::fromUtf8(line.mid(sizeof kForward - 1)).trimmed());
  }

  SingleInstance* owner_;
  int fd_;
  QSocketNotifier notifier_;
  QByteArray line_;
};

SingleInstance::SingleInstance(const QString& dir) {
  QString base = dir;
  if (base.isEmpty()) base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (base.isEmpty()) base = QDir::tempPath();
  QDir().mkpath(base);
  path_ = QDir(base).filePath(QStringLiteral("Zorbek version serial.lock"));
  channel_ = QDir(base).filePath(QStringLiteral("Zorbek version serial.socket"));
  lock_ = std::make_unique<QLockFile>(path_);
  // A lock is stale only when its owner is gone, never because of its age.
  lock_->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() {
  if (listener_ >= 0) {
    notifier_.reset();
    ::close(listener_);
    ::unlink(QFile::encodeName(channel_).constData());
  }
}

bool SingleInstance::Acquire() {
  if (lock_->isLocked()) return true;
  if (!lock_->tryLock(0)) return false;
  Listen();
  return true;
}

void SingleInstance::Listen() {
  sockaddr_un address;
  if (!AddressOf(channel_, &address)) return;  // later starts then just end, as they always did
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return;
  // The lock is ours: a socket file left there belongs to a copy that is gone.
  ::unlink(address.sun_path);
  // Made for the user alone from the start: nobody else may ever connect.
  const mode_t before = ::umask(0077);
  const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::umask(before);
  if (!bound || ::listen(fd, 8) != 0) {
    ::close(fd);
    return;
  }
  listener_ = fd;
  notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
    for (;;) {
      const int caller = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (caller < 0) {
        if (errno == EINTR) continue;
        return;
      }
      new Caller(this, caller);
    }
  });
}

bool SingleInstance::AskFirstToComeForward(const QString& token) const {
  sockaddr_un address;
  if (!AddressOf(channel_, &address)) return false;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  const QDeadlineTimer deadline(kTalkMs);
  bool sent = false;
  int connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  if (connected != 0 && (errno == EINPROGRESS || errno == EAGAIN) && WaitFor(fd, POLLOUT, deadline)) {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) connected = 0;
  }
  if (connected == 0) {
    // One line; a token never holds a line break, and one that did would be cut there.
    QByteArray message = kForward + token.toUtf8().left(kMaxMessage - 64);
    message.replace('\n', ' ');
    message += '\n';
    qsizetype at = 0;
    while (at < message.size()) {
      const ssize_t n = ::send(fd, message.constData() + at, static_cast<std::size_t>(message.size() - at),
                               MSG_NOSIGNAL);
      if (n > 0) {
        at += n;
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && WaitFor(fd, POLLOUT, deadline)) {
        continue;
      } else {
        break;
      }
    }
    sent = at == message.size();
  }
  ::close(fd);
  return sent;
}

QString SingleInstance::LauncherToken() {
  QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
  if (token.isEmpty()) token = qEnvironmentVariable("DESKTOP_STARTUP_ID");
  return token;
}

}  // namespace zorbek
