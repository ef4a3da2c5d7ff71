// Front door of the component runtime: apartments (plain per-thread state)
// and the Windows-style paths of modules.
#include "platform/component/component.h"

#include "platform/component/component_backend.h"
#include "platform/component/remote_backend.h"
#include "platform/files/files.h"

namespace hovane::platform {
namespace {

struct ApartmentState {
  Apartment kind = Apartment::None;
  unsigned initCount = 0;
};

ApartmentState& ThisThread() {
  thread_local ApartmentState state;
  return state;
}

}  // namespace

HRESULT InitializeApartment(Apartment kind) {
  if (kind == Apartment::None) return E_INVALIDARG;
  ApartmentState& state = ThisThread();
  if (state.initCount == 0) {
    state.kind = kind;
    state.initCount = 1;
    return S_OK;
  }
  if (state.kind != kind) return RPC_E_CHANGED_MODE;
  ++state.initCount;
  return S_FALSE;
}

void UninitializeApartment() {
  ApartmentState& state = ThisThread();
  if (state.initCount == 0) return;
  if (--state.initCount == 0) state.kind = Apartment::None;
}

Apartment CurrentApartment() { return ThisThread().kind; }

struct LoadedModule::Impl {
  backend::HostModule* module = nullptr;
  ~Impl() {
    if (module) backend::UnloadHostModule(module);
  }
};

LoadedModule::LoadedModule() = default;
LoadedModule::~LoadedModule() = default;
LoadedModule::LoadedModule(LoadedModule&&) noexcept = default;
LoadedModule& LoadedModule::operator=(LoadedModule&&) noexcept = default;

LoadedModule LoadedModule::LoadHostPath(const std::string& hostPath,
                                        const ModuleLoadOptions& options, ModuleError* error,
                                        std::string* detail) {
  LoadedModule result;
  ModuleError reason = ModuleError::Ok;
  std::string message;
  if (backend::HostModule* module = backend::LoadHostModule(hostPath, options, &reason, &message)) {
    result.impl_ = std::make_unique<Impl>();
    result.impl_->module = module;
    reason = ModuleError::Ok;
    message.clear();
  }
  if (error) *error = reason;
  if (detail) *detail = std::move(message);
  return result;
}

LoadedModule LoadedModule::Load(std::string_view path, const ModuleLoadOptions& options,
                                ModuleError* error, std::string* detail) {
  FileError fileError = FileError::Ok;
  auto host = ToHostPath(path, &fileError);
  if (!host) {
    if (error) *error = ModuleError::NotFound;
    if (detail) *detail = DescribeFileError(fileError);
    return {};
  }
  return LoadHostPath(*host, options, error, detail);
}

bool LoadedModule::IsLoaded() const { return impl_ && impl_->module; }

void* LoadedModule::FindExport(std::string_view name) const {
  if (!IsLoaded()) return nullptr;
  return backend::FindHostModuleExport(impl_->module, std::string(name));
}

void LoadedModule::Close() { impl_.reset(); }

std::string RunningExecutableFolder() { return backend::RunningExecutableFolder(); }

}  // namespace hovane::platform
