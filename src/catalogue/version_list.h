// The version list: the document the update server serves, one entry per
// line, "name:version", split at the last colon.
//
// Lines come from the HTTP service already split at line feeds. Carriage
// returns are dropped wherever they stand; a line without a colon is not an
// entry and is not counted; nothing is trimmed, so blanks beside the colon
// belong to the name or the version. Either part may be empty. Entries are
// numbered from 1 in document order. Names and versions are C strings
// everywhere they are stored, so a line ends at its first NUL byte.
//
// Versions are opaque texts compared byte for byte; "0,0,0,0" marks an entry
// that is not installed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hovane {

inline constexpr char kNotInstalledVersion[] = "0,0,0,0";

struct VersionListEntry {
  std::int32_t position = 0;  // 1, 2, 3, ... in document order
  std::string name;
  std::string version;
};

// Reads one line; the entry it holds, if any.
std::optional<VersionListEntry> ParseVersionListLine(std::string_view line);

// Numbers the entries of a document fed to it line by line.
class VersionListReader {
 public:
  // The entry on this line, with its position, or nullopt for a line that
  // is not an entry.
  std::optional<VersionListEntry> Feed(std::string_view line);
  std::int32_t EntryCount() const { return m_nEntries; }

 private:
  std::int32_t m_nEntries = 0;
};

// The version file's section name for a list position: "File%d".
std::string VersionSectionName(std::int32_t position);

}  // namespace hovane
