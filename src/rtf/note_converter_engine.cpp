#include "rtf/note_converter_engine.h"

#include <QTextDocument>

#include "rtf/note_file.h"

namespace zorbek {

bool EngineNoteConverter::ConvertFile(const std::string& in, const std::string& out,
                                      NoteFormat as, std::string* error) {
  QTextDocument doc;
  if (!LoadFile(in, &doc, error)) return false;
  // An export is the user's to share; an import lands in a private directory first.
  return SaveFile(out, doc, as == NoteFormat::kRtf ? ContentKind::kRtf : ContentKind::kText,
                  error, NewFileAccess::Shared);
}

std::string EngineNoteConverter::PlainTextToRtf(std::string_view utf8) {
  return zorbek::PlainTextToRtf(std::string(utf8)).toStdString();
}

void InstallNoteConverter() {
  static EngineNoteConverter converter;
  SetNoteConverter(&converter);
}

}  // namespace zorbek
