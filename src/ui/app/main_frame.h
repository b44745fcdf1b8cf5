// The main window: a narrow frame around the navigator, with the main menu, the search toolbar,
// the tray icon and the screen-edge docking.
#pragma once

#include <QColor>
#include <QMainWindow>
#include <QSystemTrayIcon>
#include <functional>
#include <map>
#include <string>

class QAction;
class QMenu;
class QTimer;

namespace zorbek {

class CWndNavigator;
class CSearchToolBar;
class CMiniDockPanel;

struct FrameOptions {
  std::string programBase;   // names the program's files (settings, default database)
  std::string programPath;   // the program, as the autostart entry runs it (default: this one)
  std::string autostartDir;  // default: ~/.config/autostart
  bool trayIcon = true;
  // Whether a tray shows the icon now (default: ask the desktop).
  std::function<bool()> trayAvailable;
};

class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  static constexpr int kMinWidth = 150;
  static constexpr int kMaxWidth = 400;
  static constexpr int kBorderWidth = 2;
  static inline const QColor kBorderColor{0, 100, 255};

  explicit CMainFrame(const std::string& programBase, QWidget* parent = nullptr);
  explicit CMainFrame(FrameOptions options, QWidget* parent = nullptr);
  ~CMainFrame() override;

  CWndNavigator* navigator() const { return navigator_; }
  CSearchToolBar* searchToolBar() const { return toolbar_; }
  CMiniDockPanel* dock() const { return dock_; }
  QSystemTrayIcon* trayIcon() const { return tray_; }
  QMenu* trayMenu() const { return trayMenu_; }
  QMenu* fileMenu() const { return fileMenu_; }
  QMenu* helpMenu() const { return helpMenu_; }
  // The menu item or button of a command.
  QAction* action(int id) const;
  const std::string& programBase() const { return options_.programBase; }
  std::string settingsFile() const;

  // Carries out a command as its menu item or button does.
  void RunCommand(int id);
  // Commands carried out by other windows (the Ramulo conversion, 32887) register here; until
  // then their menu items are greyed.
  void SetCommandHandler(int id, std::function<void()> handler);
  // Shows the note tree in the navigator (the action of the toolbar's first button).
  void ShowNoteTree();
  // The tree's "搜索该目录": shows the search view, whose scope is the folder selected in the
  // tree, and hands the typing to the keyword box.
  void SearchFolder();
  // Saves the database and the window's place now (the desktop session is ending).
  void SaveNow();
  // Ends the run without a question: closes the open windows, removes the tray icon and
  // closes the frame. For termination signals.
  void ShutDown();
  // Brings the window back and to the front: from the tray, from the edge of the screen,
  // minimised, or behind other windows. token: the activation token (Wayland) or startup id
  // (X11) a launcher handed a later start of the program, which lets the desktop raise it.
  void ComeForward(const QString& token = QString());
  // Puts the window away into the tray; where no tray shows the icon it is minimised instead,
  // so that the task bar still leads back to it.
  void HideToTray();
  // Whether a tray shows the icon.
  bool TrayUsable() const;
  // Looks at the tray again (every few seconds): shows the icon in a tray that came up late;
  // a window put away into a tray that has gone is minimised instead.
  void WatchTray();

 signals:
  // The frame has closed: the program ends.
  void closed();

 protected:
  void closeEvent(QCloseEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QAction* AddCommand(int id, const QString& text);
  void BuildMenus();
  void BuildTray();
  void Search();
  void ImportDatabase();
  void ToggleAutostart();
  void UpdateAutostartCheck();
  void ShowAbout();
  void OnTrayActivated(QSystemTrayIcon::ActivationReason reason);
  void FinishRun();

  FrameOptions options_;
  CWndNavigator* navigator_ = nullptr;
  CSearchToolBar* toolbar_ = nullptr;
  CMiniDockPanel* dock_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;
  QTimer* trayWatch_ = nullptr;
  QMenu* fileMenu_ = nullptr;
  QMenu* helpMenu_ = nullptr;
  QMenu* trayMenu_ = nullptr;
  std::map<int, QAction*> actions_;
  std::map<int, std::function<void()>> handlers_;
  bool shuttingDown_ = false;
  bool finished_ = false;
};

// The program's icon in its sizes.
QIcon AppIcon();

}  // namespace zorbek
