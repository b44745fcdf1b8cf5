// Prompts answered by a script: tests say what the next question or dialog returns and read
// back every message the code showed.
#pragma once

#include <deque>
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
  };

  // Installs itself as the process-wide prompts; the previous ones come back on destruction.
  FakePrompts();
  ~FakePrompts() override;

  // Scripted answers, used in order. Without a script a question gets its default answer
  // (Ok for Ok, Cancel or No otherwise) and a dialog is cancelled.
  void AnswerNext(MsgResult result) { answers_.push_back(result); }
  void NextFolder(std::optional<std::string> path) { folders_.push_back(std::move(path)); }
  void NextOpenFiles(std::vector<std::string> paths) { openFiles_.push_back(std::move(paths)); }
  void NextSaveFile(std::optional<std::string> path) { saveFiles_.push_back(std::move(path)); }
  void NextColor(std::optional<Rgb> color) { colors_.push_back(color); }
  void NextFont(std::optional<FontChoice> font) { fonts_.push_back(std::move(font)); }

  const std::vector<Shown>& Messages() const { return shown_; }
  std::vector<std::string> MessageTexts() const;
  std::string LastMessage() const { return shown_.empty() ? std::string() : shown_.back().text; }
  void Clear() { shown_.clear(); }
  int DialogCount() const { return dialogs_; }

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
  Prompts* previous_;
  std::deque<MsgResult> answers_;
  std::deque<std::optional<std::string>> folders_;
  std::deque<std::vector<std::string>> openFiles_;
  std::deque<std::optional<std::string>> saveFiles_;
  std::deque<std::optional<Rgb>> colors_;
  std::deque<std::optional<FontChoice>> fonts_;
  std::vector<Shown> shown_;
  int dialogs_ = 0;
};

}  // namespace zorbek::testing
