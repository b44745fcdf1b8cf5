#include "core/app/dock_panel.h"

#include <algorithm>
#include <charconv>

namespace zorbek {

long long DockRect::OverlapArea(const DockRect& other) const {
  const long long w = static_cast<long long>(std::min(right, other.right)) - std::max(left, other.left);
  const long long h = static_cast<long long>(std::min(bottom, other.bottom)) - std::max(top, other.top);
  return (w > 0 && h > 0) ? w * h : 0;
}

DockRect MonitorOfRect(const std::vector<DockRect>& monitors, const DockRect& r) {
  if (monitors.empty()) return {};
  const DockRect* best = &monitors.front();
  long long bestArea = 0;
  for (const DockRect& m : monitors) {
    const long long area = m.OverlapArea(r);
    if (area > bestArea) {
      bestArea = area;
      best = &m;
    }
  }
  return *best;
}

DockRect FitInside(const DockRect& r, const DockRect& area) {
  const int w = std::min(r.width(), area.width());
  const int h = std::min(r.height(), area.height());
  const int left = std::clamp(r.left, area.left, area.right - w);
  const int top = std::clamp(r.top, area.top, area.bottom - h);
  return {left, top, left + w, top + h};
}

DockRect MonitorOfPoint(const std::vector<DockRect>& monitors, DockPoint p) {
  if (monitors.empty()) return {};
  for (const DockRect& m : monitors)
    if (m.Contains(p)) return m;
  return monitors.front();
}

std::string FormatDockRect(const DockRect& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
         "," + std::to_string(r.bottom);
}

std::optional<DockRect> ParseDockRect(std::string_view text) {
  int v[4] = {};
  const char* p = text.data();
  const char* end = text.data() + text.size();
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (p == end || *p != ',') return std::nullopt;
      ++p;
    }
    while (p != end && (*p == ' ' || *p == '\t')) ++p;
    if (p != end && *p == '+') ++p;
    const auto [next, ec] = std::from_chars(p, end, v[i]);
    if (ec != std::errc()) return std::nullopt;
    p = next;
  }
  const DockRect r{v[0], v[1], v[2], v[3]};
  if (r.right <= r.left || r.bottom <= r.top) return std::nullopt;
  return r;
}

bool IsMadeUpPlace(const DockRect& r) { return r.left == 0 && r.top == 0; }

std::string FormatDockSize(int width, int height) {
  return std::to_string(width) + "," + std::to_string(height);
}

std::optional<std::pair<int, int>> ParseDockSize(std::string_view text) {
  int v[2] = {};
  const char* p = text.data();
  const char* end = text.data() + text.size();
  for (int i = 0; i < 2; ++i) {
    if (i > 0) {
      if (p == end || *p != ',') return std::nullopt;
      ++p;
    }
    while (p != end && (*p == ' ' || *p == '\t')) ++p;
    const auto [next, ec] = std::from_chars(p, end, v[i]);
    if (ec != std::errc() || v[i] <= 0) return std::nullopt;
    p = next;
  }
  return std::make_pair(v[0], v[1]);
}

namespace {
bool Within(long long v, int lo, int hi) { return v >= lo && v <= hi; }
bool Inside(const DockRect& r, const DockRect& area) {
  return r.left >= area.left && r.top >= area.top && r.right <= area.right && r.bottom <= area.bottom;
}
}  // namespace

bool MiniDockPanel::FrameAtEdge() const {
  if (!host_.CanPlaceWindows()) return false;
  const DockRect f = host_.FrameRect();
  const DockRect m = MonitorOfRect(host_.Monitors(), f);
  return f.right == m.right || f.left == m.left || f.top == m.top;
}

void MiniDockPanel::Attach() {
  Restore();
  if (!host_.CanPlaceWindows()) return;  // no docking: nothing to watch
  Arm();
  host_.StartTimer(kStripTimer, kStripTimerPeriodMs);
}

void MiniDockPanel::Restore() {
  if (saved_.IsAllZero() && !host_.CanPlaceWindows()) {
    // The size alone, from where it was last kept; the window system chooses the place.
    std::optional<std::pair<int, int>> size = ParseDockSize(host_.ReadLastSize());
    if (!size) {
      if (const std::optional<DockRect> r = ParseDockRect(host_.ReadLastPosition()))
        size = std::make_pair(r->width(), r->height());
    }
    const DockRect f = host_.FrameRect();
    if (size) host_.MoveFrame(host_.ConstrainFrame({f.left, f.top, f.left + size->first, f.top + size->second}));
    saved_ = host_.FrameRect();
  } else if (saved_.IsAllZero()) {
    const std::string value = host_.ReadLastPosition();
    std::optional<DockRect> r;
    if (value.size() > 2) r = ParseDockRect(value);
    // A place the window system made up (saved by a run that could not know its place) would
    // put the frame in the corner, touching two edges, and hide it at once: it keeps its size
    // and is centred.
    if (r && IsMadeUpPlace(*r)) {
      const DockRect f = host_.FrameRect();
      host_.MoveFrame(host_.ConstrainFrame({f.left, f.top, f.left + r->width(), f.top + r->height()}));
      r.reset();
    }
    // A place that lies on no monitor any more (one was removed or rearranged) would put the
    // window out of sight: such a window is centred like one without a place.
    if (r) {
      const std::vector<DockRect> monitors = host_.Monitors();
      if (!monitors.empty() && MonitorOfRect(monitors, *r).OverlapArea(*r) == 0) r.reset();
      // A place partly off its screen (a smaller screen, a larger scale factor than last time)
      // is brought wholly into the screen's work area, so that the caption and the edges can
      // be reached. It is kept clear of the edges: only a window the user left at an edge
      // starts docked.
      const std::vector<DockRect> areas = host_.WorkAreas();
      if (r && areas.size() == monitors.size()) {
        r = host_.ConstrainFrame(*r);
        const DockRect m = MonitorOfRect(monitors, *r);
        for (std::size_t i = 0; i < monitors.size(); ++i)
          if (monitors[i] == m) {
            if (Inside(*r, areas[i])) break;
            const DockRect inner = areas[i].Inflated(-kFitMargin);
            r = FitInside(*r, inner.width() > 0 && inner.height() > 0 ? inner : areas[i]);
            break;
          }
      }
    }
    if (r) {
      saved_ = *r;
      host_.MoveFrame(saved_);
    } else {
      host_.CentreFrame();
      saved_ = host_.FrameRect();
    }
  }
  state_ = kShown;
}

