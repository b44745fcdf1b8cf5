#include "ui/editor/install_editor.h"

#include "core/app/paths.h"
#include "core/editor/open_editor_registry.h"
#include "core/notes/note_opener.h"
#include "ui/app/open_windows.h"
#include "ui/editor/wnd_esr.h"
#include "ui/editor/xrich_edit_ctrl.h"
#include "rtf/rtf_document.h"

namespace zorbek {

void InstallNoteEditor(const std::string& programBase) {
  // Notes name the fonts of Windows: they show in the installed fonts of their kind.
  InstallChineseFontSubstitutes();
  CXRichEditCtrl::SetFileStoreDirectory(FileStoreDirectory(programBase));
  SetOpenNoteEditor([](const DocumentPath& documentPath, const ElementPath& elementPath) {
    editor::OpenNoteEditor(documentPath, elementPath);
  });
  CWndEsr::SetRecoveryBase(programBase);
  // At exit each modified editor asks about its own note; ended without a person to ask,
  // their text goes to recovery files.
  static OpenWindowsRegistration editors(
      OpenWindows::kEditors,
      OpenWindows::Kind{[] { return OpenEditorCount(); }, [] { CloseAllEditors(); },
                        [] { return OpenEditors().CloseAllAsking(); },
                        [] { OpenEditors().PreserveAllUnsaved(); }});
}

}  // namespace zorbek
