// The seam between the core and the RTF engine.
//
// Import and export of notes (and the legacy conversion) turn files into note documents and
// back. Reading and writing RTF needs the RTF engine (QTextDocument, in src/rtf/), which the core
// cannot link. The core asks through this interface instead; the program and zorbek-cli install
// the engine's implementation at start-up (InstallNoteConverter, rtf/note_converter_engine.h).
// Without one installed (a build without the engine), every conversion fails with a message.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zorbek {

enum class NoteFormat { kRtf, kText };

class NoteConverter {
 public:
  virtual ~NoteConverter() = default;

  // Reads the file in: as RTF when its first five bytes are "{\rtf" in any letter case,
  // otherwise as text (byte-order mark, valid UTF-8, else code page 936). Writes the content
  // to out atomically, as RTF or as UTF-8 plain text. False, with *error, when in cannot be
  // read or out cannot be written; out is then left as it was.
  virtual bool ConvertFile(const std::string& in, const std::string& out, NoteFormat as,
                           std::string* error) = 0;

  // The RTF of plain text (UTF-8) as a note holds it: each line a paragraph in the note's
  // default font.
  virtual std::string PlainTextToRtf(std::string_view utf8) = 0;
};

// The installed converter, or null. Installed once at start-up, before any thread converts.
NoteConverter* noteConverter();
void SetNoteConverter(NoteConverter* converter);

// Convenience over the installed converter; false with a message in *error when none is.
bool ConvertNoteFile(const std::string& in, const std::string& out, NoteFormat as,
                     std::string* error = nullptr);

// The format a file written under this name gets on export: RTF when the extension of its file
// name (after the last ".") begins with "rtf" as written (c.RTF is text), plain text otherwise.
NoteFormat ExportFormatOf(std::string_view path);

}  // namespace zorbek