void MiniDockPanel::Arm() {
  if (!host_.CanPlaceWindows()) return;
  if (FrameAtEdge())
    host_.StartTimer(kEdgeTimer, kEdgeTimerPeriodMs);
  else
    host_.SetFrameZOrder(DockZOrder::Top);
}

void MiniDockPanel::Toggle() {
  if (state_ != kShown) {
    state_ = kShown;
    host_.ShowStrip(false);
    host_.ShowFrame(true);
    host_.SetFrameZOrder(DockZOrder::TopMost);
    host_.RaiseFrameAfterShow();
    return;
  }
  if (!host_.CanPlaceWindows()) return;  // never hidden without a strip to bring it back
  const DockRect f = host_.FrameRect();
  const DockRect m = MonitorOfRect(host_.Monitors(), f);
  DockRect strip;
  // The strip lies on the frame's own monitor, also where that monitor does not start at 0.
  if (f.right == m.right) {
    state_ = kHiddenRight;
    strip = {m.right - kStripThickness, f.top, m.right, f.bottom};
  } else if (f.left == m.left) {
    state_ = kHiddenLeft;
    strip = {m.left, f.top, m.left + kStripThickness, f.bottom};
  } else if (f.top == m.top) {
    state_ = kHiddenTop;
    strip = {f.left, m.top, f.right, m.top + kStripThickness};
  } else {
    host_.SetFrameZOrder(DockZOrder::Top);
    return;
  }
  host_.ShowFrame(false);
  host_.PlaceStrip(strip);
  host_.ShowStrip(true);
}

void MiniDockPanel::Touch() {
  if (state_ != kShown) Toggle();
  Arm();
}

void MiniDockPanel::Drag(bool leftButton, DockPoint screenPoint) {
  if (leftButton) Snap(host_.MoveFrameByMouse(screenPoint));
  Arm();
}

void MiniDockPanel::Follow() {
  if (state_ == kShown) Snap(host_.CursorPos());
}

void MiniDockPanel::Snap(DockPoint p) {
  if (!host_.CanPlaceWindows()) {
    saved_ = host_.FrameRect();
    host_.WriteLastSize(FormatDockSize(saved_.width(), saved_.height()));
    return;
  }
  const DockRect m = MonitorOfPoint(host_.Monitors(), p);
  saved_ = host_.FrameRect();
  const long long x = p.x, y = p.y;
  if (Within(saved_.right - x, kGrabMin, kGrabMax) &&
      Within(static_cast<long long>(m.right) - saved_.right, -kSnapDistance, kSnapDistance)) {
    saved_ = saved_.Shifted(m.right - saved_.right, 0);
    host_.MoveFrame(saved_);
  } else if (Within(x - saved_.left, kGrabMin, kGrabMax) &&
             Within(static_cast<long long>(saved_.left) - m.left, -kSnapDistance, kSnapDistance)) {
    saved_ = saved_.Shifted(m.left - saved_.left, 0);
    host_.MoveFrame(saved_);
  } else if (Within(y - saved_.top, kGrabMin, kGrabMax) &&
             Within(static_cast<long long>(saved_.top) - m.top, -kSnapDistance, kSnapDistance)) {
    saved_ = saved_.Shifted(0, m.top - saved_.top);
    host_.MoveFrame(saved_);
  } else {
    host_.SetFrameZOrder(DockZOrder::NotTopMost);
  }
  host_.WriteLastPosition(FormatDockRect(saved_));
}

void MiniDockPanel::OnTimer(int id) {
  if (id == kEdgeTimer) {
    if (state_ == kAway) {
      host_.StopTimer(kEdgeTimer);
      return;
    }
    if (held_ && state_ == kShown) return;  // shown from the tray: not hidden before the mouse came
    if (state_ != kShown || !saved_.Inflated(kLeaveMargin).Contains(host_.CursorPos())) {
      Toggle();
      host_.StopTimer(kEdgeTimer);
    }
  } else if (id == kStripTimer) {
    if (HiddenAtEdge() && host_.StripRect().Inflated(kStripSlack).Contains(host_.CursorPos()))
      Toggle();
  }
}

void MiniDockPanel::SetAway() {
  host_.StopTimer(kEdgeTimer);
  host_.ShowStrip(false);
  state_ = kAway;
}

void MiniDockPanel::ShowHeld() {
  if (state_ != kShown) Toggle();
  held_ = true;
  Arm();
}

bool LastPositionWriter::Record(const std::string& value) {
  if (written_ && *written_ == value) {
    pending_.reset();
    return false;
  }
  pending_ = value;
  return true;
}

void LastPositionWriter::Flush() {
  if (!pending_) return;
  if (write_(*pending_)) written_ = *pending_;
  pending_.reset();
}

}  // namespace zorbek
