#include "ui/app/mini_dock.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <functional>

#include "core/app/ini_file.h"
#include "core/app/paths.h"

namespace zorbek {
namespace {

DockRect ToDock(const QRect& r) { return {r.x(), r.y(), r.x() + r.width(), r.y() + r.height()}; }
QRect ToQt(const DockRect& r) { return QRect(r.left, r.top, r.width(), r.height()); }
DockPoint ToDock(const QPoint& p) { return {p.x(), p.y()}; }

// How long the settings file may lag behind the window's place while it is being moved.
constexpr int kPositionFlushMs = 250;
// How long a shown window waits for the window manager's borders before its place counts as
// settled.
constexpr int kPendingPlaceMs = 2000;

}  // namespace

bool EdgeDockingAvailable() {
  return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

QString EdgeDockingOffText() {
  return QStringLiteral("本桌面（Wayland）不告诉程序窗口的位置，主窗口不贴边隐藏；"
                        "单击托盘图标可隐藏或唤回主窗口。");
}

CMiniDockStrip::CMiniDockStrip(CMiniDockPanel& dock)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus),
      dock_(dock) {
  setObjectName(QStringLiteral("MiniDockPanel"));
  setWindowTitle(QString());
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_QuitOnClose, false);
  setMouseTracking(true);
  setCursor(Qt::ArrowCursor);
  QPalette p = palette();
  p.setColor(QPalette::Window, kColor);
  setPalette(p);
  setAutoFillBackground(true);
  setGeometry(0, 0, 100, 100);
}

void CMiniDockStrip::enterEvent(QEnterEvent* e) {
  dock_.machine().Drag(false, ToDock(e->globalPosition().toPoint()));
  QWidget::enterEvent(e);
}

void CMiniDockStrip::mouseMoveEvent(QMouseEvent* e) {
  dock_.machine().Drag((e->buttons() & Qt::LeftButton) != 0,
                       ToDock(e->globalPosition().toPoint()));
  QWidget::mouseMoveEvent(e);
}

void CMiniDockStrip::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton)
    dock_.machine().Drag(true, ToDock(e->globalPosition().toPoint()));
  QWidget::mousePressEvent(e);
}

namespace {
// Passes the Show events of every top-level widget to the dock. A watcher of its own, so that
// the frame's events, which the dock watches already, are not seen twice.
class WindowShowWatcher : public QObject {
 public:
  WindowShowWatcher(QObject* parent, std::function<void(QWidget*)> shown)
      : QObject(parent), shown_(std::move(shown)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
      auto* w = static_cast<QWidget*>(watched);
      if (w->isWindow()) shown_(w);
    }
    return false;
  }

 private:
  std::function<void(QWidget*)> shown_;
};
}  // namespace

CMiniDockPanel::CMiniDockPanel(QWidget* frame, std::string settingsFile)
    : QObject(frame),
      frame_(frame),
      settingsFile_(std::move(settingsFile)),
      position_([this](const std::string& value) {
        return WriteProfileString(settingsFile_, kWindowRectSection, kLastPositionKey, value);
      }),
      size_([this](const std::string& value) {
        return WriteProfileString(settingsFile_, kWindowRectSection, kLastSizeKey, value);
      }),
      canPlace_(EdgeDockingAvailable()) {
  strip_ = std::make_unique<CMiniDockStrip>(*this);
  pendingExpiry_.setSingleShot(true);
  pendingExpiry_.setInterval(kPendingPlaceMs);
  connect(&pendingExpiry_, &QTimer::timeout, this, [this] {
    if (!SettlePendingPlace()) pendingOuter_.reset();
  });
  positionFlush_.setSingleShot(true);
  connect(&positionFlush_, &QTimer::timeout, this, &CMiniDockPanel::FlushPosition);
}

CMiniDockPanel::~CMiniDockPanel() {
  if (frame_) frame_->removeEventFilter(this);
  if (windowWatcher_) QCoreApplication::instance()->removeEventFilter(windowWatcher_);
  FlushPosition();
}

void CMiniDockPanel::Attach() {
  if (attached_) return;
  attached_ = true;
  position_.SetWritten(ReadLastPosition());
  size_.SetWritten(ReadLastSize());
  machine_.Attach();
  frame_->installEventFilter(this);
  windowWatcher_ = new WindowShowWatcher(this, [this](QWidget* w) { OnWindowShown(w); });
  QCoreApplication::instance()->installEventFilter(windowWatcher_);
}

