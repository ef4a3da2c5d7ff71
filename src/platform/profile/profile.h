// Profile (INI) files, read and written one value at a time or in batches.
//
// Format and rules, as Windows profile files have them:
//   - "[section]" lines, then "key=value" lines; lines end in CR LF when
//     written (LF alone is accepted on reading);
//   - a key line splits at its first '='; a line without '=' is no key, and
//     lines before the first section belong to no section;
//   - section and key names match without regard to case (multibyte-aware);
//     when a name occurs twice, the first section or key of that name is
//     the one read and written;
//   - blanks (spaces and tabs) around section names, keys and values are
//     dropped when reading, and so is one pair of matching quotes (" or ')
//     around a whole value;
//   - a missing file, section or key reads as the caller's default;
//   - a write creates the file, the section or the key as needed, appends a
//     new section at the end of the file and a new key after the last key
//     of its section, and replaces an existing value in place (the line
//     keeps everything before its value); every other line of the file is
//     kept byte for byte;
//   - a value read back is cut to the caller's buffer: at most bufferSize - 1
//     bytes (the terminating zero of the caller's buffer takes the last one),
//     and so is the default.
// Names, values and defaults are C strings for the callers: each is cut at
// its first NUL. A write that could not read back as written is refused:
// a section name holding ']' or a line break or ending in half a
// double-byte character, a key holding '=' or a line break or starting
// with '[', a value holding a line break. The file's own
// bytes are taken as they are, NULs and invalid characters included.
// All text is narrow (system code page); paths are Windows-style paths.
//
// Atomicity: a write replaces the file as a whole (a new file renamed over
// the old one), so a reader or a writer killed at any moment sees either the
// old or the new file. Writers in every process serialise on a lock of the
// file's folder and apply their edits to the file as it is at that moment,
// so concurrent writers lose no update.
//
// Limits: a file larger than kMaxProfileFileBytes is not parsed: reads give
// the default and writes fail, leaving it untouched; a write that would make
// the file larger fails too. Memory is bounded by that size (the file's
// bytes, an upper-cased copy and an index of its sections and keys).
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
// status (identity, size, modification time) is unchanged; a file changed
// within the last moments is also compared byte for byte, as its status may
// not yet tell two versions apart.
HOVANE_PLATFORM_API std::string ReadProfileString(std::string_view path, std::string_view section,
                                                  std::string_view key,
                                                  std::string_view defaultValue,
                                                  std::size_t bufferSize);

// Writes one value (one atomic replace). False, with the file untouched,
// when it cannot be written (missing folder, no rights, a read-only file,
// over the size limit) or the write is refused (see above). The folder is
// never created.
HOVANE_PLATFORM_API bool WriteProfileString(std::string_view path, std::string_view section,
                                            std::string_view key, std::string_view value);

// Many edits of one file, made in memory and written with one lock and one
// atomic replace by Commit(). Get() sees the batch's own pending edits over
// the file as it was when the batch was opened (after a Commit(), as it was
// then). A batch that is destroyed without Commit() commits its pending
// edits (so that work done before a failure is kept); call Discard() to drop
// them instead. A refused Set() is dropped and makes the next Commit()
// return false.
class HOVANE_PLATFORM_API ProfileWriteBatch {
 public:
  explicit ProfileWriteBatch(std::string_view path);
  ~ProfileWriteBatch();
  ProfileWriteBatch(const ProfileWriteBatch&) = delete;
  ProfileWriteBatch& operator=(const ProfileWriteBatch&) = delete;

  std::string Get(std::string_view section, std::string_view key, std::string_view defaultValue,
                  std::size_t bufferSize) const;
  void Set(std::string_view section, std::string_view key, std::string_view value);

  // Writes the pending edits, re-applied over the file as it is now. True
  // when there was nothing to write or the write succeeded, and no Set()
  // was refused since the last Commit(); the pending edits are cleared
  // either way.
  bool Commit();
  void Discard();
  bool HasPendingEdits() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace hovane::platform
