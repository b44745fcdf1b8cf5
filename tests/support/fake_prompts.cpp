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

void FakePrompts::AnswerNext(MsgResult result) {
  std::lock_guard lock(mutex_);
  answers_.push_back(result);
}
void FakePrompts::NextFolder(std::optional<std::string> path) {
  std::lock_guard lock(mutex_);
  folders_.push_back(std::move(path));
}
void FakePrompts::NextOpenFiles(std::vector<std::string> paths) {
  std::lock_guard lock(mutex_);
  openFiles_.push_back(std::move(paths));
}
void FakePrompts::NextSaveFile(std::optional<std::string> path) {
  std::lock_guard lock(mutex_);
  saveFiles_.push_back(std::move(path));
}
void FakePrompts::NextColor(std::optional<Rgb> color) {
  std::lock_guard lock(mutex_);
  colors_.push_back(color);
}
void FakePrompts::NextFont(std::optional<FontChoice> font) {
  std::lock_guard lock(mutex_);
  fonts_.push_back(std::move(font));
}
void FakePrompts::NextFontEdit(std::function<void(FontChoice&)> edit) {
  std::lock_guard lock(mutex_);
  fontEdits_.push_back(std::move(edit));
}
std::optional<FontChoice> FakePrompts::LastFontGiven() const {
  std::lock_guard lock(mutex_);
  return lastFontGiven_;
}
void FakePrompts::OnMessage(std::function<void(std::string_view)> fn) {
  std::lock_guard lock(mutex_);
  onMessage_ = std::move(fn);
}

std::vector<FakePrompts::Shown> FakePrompts::Messages() const {
  std::lock_guard lock(mutex_);
  return shown_;
}

std::vector<std::string> FakePrompts::MessageTexts() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> texts;
  for (const auto& s : shown_) texts.push_back(s.text);
  return texts;
}

std::string FakePrompts::LastMessage() const {
  std::lock_guard lock(mutex_);
  return shown_.empty() ? std::string() : shown_.back().text;
}

void FakePrompts::Clear() {
  std::lock_guard lock(mutex_);
  shown_.clear();
}

int FakePrompts::DialogCount() const {
  std::lock_guard lock(mutex_);
  return dialogs_;
}

MsgResult FakePrompts::Message(std::string_view text, MsgButtons buttons, MsgIcon icon,
                               std::string_view caption) {
  std::function<void(std::string_view)> hook;
  {
    std::lock_guard lock(mutex_);
    hook = onMessage_;
  }
  // Outside the fake's own lock: the hook may wait for other threads.
  if (hook) hook(text);
  std::lock_guard lock(mutex_);
  shown_.push_back({std::string(text), buttons, icon, std::string(caption)});
  MsgResult def = buttons == MsgButtons::Ok       ? MsgResult::Ok
                  : buttons == MsgButtons::YesNo ? MsgResult::No
                                                 : MsgResult::Cancel;
  return TakeOr(answers_, def);
}

std::optional<std::string> FakePrompts::BrowseFolder(std::string_view, std::string_view) {
  std::lock_guard lock(mutex_);
  ++dialogs_;
  return TakeOr(folders_, std::optional<std::string>());
}

std::vector<std::string> FakePrompts::OpenFiles(std::string_view, std::string_view,
                                                std::string_view, bool) {
  std::lock_guard lock(mutex_);
  ++dialogs_;
  return TakeOr(openFiles_, std::vector<std::string>());
}

std::optional<std::string> FakePrompts::SaveFile(std::string_view, std::string_view,
                                                 std::string_view, std::string_view) {
  std::lock_guard lock(mutex_);
  ++dialogs_;
  return TakeOr(saveFiles_, std::optional<std::string>());
}

std::optional<Rgb> FakePrompts::ChooseColor(Rgb) {
  std::lock_guard lock(mutex_);
  ++dialogs_;
  return TakeOr(colors_, std::optional<Rgb>());
}

std::optional<FontChoice> FakePrompts::ChooseFont(const FontChoice& initial) {
  std::lock_guard lock(mutex_);
  ++dialogs_;
  lastFontGiven_ = initial;
  if (!fontEdits_.empty()) {
    FontChoice chosen = initial;
    fontEdits_.front()(chosen);
    fontEdits_.pop_front();
    return chosen;
  }
  return TakeOr(fonts_, std::optional<FontChoice>());
}

}  // namespace zorbek::testing
