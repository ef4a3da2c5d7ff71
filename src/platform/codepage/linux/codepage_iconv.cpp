// Code page conversions with glibc iconv.
//
// iconv descriptors carry shift state and are not thread-safe, so each
// thread keeps its own, opened on first use and reset before every call.
#include <iconv.h>

#include <cerrno>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "platform/codepage/codepage_backend.h"

namespace hovane::platform::backend {
namespace {

std::string CodePageName(unsigned codePage) {
  switch (codePage) {
    case 65001: return "UTF-8";
    case 1200: return "UTF-16LE";
    case 20127: return "ASCII";
    case 28591: return "ISO-8859-1";
    default: return "CP" + std::to_string(codePage);
  }
}

class Converter {
 public:
  Converter(const std::string& to, const std::string& from)
      : cd_(iconv_open(to.c_str(), from.c_str())) {}
  ~Converter() {
    if (valid()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts in (bytes) to out (bytes). With substitute, an input unit that
  // cannot be converted (of unitSize bytes) is replaced by substitute.
  bool Convert(const char* in, std::size_t inSize, std::string& out, std::size_t unitSize,
               const std::string* substitute) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    out.clear();
    char* inPtr = const_cast<char*>(in);
    std::size_t inLeft = inSize;
    char buffer[4096];
    while (inLeft > 0) {
      char* outPtr = buffer;
      std::size_t outLeft = sizeof buffer;
      std::size_t rc = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
      out.append(buffer, sizeof buffer - outLeft);
      if (rc != static_cast<std::size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      if (substitute == nullptr) return false;
      // EILSEQ or EINVAL: skip one unit (a surrogate pair as a whole when it
      // is complete) and put the substitute in its place.
      std::size_t skip = unitSize;
      if (unitSize == 2 && inLeft >= 4) {
        auto unit = static_cast<unsigned char>(inPtr[0]) | (static_cast<unsigned char>(inPtr[1]) << 8);
        auto next = static_cast<unsigned char>(inPtr[2]) | (static_cast<unsigned char>(inPtr[3]) << 8);
        if (unit >= 0xD800 && unit <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) skip = 4;
      }
      if (skip > inLeft) skip = inLeft;
      inPtr += skip;
      inLeft -= skip;
      out += *substitute;
    }
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    if (iconv(cd_, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1))
      return false;
    out.append(buffer, sizeof buffer - outLeft);
    return true;
  }

 private:
  iconv_t cd_;
};

Converter* GetConverter(unsigned to, unsigned from) {
  thread_local std::map<std::pair<unsigned, unsigned>, std::unique_ptr<Converter>> cache;
  auto& slot = cache[{to, from}];
  if (!slot) slot = std::make_unique<Converter>(CodePageName(to), CodePageName(from));
  return slot->valid() ? slot.get() : nullptr;
}

constexpr unsigned kUtf8 = 65001;
constexpr unsigned kUtf16 = 1200;

}  // namespace

bool CanConvertCodePage(unsigned codePage) {
  return GetConverter(kUtf8, codePage) != nullptr && GetConverter(codePage, kUtf8) != nullptr &&
         GetConverter(kUtf16, codePage) != nullptr && GetConverter(codePage, kUtf16) != nullptr;
}

std::optional<std::string> CodePageToUtf8(unsigned codePage, std::string_view in) {
  Converter* converter = GetConverter(kUtf8, codePage);
  std::string out;
  if (converter == nullptr || !converter->Convert(in.data(), in.size(), out, 1, nullptr))
    return std::nullopt;
  return out;
}

std::optional<std::string> Utf8ToCodePage(unsigned codePage, std::string_view in) {
  Converter* converter = GetConverter(codePage, kUtf8);
  std::string out;
  if (converter == nullptr || !converter->Convert(in.data(), in.size(), out, 1, nullptr))
    return std::nullopt;
  return out;
}

std::optional<std::u16string> CodePageToUtf16(unsigned codePage, std::string_view in) {
  Converter* converter = GetConverter(kUtf16, codePage);
  std::string bytes;
  if (converter == nullptr || !converter->Convert(in.data(), in.size(), bytes, 1, nullptr))
    return std::nullopt;
  std::u16string out(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return out;
}

std::optional<std::string> Utf16ToCodePage(unsigned codePage, std::u16string_view in,
                                           char substitute) {
  Converter* converter = GetConverter(codePage, kUtf16);
  if (converter == nullptr) return std::nullopt;
  std::string bytes(in.size() * 2, '\0');
  for (std::size_t i = 0; i < in.size(); ++i) {
    bytes[2 * i] = static_cast<char>(in[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(in[i] >> 8);
  }
  const std::string replacement(1, substitute);
  std::string out;
  if (!converter->Convert(bytes.data(), bytes.size(), out, 2,
                          substitute != '\0' ? &replacement : nullptr))
    return std::nullopt;
  return out;
}

}  // namespace hovane::platform::backend
