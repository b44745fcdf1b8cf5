#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>

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

}  // namespace
}  // namespace zorbek
