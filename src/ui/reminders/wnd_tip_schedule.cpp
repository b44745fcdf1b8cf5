#include "ui/reminders/wnd_tip_schedule.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace zorbek {
namespace {

void NotifyOverDBus(const QString& summary, const QString& body) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  call << QStringLiteral("Zorbek") << 0u << QStringLiteral("appointment-soon") << summary << body
       << QStringList() << QVariantMap{{QStringLiteral("urgency"), QVariant::fromValue<uchar>(2)}}
       << -1;
  // Without a notification service the call fails quietly; nothing waits for it.
  bus.asyncCall(call);
}

CWndTipSchedule::Notifier& CurrentNotifier() {
  static CWndTipSchedule::Notifier notifier = NotifyOverDBus;
  return notifier;
}

QString ForLabel(const std::string& s) {
  QString t = QString::fromStdString(s);
  t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  return t;
}

}  // namespace

void CWndTipSchedule::SetNotifier(Notifier notifier) { CurrentNotifier() = std::move(notifier); }
void CWndTipSchedule::ResetNotifier() { CurrentNotifier() = NotifyOverDBus; }

CWndTipSchedule::CWndTipSchedule(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("CWndTipSchedule"));
  setWindowTitle(QStringLiteral("提示"));
  setModal(false);

  text_ = new QLabel(QStringLiteral("静态"), this);
  text_->setWordWrap(true);
  text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  text_->setTextFormat(Qt::PlainText);
  text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  text_->setMinimumSize(240, 140);
  delay_ = new QPushButton(QStringLiteral("延迟"), this);
  next_ = new QPushButton(QStringLiteral("下一条"), this);
  next_->setEnabled(false);
  ok_ = new QPushButton(QStringLiteral("确定"), this);
  ok_->setDefault(true);
  for (QPushButton* b : {delay_, next_, ok_}) b->setAutoDefault(false);
  ok_->setDefault(true);

  menu_ = new QMenu(QStringLiteral("延迟"), this);
  for (const PopupDelay& d : kPopupDelays) {
    QAction* a = menu_->addAction(QString::fromUtf8(d.text));
    a->setData(d.minutes);
    const int minutes = d.minutes;
    connect(a, &QAction::triggered, this, [this, minutes] { Postpone(minutes); });
  }

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(delay_);
  buttons->addStretch(1);
  buttons->addWidget(next_);
  buttons->addWidget(ok_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_, 1);
  layout->addLayout(buttons);
  resize(280, 220);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  connect(delay_, &QPushButton::clicked, this, [this] {
    raise();
    activateWindow();
    menu_->popup(QCursor::pos());
  });
  connect(next_, &QPushButton::clicked, this, &CWndTipSchedule::Next);
  connect(ok_, &QPushButton::clicked, this, &CWndTipSchedule::DismissAll);

  // Called on the check thread: only a queued call crosses to this window's thread.
  QPointer<CWndTipSchedule> self(this);
  queue_.SetWake([self] {
    QMetaObject::invokeMethod(self.data(), "Deliver", Qt::QueuedConnection);
  });
}

CWndTipSchedule::~CWndTipSchedule() { queue_.SetWake({}); }

void CWndTipSchedule::Deliver() { Sync(queue_.Deliver()); }

void CWndTipSchedule::Next() {
  queue_.Next();
  Sync();
}

void CWndTipSchedule::DismissAll() {
  queue_.DismissAll();
  Sync();
}

void CWndTipSchedule::Postpone(int minutes) {
  queue_.Postpone(minutes);
  Sync();
}

void CWndTipSchedule::reject() { DismissAll(); }

void CWndTipSchedule::closeEvent(QCloseEvent* event) {
  event->ignore();
  DismissAll();
}

void CWndTipSchedule::Sync(const std::vector<DueReminder>& arrivals) {
  const bool newArrivals = !arrivals.empty();
  next_->setEnabled(queue_.NextEnabled());
  delay_->setEnabled(queue_.PostponeEnabled());
  if (!queue_.Visible()) {
    text_->setText(QString());
    hide();
    return;
  }
  const QString text = ForLabel(queue_.Text());
  const bool changed = text_->text() != text;
  text_->setText(text);
  if (!isVisible()) show();
  if (newArrivals || changed) {
    // Above the other windows, and the desktop is asked to draw the user's eye to it.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
    QApplication::alert(this);
  }
  if (newArrivals && CurrentNotifier()) {
    // A user on another workspace learns what came due, not only that something did.
    QStringList contents;
    for (const DueReminder& r : arrivals) contents << ForLabel(r.content);
    CurrentNotifier()(windowTitle(), contents.join(QLatin1Char('\n')));
  }
}

}  // namespace zorbek
