#include "platform/codepage/codepage.h"

#include <atomic>
#include <cstdlib>

#include "platform/codepage/codepage_backend.h"

namespace hovane::platform {
namespace {

constexpr unsigned kDefaultCodePage = 949;

unsigned InitialCodePage() {
  if (const char* env = std::getenv("HOVANE_CODEPAGE")) {
    char* end = nullptr;
    unsigned long value = std::strtoul(env, &end, 10);
    if (end != env && *end == '\0' && backend::CanConvertCodePage(static_cast<unsigned>(value)))
      return static_cast<unsigned>(value);
  }
  return kDefaultCodePage;
}

std::atomic<unsigned>& CurrentCodePage() {
  static std::atomic<unsigned> codePage{InitialCodePage()};
  return codePage;
}

// Lead-byte ranges of the double-byte code pages the layer knows.
bool IsLeadByteOf(unsigned codePage, unsigned char byte) {
  switch (codePage) {
    case 932:
      return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950:
      return byte >= 0x81 && byte <= 0xFE;
    default:
      return false;
  }
}

template <typename Transform>
std::string MapAsciiLetters(std::string_view text, Transform transform) {
  const unsigned codePage = SystemCodePage();
  std::string out(text);
  for (std::size_t i = 0; i < out.size(); ++i) {
    auto byte = static_cast<unsigned char>(out[i]);
    if (IsLeadByteOf(codePage, byte)) {
      ++i;  // the trail byte is part of the character, not a letter
      continue;
    }
    out[i] = transform(out[i]);
  }
  return out;
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

unsigned SystemCodePage() { return CurrentCodePage().load(std::memory_order_relaxed); }

bool SetSystemCodePage(unsigned codePage) {
  if (!backend::CanConvertCodePage(codePage)) return false;
  CurrentCodePage().store(codePage, std::memory_order_relaxed);
  return true;
}

bool IsLeadByte(unsigned char byte) { return IsLeadByteOf(SystemCodePage(), byte); }

std::optional<std::string> NarrowToUtf8(std::string_view narrow) {
  return backend::CodePageToUtf8(SystemCodePage(), narrow);
}

std::optional<std::string> Utf8ToNarrow(std::string_view utf8) {
  return backend::Utf8ToCodePage(SystemCodePage(), utf8);
}

std::optional<std::u16string> NarrowToUtf16(std::string_view narrow) {
  return backend::CodePageToUtf16(SystemCodePage(), narrow);
}

std::string Utf16ToNarrow(std::u16string_view wide) {
  return backend::Utf16ToCodePage(SystemCodePage(), wide, '?').value_or(std::string());
}

std::string UpperCase(std::string_view narrow) { return MapAsciiLetters(narrow, AsciiUpper); }
std::string LowerCase(std::string_view narrow) { return MapAsciiLetters(narrow, AsciiLower); }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && UpperCase(a) == UpperCase(b);
}

std::size_t FindLastChar(std::string_view narrow, char ch) {
  const unsigned codePage = SystemCodePage();
  std::size_t found = std::string_view::npos;
  // Walk forwards: only a forward walk knows which bytes are trail bytes.
  for (std::size_t i = 0; i < narrow.size(); ++i) {
    auto byte = static_cast<unsigned char>(narrow[i]);
    if (IsLeadByteOf(codePage, byte)) {
      ++i;
      continue;
    }
    if (narrow[i] == ch) found = i;
  }
  return found;
}

}  // namespace hovane::platform
