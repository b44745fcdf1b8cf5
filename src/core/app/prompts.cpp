#include "core/app/prompts.h"

#include <atomic>
#include <cstdio>

namespace zorbek {
namespace {
ConsolePrompts& DefaultPrompts() {
  static ConsolePrompts instance;
  return instance;
}
std::atomic<Prompts*> g_prompts{nullptr};
}  // namespace

MsgResult ConsolePrompts::Message(std::string_view text, MsgButtons buttons, MsgIcon,
                                  std::string_view) {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  switch (buttons) {
    case MsgButtons::Ok: return MsgResult::Ok;
    case MsgButtons::YesNo: return MsgResult::No;
    default: return MsgResult::Cancel;
  }
}

Prompts& prompts() {
  Prompts* p = g_prompts.load();
  return p ? *p : DefaultPrompts();
}

void SetPrompts(Prompts* p) { g_prompts.store(p); }

std::string FormatMessage(std::string_view pattern, std::string_view arg) {
  std::string out;
  const auto pos = pattern.find("%s");
  if (pos == std::string_view::npos) return std::string(pattern);
  out.reserve(pattern.size() + arg.size());
  out.append(pattern.substr(0, pos));
  out.append(arg);
  out.append(pattern.substr(pos + 2));
  return out;
}

}  // namespace zorbek
