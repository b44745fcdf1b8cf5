#include "ui/app/single_instance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace zorbek {
namespace {
constexpr char kForward[] = "forward ";
constexpr int kMaxMessage = 4096;  // a token is a few dozen bytes
constexpr int kTalkMs = 2000;
}  // namespace

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
  if (server_) server_->close();  // removes the socket file
}

bool SingleInstance::Acquire() {
  if (lock_->isLocked()) return true;
  if (!lock_->tryLock(0)) return false;
  Listen();
  return true;
}

void SingleInstance::Listen() {
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  // The lock is ours: a socket file left there belongs to a copy that is gone.
  QLocalServer::removeServer(channel_);
  if (!server_->listen(channel_)) return;  // later starts then just end, as they always did
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      auto handle = [this, socket] {
        if (!socket->canReadLine()) {
          if (socket->bytesAvailable() > kMaxMessage) socket->abort();
          return;
        }
        const QByteArray line = socket->readLine(kMaxMessage).trimmed();
        socket->disconnectFromServer();
        if (!line.startsWith(QByteArray(kForward).trimmed())) return;
        emit comeForwardRequested(QString::fromUtf8(line.mid(sizeof kForward - 1)).trimmed());
      };
      connect(socket, &QLocalSocket::readyRead, socket, handle);
      if (socket->bytesAvailable() > 0) handle();
    }
  });
}

bool SingleInstance::AskFirstToComeForward(const QString& token) const {
  QLocalSocket socket;
  socket.connectToServer(channel_);
  if (!socket.waitForConnected(kTalkMs)) return false;
  // One line; a token never holds a line break, and one that did would be cut there.
  QByteArray message = kForward + token.toUtf8().left(kMaxMessage - 64);
  message.replace('\n', ' ');
  socket.write(message + '\n');
  const bool sent = socket.waitForBytesWritten(kTalkMs);
  socket.disconnectFromServer();
  return sent;
}

QString SingleInstance::LauncherToken() {
  QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
  if (token.isEmpty()) token = qEnvironmentVariable("DESKTOP_STARTUP_ID");
  return token;
}

}  // namespace zorbek
