// The RTF engine's side of the core's NoteConverter seam (core/rtf/note_converter.h).
#pragma once

#include "core/rtf/note_converter.h"

namespace zorbek {

// Converts through a QTextDocument: the reader and writer of this library. Needs a
// QGuiApplication (fonts); call from the thread that owns it.
class EngineNoteConverter : public NoteConverter {
 public:
  bool ConvertFile(const std::string& in, const std::string& out, NoteFormat as,
                   std::string* error) override;
  std::string PlainTextToRtf(std::string_view utf8) override;
};

// Installs one EngineNoteConverter as the core's converter (it lives until the process ends).
void InstallNoteConverter();

}  // namespace zorbek
