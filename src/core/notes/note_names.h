// Two of the three names of a folder or note, each a type of its own, so that one is never
// passed where the other is expected (the third, the item path, is a list of texts:
// item_path.h).
//
//   ElementPath   its element in the database: "/list/filetree/archive/B/A"
//   DocumentPath  its file (".esr" included) or directory in the note store:
//                 "/home/u/.local/share/Zorbek/Zorbek/archive/B/A.esr"
//
// Both are made from a text only on purpose (explicit), and give it back with str(). They
// compare as their texts do (letter case included; the places that compare without regard to
// case say so).
#pragma once

#include <compare>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

namespace zorbek {

template <class Kind>
class NoteName {
 public:
  NoteName() = default;
  explicit NoteName(std::string text) : text_(std::move(text)) {}
  explicit NoteName(std::string_view text) : text_(text) {}
  explicit NoteName(const char* text) : text_(text) {}

  const std::string& str() const { return text_; }
  bool empty() const { return text_.empty(); }
  void clear() { text_.clear(); }

  friend bool operator==(const NoteName&, const NoteName&) = default;
  friend auto operator<=>(const NoteName&, const NoteName&) = default;
  friend std::ostream& operator<<(std::ostream& out, const NoteName& name) {
    return out << name.text_;
  }

 private:
  std::string text_;
};

struct ElementPathKind;
struct DocumentPathKind;
using ElementPath = NoteName<ElementPathKind>;
using DocumentPath = NoteName<DocumentPathKind>;

}  // namespace zorbek
