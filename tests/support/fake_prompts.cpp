#include "support/fake_prompts.h"

namespace zorbek::testing {

namespace {
template <typename T>
T TakeOr(std::deque<T>& queue, T fallback) {
  if (queue.empty()) return fallback;
  T v = std::move(queue.front());
  queue.pop_front();
  return v;
}
}  // namespace

FakePrompts::FakePrompts() : previous_(&prompts()) { SetPrompts(this); }
FakePrompts::~FakePrompts() { SetPrompts(previous_ == this ? nullptr : previous_); }

std::vector<std::string> FakePrompts::MessageTexts() const {
  std::vector<std::string> texts;
  for (const auto& s : shown_) texts.push_back(s.text);
  return texts;
}

MsgResult FakePrompts::Message(std::string_view text, MsgButtons buttons, MsgIcon icon,
                               std::string_view) {
  shown_.push_back({std::string(text), buttons, icon});
  MsgResult def = buttons == MsgButtons::Ok       ? MsgResult::Ok
                  : buttons == MsgButtons::YesNo ? MsgResult::No
                                                 : MsgResult::Cancel;
  return TakeOr(answers_, def);
}

std::optional<std::string> FakePrompts::BrowseFolder(std::string_view, std::string_view) {
  ++dialogs_;
  return TakeOr(folders_, std::optional<std::string>());
}

std::vector<std::string> FakePrompts::OpenFiles(std::string_view, std::string_view,
                                                std::string_view, bool) {
  ++dialogs_;
  return TakeOr(openFiles_, std::vector<std::string>());
}

std::optional<std::string> FakePrompts::SaveFile(std::string_view, std::string_view,
                                                 std::string_view, std::string_view) {
  ++dialogs_;
  return TakeOr(saveFiles_, std::optional<std::string>());
}

std::optional<Rgb> FakePrompts::ChooseColor(Rgb) {
  ++dialogs_;
  return TakeOr(colors_, std::optional<Rgb>());
}

std::optional<FontChoice> FakePrompts::ChooseFont(const FontChoice&) {
  ++dialogs_;
  return TakeOr(fonts_, std::optional<FontChoice>());
}

}  // namespace zorbek::testing
