#include "ui/reminders/reminder_notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QStringList>
#include <QVariantMap>

namespace zorbek {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

// The desktop's name for the program: its desktop entry and its icon.
QString DesktopName() {
  const QString name = QGuiApplication::desktopFileName();
  return name.isEmpty() ? QStringLiteral("zorbek") : name;
}

}  // namespace

QVariantList NotifyArguments(const ReminderNotification& n, uint replacesId, bool withActions) {
  QStringList actions;
  if (withActions) {
    actions << QString::fromLatin1(kNotifyActionDefault) << QStringLiteral("提示")
            << QString::fromLatin1(kNotifyActionOk) << QStringLiteral("确定");
    if (n.canPostpone)
      actions << QString::fromLatin1(kNotifyActionPostpone10) << QStringLiteral("延迟10分钟");
  }
  const QVariantMap hints{
      {QStringLiteral("urgency"), QVariant::fromValue<uchar>(1)},  // normal
      {QStringLiteral("desktop-entry"), DesktopName()},
      {QStringLiteral("category"), QStringLiteral("x-zorbek.reminder")},
  };
  return {QStringLiteral("Zorbek"), replacesId, DesktopName(), n.summary, n.body, actions, hints,
          -1};
}

DesktopReminderNotifier::DesktopReminderNotifier(QObject* parent) : QObject(parent) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  connected_ = bus.isConnected();
  if (!connected_) return;
  bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
              SLOT(OnActionInvoked(uint, QString)));
  bus.connect(kService, kPath, kInterface, QStringLiteral("ActivationToken"), this,
              SLOT(OnActivationToken(uint, QString)));
  bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
              SLOT(OnClosed(uint, uint)));
  // Whether the server draws buttons; until it has said so, none are offered.
  auto* watcher = new QDBusPendingCallWatcher(
      bus.asyncCall(QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                   QStringLiteral("GetCapabilities"))),
      this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
    QDBusPendingReply<QStringList> reply = *w;
    if (!reply.isError()) actions_ = reply.value().contains(QStringLiteral("actions"));
    w->deleteLater();
  });
}

void DesktopReminderNotifier::Show(const ReminderNotification& n) {
  if (!connected_) return;
  QDBusMessage call =
      QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
  call.setArguments(NotifyArguments(n, ids_.value(n.key, 0), actions_));
  withdrawnEarly_.remove(n.key);
  pending_.insert(n.key);
  // Nothing waits for the server: without one the call fails quietly.
  auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
  const QString key = n.key;
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, key](QDBusPendingCallWatcher* w) {
            QDBusPendingReply<uint> reply = *w;
            w->deleteLater();
            pending_.remove(key);
            if (reply.isError()) return;
            const uint id = reply.value();
            if (withdrawnEarly_.remove(key)) {
              Close(id);  // dealt with in the pop-up before the server answered
              return;
            }
            ids_.insert(key, id);
          });
}

void DesktopReminderNotifier::Withdraw(const QString& key) {
  if (pending_.contains(key)) withdrawnEarly_.insert(key);
  const auto it = ids_.find(key);
  if (it == ids_.end()) return;
  const uint id = it.value();
  ids_.erase(it);
  Close(id);
}

void DesktopReminderNotifier::Close(uint id) {
  tokens_.remove(id);
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                     QStringLiteral("CloseNotification"));
  call << id;
  QDBusConnection::sessionBus().asyncCall(call);
}

void DesktopReminderNotifier::OnActivationToken(uint id, const QString& token) {
  if (ids_.key(id).isEmpty()) return;
  tokens_.insert(id, token);
}

void DesktopReminderNotifier::OnActionInvoked(uint id, const QString& action) {
  const QString key = ids_.key(id);
  if (key.isEmpty()) return;  // another program's notification, or one withdrawn
  Invoke(key, action, tokens_.take(id));
}

void DesktopReminderNotifier::OnClosed(uint id, uint) {
  const QString key = ids_.key(id);
  if (!key.isEmpty()) ids_.remove(key);
  tokens_.remove(id);
}

}  // namespace zorbek
