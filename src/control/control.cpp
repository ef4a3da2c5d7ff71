#include "control/control.h"

#include <cctype>
#include <cstdlib>

#include "catalogue/version_fetch.h"
#include "catalogue/version_list.h"
#include "control/app.h"
#include "control/settings.h"
#include "platform/codepage/codepage.h"

namespace hovane {
namespace {

// Decimal text as the C library's atol reads it: leading white space, an
// optional sign, digits up to the first other character; no digits give 0.
// Out-of-range values wrap to 32 bits instead of invoking undefined
// behaviour.
std::int32_t DecimalValue(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
  return static_cast<std::int32_t>(negative ? 0u - value : value);
}

}  // namespace

std::int32_t UpdateKindForUrl(std::string_view url) {
  const std::string_view last = LastPathComponent(url);
  if (last == "dn_version.html") return kUpdateKindDn;
  if (last == "up_version.html") return kUpdateKindUp;
  return kUpdateKindOther;
}

HRESULT CHoVaneUpdateInstaller::SetInstallServerInfo(std::u16string_view strKey,
                                                     std::u16string_view strValue) {
  const std::string key = platform::UpperCase(platform::Utf16ToNarrow(strKey));
  std::string value = platform::Utf16ToNarrow(strValue);
  ServerInfo& info = TheModule().m_serverInfo;
  if (key == "SERVERID") info.m_strServerId = value;
  if (key == "SERVERIP") info.m_strServerIp = value;
  if (key == "PORT") info.m_nPort = DecimalValue(value);
  if (key == "USERID") info.m_strUserId = value;
  return S_OK;
}

HRESULT CHoVaneUpdateInstaller::SetVirsionUrl(std::u16string_view strUrl) {
  CHoVaneUpdateModule& module = TheModule();
  module.m_strVersionListUrl = platform::Utf16ToNarrow(strUrl);
  module.m_nUpdateKind = UpdateKindForUrl(module.m_strVersionListUrl);
  return S_OK;
}

HRESULT CHoVaneUpdateInstaller::SetForeign(VARIANT_BOOL bIsForeign) {
  TheModule().m_bForeign = static_cast<std::int32_t>(bIsForeign);
  return S_OK;
}

HRESULT CHoVaneUpdateInstaller::IsUpdateCheck(VARIANT_BOOL* bResult) {
  if (bResult == nullptr) return E_POINTER;
  const CHoVaneUpdateModule& module = TheModule();
  const std::int32_t flag = module.m_nUpdateKind == kUpdateKindUp
                                ? module.m_bUpUpdateSucceeded
                                : module.m_bUpdateSucceeded.load();
  *bResult = ToVariantBool(flag != 0);
  return S_OK;
}

HRESULT CHoVaneUpdateInstaller::IsSucessed(VARIANT_BOOL* bResult) {
  if (bResult == nullptr) return E_POINTER;
  *bResult = kTrue16;
  return S_OK;
}

HRESULT CHoVaneUpdateInstaller::CheckUpdateDlg(VARIANT_BOOL* bResult) {
  if (bResult == nullptr) return E_POINTER;
  *bResult = ToVariantBool(TheModule().m_bInstallDialogOpen != 0);
  return S_OK;
}

void CHoVaneUpdateInstaller::SyncVersionList() {
  const VersionFetchResult result = FetchVersionList(
      TheModule().m_strVersionListUrl, [this] { m_optionFile.BeginBatch(); },
      [this](const VersionListEntry& entry) {
        m_mapServerVersions[entry.name] = entry.version;
        const std::string section = VersionSectionName(entry.position);
        const std::string stored = m_optionFile.GetOptionValue(section, "FileName");
        if (stored.empty() || stored != entry.name) {
          m_optionFile.SetOptionValue(section, "FileName", entry.name);
          m_optionFile.SetOptionValue(section, "Version", kNotInstalledVersion);
        }
      });
  m_optionFile.EndBatch();
  ReportFetchFailure(result);
}

std::size_t CHoVaneUpdateInstaller::PrepareCheck(LegacyCopy legacy) {
  m_optionFile.SelectVersionFile(TheModule().m_strVersionListUrl);
  m_optionFile.EnsureVersionFile();
  if (legacy == LegacyCopy::Remove) m_optionFile.RemoveLegacyVersionFile();
  SyncVersionList();
  return m_mapServerVersions.size();
}

void CHoVaneUpdateInstaller::ForEachOutOfDatePosition(
    std::size_t count, const std::function<bool(std::size_t, const std::string&)>& visit) {
  // One parse of the version file serves every read of the loop.
  m_optionFile.BeginBatch();
  for (std::size_t k = 1; k <= count; ++k) {
    const std::string section = VersionSectionName(static_cast<std::int32_t>(k));
    const std::string storedName = m_optionFile.GetOptionValue(section, "FileName");
    const std::string storedVersion = m_optionFile.GetOptionValue(section, "Version");
    auto server = m_mapServerVersions.find(storedName);
    const std::string_view serverVersion =
        server == m_mapServerVersions.end() ? std::string_view() : server->second;
    if (storedVersion != serverVersion && !visit(k, storedName)) break;
  }
  m_optionFile.EndBatch();
}

HRESULT CHoVaneUpdateInstaller::SingleCheckVersion(VARIANT_BOOL* bResult) {
  if (bResult == nullptr) return E_POINTER;
  TheModule().m_bExeInFetchList = 0;
  const std::size_t count = PrepareCheck(LegacyCopy::Remove);
  bool current = true;
  ForEachOutOfDatePosition(count, [&](std::size_t, const std::string&) {
    current = false;
    return false;
  });
  *bResult = ToVariantBool(current);
  return current ? S_OK : S_FALSE;
}

HRESULT CHoVaneUpdateInstaller::SetAllFileInstall(VARIANT_BOOL* bResult) {
  if (bResult == nullptr) return E_POINTER;
  *bResult = ToVariantBool(m_optionFile.ResetVersionList() != 0);
  return S_OK;
}

}  // namespace hovane
