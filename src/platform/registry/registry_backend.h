// Backend of the registry service: the storage of one hive. Internal to the
// platform layer. The front door (registry.cpp) has already split and
// checked every path and folded every name; the backend stores and finds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry/registry.h"

namespace hovane::platform::backend {

// A key's identity inside its hive. Never reused for another key, so a
// handle to a deleted key cannot meet a later one. The root is 0.
using RegKeyId = std::int64_t;
inline constexpr RegKeyId kRegRootKey = 0;

// A name as written and as compared (folded to upper case).
struct RegName {
  std::string name;
  std::string folded;
};
using RegPath = std::vector<RegName>;

// One open hive. Its operations may be called from any thread; each runs
// alone on the hive and is atomic towards other processes.
class RegHive {
 public:
  virtual ~RegHive() = default;

  // True when the hive's file may not be written by this process.
  virtual bool ReadOnly() const = 0;

  // Every operation on a key that no longer exists answers KeyDeleted.
  virtual RegStatus FindKey(RegKeyId from, const RegPath& path, RegKeyId* found) = 0;
  virtual RegStatus CreateKey(RegKeyId from, const RegPath& path, RegKeyId* result,
                              bool* created) = 0;
  // Deletes path below from (from itself when path is empty). Without
  // withSubkeys a key that has subkeys is refused; with keepTop the key's
  // contents go and the key stays.
  virtual RegStatus DeleteKey(RegKeyId from, const RegPath& path, bool withSubkeys,
                              bool keepTop) = 0;

  virtual RegStatus SetValue(RegKeyId key, const RegName& name, RegType type,
                             const std::string& data) = 0;
  virtual RegStatus QueryValue(RegKeyId key, const RegName& name, RegistryValue* value) = 0;
  virtual RegStatus DeleteValue(RegKeyId key, const RegName& name) = 0;
  virtual RegStatus ListSubkeys(RegKeyId key, std::vector<std::string>* names) = 0;
  virtual RegStatus ListValues(RegKeyId key, std::vector<RegistryValue>* values) = 0;
};

// Opens the hive file at hostPath, creating it with the seed keys when it
// does not exist and the folder may be written. A file or folder this
// process may not write gives a read-only hive; a missing file that cannot
// be created gives an empty read-only hive. nullptr, with the reason in
// *status, when the file exists but cannot be used.
std::shared_ptr<RegHive> OpenRegHive(const std::string& hostPath,
                                     const std::vector<RegPath>& seedKeys, RegStatus* status);

}  // namespace hovane::platform::backend
