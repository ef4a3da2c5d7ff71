// IHoVaneUpdateInstaller: the control's scriptable interface, its fourteen
// methods in dispatch-table order, and the fixed identifiers of the control,
// its interface, events, type library and AppID.
//
// Status codes and out values are those of CHoVaneUpdateInstaller; a
// boolean is written as 1 or 0. Text arguments are UTF-16; null is empty.
// An object offering this interface also offers IDispatch (the same vtable)
// with the dispatch ids of resources/interface_description.h.
//
// Threading: the thread that created the object (a proxy: any one thread
// at a time; each call waits for its answer).
#pragma once

#include <string_view>

#include "platform/component/dispatch.h"
#include "platform/component/guid.h"

namespace hovane {

inline constexpr platform::Guid kClsidHoVaneUpdateInstaller{
    0xBACDCCC3, 0xB6E8, 0x4C43, {0xA2, 0xB3, 0x05, 0xB9, 0x8C, 0xB9, 0x9A, 0x2E}};
inline constexpr platform::Guid kIidIHoVaneUpdateInstaller{
    0xEF8D38F2, 0x3E46, 0x469B, {0x9F, 0x84, 0x00, 0xB0, 0xC3, 0x2B, 0x1F, 0x2A}};
inline constexpr platform::Guid kDiidHoVaneUpdateInstallerEvents{
    0xCCB42F44, 0x2F30, 0x40F4, {0x80, 0x90, 0x22, 0x7E, 0x33, 0xE1, 0xD1, 0x64}};
inline constexpr platform::Guid kLibidHoVaneUpdateLib{
    0xEC2E15EA, 0x36B8, 0x4715, {0xB8, 0x35, 0x37, 0x2C, 0x34, 0xEE, 0x3D, 0xCB}};
inline constexpr platform::Guid kAppIdHoVaneUpdate{
    0x66F893E2, 0x8E42, 0x479C, {0x8A, 0xB2, 0xF4, 0x77, 0x46, 0x34, 0xFC, 0x85}};

inline constexpr std::string_view kProgIdVersioned = "HoVaneUpdate.HoVaneUpdateInstaller.1";
inline constexpr std::string_view kProgId = "HoVaneUpdate.HoVaneUpdateInstaller";

class IHoVaneUpdateInstaller : public platform::IDispatch {
 public:
  virtual HRESULT CheckVersion(VARIANT_BOOL* bResult) = 0;
  virtual HRESULT RealCheckVersion(VARIANT_BOOL* bResult) = 0;
  virtual HRESULT DeleteOldFile(VARIANT_BOOL* bResult) = 0;
  virtual HRESULT IsSucessed(VARIANT_BOOL* bResult) = 0;
  virtual HRESULT CheckUpdateDlg(VARIANT_BOOL* bResult) = 0;
  virtual HRESULT DeleteGarbageFile(VARIANT_BOOL* bResult) = 0;
  virtual HRESULT DeleteInstalledFile(std::u16string_view strFileName, VARIANT_BOOL* bResult) = 0;
  virtual HRESULT DeleteInstalledFolder(VARIANT_BOOL* bResult) = 0;
  virtual HRESULT IsUpdateCheck(VARIANT_BOOL* bResult) = 0;
  virtual HRESULT SetAllFileInstall(VARIANT_BOOL* bResult) = 0;
  virtual HRESULT SetInstallServerInfo(std::u16string_view strKey, std::u16string_view strValue) = 0;
  virtual HRESULT SetVirsionUrl(std::u16string_view strUrl) = 0;
  virtual HRESULT SetForeign(VARIANT_BOOL bIsForeign) = 0;
  virtual HRESULT SingleCheckVersion(VARIANT_BOOL* bResult) = 0;

 protected:
  ~IHoVaneUpdateInstaller() = default;
};

}  // namespace hovane
