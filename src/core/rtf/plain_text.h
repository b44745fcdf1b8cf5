// Plain text of an RTF document, as the note search reads it.
//
// A small stream reader: a keyword table, a stack of group states, a destination (normal or
// skip) and an input state (normal, binary or hexadecimal). Character and paragraph properties
// are tracked with groups but never change the output. The output is the raw bytes of the
// document's text, which for a note are code page 936.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace zorbek {

// Why a scan stopped. The text gathered up to that point is returned whatever the code.
enum class RtfScanCode : int {
  kComplete = 0,
  kStackUnderflow = 1,   // a group closed that was never opened
  kStackOverflow = 2,    // no room for another group record (nesting limit reached)
  kUnmatchedBrace = 3,   // the text ended inside an open group
  kInvalidHex = 4,       // a character that is not a hexadecimal digit in hexadecimal input
  kBadTable = 5,         // bad keyword table entry
  kAssertion = 6,        // inconsistent input state
  kEndOfFile = 7,        // the text ended inside a control word
  kKeywordTooLong = 8,   // a control word of 30 or more letters
  kParameterTooLong = 9, // a numeric parameter of 20 or more digits
};

// Deepest group nesting the scanner records; one more "{" stops it with kStackOverflow.
inline constexpr int kPlainTextMaxDepth = 4096;

struct PlainTextScan {
  std::string text;  // code page 936 bytes (whatever bytes the document holds)
  RtfScanCode code = RtfScanCode::kComplete;
  // The document holds text that its bytes read as code page 936 do not show: "\uN", or bytes
  // of 0x80 or more in a font or document of another code page. Its words are then found in
  // the Unicode text (ScanPlainTextUnicode).
  bool foreign = false;
};

// Scans RTF bytes held in memory. Every call starts from a fresh state.
PlainTextScan ScanPlainText(std::string_view rtf);
// Scans a file; a file that cannot be opened yields empty text and kComplete with opened=false.
PlainTextScan ScanPlainTextFile(const std::string& path, bool* opened = nullptr);

// The text of the document at path: empty when it cannot be opened, else what the scan
// gathered (a malformed document yields the text read up to the fault).
std::string ExtractPlainText(const std::string& path);

// The document's text as UTF-8, as the editor shows it: the same scan, with the text bytes read
// in the code page of their font (its \cpg or \fcharset, else the document's \ansicpg, else
// code page 936 where the bytes look like it and 1252 where not) and every "\uN" taken as its
// character (its \ucN stand-in bytes dropped). Empty when the file cannot be opened.
std::string ScanPlainTextUnicode(std::string_view rtf);
std::string ExtractPlainTextUnicode(const std::string& path, bool* opened = nullptr);

// The text of the file at path handed to sink piece by piece as it is read (UTF-8 as
// ExtractPlainTextUnicode gives it, or with unicode false the bytes as ScanPlainTextFile does),
// so that a note of any size is written out without being held whole. The pieces together are
// exactly the text the other calls return. False when the file cannot be opened.
using PlainTextSink = std::function<void(std::string_view piece)>;
bool StreamPlainTextFile(const std::string& path, bool unicode, const PlainTextSink& sink);

// The keyword table, exposed for tests and tools.
enum class RtfKeywordKind : std::uint8_t { kCharacter, kDestination, kProperty, kSpecial };
struct RtfKeyword {
  std::string_view keyword;
  int defaultParameter;
  bool defaultAlwaysReplaces;
  RtfKeywordKind kind;
  int index;  // output byte, property slot, or special action
};
inline constexpr int kRtfKeywordCount = 77;
// The table in its fixed order.
const RtfKeyword* RtfKeywordTable();
// The first entry whose keyword equals the given one exactly (case-sensitive), or null.
const RtfKeyword* FindRtfKeyword(std::string_view keyword);

}  // namespace zorbek
