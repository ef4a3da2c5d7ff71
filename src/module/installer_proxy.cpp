#include "module/installer_proxy.h"

#include <atomic>
#include <string>
#include <vector>

#include "control/installer_interface.h"
#include "resources/interface_description.h"

namespace hovane::module {
namespace {

using platform::ComPtr;
using platform::Guid;
using platform::IDispatch;
using platform::Variant;

std::atomic<std::int32_t> g_liveProxies{0};

enum Dispid : std::int32_t {
  kCheckVersion = 1,
  kRealCheckVersion,
  kDeleteOldFile,
  kIsSucessed,
  kCheckUpdateDlg,
  kDeleteGarbageFile,
  kDeleteInstalledFile,
  kDeleteInstalledFolder,
  kIsUpdateCheck,
  kSetAllFileInstall,
  kSetInstallServerInfo,
  kSetVirsionUrl,
  kSetForeign,
  kSingleCheckVersion,
};

bool IsOfferedInterface(const Guid& iid) {
  return iid == platform::kIidIUnknown || iid == platform::kIidIDispatch ||
         iid == kIidIHoVaneUpdateInstaller;
}

class CInstallerProxy final : public IHoVaneUpdateInstaller {
 public:
  explicit CInstallerProxy(IDispatch* channel) {
    channel->AddRef();
    channel_ = ComPtr<IDispatch>::Adopt(channel);
    ++g_liveProxies;
  }
  ~CInstallerProxy() { --g_liveProxies; }
  CInstallerProxy(const CInstallerProxy&) = delete;
  CInstallerProxy& operator=(const CInstallerProxy&) = delete;

  HRESULT QueryInterface(const Guid& iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (!IsOfferedInterface(iid)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IHoVaneUpdateInstaller*>(this);
    AddRef();
    return S_OK;
  }
  std::uint32_t AddRef() override { return ++refCount_; }
  std::uint32_t Release() override {
    const std::uint32_t count = --refCount_;
    if (count == 0) delete this;
    return count;
  }

  // Names are answered here from the interface description, without a
  // round trip; the ids are the same on both sides.
  HRESULT GetIDOfName(std::u16string_view name, std::int32_t* dispid) override {
    if (dispid == nullptr) return E_POINTER;
    *dispid = -1;
    std::string ascii;
    for (char16_t c : name) {
      if (c == 0 || c > 0x7F) return DISP_E_UNKNOWNNAME;
      ascii += static_cast<char>(c);
    }
    const auto* method = interface_description::FindMethod(ascii);
    if (method == nullptr) return DISP_E_UNKNOWNNAME;
    *dispid = method->dispid;
    return S_OK;
  }
  HRESULT Invoke(std::int32_t dispid, std::span<Variant> args) override {
    return channel_->Invoke(dispid, args);
  }

  HRESULT CheckVersion(VARIANT_BOOL* bResult) override { return Out(kCheckVersion, bResult); }
  HRESULT RealCheckVersion(VARIANT_BOOL* bResult) override {
    return Out(kRealCheckVersion, bResult);
  }
  HRESULT DeleteOldFile(VARIANT_BOOL* bResult) override { return Out(kDeleteOldFile, bResult); }
  HRESULT IsSucessed(VARIANT_BOOL* bResult) override { return Out(kIsSucessed, bResult); }
  HRESULT CheckUpdateDlg(VARIANT_BOOL* bResult) override { return Out(kCheckUpdateDlg, bResult); }
  HRESULT DeleteGarbageFile(VARIANT_BOOL* bResult) override {
    return Out(kDeleteGarbageFile, bResult);
  }
  HRESULT DeleteInstalledFile(std::u16string_view strFileName, VARIANT_BOOL* bResult) override {
    return Out(kDeleteInstalledFile, bResult, {Variant::String(std::u16string(strFileName))});
  }
  HRESULT DeleteInstalledFolder(VARIANT_BOOL* bResult) override {
    return Out(kDeleteInstalledFolder, bResult);
  }
  HRESULT IsUpdateCheck(VARIANT_BOOL* bResult) override { return Out(kIsUpdateCheck, bResult); }
  HRESULT SetAllFileInstall(VARIANT_BOOL* bResult) override {
    return Out(kSetAllFileInstall, bResult);
  }
  HRESULT SetInstallServerInfo(std::u16string_view strKey, std::u16string_view strValue) override {
    std::vector<Variant> args{Variant::String(std::u16string(strKey)),
                              Variant::String(std::u16string(strValue))};
    return channel_->Invoke(kSetInstallServerInfo, args);
  }
  HRESULT SetVirsionUrl(std::u16string_view strUrl) override {
    std::vector<Variant> args{Variant::String(std::u16string(strUrl))};
    return channel_->Invoke(kSetVirsionUrl, args);
  }
  HRESULT SetForeign(VARIANT_BOOL bIsForeign) override {
    std::vector<Variant> args{Variant::Bool(bIsForeign)};
    return channel_->Invoke(kSetForeign, args);
  }
  HRESULT SingleCheckVersion(VARIANT_BOOL* bResult) override {
    return Out(kSingleCheckVersion, bResult);
  }

 private:
  // A method whose last parameter is the boolean out value.
  HRESULT Out(std::int32_t dispid, VARIANT_BOOL* result, std::vector<Variant> args = {}) {
    if (result == nullptr) return E_POINTER;
    args.emplace_back();
    const HRESULT status = channel_->Invoke(dispid, args);
    if (status < 0) return status;
    const Variant& out = args.back();
    if (out.type != Variant::Type::Bool) return E_UNEXPECTED;
    *result = out.boolValue;
    return status;
  }

  std::atomic<std::uint32_t> refCount_{0};
  ComPtr<IDispatch> channel_;
};

// Kept for the life of the module: the count never destroys it.
class CInstallerProxyFactory final : public platform::IProxyFactory {
 public:
  HRESULT QueryInterface(const Guid& iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid != platform::kIidIUnknown && iid != platform::kIidIProxyFactory) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<platform::IProxyFactory*>(this);
    AddRef();
    return S_OK;
  }
  std::uint32_t AddRef() override { return 2; }
  std::uint32_t Release() override { return 1; }

  HRESULT CreateProxy(IDispatch* channel, const Guid& iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (channel == nullptr) return E_POINTER;
    if (!IsOfferedInterface(iid)) return E_NOINTERFACE;
    auto* proxy = new CInstallerProxy(channel);
    proxy->AddRef();
    const HRESULT status = proxy->QueryInterface(iid, object);
    proxy->Release();
    return status;
  }
};

}  // namespace

platform::IProxyFactory& TheProxyFactory() {
  static CInstallerProxyFactory factory;
  return factory;
}

std::int32_t LiveProxyCount() { return g_liveProxies.load(); }

}  // namespace hovane::module
