// Shared set-up of the editor tests: notes in a temporary store, scripted prompts, and the
// editors closed and deleted after each test.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTextBlock>
#include <QTimer>
#include <functional>

#include "core/editor/open_editor_registry.h"
#include "support/fake_prompts.h"
#include "support/temp_dir.h"
#include "ui/editor/wnd_esr.h"
#include "ui/editor/xrich_edit_ctrl.h"

namespace zorbek::testing {

inline constexpr const char* kSimpleNote =
    "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}"
    "\\viewkind4\\uc1\\pard\\f0\\fs18 hello \\b world\\b0\\par}";

class EditorTest : public ::testing::Test {
 protected:
  void TearDown() override {
    CloseAllEditors();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    CXRichEditCtrl::SetLinkOpener({});
    CWndEsr::SetFileShower({});
  }

  // A note file in the temporary store (RTF bytes as given).
  std::string Note(const std::string& relative, const std::string& rtf = kSimpleNote) {
    const std::string path = dir_ / relative;
    WriteFile(path, rtf);
    return path;
  }

  // Opens a note and returns its editor.
  CWndEsr* Open(const std::string& path, const std::string& element = "/list/filetree/archive/n") {
    EXPECT_EQ(editor::OpenNoteEditor(DocumentPath(path), ElementPath(element)), 1);
    return FindNoteEditor(DocumentPath(path));
  }

  // An editor holding a fresh empty document.
  CWndEsr* Empty() { return Open(Note("empty.esr", "{\\rtf1\\ansi }")); }

  // Runs f on the modal dialog of type D once it shows.
  template <typename D>
  static void WhenModal(std::function<void(D&)> f) {
    QTimer::singleShot(0, [f] {
      auto* d = qobject_cast<D*>(QApplication::activeModalWidget());
      if (!d) {
        ADD_FAILURE() << "no modal dialog";
        return;
      }
      f(*d);
    });
  }

  static void Select(CXRichEditCtrl* r, int from, int to) {
    QTextCursor c = r->textCursor();
    c.setPosition(from);
    c.setPosition(to, QTextCursor::KeepAnchor);
    r->setTextCursor(c);
  }

  static QString Text(CXRichEditCtrl* r) { return r->toPlainText(); }

  TempDir dir_;
  FakePrompts prompts_;
};

}  // namespace zorbek::testing
