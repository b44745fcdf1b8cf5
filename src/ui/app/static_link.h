// A static text that behaves as a hyperlink: blue until visited (then purple), red while the
// mouse is over it, a hand cursor; a click opens the target and a failure beeps.
#pragma once

#include <QColor>
#include <QLabel>
#include <QUrl>

namespace zorbek {

class CStaticLink : public QLabel {
  Q_OBJECT
 public:
  static inline const QColor kUnvisited{0, 0, 255};
  static inline const QColor kVisited{128, 0, 128};
  static inline const QColor kHover{255, 0, 0};

  // An empty target opens the text itself.
  CStaticLink(const QString& text, const QUrl& target, QWidget* parent = nullptr);

  QColor currentColor() const { return color_; }
  bool visited() const { return visited_; }
  bool hovering() const { return hovering_; }
  // What a click does.
  void Follow();

 signals:
  void followed(bool opened);

 protected:
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void enterEvent(QEnterEvent* e) override;
  void leaveEvent(QEvent* e) override;

 private:
  void SetColor(const QColor& c);

  QUrl target_;
  QColor color_;
  bool hovering_ = false;
  bool visited_ = false;
};

}  // namespace zorbek
