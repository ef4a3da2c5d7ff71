// CHoVaneUpdateInstaller: the control object that the page creates and
// drives through the methods of IHoVaneUpdateInstaller.
//
// Every method runs to its end on the caller's thread (the page's thread)
// and returns a status code; booleans are written through the out pointer
// as 1 or 0. Text arguments arrive as UTF-16 and are converted to the system
// code page; a null argument is the empty text (an empty view).
//
// The control settings the methods use are process-wide (TheModule()), so
// every control object in a process shares them. Each object owns its
// COptionFile and the map of server versions its checks have fetched.
//
// As a component object it is reference counted and offers IUnknown,
// IDispatch and IHoVaneUpdateInstaller (one vtable). While it lives it holds
// one lock of the module (TheModule().Lock()). An object made by the class
// factory (new, then QueryInterface) deletes itself at its last Release; an
// object built on the stack or as a member must not be Released to zero.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>

#include "catalogue/option_file.h"
#include "control/app.h"
#include "control/installer_interface.h"
#include "platform/com/status.h"

namespace hovane {

// The update kind chosen by the version list URL's last path component.
std::int32_t UpdateKindForUrl(std::string_view url);

// The control's extent, its only persisted properties "_cx" and "_cy", in
// units of 0.01 mm.
struct ControlExtent {
  std::int32_t cx = 5080;
  std::int32_t cy = 5080;
  friend bool operator==(const ControlExtent&, const ControlExtent&) = default;
};

// The control's outgoing interface _IHoVaneUpdateInstallerEvents
// (kDiidHoVaneUpdateInstallerEvents): a dispatch interface without members.
// The control never raises an event, so a sink needs nothing beyond
// IDispatch, and every dispatch id it is asked about is unknown.

class CHoVaneUpdateInstaller : public IHoVaneUpdateInstaller {
 public:
  // Makes sure the module's defaults are assigned, then builds the object's
  // COptionFile and takes one lock of the module. Touches no file. The
  // reference count starts at 0.
  CHoVaneUpdateInstaller();
  virtual ~CHoVaneUpdateInstaller();
  CHoVaneUpdateInstaller(const CHoVaneUpdateInstaller&) = delete;
  CHoVaneUpdateInstaller& operator=(const CHoVaneUpdateInstaller&) = delete;

  // IUnknown: kIidIUnknown, kIidIDispatch and kIidIHoVaneUpdateInstaller
  // all answer this object; anything else E_NOINTERFACE.
  HRESULT QueryInterface(const platform::Guid& iid, void** object) override;
  std::uint32_t AddRef() override;
  std::uint32_t Release() override;

  // IDispatch over the interface description: names compared without case;
  // arguments checked for count (DISP_E_BADPARAMCOUNT) and type
  // (DISP_E_TYPEMISMATCH: a text parameter takes a String or Empty (null),
  // a boolean one a Bool, an out parameter Empty or Bool) before anything
  // is called. An out parameter's variant becomes the Bool written.
  HRESULT GetIDOfName(std::u16string_view name, std::int32_t* dispid) override;
  HRESULT Invoke(std::int32_t dispid, std::span<platform::Variant> args) override;

  // The persisted extent: Save writes "_cx" and "_cy"; Load takes what it
  // finds of them and keeps the rest.
  const ControlExtent& Extent() const { return m_sizeExtent; }
  void SaveExtent(std::map<std::string, std::int32_t>* properties) const;
  void LoadExtent(const std::map<std::string, std::int32_t>& properties);

  // The check and install run (check_run.cpp).
  HRESULT CheckVersion(VARIANT_BOOL* bResult) override;
  HRESULT RealCheckVersion(VARIANT_BOOL* bResult) override;

