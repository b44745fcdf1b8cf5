#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <cstring>
#include <string>

#include "support/temp_dir.h"
#include "ui/app/single_instance.h"

namespace zorbek {
namespace {
using testing::TempDir;

// A later start reaches the running copy over the channel beside the lock and hands on the
// launcher's token; without a running copy it reaches nobody.
TEST(SingleInstanceChannel, ALaterStartAsksTheFirstCopyToComeForward) {
  TempDir dir{"zorbek-instance"};
  const QString where = QString::fromStdString(dir.path());
  // A socket file left by a copy that crashed is no obstacle.
  {
    QFile stale(where + "/Zorbek version serial.socket");
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
  }
  auto first = std::make_unique<SingleInstance>(where);
  ASSERT_TRUE(first->Acquire());
  QStringList asked;
  QObject::connect(first.get(), &SingleInstance::comeForwardRequested,
                   [&](const QString& token) { asked << token; });

  SingleInstance later(where);
  EXPECT_FALSE(later.Acquire());
  EXPECT_TRUE(later.AskFirstToComeForward(QStringLiteral("sway-token-17")));
  EXPECT_TRUE(later.AskFirstToComeForward(QString()));
  const QDeadlineTimer deadline(5000);
  while (asked.size() < 2 && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_EQ(asked, QStringList({"sway-token-17", ""}));

  // The first copy ends: nobody to ask, and the next start is the first.
  first.reset();
  EXPECT_FALSE(later.AskFirstToComeForward(QStringLiteral("x")));
  EXPECT_TRUE(later.Acquire());
}

// A raw connection to the channel at path, as any local program could make one; -1 if refused.
int Connect(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// The channel is the user's alone, and a caller that sends half a line and waits, one that
// sends a flood with no line break, or one that hangs up midway neither holds up the running
// copy nor passes for a later start.
TEST(SingleInstanceChannel, StrangeCallersAreNeitherWaitedForNorTakenAsAStart) {
  TempDir dir{"zorbek-instance"};
  const QString where = QString::fromStdString(dir.path());
  SingleInstance first(where);
  ASSERT_TRUE(first.Acquire());
  struct stat st{};
  ASSERT_EQ(::stat(first.ChannelPath().toStdString().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0077, 0u);
  QStringList asked;
  QObject::connect(&first, &SingleInstance::comeForwardRequested,
                   [&](const QString& token) { asked << token; });

  const std::string channel = first.ChannelPath().toStdString();
  const int silent = Connect(channel);
  ASSERT_GE(silent, 0);
  ASSERT_EQ(::send(silent, "forward half", 12, MSG_NOSIGNAL), 12);  // and never the rest
  const int flood = Connect(channel);
  ASSERT_GE(flood, 0);
  const std::string junk(6000, 'x');
  (void)::send(flood, junk.data(), junk.size(), MSG_NOSIGNAL);
  const int gone = Connect(channel);
  ASSERT_GE(gone, 0);
  ASSERT_EQ(::send(gone, "forward cut", 11, MSG_NOSIGNAL), 11);
  ::close(gone);
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);

  SingleInstance later(where);
  EXPECT_TRUE(later.AskFirstToComeForward(QStringLiteral("token-after")));
  const QDeadlineTimer deadline(5000);
  while (asked.isEmpty() && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_EQ(asked, QStringList({"token-after"}));
  ::close(silent);
  ::close(flood);
}

}  // namespace
}  // namespace zorbek
