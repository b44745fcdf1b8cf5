// Prompts answered by a script: tests say what the next question or dialog returns and read
// back every message the code showed. Safe to use from several threads at once (the reminder
// check thread reports through prompts()).
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/app/prompts.h"

namespace zorbek::testing {

class FakePrompts : public Prompts {
 public:
  struct Shown {
    std::string text;
    MsgButtons buttons;
    MsgIcon icon;
    std::string caption;
  };

  // Installs itself as the process-wide prompts; the previous ones come back on destruction.
  FakePrompts();
  ~FakePrompts() override;

  // Scripted answers, used in order. Without a script a question gets its default answer
  // (Ok for Ok, Cancel or No otherwise) and a dialog is cancelled.
  void AnswerNext(MsgResult result);
  void NextFolder(std::optional<std::string> path);
  void NextOpenFiles(std::vector<std::string> paths);
  void NextSaveFile(std::optional<std::string> path);
  void NextColor(std::optional<Rgb> color);
  void NextFont(std::optional<FontChoice> font);
  // The next font dialog is confirmed with what it was given, changed by edit (a user who
  // changes one thing, or nothing). The choice it was given is kept for the test.
  void NextFontEdit(std::function<void(FontChoice&)> edit);
  std::optional<FontChoice> LastFontGiven() const;
  // Called with each message as it is shown, on the thread that shows it, before it is
  // recorded (a test looks at what that thread holds at that moment).
  void OnMessage(std::function<void(std::string_view text)> fn);

  // Copies: another thread may be adding to them.
  std::vector<Shown> Messages() const;
  std::vector<std::string> MessageTexts() const;
  std::string LastMessage() const;
  void Clear();
  int DialogCount() const;

  MsgResult Message(std::string_view text, MsgButtons buttons, MsgIcon icon,
                    std::string_view caption) override;
  std::optional<std::string> BrowseFolder(std::string_view title,
                                          std::string_view initialDir) override;
  std::vector<std::string> OpenFiles(std::string_view title, std::string_view filter,
                                     std::string_view initialDir, bool multiple) override;
  std::optional<std::string> SaveFile(std::string_view title, std::string_view filter,
                                      std::string_view suggestedName,
                                      std::string_view defaultExtension) override;
  std::optional<Rgb> ChooseColor(Rgb initial) override;
  std::optional<FontChoice> ChooseFont(const FontChoice& initial) override;

 private:
  mutable std::mutex mutex_;
  std::function<void(std::string_view)> onMessage_;
  Prompts* previous_;
  std::deque<MsgResult> answers_;
  std::deque<std::optional<std::string>> folders_;
  std::deque<std::vector<std::string>> openFiles_;
  std::deque<std::optional<std::string>> saveFiles_;
  std::deque<std::optional<Rgb>> colors_;
  std::deque<std::optional<FontChoice>> fonts_;
  std::deque<std::function<void(FontChoice&)>> fontEdits_;
  std::optional<FontChoice> lastFontGiven_;
  std::vector<Shown> shown_;
  int dialogs_ = 0;
};

}  // namespace zorbek::testing