void CMiniDockPanel::OnWindowShown(QWidget* window) {
  if (!topMost_ || window == frame_ || window == strip_.get()) return;
  // Menus, tips and the like are drawn above everything by themselves.
  switch (window->windowType()) {
    case Qt::Popup:
    case Qt::ToolTip:
    case Qt::SplashScreen:
    case Qt::Desktop:
      return;
    default:
      break;
  }
  SetFrameZOrder(DockZOrder::NotTopMost);
  // Once the window system has it, in front of the frame.
  QTimer::singleShot(0, window, [window] {
    if (window->isVisible()) window->raise();
  });
}

void CMiniDockPanel::Detach() {
  for (auto& [id, timer] : timers_) timer->stop();
  if (windowWatcher_) QCoreApplication::instance()->removeEventFilter(windowWatcher_);
  strip_->hide();
  if (frame_) frame_->removeEventFilter(this);
  FlushPosition();
}

void CMiniDockPanel::FlushPosition() {
  positionFlush_.stop();
  position_.Flush();
  size_.Flush();
}

bool CMiniDockPanel::timerActive(int id) const {
  const auto it = timers_.find(id);
  return it != timers_.end() && it->second->isActive();
}

bool CMiniDockPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched != frame_) return false;
  switch (event->type()) {
    case QEvent::Show:
      SettlePendingPlace();
      break;
    case QEvent::Move:
    case QEvent::Resize:
      // The window manager's framing of a just shown window is not the user's doing.
      if (!moving_ && SettlePendingPlace()) break;
      if (!moving_ && frame_->isVisible()) {
        machine_.Follow();
        // A frame moved against an edge by its caption starts watching for the cursor to
        // leave it; the window manager's caption sends us no mouse moves of its own.
        if (machine_.state() == MiniDockPanel::kShown && machine_.FrameAtEdge()) machine_.Arm();
      }
      break;
    case QEvent::Enter:
      // The mouse came onto the frame (its border or any of its views).
      machine_.MouseEntered();
      if (machine_.state() != MiniDockPanel::kShown || machine_.FrameAtEdge()) machine_.Touch();
      break;
    case QEvent::MouseMove: {
      auto* e = static_cast<QMouseEvent*>(event);
      machine_.Drag((e->buttons() & Qt::LeftButton) != 0, ToDock(e->globalPosition().toPoint()));
      break;
    }
    case QEvent::MouseButtonPress: {
      auto* e = static_cast<QMouseEvent*>(event);
      if (e->button() == Qt::LeftButton) {
        machine_.Drag(true, ToDock(e->globalPosition().toPoint()));
        return true;
      }
      break;
    }
    default:
      break;
  }
  return false;
}

QTimer* CMiniDockPanel::TimerFor(int id) {
  QTimer*& timer = timers_[id];
  if (!timer) {
    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, id] { machine_.OnTimer(id); });
  }
  return timer;
}

QMargins CMiniDockPanel::FrameMargins() const {
  // The caption and borders the window manager draws: known only once the window is shown
  // (and, under X11, once the window manager has framed it).
  QWindow* w = frame_->windowHandle();
  return (w && frame_->isVisible()) ? w->frameMargins() : QMargins();
}

DockRect CMiniDockPanel::FrameRect() const {
  if (pendingOuter_) return *pendingOuter_;
  return ToDock(frame_->frameGeometry());
}

DockRect CMiniDockPanel::ConstrainFrame(const DockRect& r) const {
  const QMargins m = FrameMargins();
  const int extraW = m.left() + m.right(), extraH = m.top() + m.bottom();
  const int w = std::clamp(r.width(), frame_->minimumWidth() + extraW,
                           std::max(frame_->minimumWidth(), frame_->maximumWidth()) + extraW);
  const int h = std::clamp(r.height(), frame_->minimumHeight() + extraH,
                           std::max(frame_->minimumHeight(), std::min(frame_->maximumHeight(), 1 << 20)) + extraH);
  return {r.left, r.top, r.left + w, r.top + h};
}

void CMiniDockPanel::MoveFrame(const DockRect& r) {
  moving_ = true;
  const QMargins m = FrameMargins();
  // The rectangle is the outer one: the frame's top-left goes to its corner, and the inside
  // gets what the caption and borders leave of its size.
  frame_->move(r.left, r.top);
  frame_->resize(std::max(1, r.width() - m.left() - m.right()),
                 std::max(1, r.height() - m.top() - m.bottom()));
  // Before the window manager has framed the window its borders are not known: the size is
  // put right once they are (see the event filter).
  if (m.isNull()) pendingOuter_ = r;
  else pendingOuter_.reset();
  moving_ = false;
}

