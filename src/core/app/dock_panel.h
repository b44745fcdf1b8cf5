// Screen-edge docking of the main window. A frame left flush with the right, left or top edge of
// a monitor tucks itself away once the cursor has left it, leaving a 3-pixel strip on that edge;
// touching the strip brings it back. The state machine works on rectangles and points only; the
// window system is reached through DockHost.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zorbek {

struct DockPoint {
  int x = 0, y = 0;
  friend bool operator==(const DockPoint&, const DockPoint&) = default;
};

// A rectangle in screen pixels; right and bottom lie just outside it.
struct DockRect {
  int left = 0, top = 0, right = 0, bottom = 0;

  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool IsAllZero() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
  bool Contains(DockPoint p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  DockRect Inflated(int d) const { return {left - d, top - d, right + d, bottom + d}; }
  DockRect Shifted(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
  // Area shared with other (0 when they do not overlap).
  long long OverlapArea(const DockRect& other) const;
  friend bool operator==(const DockRect&, const DockRect&) = default;
};

// Monitors are given as their full rectangles (not the work areas), the primary one first.
// The monitor holding the largest part of r, or the primary one when r lies on none.
DockRect MonitorOfRect(const std::vector<DockRect>& monitors, const DockRect& r);
// The monitor containing p, or the primary one.
DockRect MonitorOfPoint(const std::vector<DockRect>& monitors, DockPoint p);
// r moved so that it lies wholly inside area, and shrunk only where it is larger than area.
DockRect FitInside(const DockRect& r, const DockRect& area);

// "left,top,right,bottom" as the settings file keeps the window's place.
std::string FormatDockRect(const DockRect& r);
// The rectangle of a "LastPosition" value, or nullopt when the value holds no usable rectangle:
// fewer than four numbers, or an empty or inverted rectangle.
std::optional<DockRect> ParseDockRect(std::string_view text);
// A place that no user chose: a window system that cannot tell a window where it is reports
// the top-left corner of the desktop, and older runs saved that.
bool IsMadeUpPlace(const DockRect& r);
// "width,height" as the settings file keeps the window's size where places mean nothing.
std::string FormatDockSize(int width, int height);
// The width and height of a "LastSize" value, or nullopt.
std::optional<std::pair<int, int>> ParseDockSize(std::string_view text);

enum class DockZOrder {
  Top,        // above the other normal windows
  TopMost,    // above every normal window, until NotTopMost
  NotTopMost  // back among the normal windows
};

// What the docking needs from the window system.
class DockHost {
 public:
  virtual ~DockHost() = default;
  // The frame's outer rectangle (kept while the frame is hidden).
  virtual DockRect FrameRect() const = 0;
  virtual void MoveFrame(const DockRect& r) = 0;
  // The rectangle the frame takes when moved to r: r within the frame's size limits.
  virtual DockRect ConstrainFrame(const DockRect& r) const { return r; }
  // Centres the frame on the primary monitor, keeping its size.
  virtual void CentreFrame() = 0;
  virtual void ShowFrame(bool shown) = 0;
  virtual void SetFrameZOrder(DockZOrder order) = 0;
  // Lets the frame's own events run for a moment after it was shown, then raises it once more.
  virtual void RaiseFrameAfterShow() = 0;
  // Moves the frame as its caption would, from the grab point (screen); returns the grab point
  // where the move ended (the same point when the move continues on its own).
  virtual DockPoint MoveFrameByMouse(DockPoint grab) = 0;

  virtual DockRect StripRect() const = 0;
  virtual void PlaceStrip(const DockRect& r) = 0;
  // A shown strip stays above every other window.
  virtual void ShowStrip(bool shown) = 0;

  virtual void StartTimer(int id, int periodMs) = 0;  // restarts a running timer
  virtual void StopTimer(int id) = 0;
  virtual DockPoint CursorPos() const = 0;
  virtual std::vector<DockRect> Monitors() const = 0;
  // The work areas of the monitors (without the desktop's panels), in the order of Monitors().
  virtual std::vector<DockRect> WorkAreas() const { return Monitors(); }

  virtual std::string ReadLastPosition() = 0;
  virtual void WriteLastPosition(const std::string& value) = 0;

  // Whether the window system puts windows where they ask to be and tells them where they are
  // (X11). Where it does not (Wayland), only the size is kept ("LastSize"), the saved place is
  // left as it was, and the frame never docks: there would be no way to tell where the edge
  // is, nor where the cursor went.
  virtual bool CanPlaceWindows() const { return true; }
  virtual std::string ReadLastSize() { return {}; }
  virtual void WriteLastSize(const std::string&) {}
};

class MiniDockPanel {
 public:
  // kAway: hidden (or minimised) by the tray icon, not by the docking; the strip is not shown.
  enum State { kUnused = 0, kShown = 1, kHiddenTop = 2, kHiddenLeft = 3, kHiddenRight = 4, kAway = 5 };

  static constexpr int kEdgeTimer = 1002;       // while the frame touches an edge
  static constexpr int kEdgeTimerPeriodMs = 300;
  static constexpr int kStripTimer = 1008;      // for the frame's whole life
  static constexpr int kStripTimerPeriodMs = 1000;
  static constexpr int kStripThickness = 3;
  static constexpr int kStripSlack = 3;         // the strip reacts this far around itself
  static constexpr int kLeaveMargin = 30;       // a docked frame hides once left by more than this
  static constexpr int kSnapDistance = 20;      // an edge this close to the monitor's edge snaps
  static constexpr int kGrabMin = 2;            // the grab point lies 2 to 20 pixels inside
  static constexpr int kGrabMax = 20;
  static constexpr int kFitMargin = 10;         // a place moved onto a screen keeps this clear

  explicit MiniDockPanel(DockHost& host) : host_(host) {}

  // Once, when the frame is created: restores the last position, arms, starts timer 1008.
  void Attach();
  // Places the frame where "LastPosition" says, or centres it.
  void Restore();
  // Starts timer 1002 when the frame touches an edge of its monitor, else raises the frame.
  void Arm();
  // Hides a shown frame that touches an edge (leaving the strip) or shows a hidden one.
  void Toggle();
  // The mouse over the frame's border or over the strip.
  void Touch();
  // A mouse move (or a left press on the strip); leftButton down moves the frame.
  void Drag(bool leftButton, DockPoint screenPoint);
  // The frame was moved or resized.
  void Follow();
  // Snaps the frame to an edge near the grab point, and records the frame's place.
  void Snap(DockPoint grab);
  void OnTimer(int id);
  // The tray brings the frame back: a hidden frame is shown, and it stays shown (the cursor is
  // at the tray, far from it) until the mouse has come onto it; leaving it then hides it again.
  void ShowHeld();
  // The frame was hidden or minimised through the tray icon: nothing here shows it again until
  // the tray (or a second start) does, through ShowHeld.
  void SetAway();
  // The mouse came onto the frame.
  void MouseEntered() { held_ = false; }
  bool held() const { return held_; }

  // Whether the frame touches the right, left or top edge of its monitor (never where the window
  // system cannot place windows: the docking is off there).
  bool FrameAtEdge() const;
  bool HiddenAtEdge() const {
    return state_ == kHiddenTop || state_ == kHiddenLeft || state_ == kHiddenRight;
  }

  State state() const { return state_; }
  const DockRect& saved() const { return saved_; }

 private:
  DockHost& host_;
  State state_ = kUnused;
  DockRect saved_;
  bool held_ = false;
};

// Keeps "LastPosition" up to date without writing the settings file on every mouse move: each
// value is recorded at once and reaches the file at the next Flush, and only when it changed.
class LastPositionWriter {
 public:
  // write stores a value in the settings file and says whether that worked.
  explicit LastPositionWriter(std::function<bool(const std::string&)> write)
      : write_(std::move(write)) {}

  // True when the value differs from what the file holds: the caller schedules a Flush.
  bool Record(const std::string& value);
  // Writes the last recorded value if the file does not hold it yet.
  void Flush();
  bool pending() const { return pending_.has_value(); }
  // The value last known to be in the file.
  void SetWritten(std::string value) { written_ = std::move(value); }

 private:
  std::function<bool(const std::string&)> write_;
  std::optional<std::string> pending_;
  std::optional<std::string> written_;
};

}  // namespace zorbek
