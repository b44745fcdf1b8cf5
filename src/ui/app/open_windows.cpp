#include "ui/app/open_windows.h"

#include <vector>

#include "core/app/prompts.h"

namespace zorbek {

int OpenWindows::Add(int order, Kind kind) {
  const int handle = next_++;
  kinds_.emplace(std::make_pair(order, handle), std::move(kind));
  return handle;
}

void OpenWindows::Remove(int handle) {
  for (auto it = kinds_.begin(); it != kinds_.end(); ++it) {
    if (it->first.second == handle) {
      kinds_.erase(it);
      return;
    }
  }
}

int OpenWindows::Count() const {
  int n = 0;
  for (const auto& [key, kind] : kinds_)
    if (kind.count) n += kind.count();
  return n;
}

void OpenWindows::CloseAll() {
  // A window closing may register or unregister kinds: work on a copy.
  std::vector<std::function<void()>> closers;
  for (const auto& [key, kind] : kinds_)
    if (kind.closeAll) closers.push_back(kind.closeAll);
  for (const auto& close : closers) close();
}

OpenWindows& openWindows() {
  static OpenWindows windows;
  return windows;
}

bool ConfirmExitWithOpenWindows(OpenWindows& windows) {
  if (windows.Count() == 0) return true;
  if (prompts().Message(kOpenWindowsQuestion, MsgButtons::OkCancel, MsgIcon::Question) !=
      MsgResult::Ok)
    return false;
  windows.CloseAll();
  return windows.Count() == 0;
}

}  // namespace zorbek
