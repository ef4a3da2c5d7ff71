#include "catalogue/version_list.h"

#include <algorithm>

namespace hovane {

std::optional<VersionListEntry> ParseVersionListLine(std::string_view line) {
  if (auto nul = line.find('\0'); nul != std::string_view::npos) line = line.substr(0, nul);
  std::string text(line);
  std::erase(text, '\r');
  // A colon is never the trail byte of a double-byte character in the
  // system code page, so a plain byte search finds the last real colon.
  const auto colon = text.rfind(':');
  if (colon == std::string::npos) return std::nullopt;
  VersionListEntry entry;
  entry.name = text.substr(0, colon);
  entry.version = text.substr(colon + 1);
  return entry;
}

std::optional<VersionListEntry> VersionListReader::Feed(std::string_view line) {
  auto entry = ParseVersionListLine(line);
  if (entry) entry->position = ++m_nEntries;
  return entry;
}

std::string VersionSectionName(std::int32_t position) {
  return "File" + std::to_string(position);
}

}  // namespace hovane
