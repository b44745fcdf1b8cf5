// The ICU converters of Windows code pages, shared by every part of the core that converts.
#pragma once

struct UConverter;

namespace zorbek {

// This thread's converter for a Windows code page ("windows-N", else "cpN", else "ibm-N"), or
// null when ICU has none (or codePage is not positive). ICU converters carry state, so each
// thread has its own, opened once and kept for the thread's life. Converting from Unicode stops
// at a character the code page cannot hold (no substitute is written); converting to Unicode
// substitutes bytes that map to nothing.
UConverter* CodePageConverter(int codePage);

}  // namespace zorbek
