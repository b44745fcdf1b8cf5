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

bool OpenWindows::CloseAllAsking() {
  std::vector<Kind> kinds;
  for (const auto& [key, kind] : kinds_) kinds.push_back(kind);
  for (const Kind& kind : kinds) {
    if (kind.closeAsking) {
      if (!kind.closeAsking()) return false;
    } else if (kind.closeAll) {
      kind.closeAll();
    }
  }
  return true;
}

void OpenWindows::PreserveAll() {
  std::vector<std::function<void()>> keepers;
  for (const auto& [key, kind] : kinds_)
    if (kind.preserve) keepers.push_back(kind.preserve);
  for (const auto& keep : keepers) keep();
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
  return windows.CloseAllAsking() && windows.Count() == 0;
}

}  // namespace zorbek
