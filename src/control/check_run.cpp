// The check and install run: CheckVersion and RealCheckVersion.
#include <cstring>

#include "catalogue/foreign_marker.h"
#include "catalogue/locations.h"
#include "control/control.h"
#include "control/install_dialog_runner.h"
#include "control/settings.h"
#include "platform/codepage/codepage.h"
#include "platform/component/component.h"
#include "platform/component/elevation.h"
#include "platform/msgbox/message_box.h"
#include "resources/texts.h"

namespace hovane {
namespace {

constexpr char kMainProgramName[] = "HoVane.exe";
constexpr char kForeignMainProgramName[] = "GlobalHoVane.exe";
constexpr char kElevationMonikerPrefix[] = "Elevation:Administrator!new:";

// Text for the interface. The settings were converted from UTF-16 on their
// way in, so they convert back; anything else is handed on empty.
std::u16string Wide(std::string_view narrow) {
  return platform::NarrowToUtf16(narrow).value_or(std::u16string());
}

InstallDialogRunner*& RegisteredRunner() {
  static InstallDialogRunner* runner = nullptr;
  return runner;
}

// The extension as the program-file test reads it: after the last '.',
// upper-cased; the whole name when there is none.
bool IsProgramName(std::string_view name) {
  const std::size_t dot = platform::FindLastChar(name, '.');
  const std::string_view extension = dot == std::string_view::npos ? name : name.substr(dot + 1);
  return platform::UpperCase(extension) == "EXE";
}

}  // namespace

void SetInstallDialogRunner(InstallDialogRunner* runner) { RegisteredRunner() = runner; }
InstallDialogRunner* GetInstallDialogRunner() { return RegisteredRunner(); }

HRESULT CHoVaneUpdateInstaller::CheckVersion(VARIANT_BOOL* bResult) {
  if (bResult == nullptr) return E_POINTER;
  // Never balanced, as the page's thread stays in its apartment; a thread
  // already in another kind of apartment keeps it.
  platform::InitializeApartment(platform::Apartment::SingleThreaded);

  const std::size_t count = PrepareCheck(LegacyCopy::Keep);
  bool outOfDate = false;
  ForEachOutOfDatePosition(count, [&](std::size_t, const std::string&) {
    outOfDate = true;
    return false;
  });
  if (!outOfDate) return S_OK;

  CHoVaneUpdateModule& module = TheModule();
  if (!module.IsVistaOrLater()) {
    static_cast<IHoVaneUpdateInstaller*>(this)->RealCheckVersion(bResult);
    return S_OK;
  }

  const std::u16string moniker =
      Wide(std::string(kElevationMonikerPrefix) + platform::FormatGuid(kClsidHoVaneUpdateInstaller));
  platform::ComPtr<IHoVaneUpdateInstaller> elevated;
  if (platform::BindToObject(moniker, kIidIHoVaneUpdateInstaller, elevated.Out()) < 0) {
    *bResult = kFalse16;
    return S_OK;
  }

  // The elevated instance starts with its own defaults; the server id is
  // not handed over and stays empty there.
  const ServerInfo& info = module.m_serverInfo;
  elevated->SetInstallServerInfo(u"SERVERIP", Wide(info.m_strServerIp));
  elevated->SetInstallServerInfo(u"PORT", Wide(std::to_string(info.m_nPort)));
  elevated->SetInstallServerInfo(u"USERID", Wide(info.m_strUserId));
  elevated->SetVirsionUrl(Wide(module.m_strVersionListUrl));
  elevated->SetForeign(static_cast<VARIANT_BOOL>(module.m_bForeign & 0xFFFF));

  VARIANT_BOOL elevatedResult = kFalse16;
  const HRESULT status = elevated->RealCheckVersion(&elevatedResult);
  const std::int32_t succeeded = status == S_OK ? 1 : 0;
  if (module.m_nUpdateKind == kUpdateKindUp)
    module.m_bUpUpdateSucceeded = succeeded;
  else
    module.m_bUpdateSucceeded = succeeded;
  elevated.Reset();

  *bResult = static_cast<VARIANT_BOOL>(module.m_bUpdateSucceeded.load() & 0xFFFF);
  return S_OK;
}

HRESULT CHoVaneUpdateInstaller::RealCheckVersion(VARIANT_BOOL* bResult) {
  if (bResult == nullptr) return E_POINTER;
  CHoVaneUpdateModule& module = TheModule();
  module.m_bExeInFetchList = 0;
  const std::size_t count = PrepareCheck(LegacyCopy::Remove);

  module.FreeFetchList();
  module.AllocFetchList(count);
  std::int32_t used = 0;
  ForEachOutOfDatePosition(count, [&](std::size_t, const std::string& storedName) {
    std::string name = storedName;
    if (name == kMainProgramName && module.m_bForeign != 0) name = kForeignMainProgramName;
    m_optionFile.SetForeignSetupMarker(module.m_bForeign);
    // A name that does not fit a record could only be cut into the name of
    // some other file; it is left out, and so is its program-file test, so
    // that the flag describes exactly what the list holds.
    if (name.size() >= kFetchNameSize) return true;
    if (IsProgramName(name)) module.m_bExeInFetchList = 1;
    std::memcpy(module.m_pFetchList[used].szName, name.c_str(), name.size() + 1);
    ++used;
    return true;
  });

  if (used == 0) {
    module.FreeFetchList();
    *bResult = kTrue16;
    return S_OK;
  }

  static_cast<IHoVaneUpdateInstaller*>(this)->DeleteOldFile(bResult);

  if (!DeleteFolder(GetTempFolder())) {
    platform::ShowMessage(Text(TextId::kTextPrepareFailed), Text(TextId::kTextModuleTitle));
    *bResult = kFalse16;
    return S_FALSE;
  }
  module.m_pFetchList[0].nCount = used;

  if (InstallDialogRunner* dialog = GetInstallDialogRunner()) dialog->RunModal();

  const bool succeeded = module.m_bUpdateSucceeded != 0;
  *bResult = ToVariantBool(succeeded);
  return succeeded ? S_OK : S_FALSE;
}

}  // namespace hovane
