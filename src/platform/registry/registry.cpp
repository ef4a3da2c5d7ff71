// Front door of the registry service: key paths are split and checked and
// names folded here once; handles carry their hive, key and access; the
// backend only stores.
#include "platform/registry/registry.h"

#include <array>
#include <mutex>

#include "platform/codepage/codepage.h"
#include "platform/prefix/prefix.h"
#include "platform/registry/registry_backend.h"

namespace hovane::platform {
namespace {

using backend::RegHive;
using backend::RegKeyId;
using backend::RegName;
using backend::RegPath;

constexpr std::size_t kMaxKeyNameBytes = 255;
constexpr std::size_t kMaxValueNameBytes = 16383;

// A name handed over as a C string ends at its first zero byte.
std::string_view UpToNul(std::string_view text) {
  const std::size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

RegName Folded(std::string_view name) { return {std::string(name), UpperCase(name)}; }

RegStatus ParseKeyPath(std::string_view path, RegPath* parsed) {
  path = UpToNul(path);
  parsed->clear();
  if (path.empty()) return RegStatus::Ok;
  if (path.front() == '\\') return RegStatus::InvalidParameter;
  std::string current;
  bool lastWasSeparator = false;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const char c = path[i];
    if (IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < path.size()) {
      current += c;
      current += path[++i];
      lastWasSeparator = false;
      continue;
    }
    if (c != '\\') {
      current += c;
      lastWasSeparator = false;
      continue;
    }
    if (current.empty()) return RegStatus::InvalidParameter;
    if (current.size() > kMaxKeyNameBytes) return RegStatus::InvalidParameter;
    parsed->push_back(Folded(current));
    current.clear();
    lastWasSeparator = true;
  }
  if (current.empty()) return lastWasSeparator ? RegStatus::Ok : RegStatus::InvalidParameter;
  if (current.size() > kMaxKeyNameBytes) return RegStatus::InvalidParameter;
  parsed->push_back(Folded(current));
  return RegStatus::Ok;
}

RegStatus ParseValueName(std::string_view name, RegName* parsed) {
  name = UpToNul(name);
  if (name.size() > kMaxValueNameBytes) return RegStatus::InvalidParameter;
  *parsed = Folded(name);
  return RegStatus::Ok;
}

bool Allows(RegAccess granted, RegAccess wanted) {
  return (static_cast<unsigned>(granted) & static_cast<unsigned>(wanted)) ==
         static_cast<unsigned>(wanted);
}

bool IsValidAccess(RegAccess access) {
  const auto bits = static_cast<unsigned>(access);
  return bits != 0 && (bits & ~static_cast<unsigned>(RegAccess::All)) == 0;
}

std::string HiveFileName(RegistryHive hive) {
  return hive == RegistryHive::LocalMachine ? std::string("machine.db")
                                            : "user-" + PrefixUserName() + ".db";
}

// Keys that exist on every Windows machine and that the system opens
// without creating them.
std::vector<RegPath> SeedKeys(RegistryHive hive) {
  const std::vector<std::string_view> paths =
      hive == RegistryHive::LocalMachine
          ? std::vector<std::string_view>{"SOFTWARE\\Classes",
                                          "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"}
          : std::vector<std::string_view>{"Software\\Classes"};
  std::vector<RegPath> seeds;
  for (std::string_view path : paths) {
    RegPath parsed;
    ParseKeyPath(path, &parsed);
    seeds.push_back(std::move(parsed));
  }
  return seeds;
}

// The open hive of each kind for the current prefix. A hive stays open
// while the prefix stays the same; handles keep theirs alive after a change.
struct HiveCache {
  std::mutex mutex;
  struct Slot {
    std::string path;
    std::shared_ptr<RegHive> hive;
  };
  std::array<Slot, 2> slots;
};

HiveCache& Hives() {
  static HiveCache cache;
  return cache;
}

std::shared_ptr<RegHive> HiveFor(RegistryHive kind, RegStatus* status) {
  EnsurePrefixLayout();
  const std::string path = PrefixRoot() + "/registry/" + HiveFileName(kind);
  HiveCache& cache = Hives();
  std::lock_guard lock(cache.mutex);
  HiveCache::Slot& slot = cache.slots[kind == RegistryHive::LocalMachine ? 0 : 1];
  if (slot.hive && slot.path == path) {
    *status = RegStatus::Ok;
    return slot.hive;
  }
  std::shared_ptr<RegHive> hive = backend::OpenRegHive(path, SeedKeys(kind), status);
  if (!hive) return nullptr;
  slot.path = path;
  slot.hive = hive;
  *status = RegStatus::Ok;
  return hive;
}

}  // namespace

const char* DescribeRegStatus(RegStatus status) {
  switch (status) {
    case RegStatus::Ok:
      return "success";
    case RegStatus::NotFound:
      return "not found";
    case RegStatus::AccessDenied:
      return "access denied";
    case RegStatus::InvalidHandle:
      return "invalid key handle";
    case RegStatus::InvalidParameter:
      return "invalid key path or name";
    case RegStatus::BadHive:
      return "the hive file is damaged or not a hive";
    case RegStatus::IoFailed:
      return "the hive could not be read or written";
    case RegStatus::KeyDeleted:
      return "the key has been deleted";
    case RegStatus::WrongType:
      return "the value has another type";
  }
  return "registry operation failed";
}

struct RegistryKey::Impl {
  std::shared_ptr<RegHive> hive;
  RegKeyId key = backend::kRegRootKey;
  RegAccess access = RegAccess::Read;
};

RegistryKey::RegistryKey() = default;
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;

RegistryKey RegistryKey::Root(RegistryHive hive, RegStatus* status) {
  RegStatus reason = RegStatus::Ok;
  RegistryKey root;
  if (std::shared_ptr<RegHive> opened = HiveFor(hive, &reason)) {
    root.impl_ = std::make_unique<Impl>();
    root.impl_->hive = std::move(opened);
    root.impl_->access = RegAccess::All;
  }
  if (status) *status = reason;
  return root;
}

bool RegistryKey::IsOpen() const { return impl_ != nullptr; }

void RegistryKey::Close() { impl_.reset(); }

RegAccess RegistryKey::Access() const { return impl_ ? impl_->access : RegAccess::Read; }

RegStatus RegistryKey::Open(std::string_view subKey, RegAccess access, RegistryKey* result) const {
  if (!impl_) return RegStatus::InvalidHandle;
  if (result == nullptr || !IsValidAccess(access)) return RegStatus::InvalidParameter;
  RegPath path;
  if (RegStatus status = ParseKeyPath(subKey, &path); status != RegStatus::Ok) return status;
  if (Allows(access, RegAccess::Write) && impl_->hive->ReadOnly()) return RegStatus::AccessDenied;
  RegKeyId found = backend::kRegRootKey;
  if (RegStatus status = impl_->hive->FindKey(impl_->key, path, &found); status != RegStatus::Ok)
    return status;
  RegistryKey opened;
  opened.impl_ = std::make_unique<Impl>(Impl{impl_->hive, found, access});
  *result = std::move(opened);
  return RegStatus::Ok;
}

RegStatus RegistryKey::Create(std::string_view subKey, RegAccess access, RegistryKey* result,
                              bool* created) const {
  if (!impl_) return RegStatus::InvalidHandle;
  if (result == nullptr || !IsValidAccess(access)) return RegStatus::InvalidParameter;
  RegPath path;
  if (RegStatus status = ParseKeyPath(subKey, &path); status != RegStatus::Ok) return status;
  if (!Allows(impl_->access, RegAccess::Write) || impl_->hive->ReadOnly())
    return RegStatus::AccessDenied;
  RegKeyId key = backend::kRegRootKey;
  bool made = false;
  if (RegStatus status = impl_->hive->CreateKey(impl_->key, path, &key, &made);
      status != RegStatus::Ok)
    return status;
  RegistryKey opened;
  opened.impl_ = std::make_unique<Impl>(Impl{impl_->hive, key, access});
  *result = std::move(opened);
  if (created) *created = made;
  return RegStatus::Ok;
}

RegStatus RegistryKey::DeleteKey(std::string_view subKey) const {
  if (!impl_) return RegStatus::InvalidHandle;
  RegPath path;
  if (RegStatus status = ParseKeyPath(subKey, &path); status != RegStatus::Ok) return status;
  if (!Allows(impl_->access, RegAccess::Write) || impl_->hive->ReadOnly())
    return RegStatus::AccessDenied;
  if (path.empty() && impl_->key == backend::kRegRootKey) return RegStatus::AccessDenied;
  return impl_->hive->DeleteKey(impl_->key, path, false, false);
}

RegStatus RegistryKey::DeleteTree(std::string_view subKey) const {
  if (!impl_) return RegStatus::InvalidHandle;
  RegPath path;
  if (RegStatus status = ParseKeyPath(subKey, &path); status != RegStatus::Ok) return status;
  if (!Allows(impl_->access, RegAccess::Write) || impl_->hive->ReadOnly())
    return RegStatus::AccessDenied;
  return impl_->hive->DeleteKey(impl_->key, path, true, path.empty());
}

RegStatus RegistryKey::SetValue(std::string_view name, RegType type, std::string_view data) const {
  if (!impl_) return RegStatus::InvalidHandle;
  RegName parsed;
  if (RegStatus status = ParseValueName(name, &parsed); status != RegStatus::Ok) return status;
  if (!Allows(impl_->access, RegAccess::Write) || impl_->hive->ReadOnly())
    return RegStatus::AccessDenied;
  return impl_->hive->SetValue(impl_->key, parsed, type, std::string(data));
}

RegStatus RegistryKey::SetString(std::string_view name, std::string_view text) const {
  std::string data(text);
  data += '\0';
  return SetValue(name, RegType::String, data);
}

RegStatus RegistryKey::SetDword(std::string_view name, std::uint32_t number) const {
  const char bytes[4] = {static_cast<char>(number & 0xFF), static_cast<char>((number >> 8) & 0xFF),
                         static_cast<char>((number >> 16) & 0xFF),
                         static_cast<char>((number >> 24) & 0xFF)};
  return SetValue(name, RegType::Dword, std::string_view(bytes, sizeof bytes));
}

RegStatus RegistryKey::QueryValue(std::string_view name, RegistryValue* value) const {
  if (!impl_) return RegStatus::InvalidHandle;
  if (value == nullptr) return RegStatus::InvalidParameter;
  RegName parsed;
  if (RegStatus status = ParseValueName(name, &parsed); status != RegStatus::Ok) return status;
  return impl_->hive->QueryValue(impl_->key, parsed, value);
}

RegStatus RegistryKey::QueryString(std::string_view name, std::string* text) const {
  if (text == nullptr) return RegStatus::InvalidParameter;
  RegistryValue value;
  if (RegStatus status = QueryValue(name, &value); status != RegStatus::Ok) return status;
  if (value.type != RegType::String && value.type != RegType::ExpandString)
    return RegStatus::WrongType;
  *text = value.Text();
  return RegStatus::Ok;
}

RegStatus RegistryKey::QueryDword(std::string_view name, std::uint32_t* number) const {
  if (number == nullptr) return RegStatus::InvalidParameter;
  RegistryValue value;
  if (RegStatus status = QueryValue(name, &value); status != RegStatus::Ok) return status;
  if (value.type != RegType::Dword || value.data.size() != 4) return RegStatus::WrongType;
  *number = value.Number();
  return RegStatus::Ok;
}

RegStatus RegistryKey::DeleteValue(std::string_view name) const {
  if (!impl_) return RegStatus::InvalidHandle;
  RegName parsed;
  if (RegStatus status = ParseValueName(name, &parsed); status != RegStatus::Ok) return status;
  if (!Allows(impl_->access, RegAccess::Write) || impl_->hive->ReadOnly())
    return RegStatus::AccessDenied;
  return impl_->hive->DeleteValue(impl_->key, parsed);
}

RegStatus RegistryKey::EnumerateSubkeys(std::vector<std::string>* names) const {
  if (!impl_) return RegStatus::InvalidHandle;
  if (names == nullptr) return RegStatus::InvalidParameter;
  return impl_->hive->ListSubkeys(impl_->key, names);
}

RegStatus RegistryKey::EnumerateValues(std::vector<RegistryValue>* values) const {
  if (!impl_) return RegStatus::InvalidHandle;
  if (values == nullptr) return RegStatus::InvalidParameter;
  return impl_->hive->ListValues(impl_->key, values);
}

RegStatus OpenRegistryKey(RegistryHive hive, std::string_view subKey, RegAccess access,
                          RegistryKey* result) {
  RegStatus status = RegStatus::Ok;
  RegistryKey root = RegistryKey::Root(hive, &status);
  if (!root.IsOpen()) return status;
  return root.Open(subKey, access, result);
}

}  // namespace hovane::platform
