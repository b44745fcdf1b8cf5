#include <gtest/gtest.h>

#include <map>

#include "core/app/dock_panel.h"

namespace zorbek {
namespace {

// A window system of rectangles: one frame, one strip, timers that tick when told to.
class FakeDockHost : public DockHost {
 public:
  std::vector<DockRect> monitors{{0, 0, 1280, 800}};
  std::vector<DockRect> workAreas;  // empty: the monitors
  DockRect frame{400, 100, 700, 700};
  DockRect strip{0, 0, 100, 100};
  bool frameShown = true, stripShown = false;
  DockZOrder z = DockZOrder::Top;
  int raisesAfterShow = 0;
  DockPoint cursor{0, 0};
  std::map<int, int> timers;  // running timers: id -> period
  std::string lastPosition;   // the settings value ("" = missing, read as "0")
  std::vector<std::string> written;
  int maxWidth = 400;
  bool canPlace = true;
  std::string lastSize;

  DockRect FrameRect() const override { return frame; }
  void MoveFrame(const DockRect& r) override {
    frame = r;
    frame.right = frame.left + std::min(r.width(), maxWidth);  // the tracking limit
  }
  DockRect ConstrainFrame(const DockRect& r) const override {
    return {r.left, r.top, r.left + std::min(r.width(), maxWidth), r.bottom};
  }
  void CentreFrame() override {
    const int w = frame.width(), h = frame.height();
    const DockRect m = monitors.front();
    frame.left = m.left + (m.width() - w) / 2;
    frame.top = m.top + (m.height() - h) / 2;
    frame.right = frame.left + w;
    frame.bottom = frame.top + h;
  }
  void ShowFrame(bool shown) override { frameShown = shown; }
  void SetFrameZOrder(DockZOrder order) override {
    // Raising keeps a topmost window topmost.
    if (order == DockZOrder::Top && z == DockZOrder::TopMost) return;
    z = order;
  }
  void RaiseFrameAfterShow() override { ++raisesAfterShow; }
  DockPoint MoveFrameByMouse(DockPoint grab) override { return grab; }
  DockRect StripRect() const override { return strip; }
  void PlaceStrip(const DockRect& r) override { strip = r; }
  void ShowStrip(bool shown) override { stripShown = shown; }
  void StartTimer(int id, int ms) override { timers[id] = ms; }
  void StopTimer(int id) override { timers.erase(id); }
  DockPoint CursorPos() const override { return cursor; }
  std::vector<DockRect> Monitors() const override { return monitors; }
  std::vector<DockRect> WorkAreas() const override { return workAreas.empty() ? monitors : workAreas; }
  std::string ReadLastPosition() override { return lastPosition.empty() ? "0" : lastPosition; }
  void WriteLastPosition(const std::string& v) override {
    lastPosition = v;
    written.push_back(v);
  }

  bool CanPlaceWindows() const override { return canPlace; }
  std::string ReadLastSize() override { return lastSize; }
  void WriteLastSize(const std::string& v) override { lastSize = v; }

  bool Running(int id) const { return timers.count(id) != 0; }
};

class DockTest : public ::testing::Test {
 protected:
  // A frame moved by the window manager: the move ends with the cursor at grab.
  void MoveTo(DockRect r, DockPoint grab) {
    host.frame = r;
    host.cursor = grab;
    dock.Follow();
  }
  // Runs the timer once if it is running (as the event loop would).
  void Tick(int id) {
    if (host.Running(id)) dock.OnTimer(id);
  }