bool CMiniDockPanel::SettlePendingPlace() {
  if (!pendingOuter_ || !frame_->isVisible()) return false;
  if (FrameMargins().isNull()) {
    // No borders yet: the window manager may still be at it, or draws none (then the first
    // placing was right). Either way the place settles a moment after showing.
    if (!pendingExpiry_.isActive()) pendingExpiry_.start();
    return false;
  }
  const DockRect r = *pendingOuter_;
  MoveFrame(r);
  return true;
}

void CMiniDockPanel::CentreFrame() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  const QSize size = pendingOuter_ ? QSize(pendingOuter_->width(), pendingOuter_->height())
                                   : frame_->frameGeometry().size();
  const int left = area.x() + (area.width() - size.width()) / 2;
  const int top = area.y() + (area.height() - size.height()) / 2;
  moving_ = true;
  frame_->move(left, top);
  // A size given before the borders were known is settled at the centre, not where it was given.
  if (pendingOuter_) pendingOuter_ = pendingOuter_->Shifted(left - pendingOuter_->left, top - pendingOuter_->top);
  moving_ = false;
}

void CMiniDockPanel::ShowFrame(bool shown) {
  moving_ = true;  // showing delivers the moves made while hidden: nothing to snap
  frame_->setVisible(shown);
  moving_ = false;
}

void CMiniDockPanel::SetFrameZOrder(DockZOrder order) {
  if (order == DockZOrder::Top) {
    if (frame_->isVisible()) frame_->raise();
    return;
  }
  const bool topMost = order == DockZOrder::TopMost;
  if (topMost == topMost_) return;
  topMost_ = topMost;
  // Through the platform window: changing the widget's flags would hide the frame.
  if (QWindow* w = frame_->windowHandle()) w->setFlag(Qt::WindowStaysOnTopHint, topMost);
  if (topMost && frame_->isVisible()) frame_->raise();
}

void CMiniDockPanel::RaiseFrameAfterShow() {
  QTimer::singleShot(200, frame_, [f = frame_] {
    if (!f->isVisible()) return;
    f->raise();
    f->activateWindow();
  });
}

DockPoint CMiniDockPanel::MoveFrameByMouse(DockPoint grab) {
  // The window manager moves the frame from here on; each move arrives as a Move event,
  // which snaps at the cursor.
  if (frame_->isVisible())
    if (QWindow* w = frame_->windowHandle()) w->startSystemMove();
  return grab;
}

DockRect CMiniDockPanel::StripRect() const { return ToDock(strip_->geometry()); }

void CMiniDockPanel::PlaceStrip(const DockRect& r) { strip_->setGeometry(ToQt(r)); }

void CMiniDockPanel::ShowStrip(bool shown) {
  strip_->setVisible(shown);
  if (shown) strip_->raise();
}

void CMiniDockPanel::StartTimer(int id, int periodMs) { TimerFor(id)->start(periodMs); }

void CMiniDockPanel::StopTimer(int id) {
  if (auto it = timers_.find(id); it != timers_.end()) it->second->stop();
}

DockPoint CMiniDockPanel::CursorPos() const { return ToDock(QCursor::pos()); }

std::vector<DockRect> CMiniDockPanel::Monitors() const {
  std::vector<DockRect> out;
  QScreen* primary = QGuiApplication::primaryScreen();
  if (primary) out.push_back(ToDock(primary->geometry()));
  for (QScreen* s : QGuiApplication::screens())
    if (s != primary) out.push_back(ToDock(s->geometry()));
  return out;
}

std::vector<DockRect> CMiniDockPanel::WorkAreas() const {
  std::vector<DockRect> out;
  QScreen* primary = QGuiApplication::primaryScreen();
  if (primary) out.push_back(ToDock(primary->availableGeometry()));
  for (QScreen* s : QGuiApplication::screens())
    if (s != primary) out.push_back(ToDock(s->availableGeometry()));
  return out;
}

std::string CMiniDockPanel::ReadLastPosition() {
  return ReadProfileString(settingsFile_, kWindowRectSection, kLastPositionKey, "0");
}

void CMiniDockPanel::WriteLastPosition(const std::string& value) {
  if (position_.Record(value) && !positionFlush_.isActive()) positionFlush_.start(kPositionFlushMs);
}

std::string CMiniDockPanel::ReadLastSize() {
  return ReadProfileString(settingsFile_, kWindowRectSection, kLastSizeKey, "");
}

void CMiniDockPanel::WriteLastSize(const std::string& value) {
  if (size_.Record(value) && !positionFlush_.isActive()) positionFlush_.start(kPositionFlushMs);
}

}  // namespace zorbek
