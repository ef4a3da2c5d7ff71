// Registry service: the machine's and the current user's hives of keys and
// values, as the system reads and writes them on Windows.
//
// Hives. Each hive is one database file in the prefix's registry/ folder:
// "machine.db" for the machine, "user-<name>.db" for the current user (the
// name of PrefixUserName). A hive is created with the keys that every
// Windows machine has and the system relies on: the machine's
// "SOFTWARE\Classes" and "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall",
// the user's "Software\Classes". Several processes may use a hive at once.
//
// Rights. A hive whose file (or folder) this process may not write is opened
// read-only: reading works, and every operation that would change it, or
// open a key of it for writing, fails with AccessDenied. This is how a
// process without administrator rights meets the machine hive on Windows.
// A file that is not a hive of this layer is never written to (BadHive).
//
// Keys. A key path is narrow text (system code page) of names separated by
// single backslashes; names are found without regard to letter case
// (multibyte-aware: a trail byte of a double-byte character is never taken
// for a letter) and keep the spelling they were created with. A name has 1
// to 255 bytes and no backslash; a path may end in one backslash, may not
// start with one, and may not hold empty names (InvalidParameter).
//
// Values. A value has a name (the empty name is the key's default value),
// found without regard to case, a type and its data bytes. Values are
// enumerated in the order they were first written; writing a value again
// replaces its type and data in place.
//
// Atomicity. Every change (one create, delete or set call) is one
// transaction: other processes see all of it or nothing, and a process that
// dies in the middle of one changes nothing. Each read call sees one
// consistent state.
//
// Threading: any thread. A RegistryKey is a handle; one handle may be used
// by several threads. Handles stay bound to the hive they were opened in,
// even when the prefix is changed afterwards.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/export.h"

namespace hovane::platform {

// Results of registry calls. Numbered as the system's error numbers, so that
// a failure can be carried in a component status (HresultFromWin32).
enum class RegStatus : std::int32_t {
  Ok = 0,
  NotFound = 2,           // no such key or value
  AccessDenied = 5,       // no write rights, a read-only handle, or a key with subkeys
  InvalidHandle = 6,      // a closed or empty RegistryKey
  InvalidParameter = 87,  // a malformed path or name
  BadHive = 1009,         // the hive file is damaged or not a hive
  IoFailed = 1016,        // the hive could not be read or written (also: busy too long)
  KeyDeleted = 1018,      // the handle's key has been deleted meanwhile
  WrongType = 1630,       // a typed query of a value of another type
};

// A short English description ("access denied").
HOVANE_PLATFORM_API const char* DescribeRegStatus(RegStatus status);

enum class RegistryHive { LocalMachine, CurrentUser };

// Access a handle is opened with. Writing needs Write; All is both.
enum class RegAccess : unsigned { Read = 1, Write = 2, All = 3 };

// Value types, numbered as the system numbers them.
enum class RegType : std::uint32_t {
  None = 0,
  String = 1,        // REG_SZ: text in the system code page, with its terminating zero
  ExpandString = 2,  // REG_EXPAND_SZ
  Binary = 3,        // REG_BINARY
  Dword = 4,         // REG_DWORD: 32-bit number, little-endian
  MultiString = 7,   // REG_MULTI_SZ
};

struct RegistryValue {
  std::string name;  // as first written
  RegType type = RegType::None;
  std::string data;  // the bytes as written

  // The data up to the first zero byte (or all of it when there is none):
  // the text of a String or ExpandString value.
  std::string Text() const { return data.substr(0, data.find('\0')); }
  // The data as a little-endian 32-bit number: the number of a Dword value
  // (0 when the data is not 4 bytes).
  std::uint32_t Number() const {
    if (data.size() != 4) return 0;
    std::uint32_t number = 0;
    for (int i = 3; i >= 0; --i)
      number = (number << 8) | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
    return number;
  }
};

// A handle to an open key. Move-only; closed by Close() or the destructor.
// An empty handle answers InvalidHandle to everything.
class HOVANE_PLATFORM_API RegistryKey {
 public:
  RegistryKey();
  ~RegistryKey();
  RegistryKey(RegistryKey&&) noexcept;
  RegistryKey& operator=(RegistryKey&&) noexcept;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // The root key of a hive, with access All; writes through it still need
  // the hive's write rights. An empty handle (with the reason in *status)
  // when the hive cannot be opened at all.
  static RegistryKey Root(RegistryHive hive, RegStatus* status = nullptr);

  bool IsOpen() const;
  void Close();
  // The access this handle was opened with.
  RegAccess Access() const;

  // Opens an existing key below this one ("" opens this key again). Opening
  // with Write or All fails with AccessDenied on a read-only hive.
  RegStatus Open(std::string_view subKey, RegAccess access, RegistryKey* result) const;

  // Opens the key below this one, creating it and its missing parents when
  // needed (in one transaction). *created (when given) says whether the last
  // name was created. Needs Write on this handle.
  RegStatus Create(std::string_view subKey, RegAccess access, RegistryKey* result,
                   bool* created = nullptr) const;

  // Deletes a key below this one ("" deletes this key itself) with its
  // values. A key that still has subkeys is refused with AccessDenied; the
  // root is never deleted. Needs Write on this handle.
  RegStatus DeleteKey(std::string_view subKey) const;

  // Deletes a key below this one with all its subkeys and values. With ""
  // the subkeys and values of this key go and the key itself stays. Needs
  // Write on this handle.
  RegStatus DeleteTree(std::string_view subKey) const;

  // Writes a value with exactly the bytes given. Needs Write.
  RegStatus SetValue(std::string_view name, RegType type, std::string_view data) const;
  // Writes a String value: text followed by its terminating zero, so the
  // stored length is text.size() + 1, as the system writes REG_SZ.
  RegStatus SetString(std::string_view name, std::string_view text) const;
  // Writes a Dword value.
  RegStatus SetDword(std::string_view name, std::uint32_t number) const;

  // Reads a value; NotFound when the key has none of that name.
  RegStatus QueryValue(std::string_view name, RegistryValue* value) const;
  // Reads a String or ExpandString value's text (WrongType for other types).
  RegStatus QueryString(std::string_view name, std::string* text) const;
  // Reads a Dword value (WrongType for other types).
  RegStatus QueryDword(std::string_view name, std::uint32_t* number) const;

  // Deletes a value. Needs Write.
  RegStatus DeleteValue(std::string_view name) const;

  // The names of the key's subkeys, sorted without regard to case.
  RegStatus EnumerateSubkeys(std::vector<std::string>* names) const;
  // The key's values, in the order they were first written.
  RegStatus EnumerateValues(std::vector<RegistryValue>* values) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Convenience: opens subKey of a hive's root.
HOVANE_PLATFORM_API RegStatus OpenRegistryKey(RegistryHive hive, std::string_view subKey,
                                              RegAccess access, RegistryKey* result);

}  // namespace hovane::platform
