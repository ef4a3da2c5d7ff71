// The operations that rewrite a version file from a fetched version list.
#include "catalogue/foreign_marker.h"
#include "catalogue/locations.h"
#include "catalogue/option_file.h"
#include "catalogue/version_fetch.h"
#include "platform/files/files.h"

namespace hovane {
namespace {

constexpr char kFileNameKey[] = "FileName";
constexpr char kVersionKey[] = "Version";

// Fetches the list, running prepare once it is open and then writing each
// entry's name and the version that versionOf gives. The edits go to the
// file in one batch, written before a failure is reported, so the entries
// that arrived before it stay written.
template <typename Prepare, typename VersionOf>
std::int32_t RewriteFromList(COptionFile& file, Prepare prepare, VersionOf versionOf) {
  const VersionFetchResult result = FetchVersionList(
      file.m_strVersionUrl,
      [&] {
        prepare();
        file.BeginBatch();
      },
      [&](const VersionListEntry& entry) {
        const std::string section = VersionSectionName(entry.position);
        file.SetOptionValue(section, kFileNameKey, entry.name);
        file.SetOptionValue(section, kVersionKey, versionOf(entry));
      });
  file.EndBatch();
  ReportFetchFailure(result);
  return result.ok ? 1 : 0;
}

}  // namespace

std::int32_t COptionFile::EnsureVersionFile() {
  if (VersionFileExists()) return 1;
  ResetVersionList();
  return 0;
}

std::int32_t COptionFile::ResetVersionList() {
  return RewriteFromList(
      *this,
      [this] {
        if (LegacyPathIsOptionPath() || !FileExists(m_strLegacyPath)) return;
        CreateDirectoryTree(m_strDataFolder);
        platform::MoveFile(m_strLegacyPath, m_strOptionPath);
      },
      [](const VersionListEntry&) { return std::string_view(kNotInstalledVersion); });
}

std::int32_t COptionFile::StoreVersionList() {
  return RewriteFromList(
      *this,
      [] {
        const std::string installFolder = GetInstallFolder();
        if (!FileExists(installFolder)) CreateDirectoryTree(installFolder);
      },
      [](const VersionListEntry& entry) { return std::string_view(entry.version); });
}

}  // namespace hovane
