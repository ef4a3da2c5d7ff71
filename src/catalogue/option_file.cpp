#include "catalogue/option_file.h"

#include "catalogue/locations.h"
#include "platform/codepage/codepage.h"
#include "platform/files/files.h"
#include "platform/profile/profile.h"

namespace hovane {

std::string_view LastPathComponent(std::string_view url) {
  const auto slash = url.rfind('/');
  return slash == std::string_view::npos ? url : url.substr(slash + 1);
}

const char* VersionFileNameForUrl(std::string_view url) {
  const std::string_view last = LastPathComponent(url);
  if (last == "dn_version.html") return kDnVersionFileName;
  if (last == "up_version.html") return kUpVersionFileName;
  return kVersionFileName;
}

COptionFile::COptionFile()
    : m_strLegacyPath(GetInstallFolder() + "\\" + kDnVersionFileName),
      m_strDataFolder(GetUserBaseFolder() + "\\" + kInstallFolderName) {
  m_strOptionPath = m_strDataFolder + "\\" + kDnVersionFileName;
}

COptionFile::~COptionFile() { EndBatch(); }

void COptionFile::SelectVersionFile(std::string_view url) {
  EndBatch();
  m_strVersionUrl = std::string(url);
  const std::string fileName = VersionFileNameForUrl(url);
  m_strOptionPath = m_strDataFolder + "\\" + fileName;
  m_strLegacyPath = GetInstallFolder() + "\\" + fileName;
}

std::string COptionFile::GetOptionValue(std::string_view section, std::string_view key,
                                        std::string_view defaultValue,
                                        std::size_t bufferSize) const {
  if (m_batch) return m_batch->Get(section, key, defaultValue, bufferSize);
  return platform::ReadProfileString(m_strOptionPath, section, key, defaultValue, bufferSize);
}

void COptionFile::SetOptionValue(std::string_view section, std::string_view key,
                                 std::string_view value) {
  if (m_batch) {
    m_batch->Set(section, key, value);
    return;
  }
  CreateDirectoryTree(m_strDataFolder);
  platform::WriteProfileString(m_strOptionPath, section, key, value);
}

std::int32_t COptionFile::VersionFileExists() {
  m_bFileExists = platform::FindExact(m_strOptionPath) ? 1 : 0;
  return m_bFileExists;
}

bool COptionFile::LegacyPathIsOptionPath() const {
  if (platform::EqualsNoCase(m_strLegacyPath, m_strOptionPath)) return true;
  auto legacy = platform::ToHostPath(m_strLegacyPath);
  auto option = platform::ToHostPath(m_strOptionPath);
  return legacy && option && *legacy == *option;
}

void COptionFile::RemoveLegacyVersionFile() {
  if (LegacyPathIsOptionPath()) return;
  if (!platform::FindExact(m_strLegacyPath)) return;
  CreateDirectoryTree(m_strDataFolder);
  platform::DeleteFile(m_strLegacyPath);
}

void COptionFile::BeginBatch() {
  if (!m_batch) m_batch = std::make_unique<platform::ProfileWriteBatch>(m_strOptionPath);
}

bool COptionFile::EndBatch() {
  if (!m_batch) return true;
  std::unique_ptr<platform::ProfileWriteBatch> batch = std::move(m_batch);
  if (!batch->HasPendingEdits()) return true;
  CreateDirectoryTree(m_strDataFolder);
  return batch->Commit();
}

}  // namespace hovane