  // Stores one field of the file-server settings: "SERVERID", "SERVERIP",
  // "PORT" (decimal) or "USERID", the key compared after upper-casing. Any
  // other key changes nothing. S_OK.
  HRESULT SetInstallServerInfo(std::u16string_view strKey, std::u16string_view strValue) override;
  // Sets the version list URL and the update kind it selects. S_OK.
  HRESULT SetVirsionUrl(std::u16string_view strUrl) override;
  // Sets the foreign setting: the 16-bit value sign-extended. S_OK.
  HRESULT SetForeign(VARIANT_BOOL bIsForeign) override;
  // 1 when the update-succeeded flag of the current update kind is set. S_OK.
  HRESULT IsUpdateCheck(VARIANT_BOOL* bResult) override;
  // 1, always. S_OK.
  HRESULT IsSucessed(VARIANT_BOOL* bResult) override;
  // 1 while the install dialog exists. S_OK.
  HRESULT CheckUpdateDlg(VARIANT_BOOL* bResult) override;

  // Checks whether every file of the version list is current, installing
  // nothing: S_OK with 1 when all are, S_FALSE with 0 at the first that is not.
  HRESULT SingleCheckVersion(VARIANT_BOOL* bResult) override;
  // Marks every file of the list that the last check through this object
  // selected as not installed: 1 on success, 0 after a reported failed fetch
  // (also before any check, when no URL is selected yet). S_OK.
  HRESULT SetAllFileInstall(VARIANT_BOOL* bResult) override;

  // Removes the cached controls and the old system-folder files of the
  // current update kind. 1, always. S_OK.
  HRESULT DeleteOldFile(VARIANT_BOOL* bResult) override;
  // Removes all three cached controls whatever the update kind, then the old
  // system-folder files of the current kind, and tells the user that the
  // deletion succeeded. 1, always. S_OK.
  HRESULT DeleteGarbageFile(VARIANT_BOOL* bResult) override;
  // Deletes install folder + "\" + strFileName: 1 when the deletion
  // succeeded. A name that leads out of the install folder (rooted, with a
  // drive, or with ".." steps) is refused with 0. S_OK.
  HRESULT DeleteInstalledFile(std::u16string_view strFileName, VARIANT_BOOL* bResult) override;
  // Deletes the install folder with everything in it (DeleteFolder). S_OK.
  HRESULT DeleteInstalledFolder(VARIANT_BOOL* bResult) override;
  // Deletes the files of folder and, recursively, its sub-folders, then the
  // folder itself. The answer is that of the last file deletion attempted
  // directly in folder, or true when it held no file directly (also when it
  // does not exist); failures in sub-folders do not count.
  static bool DeleteFolder(std::string_view folder);

  // Fetches the list at the module's URL into m_mapServerVersions and
  // repairs every position whose stored name is empty or differs from the
  // list's, writing the list's name and the not-installed marker there.
  void SyncVersionList();

  COptionFile& OptionFile() { return m_optionFile; }
  const std::map<std::string, std::string>& ServerVersions() const { return m_mapServerVersions; }

 protected:
  enum class LegacyCopy { Remove, Keep };
  // The check procedure up to the comparison: selects the version file for
  // the module's URL, creates it when missing, removes its earlier copy when
  // asked, and syncs with the list. Returns the number of positions to visit.
  std::size_t PrepareCheck(LegacyCopy legacy);
  // Visits positions 1..count, reading the version file once, and calls
  // visit(position, storedName) for each position that is out of date;
  // visiting stops when visit returns false.
  void ForEachOutOfDatePosition(
      std::size_t count, const std::function<bool(std::size_t, const std::string&)>& visit);

  // Assigns the module's defaults before anything else of the object is built.
  bool m_bModuleReady = TheApp().InitInstance();
  std::atomic<std::uint32_t> m_nRefCount{0};
  ControlExtent m_sizeExtent;
  COptionFile m_optionFile;
  // File name -> server version, from every list fetched through this object.
  std::map<std::string, std::string> m_mapServerVersions;
};

}  // namespace hovane
