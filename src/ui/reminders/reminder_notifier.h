// The desktop notification of a due reminder, besides the pop-up: sent when the reminder comes
// due, withdrawn when the pop-up has dealt with it. Where the notification server offers
// buttons, "确定" and "延迟10分钟" act on the reminder as the pop-up's buttons do, and a click
// on the notification itself brings the pop-up forward.
#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVariantList>
#include <functional>

namespace zorbek {

struct ReminderNotification {
  QString key;      // the reminder's id
  QString summary;  // its time, as the pop-up's first line reads it
  QString body;     // its text
  bool canPostpone = true;  // hourly and half-hourly reminders cannot be postponed
};

// The keys of the notification's actions, as the server reports them back.
inline constexpr const char* kNotifyActionDefault = "default";
inline constexpr const char* kNotifyActionOk = "ok";
inline constexpr const char* kNotifyActionPostpone10 = "postpone10";

class ReminderNotifier {
 public:
  virtual ~ReminderNotifier() = default;
  // Sends (or replaces) the notification of a reminder.
  virtual void Show(const ReminderNotification& notification) = 0;
  // Takes back the notification of a reminder, if there is one.
  virtual void Withdraw(const QString& key) = 0;

  // What the notification's actions do: action is one of the keys above, token the activation
  // token the server passed with it (empty when it passed none).
  using ActionHandler =
      std::function<void(const QString& key, const QString& action, const QString& token)>;
  void SetActionHandler(ActionHandler handler) { handler_ = std::move(handler); }

 protected:
  void Invoke(const QString& key, const QString& action, const QString& token) {
    if (handler_) handler_(key, action, token);
  }

 private:
  ActionHandler handler_;
};

// The arguments of org.freedesktop.Notifications.Notify for a reminder: normal urgency, the
// program's icon and desktop entry, and the two buttons when the server offers actions.
QVariantList NotifyArguments(const ReminderNotification& notification, uint replacesId,
                             bool withActions);

// org.freedesktop.Notifications on the session bus; sends nothing where there is none.
class DesktopReminderNotifier : public QObject, public ReminderNotifier {
  Q_OBJECT
 public:
  explicit DesktopReminderNotifier(QObject* parent = nullptr);

  void Show(const ReminderNotification& notification) override;
  void Withdraw(const QString& key) override;

 private slots:
  void OnActionInvoked(uint id, const QString& action);
  void OnActivationToken(uint id, const QString& token);
  void OnClosed(uint id, uint reason);

 private:
  void Close(uint id);

  bool connected_ = false;
  bool actions_ = false;             // the server offers buttons
  QHash<QString, uint> ids_;         // reminder -> its notification
  QHash<uint, QString> tokens_;      // activation tokens the server passed
  QSet<QString> pending_;            // sent, the server's answer not yet in
  QSet<QString> withdrawnEarly_;     // withdrawn before the server answered
};

}  // namespace zorbek