  FakeDockHost host;
  MiniDockPanel dock{host};
};

TEST_F(DockTest, LastPositionIsRestoredOrTheFrameCentred) {
  // Missing, "0", or nothing usable: centred, and the centred place is remembered.
  for (const std::string value : {"", "0", "00", "abc,def", "10,20,5,620", "1,2,3"}) {
    FakeDockHost h;
    h.lastPosition = value;
    h.frame = {0, 0, 240, 560};
    MiniDockPanel d(h);
    d.Attach();
    EXPECT_EQ(h.frame, (DockRect{520, 120, 760, 680})) << value;
    EXPECT_EQ(d.saved(), h.frame) << value;
    EXPECT_EQ(d.state(), MiniDockPanel::kShown);
    EXPECT_TRUE(h.Running(MiniDockPanel::kStripTimer));
    EXPECT_EQ(h.timers[MiniDockPanel::kStripTimer], 1000);
  }
  // 10,20,310,620: at (10, 20), 300 x 600.
  host.lastPosition = "10,20,310,620";
  dock.Attach();
  EXPECT_EQ(host.frame, (DockRect{10, 20, 310, 620}));
  // Not at an edge: nothing to hide, the frame is raised instead.
  EXPECT_FALSE(host.Running(MiniDockPanel::kEdgeTimer));
}

TEST_F(DockTest, TooWideSavedPlaceIsHeldToTheWidthLimit) {
  host.lastPosition = "10,20,910,620";
  dock.Attach();
  EXPECT_EQ(host.frame, (DockRect{10, 20, 410, 620}));
}

TEST_F(DockTest, SavedPlaceOnARemovedMonitorIsCentredInstead) {
  // Saved while a second monitor stood to the right; now only the first one is left.
  host.lastPosition = "1500,100,1800,700";
  host.frame = {0, 0, 300, 600};
  dock.Attach();
  EXPECT_EQ(host.frame, (DockRect{490, 100, 790, 700}));
  // With the second monitor present, the place is kept.
  FakeDockHost two;
  two.monitors.push_back({1280, 0, 2560, 1024});
  two.lastPosition = "1500,100,1800,700";
  MiniDockPanel d(two);
  d.Attach();
  EXPECT_EQ(two.frame, (DockRect{1500, 100, 1800, 700}));
}

TEST_F(DockTest, SavedPlacePartlyOffTheScreenIsBroughtWhollyIntoItsWorkArea) {
  // Saved on a screen twice as large (or before the scale factor doubled): most of the frame
  // lies beyond the right and bottom edges. It is moved in, keeping its size, and clear of
  // the edges, so that it does not dock (and hide) at once.
  host.monitors = {{0, 0, 640, 400}};
  host.workAreas = {{0, 0, 640, 370}};  // a panel along the bottom
  host.lastPosition = "500,300,800,460";
  dock.Attach();
  EXPECT_EQ(host.frame, (DockRect{330, 200, 630, 360}));
  EXPECT_EQ(dock.saved(), host.frame);
  host.cursor = {10, 10};
  Tick(MiniDockPanel::kEdgeTimer);
  EXPECT_TRUE(host.frameShown);
  EXPECT_FALSE(host.Running(MiniDockPanel::kEdgeTimer));
  // Taller than the work area: shrunk to its height, and no more.
  FakeDockHost small;
  small.monitors = {{0, 0, 640, 400}};
  small.workAreas = {{0, 24, 640, 400}};  // a panel along the top
  small.lastPosition = "-100,-50,200,750";
  MiniDockPanel d(small);
  d.Attach();
  EXPECT_EQ(small.frame, (DockRect{10, 34, 310, 390}));
  // On the second of two monitors, its own work area counts.
  FakeDockHost two;
  two.monitors = {{0, 0, 1280, 800}, {1280, 0, 2560, 1024}};
  two.workAreas = {{0, 0, 1280, 770}, {1280, 0, 2560, 1000}};
  two.lastPosition = "2400,900,2700,1200";
  MiniDockPanel d2(two);
  d2.Attach();
  EXPECT_EQ(two.frame, (DockRect{2250, 690, 2550, 990}));
  // A place wholly inside is left alone, also flush with an edge (where it docks).
  FakeDockHost edge;
  edge.lastPosition = "980,100,1280,700";
  MiniDockPanel d3(edge);
  d3.Attach();
  EXPECT_EQ(edge.frame, (DockRect{980, 100, 1280, 700}));
}

// What a run that could not know its place saved (the desktop's corner) is no place: the frame
// keeps the size, is centred, and stays in sight.
TEST_F(DockTest, MadeUpCornerPlaceKeepsItsSizeAndIsCentred) {
  host.lastPosition = "0,0,400,746";
  host.frame = {0, 0, 240, 560};
  dock.Attach();
  EXPECT_EQ(host.frame, (DockRect{440, 27, 840, 773}));
  EXPECT_EQ(dock.saved(), host.frame);
  host.cursor = {1000, 10};
  Tick(MiniDockPanel::kEdgeTimer);
  EXPECT_TRUE(host.frameShown);
  EXPECT_EQ(dock.state(), MiniDockPanel::kShown);
  // A place at the left edge further down is the user's: it docks as before.
  FakeDockHost left;
  left.lastPosition = "0,100,300,700";
  MiniDockPanel d(left);
  d.Attach();
  EXPECT_EQ(left.frame, (DockRect{0, 100, 300, 700}));
  left.cursor = {1000, 10};
  d.OnTimer(MiniDockPanel::kEdgeTimer);
  EXPECT_EQ(d.state(), MiniDockPanel::kHiddenLeft);
}

// Where the window system places windows itself (Wayland): only the size is restored and kept,
// the saved place is left for the next X11 session, and the frame never docks or hides.
TEST_F(DockTest, WhereWindowsCannotBePlacedOnlyTheSizeIsKeptAndNothingDocks) {
  host.canPlace = false;
  host.frame = {0, 0, 240, 560};  // the place such a window system reports
  host.lastPosition = "100,120,340,680";
  host.lastSize = "300,500";
  dock.Attach();
  EXPECT_EQ(host.frame, (DockRect{0, 0, 300, 500}));
  EXPECT_TRUE(host.timers.empty());
  // Moves and resizes keep the size only.
  MoveTo({0, 0, 320, 520}, {2, 2});
  EXPECT_EQ(host.lastSize, "320,520");
  EXPECT_TRUE(host.written.empty());
  EXPECT_EQ(host.lastPosition, "100,120,340,680");
  // Touching the desktop's corner and edges: never hidden.
  dock.Arm();
  dock.Toggle();
  dock.Touch();
  EXPECT_TRUE(host.frameShown);
  EXPECT_FALSE(host.stripShown);
  EXPECT_TRUE(host.timers.empty());
  // No size kept yet: the saved place's size.
  FakeDockHost first;
  first.canPlace = false;
  first.frame = {0, 0, 240, 560};
  first.lastPosition = "100,120,360,720";
  MiniDockPanel d(first);
  d.Attach();
  EXPECT_EQ(first.frame, (DockRect{0, 0, 260, 600}));
  // Hidden through the tray and back.
  d.SetAway();
  EXPECT_EQ(d.state(), MiniDockPanel::kAway);
  d.ShowHeld();
  EXPECT_EQ(d.state(), MiniDockPanel::kShown);
  EXPECT_TRUE(first.frameShown);
}

// Hidden through the tray icon: the docking leaves it hidden until the tray brings it back,
// also when the cursor passes where the strip was.
TEST_F(DockTest, AFrameHiddenThroughTheTrayStaysHiddenUntilTheTrayBringsItBack) {
  host.lastPosition = "980,100,1280,700";
  dock.Attach();
  ASSERT_TRUE(host.Running(MiniDockPanel::kEdgeTimer));
  dock.SetAway();
  host.frameShown = false;  // the frame hides itself (or is minimised)
  EXPECT_FALSE(host.Running(MiniDockPanel::kEdgeTimer));
  host.cursor = {1279, 300};
  Tick(MiniDockPanel::kStripTimer);
  EXPECT_FALSE(host.frameShown);
  EXPECT_FALSE(host.stripShown);
  dock.ShowHeld();
  EXPECT_TRUE(host.frameShown);
  EXPECT_EQ(dock.state(), MiniDockPanel::kShown);
  // Held: the cursor is at the tray, far away, and the frame stays until the mouse has been on it.
  host.cursor = {10, 790};
  Tick(MiniDockPanel::kEdgeTimer);
  EXPECT_TRUE(host.frameShown);
  dock.MouseEntered();
  Tick(MiniDockPanel::kEdgeTimer);
  EXPECT_EQ(dock.state(), MiniDockPanel::kHiddenRight);
}

TEST_F(DockTest, SnapsToTheRightEdgeHidesWhenLeftAndComesBackFromTheStrip) {
  host.lastPosition = "900,100,1200,700";
  dock.Attach();
  // Dragged so that the right edge is 10 pixels short of the screen's, grabbed 5 pixels
  // inside the frame's right edge: flush with the screen's right edge.
  MoveTo({970, 100, 1270, 700}, {1265, 300});
  EXPECT_EQ(host.frame, (DockRect{980, 100, 1280, 700}));
  EXPECT_EQ(host.lastPosition, "980,100,1280,700");
  // The mouse over the frame arms the edge timer.
  dock.Drag(false, {1200, 300});
  ASSERT_TRUE(host.Running(MiniDockPanel::kEdgeTimer));
  EXPECT_EQ(host.timers[MiniDockPanel::kEdgeTimer], 300);
  // Still within 30 pixels of the frame: it stays.
  host.cursor = {951, 300};
  Tick(MiniDockPanel::kEdgeTimer);
  EXPECT_TRUE(host.frameShown);
  EXPECT_EQ(dock.state(), MiniDockPanel::kShown);
  // More than 30 pixels away: hidden at the next tick, leaving a 3-pixel strip.
  host.cursor = {949, 300};
  Tick(MiniDockPanel::kEdgeTimer);
  EXPECT_FALSE(host.frameShown);
  EXPECT_EQ(dock.state(), MiniDockPanel::kHiddenRight);
  EXPECT_TRUE(host.stripShown);
  EXPECT_EQ(host.strip, (DockRect{1277, 100, 1280, 700}));
  EXPECT_FALSE(host.Running(MiniDockPanel::kEdgeTimer));
  // The cursor elsewhere: the strip timer leaves it hidden.
  host.cursor = {600, 300};
  Tick(MiniDockPanel::kStripTimer);
  EXPECT_FALSE(host.frameShown);
  // Touching the strip brings the frame back, above the other windows, where it was.
  host.cursor = {1279, 400};
  dock.Touch();
  EXPECT_TRUE(host.frameShown);
  EXPECT_FALSE(host.stripShown);
  EXPECT_EQ(dock.state(), MiniDockPanel::kShown);
  EXPECT_EQ(host.z, DockZOrder::TopMost);
  EXPECT_EQ(host.raisesAfterShow, 1);
  EXPECT_EQ(host.frame, (DockRect{980, 100, 1280, 700}));
  EXPECT_TRUE(host.Running(MiniDockPanel::kEdgeTimer));
}

TEST_F(DockTest, MouseOnTheStripShowsTheFrameAtTheNextTick) {
  host.lastPosition = "980,100,1280,700";
  dock.Attach();
  host.cursor = {500, 500};
  Tick(MiniDockPanel::kEdgeTimer);
  ASSERT_EQ(dock.state(), MiniDockPanel::kHiddenRight);
  // A mouse move over the strip (no button) arms: the hidden frame shows at the next tick.
  host.cursor = {1278, 300};
  dock.Drag(false, host.cursor);
  EXPECT_FALSE(host.frameShown);
  Tick(MiniDockPanel::kEdgeTimer);
  EXPECT_TRUE(host.frameShown);
  // The strip timer alone also shows it, with 3 pixels of slack around the strip.
  host.cursor = {500, 500};
  dock.Arm();
  Tick(MiniDockPanel::kEdgeTimer);
  ASSERT_FALSE(host.frameShown);
  host.cursor = {1274, 99};
  Tick(MiniDockPanel::kStripTimer);
  EXPECT_TRUE(host.frameShown);
}

TEST_F(DockTest, SnapNeedsTheGrabPointTwoToTwentyPixelsInside) {
  host.lastPosition = "900,100,1200,700";
  dock.Attach();
  // Grab point 1 or 21 pixels inside: no snap, and the frame drops out of topmost.
  host.z = DockZOrder::TopMost;
  MoveTo({970, 100, 1270, 700}, {1269, 300});
  EXPECT_EQ(host.frame.right, 1270);
  EXPECT_EQ(host.z, DockZOrder::NotTopMost);
  MoveTo({970, 100, 1270, 700}, {1249, 300});
  EXPECT_EQ(host.frame.right, 1270);
  // 20 inside and 20 short of the edge: snaps; the frame may also stick out by up to 20.
  MoveTo({960, 100, 1260, 700}, {1240, 300});
  EXPECT_EQ(host.frame.right, 1280);
  MoveTo({1000, 100, 1300, 700}, {1298, 300});
  EXPECT_EQ(host.frame.right, 1280);
  // 21 short of the edge: stays.
  MoveTo({959, 100, 1259, 700}, {1250, 300});
  EXPECT_EQ(host.frame.right, 1259);
  // Left and top edges, each with its own grab point.
  MoveTo({15, 100, 315, 700}, {25, 300});
  EXPECT_EQ(host.frame, (DockRect{0, 100, 300, 700}));
  MoveTo({500, -10, 800, 590}, {600, 5});
  EXPECT_EQ(host.frame, (DockRect{500, 0, 800, 600}));
  // Grabbed near the top right corner: right is tried first, and only one edge snaps.
  MoveTo({965, 5, 1265, 605}, {1260, 10});
  EXPECT_EQ(host.frame, (DockRect{980, 5, 1280, 605}));
  // Every snap records the place.
  EXPECT_EQ(host.written.back(), "980,5,1280,605");
}

TEST_F(DockTest, BottomEdgeIsNeverDockedOrHidden) {
  host.lastPosition = "500,200,800,800";  // flush with the bottom only
  dock.Attach();
  EXPECT_FALSE(host.Running(MiniDockPanel::kEdgeTimer));
  MoveTo({500, 195, 800, 795}, {600, 790});
  EXPECT_EQ(host.frame, (DockRect{500, 195, 800, 795}));
  dock.Toggle();
  EXPECT_TRUE(host.frameShown);
  EXPECT_EQ(dock.state(), MiniDockPanel::kShown);
}

TEST_F(DockTest, StripsLieOnTheFramesOwnMonitor) {
  // A second monitor to the left, starting at -1024, and one above the primary.
  host.monitors = {{0, 0, 1280, 800}, {-1024, 0, 0, 768}, {0, -600, 800, 0}};
  host.lastPosition = "-1024,50,-724,650";
  dock.Attach();
  host.cursor = {500, 500};
  Tick(MiniDockPanel::kEdgeTimer);
  EXPECT_EQ(dock.state(), MiniDockPanel::kHiddenLeft);
  EXPECT_EQ(host.strip, (DockRect{-1024, 50, -1021, 650}));
  dock.Toggle();
  host.frame = {100, -600, 400, -100};
  dock.Toggle();
  EXPECT_EQ(dock.state(), MiniDockPanel::kHiddenTop);
  EXPECT_EQ(host.strip, (DockRect{100, -600, 400, -597}));
}

TEST(DockGeometry, MonitorOfRectAndPoint) {
  const std::vector<DockRect> monitors{{0, 0, 1280, 800}, {1280, 0, 2560, 1024}};
  EXPECT_EQ(MonitorOfRect(monitors, {1200, 0, 1500, 600}), monitors[1]);
  EXPECT_EQ(MonitorOfRect(monitors, {1000, 0, 1300, 600}), monitors[0]);
  EXPECT_EQ(MonitorOfRect(monitors, {5000, 0, 5300, 600}), monitors[0]);
  EXPECT_EQ(MonitorOfPoint(monitors, {1280, 5}), monitors[1]);
  EXPECT_EQ(MonitorOfPoint(monitors, {1279, 5}), monitors[0]);
  EXPECT_EQ(MonitorOfPoint(monitors, {-5, 5}), monitors[0]);
  EXPECT_EQ(ParseDockRect(" -5, 7,+300,600"), (DockRect{-5, 7, 300, 600}));
  EXPECT_EQ(ParseDockSize("300, 500"), std::make_pair(300, 500));
  EXPECT_FALSE(ParseDockSize("300,0"));
  EXPECT_FALSE(ParseDockSize("300"));
  EXPECT_FALSE(ParseDockRect("1,2,3,99999999999"));
  EXPECT_EQ(FormatDockRect({-5, 7, 300, 600}), "-5,7,300,600");
}

TEST(LastPositionWriterTest, OnlyChangedValuesReachTheFile) {
  std::vector<std::string> file;
  bool ok = true;
  LastPositionWriter writer([&](const std::string& v) {
    if (ok) file.push_back(v);
    return ok;
  });
  EXPECT_TRUE(writer.Record("1,2,3,4"));
  EXPECT_TRUE(writer.Record("1,2,3,5"));
  writer.Flush();
  EXPECT_EQ(file, std::vector<std::string>{"1,2,3,5"});
  EXPECT_FALSE(writer.Record("1,2,3,5"));
  writer.Flush();
  EXPECT_EQ(file.size(), 1u);
  // Moved away and back before the flush: nothing to write.
  writer.Record("9,9,9,9");
  writer.Record("1,2,3,5");
  EXPECT_FALSE(writer.pending());
  // A failed write is tried again with the next value.
  ok = false;
  writer.Record("7,7,7,7");
  writer.Flush();
  ok = true;
  EXPECT_TRUE(writer.Record("7,7,7,7"));
  writer.Flush();
  EXPECT_EQ(file.back(), "7,7,7,7");
}

}  // namespace
}  // namespace zorbek
