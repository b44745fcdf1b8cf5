// Every question and message the program puts to the user goes through this interface, so
// that the core can report and the tests can answer without a screen.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorbek {

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgResult { Ok, Cancel, Yes, No, Retry };

// A colour as red, green, blue.
struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct FontChoice {
  std::string face;
  double pointSize = 9.0;
  bool bold = false, italic = false, underline = false, strikeOut = false;
  Rgb color;
};

// File dialog filters use the "description|pattern;pattern|description|pattern||" form.
class Prompts {
 public:
  virtual ~Prompts() = default;
  // The caption is the program's title when empty.
  virtual MsgResult Message(std::string_view text, MsgButtons buttons = MsgButtons::Ok,
                            MsgIcon icon = MsgIcon::None, std::string_view caption = {}) = 0;
  virtual std::optional<std::string> BrowseFolder(std::string_view title,
                                                  std::string_view initialDir) = 0;
  virtual std::vector<std::string> OpenFiles(std::string_view title, std::string_view filter,
                                             std::string_view initialDir, bool multiple) = 0;
  virtual std::optional<std::string> SaveFile(std::string_view title, std::string_view filter,
                                              std::string_view suggestedName,
                                              std::string_view defaultExtension) = 0;
  virtual std::optional<Rgb> ChooseColor(Rgb initial) = 0;
  virtual std::optional<FontChoice> ChooseFont(const FontChoice& initial) = 0;

  // Convenience: one file or none.
  std::optional<std::string> OpenFile(std::string_view title, std::string_view filter,
                                      std::string_view initialDir = {}) {
    auto files = OpenFiles(title, filter, initialDir, false);
    if (files.empty()) return std::nullopt;
    return files.front();
  }
};

// Prompts for programs without a screen: messages go to standard error, questions are
// answered with Cancel (or No), dialogs are cancelled.
class ConsolePrompts : public Prompts {
 public:
  MsgResult Message(std::string_view text, MsgButtons buttons, MsgIcon icon,
                    std::string_view caption) override;
  std::optional<std::string> BrowseFolder(std::string_view, std::string_view) override {
    return std::nullopt;
  }
  std::vector<std::string> OpenFiles(std::string_view, std::string_view, std::string_view,
                                     bool) override {
    return {};
  }
  std::optional<std::string> SaveFile(std::string_view, std::string_view, std::string_view,
                                      std::string_view) override {
    return std::nullopt;
  }
  std::optional<Rgb> ChooseColor(Rgb) override { return std::nullopt; }
  std::optional<FontChoice> ChooseFont(const FontChoice&) override { return std::nullopt; }
};

// The process-wide prompts. Starts as ConsolePrompts; the program installs its dialogs and the
// tests install a scripted fake. The object must outlive its use.
Prompts& prompts();
void SetPrompts(Prompts* prompts);

// Formats a message holding one "%s" (the system's messages carry at most one string).
std::string FormatMessage(std::string_view pattern, std::string_view arg);

}  // namespace zorbek
