// The control cache service module (libhovane-occache.so): what stands in
// for the browser's cache library on this platform. It is a client of the
// platform layer like any plug-in module; control_cache.h states what its
// one export does.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/codepage/codepage.h"
#include "platform/com/status.h"
#include "platform/control_cache/control_cache.h"
#include "platform/files/files.h"
#include "platform/registry/registry.h"

namespace hovane::platform {
namespace {

constexpr std::uint32_t kErrorFileNotFound = 2;

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
bool IsClassIdText(std::string_view text) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  for (std::size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? text[i] != '-' : !IsHexDigit(text[i])) return false;
  }
  return true;
}

// Two Windows-style paths name the same file when they resolve to the same
// host file; the registration may spell the path in another letter case.
bool SameFile(std::string_view registered, const std::string& fileHost) {
  auto host = ToHostPath(registered);
  return host && *host == fileHost;
}

HRESULT FromRegStatus(RegStatus status) {
  if (status == RegStatus::Ok) return S_OK;
  if (status == RegStatus::AccessDenied) return E_ACCESSDENIED;
  return E_FAIL;
}

// Removes the ProgID key named by a value of the class key, when that
// ProgID still points to the class.
RegStatus RemoveProgId(const RegistryKey& classes, const std::string& progId,
                       std::string_view classId) {
  if (progId.empty()) return RegStatus::Ok;
  RegistryKey key;
  if (classes.Open(progId + "\\CLSID", RegAccess::Read, &key) != RegStatus::Ok)
    return RegStatus::Ok;
  std::string pointsTo;
  if (key.QueryString("", &pointsTo) != RegStatus::Ok || !EqualsNoCase(pointsTo, classId))
    return RegStatus::Ok;
  key.Close();
  const RegStatus status = classes.DeleteTree(progId);
  return status == RegStatus::NotFound ? RegStatus::Ok : status;
}

// Removes the registration of classId for the file from one hive's classes.
// *removed tells whether there was one.
RegStatus RemoveFromHive(RegistryHive hive, std::string_view classesPath, std::string_view classId,
                         const std::string& fileHost, bool* removed) {
  *removed = false;
  RegistryKey classes;
  if (OpenRegistryKey(hive, classesPath, RegAccess::Read, &classes) != RegStatus::Ok)
    return RegStatus::Ok;
  const std::string classKeyPath = "CLSID\\" + std::string(classId);
  RegistryKey server;
  if (classes.Open(classKeyPath + "\\InprocServer32", RegAccess::Read, &server) != RegStatus::Ok)
    return RegStatus::Ok;
  std::string registeredFile;
  if (server.QueryString("", &registeredFile) != RegStatus::Ok ||
      !SameFile(registeredFile, fileHost))
    return RegStatus::Ok;

  std::vector<std::string> progIds;
  RegistryKey classKey;
  if (classes.Open(classKeyPath, RegAccess::Read, &classKey) == RegStatus::Ok) {
    for (const char* name : {"ProgID", "VersionIndependentProgID"}) {
      RegistryKey sub;
      std::string progId;
      if (classKey.Open(name, RegAccess::Read, &sub) == RegStatus::Ok &&
          sub.QueryString("", &progId) == RegStatus::Ok)
        progIds.push_back(progId);
    }
  }

  RegistryKey writable;
  if (RegStatus status = OpenRegistryKey(hive, classesPath, RegAccess::All, &writable);
      status != RegStatus::Ok)
    return status;
  if (RegStatus status = writable.DeleteTree(classKeyPath);
      status != RegStatus::Ok && status != RegStatus::NotFound)
    return status;
  *removed = true;
  for (const std::string& progId : progIds)
    if (RegStatus status = RemoveProgId(writable, progId, classId); status != RegStatus::Ok)
      return status;
  return RegStatus::Ok;
}

}  // namespace
}  // namespace hovane::platform

extern "C" __attribute__((visibility("default"))) hovane::HRESULT RemoveControlByName(
    const char* file, const char* classId, const char* /*typeLibId*/, std::int32_t /*forceRemove*/,
    std::uint32_t /*isDistributionUnit*/) {
  using namespace hovane;
  using namespace hovane::platform;
  static_assert(std::is_same_v<decltype(RemoveControlByName), RemoveControlByNameEntry>);
  if (file == nullptr || classId == nullptr || !IsClassIdText(classId)) return E_INVALIDARG;
  auto fileHost = ToHostPath(file);
  if (!fileHost || !GetFileStatus(file)) return HresultFromWin32(kErrorFileNotFound);

  bool removedAny = false;
  const std::pair<RegistryHive, const char*> places[] = {
      {RegistryHive::LocalMachine, "SOFTWARE\\Classes"},
      {RegistryHive::CurrentUser, "Software\\Classes"},
  };
  for (const auto& [hive, classesPath] : places) {
    bool removed = false;
    if (RegStatus status = RemoveFromHive(hive, classesPath, classId, *fileHost, &removed);
        status != RegStatus::Ok)
      return FromRegStatus(status);
    removedAny = removedAny || removed;
  }
  return removedAny ? S_OK : S_FALSE;
}
