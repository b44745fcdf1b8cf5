// Screen-edge docking of the main window on Qt: the state machine of core/app/dock_panel.h
// driven by the frame's events, its timers and the 3-pixel strip window "MiniDockPanel".
#pragma once

#include <QColor>
#include <QMargins>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "core/app/dock_panel.h"

namespace zorbek {

class CMiniDockPanel;

// Whether the window system lets the frame dock at the screen's edges (not on Wayland, where a
// program neither places its windows nor learns where they or the cursor are), and, where it
// does not, the sentence the About box shows about it.
bool EdgeDockingAvailable();
QString EdgeDockingOffText();

// The strip left on the screen edge while the frame is hidden.
class CMiniDockStrip : public QWidget {
  Q_OBJECT
 public:
  static inline const QColor kColor{0, 100, 255};
  explicit CMiniDockStrip(CMiniDockPanel& dock);

 protected:
  void enterEvent(QEnterEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;

 private:
  CMiniDockPanel& dock_;
};

class CMiniDockPanel : public QObject, public DockHost {
  Q_OBJECT
 public:
  // frame is the window being docked; its place is kept in settingsFile.
  CMiniDockPanel(QWidget* frame, std::string settingsFile);
  ~CMiniDockPanel() override;

  // Once, when the frame is created: restores its place and starts watching it.
  void Attach();
  // Writes a pending "LastPosition" now.
  void FlushPosition();
  // Stops the timers and hides the strip (the program is ending).
  void Detach();

  MiniDockPanel& machine() { return machine_; }
  CMiniDockStrip* strip() const { return strip_.get(); }
  bool timerActive(int id) const;
  // Whether the frame is kept above every other window (shown from its strip).
  bool frameTopMost() const { return topMost_; }

  // DockHost
  DockRect FrameRect() const override;
  void MoveFrame(const DockRect& r) override;
  DockRect ConstrainFrame(const DockRect& r) const override;
  void CentreFrame() override;
  void ShowFrame(bool shown) override;
  void SetFrameZOrder(DockZOrder order) override;
  void RaiseFrameAfterShow() override;
  DockPoint MoveFrameByMouse(DockPoint grab) override;
  DockRect StripRect() const override;
  void PlaceStrip(const DockRect& r) override;
  void ShowStrip(bool shown) override;
  void StartTimer(int id, int periodMs) override;
  void StopTimer(int id) override;
  DockPoint CursorPos() const override;
  std::vector<DockRect> Monitors() const override;
  std::vector<DockRect> WorkAreas() const override;
  std::string ReadLastPosition() override;
  void WriteLastPosition(const std::string& value) override;
  bool CanPlaceWindows() const override { return canPlace_; }
  std::string ReadLastSize() override;
  void WriteLastSize(const std::string& value) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QTimer* TimerFor(int id);
  QMargins FrameMargins() const;
  // Gives a frame placed before its borders were known its outer size, once they are; whether
  // it did.
  bool SettlePendingPlace();
  // Another window of the program is being shown: while the docked frame stays above every
  // window, it would open under the frame. The frame goes back among the normal windows, and
  // the new one comes in front.
  void OnWindowShown(QWidget* window);

  QWidget* frame_;
  std::string settingsFile_;
  MiniDockPanel machine_{*this};
  std::unique_ptr<CMiniDockStrip> strip_;
  QObject* windowWatcher_ = nullptr;  // sees every window of the program being shown
  std::map<int, QTimer*> timers_;
  LastPositionWriter position_;
  LastPositionWriter size_;
  bool canPlace_ = true;
  QTimer positionFlush_;
  std::optional<DockRect> pendingOuter_;  // placed before the borders were known
  QTimer pendingExpiry_;
  bool moving_ = false;
  bool topMost_ = false;
  bool attached_ = false;
};

}  // namespace zorbek
