// The program's prompts: Qt message boxes and dialogs.
#pragma once

#include <QPointer>
#include <QWidget>

#include "core/app/prompts.h"

namespace zorbek {

class QtPrompts : public Prompts {
 public:
  // Dialogs are centred on the active window, or on parent when there is none.
  void SetParentWindow(QWidget* parent) { parent_ = parent; }

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

  // "RTF文件(*.rtf)|*.rtf|文本文件(*.txt)|*.txt||" -> "RTF文件(*.rtf) (*.rtf);;文本文件(*.txt) (*.txt)"
  static QString ToQtFilter(std::string_view filter);

 private:
  QWidget* DialogParent() const;
  QPointer<QWidget> parent_;
};

}  // namespace zorbek
