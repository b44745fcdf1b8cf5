#include "ui/reminders/wnd_tip_schedule.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include "core/reminders/reminder_text.h"

namespace zorbek {
namespace {

// The notifier in use: the desktop's, made on first use, unless another was installed.
struct NotifierChoice {
  bool installed = false;
  ReminderNotifier* notifier = nullptr;
};
NotifierChoice& Choice() {
  static NotifierChoice choice;
  return choice;
}
ReminderNotifier* CurrentNotifier() {
  if (Choice().installed) return Choice().notifier;
  static QPointer<DesktopReminderNotifier> desktop;
  if (!desktop && qApp) desktop = new DesktopReminderNotifier(qApp);
  return desktop.data();
}

// How long after the pop-up shows an activation it did not ask for is taken for the window
// manager's, not the user's.
constexpr qint64 kUnaskedActivationMs = 1500;

QString ForLabel(const std::string& s) {
  QString t = QString::fromStdString(s);
  t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  return t;
}

}  // namespace

void CWndTipSchedule::SetNotifier(ReminderNotifier* notifier) {
  Choice() = NotifierChoice{true, notifier};
}
void CWndTipSchedule::ResetNotifier() { Choice() = NotifierChoice{}; }

CWndTipSchedule::CWndTipSchedule(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("CWndTipSchedule"));
  setWindowTitle(QStringLiteral("提示"));
  setModal(false);
  // Shown, not activated: the keyboard stays where the user is typing.
  setAttribute(Qt::WA_ShowWithoutActivating);

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
  // Its own size: a window manager that maximises new windows cannot stretch it.
  setFixedSize(kWidth, kHeight);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  connect(delay_, &QPushButton::clicked, this, [this] {
    shownAt_.invalidate();  // the user is here
    raise();
    activateWindow();
    menu_->popup(QCursor::pos());
  });
  installEventFilter(this);
  for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);
  connect(next_, &QPushButton::clicked, this, &CWndTipSchedule::Next);
  connect(ok_, &QPushButton::clicked, this, &CWndTipSchedule::DismissAll);

  // Called on the check thread: only a queued call crosses to this window's thread.
  QPointer<CWndTipSchedule> self(this);
  queue_.SetWake([self] {
    QMetaObject::invokeMethod(self.data(), "Deliver", Qt::QueuedConnection);
  });
}

CWndTipSchedule::~CWndTipSchedule() {
  queue_.SetWake({});
  if (ReminderNotifier* n = Choice().installed ? Choice().notifier : nullptr)
    n->SetActionHandler({});
}

void CWndTipSchedule::Deliver() { Sync(queue_.Deliver()); }

std::set<std::string> CWndTipSchedule::QueuedIds() const {
  std::set<std::string> ids;
  for (std::size_t i = 0; i < queue_.QueuedCount(); ++i) ids.insert(queue_.Entry(i).id);
  return ids;
}

void CWndTipSchedule::Act(const std::function<void()>& command) {
  const std::set<std::string> before = QueuedIds();
  command();
  const std::set<std::string> after = QueuedIds();
  if (ReminderNotifier* n = CurrentNotifier()) {
    for (const std::string& id : before)
      if (!after.count(id)) n->Withdraw(QString::fromStdString(id));
  }
  Sync();
}

void CWndTipSchedule::Next() {
  Act([this] { queue_.Next(); });
}

void CWndTipSchedule::DismissAll() {
  Act([this] { queue_.DismissAll(); });
}

void CWndTipSchedule::Postpone(int minutes) {
  Act([this, minutes] { queue_.Postpone(minutes); });
}

void CWndTipSchedule::OnNotificationAction(const QString& key, const QString& action,
                                           const QString& token) {
  const std::string id = key.toStdString();
  if (action == QLatin1String(kNotifyActionOk)) {
    Act([this, id] { queue_.DismissEntry(id); });
  } else if (action == QLatin1String(kNotifyActionPostpone10)) {
    Act([this, id] { queue_.PostponeEntry(id, 10); });
  } else if (action == QLatin1String(kNotifyActionDefault) && queue_.Visible()) {
    // The user asked for it: forward with the keyboard. On Wayland the server's token lets the
    // compositor give this window the focus.
    if (!token.isEmpty()) qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    shownAt_.invalidate();
    typingIn_.clear();
    if (!isVisible()) show();
    raise();
    activateWindow();
  }
}

