// The pop-up and the user at work: a reminder that comes due while the user types in a note
// takes no keystroke from it; the pop-up keeps its size, stays usable over a modal dialog, and
// its desktop notification follows what the pop-up does.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "core/app/clock.h"
#include "core/db/database.h"
#include "core/reminders/reminder_store.h"
#include "core/reminders/reminder_time.h"
#include "editor_test_util.h"
#include "ui/reminders/reminder_notifier.h"
#include "ui/reminders/wnd_tip_schedule.h"
#include "core/reminder_test_util.h"

namespace zorbek {
namespace {

using testing::At;

// Records what the pop-up sends to and takes back from the desktop.
class RecordingNotifier : public ReminderNotifier {
 public:
  void Show(const ReminderNotification& n) override {
    log << "show " + n.key + "|" + n.summary + "|" + n.body + (n.canPostpone ? "" : "|no delay");
  }
  void Withdraw(const QString& key) override { log << "withdraw " + key; }
  void Click(const QString& key, const char* action, const QString& token = {}) {
    Invoke(key, QString::fromLatin1(action), token);
  }
  QStringList log;
};

class PopupFocusTest : public testing::EditorTest {
 protected:
  PopupFocusTest() {
    if (const char* tz = std::getenv("TZ")) oldTz_ = tz, hadTz_ = true;
    ::setenv("TZ", "Asia/Shanghai", 1);
    ::tzset();
    clock_.SetLocal(2026, 12, 25, 8, 59, 50);
    SetClock(&clock_);
    path_ = dir_ / "Zorbek.xml";
    testing::WriteFile(path_, "<list><hotkey/><filetree><archive/><schedule/></filetree></list>");
    EXPECT_EQ(doc_.Load(path_), LoadStatus::Loaded);
    CWndTipSchedule::SetNotifier(&notifier_);
    popup_ = std::make_unique<CWndTipSchedule>();
    popup_->SetStore(&store_);
    store_.Init(doc_, kSchedulePath, &popup_->Queue(), false);
  }
  ~PopupFocusTest() override {
    popup_.reset();
    CWndTipSchedule::ResetNotifier();
    SetClock(nullptr);
    if (hadTz_) ::setenv("TZ", oldTz_.c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
  }

  // One check pass at the present moment, and the pop-up takes in what it fired.
  void Pass() {
    store_.CheckPass();
    QApplication::processEvents();
  }
  // A key as the keyboard sends it: to the window that has the focus.
  static void Type(char c) {
    QWindow* focus = QGuiApplication::focusWindow();
    ASSERT_NE(focus, nullptr);
    QTest::keyClick(focus, c);
    QTest::qWait(5);
  }
  static void TypeKey(Qt::Key key) {
    QWindow* focus = QGuiApplication::focusWindow();
    ASSERT_NE(focus, nullptr);
    QTest::keyClick(focus, key);
    QTest::qWait(5);
  }

  FakeClock clock_;
  std::string path_;
  CXmlDocument doc_;
  ReminderStore store_;
  RecordingNotifier notifier_;
  std::unique_ptr<CWndTipSchedule> popup_;
  bool hadTz_ = false;
  std::string oldTz_;
};

TEST_F(PopupFocusTest, KeysTypedWhileAReminderComesDueAllLandInTheNote) {
  ASSERT_EQ(store_.Add("s1", At(2026, 12, 25, 9, 0), At(2026, 12, 25, 9, 0), 0, "开会"),
            StoreResult::kDone);
  CWndEsr* editor = Empty();
  ASSERT_NE(editor, nullptr);
  editor->activateWindow();
  editor->RichEdit()->setFocus();
  ASSERT_TRUE(QTest::qWaitForWindowActive(editor));

  const std::string typed = "abc def";
  for (char c : typed.substr(0, 4)) Type(c);
  clock_.SetLocal(2026, 12, 25, 9, 0, 0);
  Pass();  // comes due between two keys
  ASSERT_TRUE(popup_->isVisible());
  // Space and Enter would press "确定" in a pop-up that had taken the keyboard.
  for (char c : typed.substr(4)) Type(c);
  TypeKey(Qt::Key_Return);
  Type('x');
  QTest::qWait(100);  // whatever the platform does with a window that shows
  Type('y');
  TypeKey(Qt::Key_Space);
  Type('z');

  EXPECT_EQ(testing::EditorTest::Text(editor->RichEdit()), "abc def\nxy z");
  EXPECT_TRUE(popup_->isVisible());
  EXPECT_FALSE(popup_->isActiveWindow());
  EXPECT_TRUE(editor->isActiveWindow());
  EXPECT_EQ(popup_->Queue().QueuedCount(), 1u);  // still there to be dealt with
  EXPECT_EQ(notifier_.log, QStringList{"show s1|时间：2026年12月25日 09时00分00秒|开会"});

  // A click deals with it.
  QTest::mouseClick(popup_->OkButton(), Qt::LeftButton);
  EXPECT_FALSE(popup_->isVisible());
  EXPECT_EQ(popup_->Queue().QueuedCount(), 0u);
  EXPECT_EQ(notifier_.log.last(), "withdraw s1");
}

TEST_F(PopupFocusTest, ItsOwnSizeAboveTheOtherWindowsWithoutMaximising) {
  ASSERT_EQ(store_.Add("s1", At(2026, 12, 25, 9, 0), At(2026, 12, 25, 9, 0), 1, "喝水"),
            StoreResult::kDone);
  clock_.SetLocal(2026, 12, 25, 9, 0, 0);
  Pass();
  ASSERT_TRUE(popup_->isVisible());
  EXPECT_EQ(popup_->size(), QSize(CWndTipSchedule::kWidth, CWndTipSchedule::kHeight));
  EXPECT_EQ(popup_->minimumSize(), popup_->maximumSize());
  EXPECT_TRUE(popup_->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(popup_->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(popup_->testAttribute(Qt::WA_ShowWithoutActivating));
}

// A modal dialog of the program is open when a reminder comes due, and another opens while the
// pop-up shows: the pop-up's buttons answer, and the dialog goes on as before.
TEST_F(PopupFocusTest, UsableOverAModalDialogAndNeverBlockingIt) {
  ASSERT_EQ(store_.Add("s1", At(2026, 12, 25, 9, 0), At(2026, 12, 25, 9, 0), 1, "第一条"),
            StoreResult::kDone);
  ASSERT_EQ(store_.Add("s2", At(2026, 12, 25, 9, 1), At(2026, 12, 25, 9, 1), 1, "第二条"),
            StoreResult::kDone);
  QDialog dialog;
  dialog.setWindowTitle(QStringLiteral("关于Zorbek"));
  auto* close = new QPushButton(QStringLiteral("确定"), &dialog);
  QObject::connect(close, &QPushButton::clicked, &dialog, &QDialog::accept);
  bool checked = false;
  QTimer::singleShot(0, [&] {
    ASSERT_EQ(QApplication::activeModalWidget(), &dialog);
    clock_.SetLocal(2026, 12, 25, 9, 0, 0);
    Pass();
    ASSERT_TRUE(popup_->isVisible());
    EXPECT_EQ(popup_->Queue().QueuedCount(), 1u);
    QTest::mouseClick(popup_->OkButton(), Qt::LeftButton);  // through the modal dialog
    EXPECT_FALSE(popup_->isVisible());
    EXPECT_EQ(popup_->Queue().QueuedCount(), 0u);
    EXPECT_TRUE(dialog.isVisible());
    checked = true;
    QTest::mouseClick(close, Qt::LeftButton);  // the dialog still answers
  });
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  EXPECT_TRUE(checked);

  // The pop-up shows first, then a modal dialog opens.
  clock_.SetLocal(2026, 12, 25, 9, 1, 0);
  Pass();
  ASSERT_TRUE(popup_->isVisible());
  QDialog second;
  bool clicked = false;
  QTimer::singleShot(0, [&] {
    QApplication::processEvents();
    QTest::mouseClick(popup_->NextButton()->isEnabled() ? popup_->NextButton() : popup_->OkButton(),
                      Qt::LeftButton);
    clicked = !popup_->isVisible();
    second.accept();
  });
  second.exec();
  EXPECT_TRUE(clicked);
}

TEST_F(PopupFocusTest, TheNotificationFollowsThePopUpAndItsButtonsActLikeThePopUps) {
  ASSERT_EQ(store_.Add("a", At(2026, 12, 25, 9, 0), At(2026, 12, 25, 9, 0), 1, "甲"),
            StoreResult::kDone);
  ASSERT_EQ(store_.Add("b", At(2026, 12, 25, 9, 0), At(2026, 12, 25, 9, 0), 2, "乙"),
            StoreResult::kDone);
  ASSERT_EQ(store_.Add(kHourlyReminderId, At(2026, 12, 1), At(2026, 12, 1), 60, "丙"),
            StoreResult::kDone);
  ASSERT_EQ(store_.Add("d", At(2026, 12, 25, 9, 0), At(2026, 12, 25, 9, 0), 0, "丁"),
            StoreResult::kDone);
  clock_.SetLocal(2026, 12, 25, 9, 0, 0);
  Pass();
  ASSERT_EQ(popup_->Queue().QueuedCount(), 4u);
  EXPECT_EQ(notifier_.log,
            (QStringList{"show a|时间：每天 09时00分00秒|甲", "show b|时间：每周星期五 09时00分00秒|乙",
                         QStringLiteral("show %1|时间：整时提醒：2026年12月25日 09时00分00秒|丙|no delay")
                             .arg(QString::fromLatin1(kHourlyReminderId)),
                         "show d|时间：2026年12月25日 09时00分00秒|丁"}));
  notifier_.log.clear();

  // "延迟10分钟" on b's notification: b leaves the queue, postponed; a is still shown.
  notifier_.Click("b", kNotifyActionPostpone10);
  EXPECT_EQ(popup_->Queue().QueuedCount(), 3u);
  EXPECT_EQ(popup_->Queue().Shown()->id, "a");
  EXPECT_TRUE(store_.Get("b")->postponedUntil.has_value());
  // "确定" on a's, the shown one: the next is shown.
  notifier_.Click("a", kNotifyActionOk);
  EXPECT_EQ(popup_->Queue().Shown()->id, kHourlyReminderId);
  EXPECT_TRUE(popup_->TextLabel()->text().endsWith("丙"));
  EXPECT_EQ(notifier_.log, (QStringList{"withdraw b", "withdraw a"}));
  // A click on the notification brings the pop-up forward, with the keyboard.
  notifier_.Click("d", kNotifyActionDefault, QStringLiteral("token-1"));
  EXPECT_EQ(qgetenv("XDG_ACTIVATION_TOKEN"), "token-1");
  qunsetenv("XDG_ACTIVATION_TOKEN");
  EXPECT_TRUE(QTest::qWaitForWindowActive(popup_.get()));
  // "下一条" in the pop-up withdraws the hourly one's; "确定" the rest.
  notifier_.log.clear();
  QTest::mouseClick(popup_->NextButton(), Qt::LeftButton);
  QTest::mouseClick(popup_->OkButton(), Qt::LeftButton);
  EXPECT_EQ(notifier_.log,
            (QStringList{QStringLiteral("withdraw ") + QString::fromLatin1(kHourlyReminderId),
                         "withdraw d"}));
  // An action on a reminder the pop-up dealt with already does nothing.
  notifier_.Click("a", kNotifyActionOk);
  EXPECT_FALSE(popup_->isVisible());

  // The postponed one comes back ten minutes later.
  clock_.SetLocal(2026, 12, 25, 9, 10, 0);
  Pass();
  ASSERT_TRUE(popup_->isVisible());
  EXPECT_EQ(popup_->Queue().Shown()->id, "b");
}

TEST(ReminderNotifyArguments, NormalUrgencyIconEntryAndButtons) {
  ReminderNotification n{QStringLiteral("s1"), QStringLiteral("时间：每天 08时00分00秒"),
                         QStringLiteral("起床"), true};
  const QVariantList args = NotifyArguments(n, 7, true);
  ASSERT_EQ(args.size(), 8);
  EXPECT_EQ(args[0].toString(), "Zorbek");
  EXPECT_EQ(args[1].toUInt(), 7u);
  EXPECT_FALSE(args[2].toString().isEmpty());  // the program's icon
  EXPECT_EQ(args[3].toString(), n.summary);
  EXPECT_EQ(args[4].toString(), n.body);
  EXPECT_EQ(args[5].toStringList(),
            (QStringList{"default", "提示", "ok", "确定", "postpone10", "延迟10分钟"}));
  const QVariantMap hints = args[6].toMap();
  EXPECT_EQ(hints.value("urgency").value<uchar>(), 1);  // normal, not critical
  EXPECT_EQ(hints.value("desktop-entry").toString(), args[2].toString());
  EXPECT_EQ(args[7].toInt(), -1);
  n.canPostpone = false;
  EXPECT_EQ(NotifyArguments(n, 0, true)[5].toStringList(), (QStringList{"default", "提示", "ok", "确定"}));
  EXPECT_TRUE(NotifyArguments(n, 0, false)[5].toStringList().isEmpty());
}

}  // namespace
}  // namespace zorbek
