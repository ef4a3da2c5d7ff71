// The entry points of HoVaneUpdate.so, with C linkage. The linker version
// script (exports.map) keeps everything else of the module local, so the
// module's copies of the control code, the settings and TheModule() are its
// own and no host symbol of the same name can take their place.
//
// ELF has no export ordinals: hosts find the five entry points by name.
#include <atomic>
#include <mutex>

#include "control/app.h"
#include "control/control.h"
#include "control/installer_interface.h"
#include "control/settings.h"
#include "module/installer_proxy.h"
#include "module/registration.h"
#include "platform/component/activation.h"
#include "ui/install_dialog_runner_qt.h"

namespace hovane::module {
namespace {

using platform::Guid;

// The application object initialises when the module is loaded into a
// process: the defaults of the control settings, once. The install dialog
// the checks run is the Qt one.
QtInstallDialogRunner g_installDialog;
const bool g_appReady = [] {
  SetInstallDialogRunner(&g_installDialog);
  return TheApp().InitInstance();
}();

// Set by DllInstall with "user" for the rest of the module's life.
std::atomic<bool> g_perUser{false};

platform::ClassesScope RegistrationScope() {
  return g_perUser.load() ? platform::ClassesScope::User : platform::ClassesScope::Machine;
}

// Any address inside the module names it for ModuleRegistrationPath.
const char kModuleAnchor = 0;

std::string ModulePath() { return platform::ModuleRegistrationPath(&kModuleAnchor); }

// The control's class object. It is made on the first request and kept
// for the life of the module, so its count never destroys it; only
// LockServer holds the module.
class CHoVaneUpdateClassFactory final : public platform::IClassFactory {
 public:
  HRESULT QueryInterface(const Guid& iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid != platform::kIidIUnknown && iid != platform::kIidIClassFactory) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<platform::IClassFactory*>(this);
    return S_OK;
  }
  std::uint32_t AddRef() override { return 2; }
  std::uint32_t Release() override { return 1; }

  HRESULT CreateInstance(platform::IUnknown* outer, const Guid& iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* control = new CHoVaneUpdateInstaller;
    // The extra reference keeps the object alive through a failed query,
    // and its Release then destroys it.
    control->AddRef();
    const HRESULT status = control->QueryInterface(iid, object);
    control->Release();
    return status;
  }
  HRESULT LockServer(bool lock) override {
    if (lock)
      TheModule().Lock();
    else
      TheModule().Unlock();
    return S_OK;
  }
};

std::mutex g_factoryMutex;
CHoVaneUpdateClassFactory* g_factory = nullptr;

CHoVaneUpdateClassFactory& ClassFactory() {
  std::lock_guard lock(g_factoryMutex);
  if (g_factory == nullptr) g_factory = new CHoVaneUpdateClassFactory;
  return *g_factory;
}

// "user" without regard to case over five characters, so the terminator
// must follow at once: "USER" and "User" match, "users" and "user2" do not.
bool IsUserCommand(const char16_t* commandLine) {
  if (commandLine == nullptr) return false;
  constexpr char16_t kUser[] = u"user";
  for (std::size_t i = 0; i < 5; ++i) {
    char16_t c = commandLine[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != kUser[i]) return false;
    if (c == 0) break;
  }
  return true;
}

}  // namespace
}  // namespace hovane::module

using hovane::HRESULT;
namespace module = hovane::module;

#define HOVANE_MODULE_EXPORT extern "C" __attribute__((visibility("default")))

HOVANE_MODULE_EXPORT HRESULT DllCanUnloadNow() {
  if (module::LiveProxyCount() != 0) return hovane::S_FALSE;
  return hovane::TheModule().GetLockCount() == 0 ? hovane::S_OK : hovane::S_FALSE;
}

HOVANE_MODULE_EXPORT HRESULT DllGetClassObject(const hovane::platform::Guid& clsid,
                                               const hovane::platform::Guid& iid, void** object) {
  if (object == nullptr) return hovane::E_POINTER;
  *object = nullptr;
  // The proxy's class id is the interface id. Asked for an interface it
  // does not have, it answers no more than any unknown class does.
  if (clsid == hovane::kIidIHoVaneUpdateInstaller &&
      module::TheProxyFactory().QueryInterface(iid, object) == hovane::S_OK)
    return hovane::S_OK;
  if (clsid == hovane::kClsidHoVaneUpdateInstaller)
    return module::ClassFactory().QueryInterface(iid, object);
  return hovane::CLASS_E_CLASSNOTAVAILABLE;
}

HOVANE_MODULE_EXPORT HRESULT DllRegisterServer() {
  return module::RegisterServer(module::RegistrationScope(), module::ModulePath());
}

HOVANE_MODULE_EXPORT HRESULT DllUnregisterServer() {
  return module::UnregisterServer(module::RegistrationScope(), module::ModulePath());
}

HOVANE_MODULE_EXPORT HRESULT DllInstall(std::int32_t bInstall, const char16_t* pszCmdLine) {
  if (module::IsUserCommand(pszCmdLine)) module::g_perUser.store(true);
  if (bInstall == 0) return DllUnregisterServer();
  const HRESULT status = DllRegisterServer();
  // A failed install takes back what it wrote of the class; the categories
  // it made stay.
  if (status < 0) DllUnregisterServer();
  return status;
}
