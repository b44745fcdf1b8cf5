#include "core/rtf/note_converter.h"

#include <atomic>

namespace zorbek {
namespace {
std::atomic<NoteConverter*> installed{nullptr};
}  // namespace

NoteConverter* noteConverter() { return installed.load(std::memory_order_acquire); }

void SetNoteConverter(NoteConverter* converter) {
  installed.store(converter, std::memory_order_release);
}

bool ConvertNoteFile(const std::string& in, const std::string& out, NoteFormat as,
                     std::string* error) {
  NoteConverter* converter = noteConverter();
  if (!converter) {
    if (error) *error = "no RTF engine";
    return false;
  }
  return converter->ConvertFile(in, out, as, error);
}

NoteFormat ExportFormatOf(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return NoteFormat::kText;
  return name.substr(dot + 1).starts_with("rtf") ? NoteFormat::kRtf : NoteFormat::kText;
}

}  // namespace zorbek
