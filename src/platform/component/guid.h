// Class, interface and library identifiers: 128-bit values, written in the
// registry as 38-character texts with braces, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
//
// Header-only and constexpr, so that identifiers can be constants.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hovane::platform {

struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::array<std::uint8_t, 8> data4{};

  friend constexpr auto operator<=>(const Guid&, const Guid&) = default;
};

inline constexpr std::size_t kGuidTextLength = 38;

// The registry text of id: braces, upper-case hex digits, 38 characters.
inline std::string FormatGuid(const Guid& id) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(kGuidTextLength);
  auto put = [&](std::uint64_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) text += kHex[(value >> shift) & 0xF];
  };
  text += '{';
  put(id.data1, 8);
  text += '-';
  put(id.data2, 4);
  text += '-';
  put(id.data3, 4);
  text += '-';
  put(id.data4[0], 2);
  put(id.data4[1], 2);
  text += '-';
  for (int i = 2; i < 8; ++i) put(id.data4[i], 2);
  text += '}';
  return text;
}

// Parses a registry text: exactly 38 characters with braces and hyphens in
// their places, hex digits in either case. Anything else is nullopt.
constexpr std::optional<Guid> ParseGuid(std::string_view text) {
  if (text.size() != kGuidTextLength || text.front() != '{' || text.back() != '}') return std::nullopt;
  std::uint8_t bytes[16]{};
  std::size_t byte = 0;
  for (std::size_t i = 1; i + 1 < text.size();) {
    if (i == 9 || i == 14 || i == 19 || i == 24) {
      if (text[i] != '-') return std::nullopt;
      ++i;
      continue;
    }
    int value = 0;
    for (int k = 0; k < 2; ++k, ++i) {
      const char c = text[i];
      int digit = -1;
      if (c >= '0' && c <= '9') digit = c - '0';
      if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      if (digit < 0) return std::nullopt;
      value = value * 16 + digit;
    }
    bytes[byte++] = static_cast<std::uint8_t>(value);
  }
  Guid id;
  id.data1 = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
             (std::uint32_t{bytes[2]} << 8) | bytes[3];
  id.data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
  id.data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) id.data4[i] = bytes[8 + i];
  return id;
}

}  // namespace hovane::platform
