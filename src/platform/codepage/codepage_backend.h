// Backend of the code page service: the conversions themselves.
// Internal to the platform layer.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace hovane::platform::backend {

// True when the backend can convert codePage.
bool CanConvertCodePage(unsigned codePage);

// Converts between an encoding named by code page number and UTF-8 or
// UTF-16. Strict: nullopt on invalid input or a character without a
// representation. With substitute != 0 (ToCodePage only), such characters
// become substitute instead.
std::optional<std::string> CodePageToUtf8(unsigned codePage, std::string_view in);
std::optional<std::string> Utf8ToCodePage(unsigned codePage, std::string_view in);
std::optional<std::u16string> CodePageToUtf16(unsigned codePage, std::string_view in);
std::optional<std::string> Utf16ToCodePage(unsigned codePage, std::u16string_view in,
                                           char substitute);

}  // namespace hovane::platform::backend
