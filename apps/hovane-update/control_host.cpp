#include "control_host.h"

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/codepage/codepage.h"
#include "platform/component/activation.h"
#include "platform/component/component.h"
#include "platform/component/dispatch.h"
#include "platform/component/elevation.h"
#include "platform/prefix/prefix.h"
#include "platform/registry/registry.h"
#include "resources/interface_description.h"

namespace hovane::host {
namespace {

namespace fs = std::filesystem;
namespace description = interface_description;
using platform::Variant;

constexpr char kModuleFileName[] = "HoVaneUpdate.so";
// A value CheckVersion never writes: it stays when every file is current.
constexpr VARIANT_BOOL kUnwritten = -2;

std::u16string Utf16(const std::string& utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toStdU16String();
}
// Narrow registry text (system code page) for the terminal.
std::string Shown(const std::string& narrow) { return platform::NarrowToUtf8(narrow).value_or(narrow); }

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

std::string StatusText(HRESULT status) {
  if (status == S_OK) return "S_OK";
  if (status == S_FALSE) return "S_FALSE";
  return Hex(static_cast<std::uint32_t>(status));
}

int ExitFor(HRESULT status) {
  if (status < 0) return kExitFailure;
  return status == S_OK ? kExitYes : kExitNo;
}

using DllRegisterEntry = HRESULT();
using DllInstallEntry = HRESULT(std::int32_t, const char16_t*);

struct RegistryPath {
  platform::RegistryHive hive;
  std::string subKey;
};

std::optional<RegistryPath> ParseRegistryPath(const std::string& path) {
  const std::pair<const char*, platform::RegistryHive> roots[] = {
      {"HKLM\\", platform::RegistryHive::LocalMachine},
      {"HKEY_LOCAL_MACHINE\\", platform::RegistryHive::LocalMachine},
      {"HKCU\\", platform::RegistryHive::CurrentUser},
      {"HKEY_CURRENT_USER\\", platform::RegistryHive::CurrentUser}};
  for (const auto& [root, hive] : roots) {
    const std::string prefix = root;
    if (path.size() >= prefix.size() && QString::fromStdString(path.substr(0, prefix.size()))
                                                .compare(QString::fromLatin1(root),
                                                         Qt::CaseInsensitive) == 0)
      return RegistryPath{hive, path.substr(prefix.size())};
  }
  return std::nullopt;
}

std::optional<VARIANT_BOOL> ParseBool(const std::string& text) {
  const QString lower = QString::fromStdString(text).toLower();
  if (lower == "1" || lower == "true" || lower == "yes") return kTrue16;
  if (lower == "0" || lower == "false" || lower == "no") return kFalse16;
  return std::nullopt;
}

}  // namespace

std::string ControlHost::FindModule() {
  if (const char* named = std::getenv("HOVANE_MODULE"); named != nullptr && *named)
    return fs::is_regular_file(named) ? named : std::string();
  const fs::path folder = platform::RunningExecutableFolder();
  if (folder.empty()) return {};
  for (const fs::path& candidate : {folder / ".." / "lib" / "hovane" / kModuleFileName,
                                   folder / ".." / "lib" / kModuleFileName}) {
    std::error_code error;
    if (fs::is_regular_file(candidate, error)) return fs::weakly_canonical(candidate, error).string();
  }
  return {};
}

int ControlHost::Register(bool perUser, bool remove) {
  const std::string path = FindModule();
  if (path.empty()) {
    err_ << "hovane-update: the control module " << kModuleFileName
         << " was not found beside this program; set HOVANE_MODULE to its path\n";
    return kExitFailure;
  }
  std::string detail;
  platform::LoadedModule module =
      platform::LoadedModule::LoadHostPath(path, {}, nullptr, &detail);
  auto* install = module.FindFunction<DllInstallEntry>("DllInstall");
  auto* registerServer = module.FindFunction<DllRegisterEntry>("DllRegisterServer");
  auto* unregisterServer = module.FindFunction<DllRegisterEntry>("DllUnregisterServer");
  if (!install || !registerServer || !unregisterServer) {
    err_ << "hovane-update: " << path << " is not the control module" << (detail.empty() ? "" : ": ")
         << detail << "\n";
    return kExitFailure;
  }
  const HRESULT status = perUser ? install(remove ? 0 : 1, u"user")
                                 : (remove ? unregisterServer() : registerServer());
  const char* scope = perUser ? "the current user" : "this machine";
  if (status < 0) {
    err_ << "hovane-update: " << (remove ? "unregistering" : "registering") << " the control for "
         << scope << " failed: status " << StatusText(status) << "\n";
    return kExitFailure;
  }
  out_ << (remove ? "unregistered" : "registered") << " the control for " << scope << " ("
       << path << ")\n";
  return kExitYes;
}

bool ControlHost::CreateControl(const Options& options) {
  platform::Guid clsid;
  if (platform::ClsidFromProgId(kProgId, &clsid) != S_OK) {
    // First use: an administrator's prefix gets the machine registration,
    // which the elevated instance needs; anyone else a per-user one.
    const bool perUser = !platform::MayWriteMachineAreas(platform::PrefixRoot());
    out_ << "the control is not registered yet; registering it first\n";
    if (Register(perUser, false) != kExitYes) return false;
    if (perUser)
      out_ << "note: installing through an elevated instance needs the registration of an "
              "administrator (hovane-update register)\n";
    if (platform::ClsidFromProgId(kProgId, &clsid) != S_OK) {
      err_ << "hovane-update: the control's ProgID is still unknown after registering\n";
      return false;
    }
  }
  if (const HRESULT status =
          platform::CreateInstance(clsid, kIidIHoVaneUpdateInstaller, control_.Out());
      status < 0) {
    err_ << "hovane-update: cannot create the control: status " << StatusText(status) << "\n";
    return false;
  }
  if (options.serverId) control_->SetInstallServerInfo(u"SERVERID", Utf16(*options.serverId));
  if (options.serverIp) control_->SetInstallServerInfo(u"SERVERIP", Utf16(*options.serverIp));
  if (options.port) control_->SetInstallServerInfo(u"PORT", Utf16(*options.port));
  if (options.userId) control_->SetInstallServerInfo(u"USERID", Utf16(*options.userId));
  if (options.url) control_->SetVirsionUrl(Utf16(*options.url));
  if (options.foreign) control_->SetForeign(kTrue16);
  return true;
}

void ControlHost::ReleaseControl() { control_.Reset(); }

int ControlHost::Report(const char* method, HRESULT status, VARIANT_BOOL result, const char* yes,
                        const char* no) {
  if (status < 0) {
    err_ << "hovane-update: " << method << " failed: status " << StatusText(status) << "\n";
    return kExitFailure;
  }
  out_ << (result == kTrue16 ? yes : no) << "\n";
  return result == kTrue16 ? kExitYes : kExitNo;
}

int ControlHost::Run(const Options& options) {
  IHoVaneUpdateInstaller& control = *control_.Get();
  VARIANT_BOOL result = kFalse16;
  // Calls the method first, then reports the value it wrote.
  auto report = [&](const char* method, auto call, const char* yes, const char* no) {
    const HRESULT status = call();
    return Report(method, status, result, yes, no);
  };
  switch (options.command) {
    case Command::Check: {
      result = kUnwritten;
      const HRESULT status = control.CheckVersion(&result);
      if (status >= 0 && result == kUnwritten) {
        out_ << "every client file is current\n";
        return kExitYes;
      }
      return Report("CheckVersion", status, result, "the update was installed",
                    "the update was not installed");
    }
    case Command::SingleCheck:
      return report("SingleCheckVersion", [&] { return control.SingleCheckVersion(&result); },
                    "every client file is current", "a client file is out of date");
    case Command::Install:
      return report("RealCheckVersion", [&] { return control.RealCheckVersion(&result); },
                    "the client files are current", "the installation did not succeed");
    case Command::Reset:
      // A page resets the list its last check selected: check first, as it would.
      control.SingleCheckVersion(&result);
      return report("SetAllFileInstall", [&] { return control.SetAllFileInstall(&result); },
                    "every file of the list is marked not installed",
                    "the version list could not be fetched");
    case Command::DeleteOld:
      return report("DeleteOldFile", [&] { return control.DeleteOldFile(&result); },
                    "the older releases' files were removed", "not everything was removed");
    case Command::DeleteGarbage:
      return report("DeleteGarbageFile", [&] { return control.DeleteGarbageFile(&result); },
                    "the older controls and files were removed", "not everything was removed");
    case Command::DeleteFile:
      return report(
          "DeleteInstalledFile",
          [&] { return control.DeleteInstalledFile(Utf16(options.arguments[0]), &result); },
          "deleted", "not deleted");
    case Command::DeleteFolder:
      return report("DeleteInstalledFolder", [&] { return control.DeleteInstalledFolder(&result); },
                    "the install folder was deleted",
                    "the install folder was not deleted completely");
    case Command::Status: {
      VARIANT_BOOL updated = 0, succeeded = 0, dialog = 0;
      control.IsUpdateCheck(&updated);
      control.IsSucessed(&succeeded);
      control.CheckUpdateDlg(&dialog);
      out_ << "IsUpdateCheck  " << updated << "\nIsSucessed     " << succeeded
           << "\nCheckUpdateDlg " << dialog << "\n";
      return kExitYes;
    }
    case Command::Call:
      return CallByName(options.arguments);
    default:
      return kExitUsage;
  }
}

std::string ControlHost::PrepareCall(const std::vector<std::string>& arguments,
                                     std::vector<Variant>* args) {
  const description::Method* method = description::FindMethod(arguments[0]);
  if (method == nullptr)
    return "unknown method " + arguments[0] + " (hovane-update call --help lists them)";
  std::size_t given = 1;
  std::size_t wanted = 0;
  for (std::size_t i = 0; i < method->paramCount; ++i)
    if (method->params[i].type != description::ParamType::BoolPointer) ++wanted;
  if (arguments.size() - 1 != wanted)
    return std::string(method->name) + " takes " + std::to_string(wanted) + " argument" +
           (wanted == 1 ? "" : "s") + ", not " + std::to_string(arguments.size() - 1);
  args->clear();
  for (std::size_t i = 0; i < method->paramCount; ++i) {
    const description::Param& param = method->params[i];
    if (param.type == description::ParamType::BoolPointer) {
      args->push_back(Variant{});
    } else if (param.type == description::ParamType::String) {
      args->push_back(Variant::String(Utf16(arguments[given++])));
    } else {
      const auto value = ParseBool(arguments[given]);
      if (!value)
        return std::string(param.name) + " is a boolean (1/0, true/false, yes/no), not \"" +
               arguments[given] + "\"";
      ++given;
      args->push_back(Variant::Bool(*value));
    }
  }
  return {};
}

int ControlHost::CallByName(const std::vector<std::string>& arguments) {
  std::vector<Variant> args;
  if (std::string problem = PrepareCall(arguments, &args); !problem.empty()) {
    err_ << "hovane-update: " << problem << "\n";
    return kExitUsage;
  }
  const description::Method& method = *description::FindMethod(arguments[0]);
  std::int32_t dispid = 0;
  HRESULT status = control_->GetIDOfName(Utf16(arguments[0]), &dispid);
  if (status >= 0) status = control_->Invoke(dispid, args);
  out_ << method.name << ": " << StatusText(status) << "\n";
  for (std::size_t i = 0; i < method.paramCount; ++i) {
    if (method.params[i].type != description::ParamType::BoolPointer) continue;
    out_ << "  " << method.params[i].name << " = ";
    if (args[i].type == Variant::Type::Bool)
      out_ << args[i].boolValue << "\n";
    else
      out_ << "(not written)\n";
  }
  return ExitFor(status);
}

std::string ControlHost::CheckRegistryPath(const std::string& path) {
  return ParseRegistryPath(path) ? std::string()
                                 : "a registry key starts with HKLM\\ or HKCU\\: " + path;
}

int ControlHost::PrintRegistryKey(const std::string& path) {
  const std::optional<RegistryPath> parsed = ParseRegistryPath(path);
  const auto narrow = platform::Utf8ToNarrow(parsed->subKey);
  platform::RegistryKey key;
  const platform::RegStatus opened =
      narrow ? platform::OpenRegistryKey(parsed->hive, *narrow, platform::RegAccess::Read, &key)
             : platform::RegStatus::InvalidParameter;
  if (opened != platform::RegStatus::Ok) {
    err_ << "hovane-update: " << path << ": " << platform::DescribeRegStatus(opened) << "\n";
    return kExitNo;
  }
  out_ << "[" << path << "]\n";
  std::vector<platform::RegistryValue> values;
  key.EnumerateValues(&values);
  for (const platform::RegistryValue& value : values) {
    out_ << "  " << (value.name.empty() ? "(default)" : Shown(value.name)) << " = ";
    switch (value.type) {
      case platform::RegType::String:
      case platform::RegType::ExpandString:
        out_ << "\"" << Shown(value.Text()) << "\"\n";
        break;
      case platform::RegType::Dword:
        out_ << value.Number() << " (" << Hex(value.Number()) << ")\n";
        break;
      default: {
        out_ << "hex:";
        for (unsigned char byte : value.data) {
          char text[4];
          std::snprintf(text, sizeof text, "%02x", byte);
          out_ << text;
        }
        out_ << "\n";
      }
    }
  }
  std::vector<std::string> subkeys;
  key.EnumerateSubkeys(&subkeys);
  for (const std::string& name : subkeys) out_ << "  " << Shown(name) << "\\\n";
  return kExitYes;
}

}  // namespace hovane::host
