// The main window: a narrow frame around the navigator.
#pragma once

#include <QMainWindow>
#include <string>

namespace zorbek {

class CWndNavigator;

class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  static constexpr int kMinWidth = 150;
  static constexpr int kMaxWidth = 400;

  // programBase names the program's files (settings, default database).
  explicit CMainFrame(const std::string& programBase, QWidget* parent = nullptr);

  CWndNavigator* navigator() const { return navigator_; }
  const std::string& programBase() const { return programBase_; }

 private:
  std::string programBase_;
  CWndNavigator* navigator_;
};

}  // namespace zorbek
