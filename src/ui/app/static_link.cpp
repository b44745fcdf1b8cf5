#include "ui/app/static_link.h"

#include <QApplication>
#include <QMouseEvent>

#include "ui/app/desktop.h"

namespace zorbek {

CStaticLink::CStaticLink(const QString& text, const QUrl& target, QWidget* parent)
    : QLabel(text, parent), target_(target) {
  setCursor(Qt::PointingHandCursor);
  setTextFormat(Qt::PlainText);
  setMouseTracking(true);
  SetColor(kUnvisited);
}

void CStaticLink::SetColor(const QColor& c) {
  color_ = c;
  QPalette p = palette();
  p.setColor(QPalette::WindowText, c);
  setPalette(p);
  update();
}

void CStaticLink::Follow() {
  const QUrl url = target_.isEmpty() ? QUrl::fromUserInput(text()) : target_;
  const bool opened = OpenUrl(url);
  if (opened) {
    visited_ = true;
    SetColor(kVisited);
  } else {
    QApplication::beep();
  }
  emit followed(opened);
}

void CStaticLink::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) Follow();
  QLabel::mouseReleaseEvent(e);
}

void CStaticLink::mouseMoveEvent(QMouseEvent* e) {
  if (!hovering_) {
    hovering_ = true;
    SetColor(kHover);
  }
  QLabel::mouseMoveEvent(e);
}

void CStaticLink::enterEvent(QEnterEvent* e) {
  if (!hovering_) {
    hovering_ = true;
    SetColor(kHover);
  }
  QLabel::enterEvent(e);
}

void CStaticLink::leaveEvent(QEvent* e) {
  // A visited link keeps looking visited once the mouse has left it.
  hovering_ = false;
  SetColor(visited_ ? kVisited : kUnvisited);
  QLabel::leaveEvent(e);
}

}  // namespace zorbek
