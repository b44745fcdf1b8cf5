// Settings files with the semantics of Windows private profiles: sections and keys are found
// without regard to case, a write changes one line and keeps everything else in the file, and
// values are stored as CP936 bytes (read back as UTF-8 when the bytes are valid UTF-8).
#pragma once

#include <string>
#include <string_view>

namespace zorbek {

// The value, or def when the file, the section or the key is missing. Surrounding blanks and
// one pair of surrounding quotes are removed.
std::string ReadProfileString(const std::string& file, std::string_view section,
                              std::string_view key, std::string_view def);

// Sets the key, creating the file, the section and the key as needed. The file is replaced
// atomically. False when it cannot be written.
bool WriteProfileString(const std::string& file, std::string_view section, std::string_view key,
                        std::string_view value);

// Parses and edits profile text in memory (the functions above use these).
std::string ProfileLookup(std::string_view text, std::string_view section, std::string_view key,
                          bool* found = nullptr);
std::string ProfileUpdate(std::string_view text, std::string_view section, std::string_view key,
                          std::string_view rawValue);

}  // namespace zorbek
