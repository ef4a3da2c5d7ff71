// Code page service: the system code page and conversions between narrow
// text (bytes in the system code page) and UTF-8 / UTF-16.
//
// Narrow text is the system's own text: version lists, profile files, wire
// records and paths are all bytes in the system code page (949 by default).
// UTF-8 appears only at the host boundary (file names on disk, widgets, the
// terminal).
//
// Threading: every function may be called from any thread. The system code
// page is process-wide; change it only before other threads use the layer.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/export.h"

namespace hovane::platform {

// The code page that narrow text is in. 949 unless the environment variable
// HOVANE_CODEPAGE names another number when it is first asked.
HOVANE_PLATFORM_API unsigned SystemCodePage();

// Replaces the system code page (tests). Returns false, changing nothing,
// when the code page is not one the layer can convert.
HOVANE_PLATFORM_API bool SetSystemCodePage(unsigned codePage);

// True when byte starts a double-byte character in the system code page.
HOVANE_PLATFORM_API bool IsLeadByte(unsigned char byte);

// Strict conversions: nullopt when the input is not valid in its encoding or
// has no representation in the target (nothing is replaced or dropped).
HOVANE_PLATFORM_API std::optional<std::string> NarrowToUtf8(std::string_view narrow);
HOVANE_PLATFORM_API std::optional<std::string> Utf8ToNarrow(std::string_view utf8);
HOVANE_PLATFORM_API std::optional<std::u16string> NarrowToUtf16(std::string_view narrow);

// Lossy conversion for text that arrives from a caller as UTF-16: a character
// without a representation, or an unpaired surrogate, becomes '?'. Never fails.
HOVANE_PLATFORM_API std::string Utf16ToNarrow(std::u16string_view wide);

// Multibyte-aware case changes: only ASCII letters change, and the trail byte
// of a double-byte character is copied as it stands, never taken for a letter.
HOVANE_PLATFORM_API std::string UpperCase(std::string_view narrow);
HOVANE_PLATFORM_API std::string LowerCase(std::string_view narrow);

// Case-insensitive equality under UpperCase.
HOVANE_PLATFORM_API bool EqualsNoCase(std::string_view a, std::string_view b);

// Index of the last occurrence of the single-byte character ch that is not a
// trail byte of a double-byte character; std::string_view::npos when none.
HOVANE_PLATFORM_API std::size_t FindLastChar(std::string_view narrow, char ch);

}  // namespace hovane::platform
