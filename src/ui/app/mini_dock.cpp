#include "ui/app/mini_dock.h"

#include <QCursor>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWindow>

#include "core/app/ini_file.h"
#include "core/app/paths.h"

namespace zorbek {
namespace {

DockRect ToDock(const QRect& r) { return {r.x(), r.y(), r.x() + r.width(), r.y() + r.height()}; }
QRect ToQt(const DockRect& r) { return QRect(r.left, r.top, r.width(), r.height()); }
DockPoint ToDock(const QPoint& p) { return {p.x(), p.y()}; }

// How long the settings file may lag behind the window's place while it is being moved.
constexpr int kPositionFlushMs = 250;

}  // namespace

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

CMiniDockPanel::CMiniDockPanel(QWidget* frame, std::string settingsFile)
    : QObject(frame),
      frame_(frame),
      settingsFile_(std::move(settingsFile)),
      position_([this](const std::string& value) {
        return WriteProfileString(settingsFile_, kWindowRectSection, kLastPositionKey, value);
      }) {
  strip_ = std::make_unique<CMiniDockStrip>(*this);
  positionFlush_.setSingleShot(true);
  connect(&positionFlush_, &QTimer::timeout, this, &CMiniDockPanel::FlushPosition);
}

CMiniDockPanel::~CMiniDockPanel() {
  if (frame_) frame_->removeEventFilter(this);
  FlushPosition();
}

void CMiniDockPanel::Attach() {
  if (attached_) return;
  attached_ = true;
  position_.SetWritten(ReadLastPosition());
  machine_.Attach();
  frame_->installEventFilter(this);
}

void CMiniDockPanel::Detach() {
  for (auto& [id, timer] : timers_) timer->stop();
  strip_->hide();
  if (frame_) frame_->removeEventFilter(this);
  FlushPosition();
}

void CMiniDockPanel::FlushPosition() {
  positionFlush_.stop();
  position_.Flush();
}

bool CMiniDockPanel::timerActive(int id) const {
  const auto it = timers_.find(id);
  return it != timers_.end() && it->second->isActive();
}

bool CMiniDockPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched != frame_) return false;
  switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
      if (!moving_ && frame_->isVisible()) {
        machine_.Follow();
        // A frame moved against an edge by its caption starts watching for the cursor to
        // leave it; the window manager's caption sends us no mouse moves of its own.
        if (machine_.state() == MiniDockPanel::kShown && machine_.FrameAtEdge()) machine_.Arm();
      }
      break;
    case QEvent::Enter:
      // The mouse came onto the frame (its border or any of its views).
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

DockRect CMiniDockPanel::FrameRect() const { return ToDock(frame_->frameGeometry()); }

void CMiniDockPanel::MoveFrame(const DockRect& r) {
  moving_ = true;
  const QRect outer = frame_->frameGeometry();
  const QRect inner = frame_->geometry();
  frame_->move(r.left, r.top);
  frame_->resize(std::max(1, r.width() - (outer.width() - inner.width())),
                 std::max(1, r.height() - (outer.height() - inner.height())));
  moving_ = false;
}

void CMiniDockPanel::CentreFrame() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  const QSize size = frame_->frameGeometry().size();
  moving_ = true;
  frame_->move(area.x() + (area.width() - size.width()) / 2,
               area.y() + (area.height() - size.height()) / 2);
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

std::string CMiniDockPanel::ReadLastPosition() {
  return ReadProfileString(settingsFile_, kWindowRectSection, kLastPositionKey, "0");
}

void CMiniDockPanel::WriteLastPosition(const std::string& value) {
  if (position_.Record(value) && !positionFlush_.isActive()) positionFlush_.start(kPositionFlushMs);
}

}  // namespace zorbek
