// The windows that keep the program from ending without a question: the note editors and the
// reminder list. Each kind registers how many of its windows are open and how to close them all;
// the main window asks before it ends while any is open.
#pragma once

#include <functional>
#include <map>
#include <utility>

namespace zorbek {

class OpenWindows {
 public:
  // Kinds close in this order.
  enum Order { kEditors = 0, kReminderList = 1 };

  struct Kind {
    std::function<int()> count;      // windows of this kind now open
    std::function<void()> closeAll;  // closes them without asking anything
    // Closes them as their user would, each asking what it must (save a modified note?);
    // false when one stays open. Without it, closeAll.
    std::function<bool()> closeAsking = {};
    // Keeps what is not saved somewhere safe, without asking (nobody is there to answer).
    std::function<void()> preserve = {};
  };

  // Returns a handle for Remove.
  int Add(int order, Kind kind);
  void Remove(int handle);

  int Count() const;
  // Closes every kind, in order, without asking.
  void CloseAll();
  // Closes every kind, in order, each window asking what it must; stops at a window that stays
  // open and returns false then.
  bool CloseAllAsking();
  // Every kind keeps its unsaved work safe (the program is ended without a person to ask).
  void PreserveAll();

 private:
  std::map<std::pair<int, int>, Kind> kinds_;  // (order, handle) -> kind
  int next_ = 1;
};

// The process-wide registry.
OpenWindows& openWindows();

// Registers a kind for the object's lifetime.
class OpenWindowsRegistration {
 public:
  OpenWindowsRegistration(int order, OpenWindows::Kind kind, OpenWindows& windows = openWindows())
      : windows_(windows), handle_(windows.Add(order, std::move(kind))) {}
  ~OpenWindowsRegistration() { windows_.Remove(handle_); }
  OpenWindowsRegistration(const OpenWindowsRegistration&) = delete;
  OpenWindowsRegistration& operator=(const OpenWindowsRegistration&) = delete;

 private:
  OpenWindows& windows_;
  int handle_;
};

inline constexpr const char* kOpenWindowsQuestion = "存在打开的窗口，决定退出程序吗？";

// Before the program ends: with windows open, asks kOpenWindowsQuestion (OK/Cancel) and on OK
// closes them all, each modified editor asking whether to save its note. True when the program
// may end: nothing was open, or everything closed. A window that stays open (its question was
// cancelled, or its note could not be saved) keeps the program running.
bool ConfirmExitWithOpenWindows(OpenWindows& windows = openWindows());

}  // namespace zorbek
