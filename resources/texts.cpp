#include "resources/texts.h"

#include <array>
#include <mutex>

#include "platform/codepage/codepage.h"

namespace hovane {
namespace {

constexpr const char* kUtf8Texts[] = {
#define HOVANE_TEXT_UTF8(id, utf8) utf8,
    HOVANE_TEXTS(HOVANE_TEXT_UTF8)
#undef HOVANE_TEXT_UTF8
};
constexpr std::size_t kTextCount = std::size(kUtf8Texts);

}  // namespace

const std::string& Text(TextId id) {
  static std::once_flag once;
  static std::array<std::string, kTextCount> narrow;
  std::call_once(once, [] {
    // A text without a form in the system code page is kept in UTF-8 rather
    // than lost; the tables are written for code page 949.
    for (std::size_t i = 0; i < kTextCount; ++i)
      narrow[i] = platform::Utf8ToNarrow(kUtf8Texts[i]).value_or(kUtf8Texts[i]);
  });
  return narrow[static_cast<std::size_t>(id)];
}

}  // namespace hovane