void CWndTipSchedule::AboveModalDialog() {
  QWidget* modal = QApplication::activeModalWidget();
  if (!modal || modal == this) return;
  if (!windowHandle()) create();
  if (QWindow* w = windowHandle(); w && modal->windowHandle() &&
                                   w->transientParent() != modal->windowHandle())
    w->setTransientParent(modal->windowHandle());
}

bool CWndTipSchedule::event(QEvent* e) {
  switch (e->type()) {
    case QEvent::WindowBlocked:
      // A modal dialog opened while the pop-up shows: the pop-up stays usable.
      AboveModalDialog();
      break;
    case QEvent::WindowActivate:
      // Activated within a moment of showing and not by a click: the window manager's doing.
      // The keyboard goes back to where the user was typing.
      if (typingIn_ && shownAt_.isValid() && shownAt_.elapsed() < kUnaskedActivationMs &&
          QGuiApplication::mouseButtons() == Qt::NoButton) {
        handingBack_ = true;
        typingIn_->activateWindow();
        typingIn_->setFocus(Qt::OtherFocusReason);
      }
      shownAt_.invalidate();
      break;
    case QEvent::WindowDeactivate: handingBack_ = false; break;
    default: break;
  }
  return QDialog::event(e);
}

bool CWndTipSchedule::eventFilter(QObject* watched, QEvent* e) {
  switch (e->type()) {
    case QEvent::MouseButtonPress:
      // The user has come to the pop-up.
      shownAt_.invalidate();
      handingBack_ = false;
      break;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
      // Keys typed for the note while the window manager held the pop-up active go to the note.
      if (handingBack_ && typingIn_) {
        if (e->type() != QEvent::ShortcutOverride) {
          auto* key = static_cast<QKeyEvent*>(e);
          QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text(),
                         key->isAutoRepeat(), static_cast<ushort>(key->count()));
          QCoreApplication::sendEvent(typingIn_, &copy);
        }
        return true;
      }
      break;
    default: break;
  }
  return QDialog::eventFilter(watched, e);
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
    typingIn_.clear();
    shownAt_.invalidate();
    handingBack_ = false;
    return;
  }
  const QString text = ForLabel(queue_.Text());
  const bool changed = text_->text() != text;
  text_->setText(text);
  if (newArrivals && !isActiveWindow()) {
    // Where the user is typing, if anywhere in the program: it keeps the keyboard.
    QWidget* focus = QApplication::focusWidget();
    typingIn_ = focus && focus->window() != this && focus->isActiveWindow() ? focus : nullptr;
    shownAt_.start();
  }
  AboveModalDialog();
  if (!isVisible()) show();
  if (newArrivals || changed) {
    // Above the program's other windows, without the keyboard; the desktop is asked to draw the
    // user's eye to it.
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    raise();
    QApplication::alert(this);
  }
  if (ReminderNotifier* n = newArrivals ? CurrentNotifier() : nullptr) {
    // A user on another workspace learns what came due and when, and can deal with it there.
    QPointer<CWndTipSchedule> self(this);
    n->SetActionHandler([self](const QString& key, const QString& action, const QString& token) {
      if (self) self->OnNotificationAction(key, action, token);
    });
    const SystemTime now = clock().LocalNow();
    for (const DueReminder& r : arrivals) {
      const QString full =
          ForLabel(ReminderPopupText(r.mode, r.start, r.stop, r.content, now, std::int64_t{0}));
      ReminderNotification note;
      note.key = QString::fromStdString(r.id);
      note.summary = full.section(QLatin1Char('\n'), 0, 0);
      note.body = ForLabel(r.content);
      note.canPostpone = r.mode != reminder_mode::kHalfHourly && r.mode != reminder_mode::kHourly;
      n->Show(note);
    }
  }
}

}  // namespace zorbek
