// The elevation moniker: registration checks, the consent step, starting
// the surrogate and wrapping its channel into the interface's proxy.
#include "platform/component/elevation.h"

#include <cstdio>
#include <cstdlib>

#include "platform/component/activation.h"
#include "platform/component/component.h"
#include "platform/component/dispatch.h"
#include "platform/component/remote.h"
#include "platform/component/remote_backend.h"
#include "platform/prefix/prefix.h"
#include "platform/registry/registry.h"

namespace hovane::platform {
namespace {

constexpr std::u16string_view kMonikerPrefix = u"Elevation:Administrator!new:";
constexpr char kSurrogateName[] = "hovane-surrogate";
// The descriptor number the surrogate finds its end of the channel at.
constexpr int kSurrogateChannel = 3;

constexpr char16_t FoldAscii(char16_t c) { return c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c; }

std::string MachineClasses(const std::string& subKey) { return "SOFTWARE\\Classes\\" + subKey; }

// The proxy class object of interface iid.
HRESULT GetProxyFactory(const Guid& iid, ComPtr<IProxyFactory>* factory) {
  const auto proxyText = LookUpClassesText("Interface\\" + FormatGuid(iid) + "\\ProxyStubClsid32");
  const auto proxyClsid = proxyText ? ParseGuid(*proxyText) : std::nullopt;
  if (!proxyClsid) return REGDB_E_IIDNOTREG;
  // The proxy's module is loaded and kept like any class module.
  const HRESULT status = GetClassObject(*proxyClsid, kIidIProxyFactory, factory->Out());
  if (status == S_OK && !*factory) return E_UNEXPECTED;
  return status;
}

// Starts the surrogate for clsid and waits for its announcement.
HRESULT StartSurrogate(const Guid& clsid, ComPtr<IDispatch>* channel) {
  const std::string program = SurrogateProgram();
  if (program.empty()) {
    std::fprintf(stderr,
                 "hovane: the elevation surrogate %s was found neither beside this program, nor "
                 "through HOVANE_SURROGATE, nor in %s\n",
                 kSurrogateName, HOVANE_LIBEXEC_DIR);
    return CO_E_SERVER_EXEC_FAILURE;
  }
  ChannelEnds ends;
  if (!MakeChannelEnds(&ends)) return E_OUTOFMEMORY;
  std::string error;
  const int process = backend::StartProcess(program,
                                            {kSurrogateName, "--clsid", FormatGuid(clsid),
                                             "--channel", std::to_string(kSurrogateChannel)},
                                            {"HOVANE_PREFIX=" + PrefixRoot()}, ends.theirs,
                                            kSurrogateChannel, &error);
  CloseChannelEnd(ends.theirs);
  if (process < 0) {
    CloseChannelEnd(ends.ours);
    std::fprintf(stderr, "hovane: cannot start %s: %s\n", program.c_str(), error.c_str());
    return CO_E_SERVER_EXEC_FAILURE;
  }
  IDispatch* made = nullptr;
  const HRESULT status = CreateDispatchChannel(ends.ours, process, &made);
  *channel = ComPtr<IDispatch>::Adopt(made);
  // A surrogate that ended without saying how the creation went could not
  // run at all (a missing library, a crash while loading the module).
  return status == RPC_E_DISCONNECTED ? CO_E_SERVER_EXEC_FAILURE : status;
}

}  // namespace

std::optional<Guid> ParseElevationMoniker(std::u16string_view moniker) {
  if (moniker.size() != kMonikerPrefix.size() + kGuidTextLength) return std::nullopt;
  for (std::size_t i = 0; i < kMonikerPrefix.size(); ++i)
    if (FoldAscii(moniker[i]) != FoldAscii(kMonikerPrefix[i])) return std::nullopt;
  std::string text;
  for (char16_t unit : moniker.substr(kMonikerPrefix.size())) {
    if (unit > 0x7F) return std::nullopt;
    text += static_cast<char>(unit);
  }
  return ParseGuid(text);
}

bool IsRegisteredForElevation(const Guid& clsid) {
  const std::string classKey = MachineClasses("CLSID\\" + FormatGuid(clsid));
  RegistryKey key, elevation, appIdKey;
  if (OpenRegistryKey(RegistryHive::LocalMachine, classKey, RegAccess::Read, &key) != RegStatus::Ok)
    return false;
  std::uint32_t enabled = 0;
  if (key.Open("Elevation", RegAccess::Read, &elevation) != RegStatus::Ok ||
      elevation.QueryDword("Enabled", &enabled) != RegStatus::Ok || enabled != 1)
    return false;
  std::string appId, localized;
  if (key.QueryString("AppID", &appId) != RegStatus::Ok || !ParseGuid(appId)) return false;
  RegistryValue surrogate;
  if (OpenRegistryKey(RegistryHive::LocalMachine, MachineClasses("AppID\\" + appId),
                      RegAccess::Read, &appIdKey) != RegStatus::Ok ||
      appIdKey.QueryValue("DllSurrogate", &surrogate) != RegStatus::Ok)
    return false;
  return key.QueryString("LocalizedString", &localized) == RegStatus::Ok && !localized.empty();
}

bool MayWriteMachineAreas(const std::string& prefixRoot) {
  // The registry folder itself counts: the hive's journal is made beside it.
  const char* const areas[] = {
      "/registry",        "/registry/machine.db",      "/drive_c/Program Files",
      "/drive_c/windows", "/drive_c/windows/system32", "/drive_c/windows/Downloaded Program Files",
  };
  for (const char* area : areas)
    if (!backend::MayWrite(prefixRoot + area)) return false;
  return true;
}

std::string SurrogateProgram() {
  const std::string folder = backend::RunningExecutableFolder();
  if (!folder.empty()) {
    // Beside the program (a build tree), or in the libexec folder next to
    // the program's bin folder (an installation moved as a whole).
    for (const std::string& candidate :
         {folder + "/" + kSurrogateName, folder + "/../libexec/" + kSurrogateName}) {
      if (backend::IsExecutableFile(candidate)) return candidate;
    }
  }
  if (const char* named = std::getenv("HOVANE_SURROGATE"); named && *named) {
    if (backend::IsExecutableFile(named)) return named;
  }
  const std::string installed = std::string(HOVANE_LIBEXEC_DIR) + "/" + kSurrogateName;
  return backend::IsExecutableFile(installed) ? installed : std::string();
}

std::string AdministratorRightsNote(const std::string& prefixRoot) {
  return "hovane: the prefix " + prefixRoot +
         " needs administrator rights: this user may not write its machine areas (the machine "
         "registry hive, Program Files, windows), so the administrator instance was not started";
}

HRESULT BindToObject(std::u16string_view moniker, const Guid& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  const auto clsid = ParseElevationMoniker(moniker);
  if (!clsid) return MK_E_SYNTAX;
  if (!IsRegisteredForElevation(*clsid)) return kStatusCancelled;
  const std::string root = PrefixRoot();
  if (!MayWriteMachineAreas(root)) {
    std::fprintf(stderr, "%s\n", AdministratorRightsNote(root).c_str());
    return kStatusCancelled;
  }

  // The proxy class is found before the surrogate starts, so that an
  // interface without one costs no process.
  const bool plainDispatch = iid == kIidIDispatch || iid == kIidIUnknown;
  ComPtr<IProxyFactory> factory;
  if (!plainDispatch) {
    const HRESULT status = GetProxyFactory(iid, &factory);
    if (status != S_OK) return status;
  }
  ComPtr<IDispatch> channel;
  const HRESULT status = StartSurrogate(*clsid, &channel);
  if (status != S_OK) return status;
  if (plainDispatch) return channel->QueryInterface(iid, object);
  return factory->CreateProxy(channel.Get(), iid, object);
}

}  // namespace hovane::platform
