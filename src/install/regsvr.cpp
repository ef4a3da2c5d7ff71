#include "install/regsvr.h"

#include "platform/com/status.h"
#include "platform/component/component.h"

namespace hovane {
namespace {

using DllRegisterServerEntry = HRESULT();

}  // namespace

CRegsvr::~CRegsvr() = default;

std::int32_t CRegsvr::Register(std::string_view path) {
  // Initialising the apartment again on a thread that is already
  // single-threaded is a success too; each success is balanced below.
  if (platform::InitializeApartment(platform::Apartment::SingleThreaded) < 0)
    return kRegsvrInitFailed;

  // Windows is also told here to fail critical errors (an unavailable medium)
  // without a dialog; loading a module on Linux never asks the user, so
  // there is no mode to set.
  platform::LoadedModule module = platform::LoadedModule::Load(path);
  if (!module.IsLoaded()) {
    platform::UninitializeApartment();
    return kRegsvrLoadFailed;
  }

  std::int32_t code = kRegsvrNoEntry;
  if (auto* entry = module.FindFunction<DllRegisterServerEntry>("DllRegisterServer"))
    code = entry() < 0 ? kRegsvrEntryFailed : kRegsvrOk;
  module.Close();
  platform::UninitializeApartment();
  return code;
}

}  // namespace hovane
