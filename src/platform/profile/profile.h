// Profile (INI) files, read and written one value at a time or in batches.
//
// Format and rules, as Windows profile files have them:
//   - "[section]" lines, then "key=value" lines; lines end in CR LF when
//     written (LF alone is accepted on reading);
//   - section and key names match without regard to case (multibyte-aware);
//   - blanks (spaces and tabs) around section names, keys and values are
//     dropped when reading;
//   - a missing file, section or key reads as the caller's default;
//   - a write creates the file, the section or the key as needed, appends a
//     new section at the end of the file and a new key after the last key
//     of its section, and replaces an existing value in place; every other
//     line of the file is kept byte for byte;
//   - a value read back is cut to the caller's buffer: at most bufferSize - 1
//     bytes (the terminating zero of the caller's buffer takes the last one).
// All text is narrow (system code page); paths are Windows-style paths.
//
// Atomicity: a write replaces the file as a whole (a new file renamed over
// the old one), so a reader or a writer killed at any moment sees either the
// old or the new file. Writers in every process serialise on a lock of the
// file's folder and apply their edits to the file as it is at that moment,
// so concurrent writers lose no update.
//
// Limits: a file larger than kMaxProfileFileBytes is not parsed: reads give
// the default and writes fail, leaving it untouched. Memory is bounded by
// that size.
//
// Threading: any thread. A ProfileWriteBatch is used by one thread.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/export.h"

namespace hovane::platform {

inline constexpr std::size_t kMaxProfileFileBytes = 64u << 20;

// Reads one value. Reuses the parse of an earlier read while the file's
// status (identity, size, modification time) is unchanged.
HOVANE_PLATFORM_API std::string ReadProfileString(std::string_view path,
                                                  std::string_view section,
                                                  std::string_view key,
                                                  std::string_view defaultValue,
                                                  std::size_t bufferSize);

// Writes one value (one atomic replace). False when the file cannot be
// written (missing folder, no rights, over the size limit).
HOVANE_PLATFORM_API bool WriteProfileString(std::string_view path, std::string_view section,
                                            std::string_view key, std::string_view value);

// Many edits of one file, made in memory and written with one lock and one
// atomic replace by Commit(). Get() sees the batch's own pending edits over
// the file as it was when the batch was opened. A batch that is destroyed
// without Commit() commits its pending edits (so that work done before a
// failure is kept); call Discard() to drop them instead.
class HOVANE_PLATFORM_API ProfileWriteBatch {
 public:
  explicit ProfileWriteBatch(std::string_view path);
  ~ProfileWriteBatch();
  ProfileWriteBatch(const ProfileWriteBatch&) = delete;
  ProfileWriteBatch& operator=(const ProfileWriteBatch&) = delete;

  std::string Get(std::string_view section, std::string_view key,
                  std::string_view defaultValue, std::size_t bufferSize) const;
  void Set(std::string_view section, std::string_view key, std::string_view value);

  // Writes the pending edits, re-applied over the file as it is now. True
  // when there was nothing to write or the write succeeded; the pending
  // edits are cleared either way.
  bool Commit();
  void Discard();
  bool HasPendingEdits() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace hovane::platform
