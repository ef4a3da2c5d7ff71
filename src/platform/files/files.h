// Files service: the files and folders of the prefix, addressed by
// Windows-style narrow paths ("C:\Program Files\Hovane\temp").
//
// Paths. A path is narrow text in the system code page. Drive X: maps to the
// prefix's drive_x folder; '\' and '/' both separate components; each name
// is converted to UTF-8 on disk; an existing component is found without
// regard to letter case. A path outside a mapped drive, a relative path, or
// a name that cannot be converted fails as PathNotFound / InvalidName and
// touches nothing.
//
// "In use" holds. Two holds that Windows places on files are modelled with
// open-file-description locks that every process using this layer honours:
//   - a running program's image (ProgramImageHold): may be moved, not
//     deleted, truncated or overwritten;
//   - a file held open without delete sharing (File opened with
//     Share::NoDelete): neither moved nor deleted, nor replaced.
// A refused operation reports SharingViolation and changes nothing.
//
// Threading: every function may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/export.h"

namespace hovane::platform {

enum class FileError {
  Ok = 0,
  FileNotFound,      // the last component does not exist
  PathNotFound,      // a parent folder does not exist, or no mapped drive
  AlreadyExists,     // the target of a create, move or copy exists
  AccessDenied,      // no rights, or the path names a folder where a file is wanted
  SharingViolation,  // a hold of another handle or process refuses it
  InvalidName,       // a name that cannot be converted or is not allowed
  NotEmpty,          // a folder that still has entries
  DiskFull,
  Failed,            // any other failure of the operating system
};

// A short English description, for messages ("file not found").
HOVANE_PLATFORM_API const char* DescribeFileError(FileError error);

// The host path (UTF-8) that a Windows-style path names, with existing
// components resolved without regard to case and missing ones kept as given.
// nullopt (with the reason in *error when given) for a path that maps nowhere.
HOVANE_PLATFORM_API std::optional<std::string> ToHostPath(std::string_view path,
                                                          FileError* error = nullptr);

struct FileStatus {
  std::uint64_t size = 0;
  bool isDirectory = false;
  // Identity of this version of the file: changes whenever the file is
  // replaced or written (device, inode, size, modification time).
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t modifiedNs = 0;
};

// File-status query; nullopt when nothing exists at the path.
HOVANE_PLATFORM_API std::optional<FileStatus> GetFileStatus(std::string_view path);

// Find on an exact path (no wildcards): true when a file or a folder exists.
HOVANE_PLATFORM_API bool FindExact(std::string_view path);

struct FindEntry {
  std::string name;  // narrow, system code page
  bool isDirectory = false;
  std::uint64_t size = 0;
};

// Enumerates "folder\pattern", where the last component may hold '*' and '?'
// (matched without regard to case; "*.*" matches every name). For a folder
// other than a drive's root, "." and ".." come first, as on Windows. Names
// that cannot be converted to the system code page are skipped. Empty when
// the folder does not exist or nothing matches.
HOVANE_PLATFORM_API std::vector<FindEntry> FindFiles(std::string_view pattern);

// Creates one folder; AlreadyExists when something exists at the path,
// PathNotFound when its parent is missing.
HOVANE_PLATFORM_API FileError CreateFolder(std::string_view path);

// Removes an empty folder.
HOVANE_PLATFORM_API FileError RemoveFolder(std::string_view path);

// Deletes a file (not a folder: AccessDenied). Refused by either hold.
HOVANE_PLATFORM_API FileError DeleteFile(std::string_view path);

// Lets a file be started as a program. Windows starts any file by its
// extension; here a program needs the execute permission, given to whoever
// may read it. A folder answers AccessDenied.
HOVANE_PLATFORM_API FileError MakeExecutable(std::string_view path);

// Moves or renames a file or a folder. Fails with AlreadyExists when the
// target exists; never replaces it, even for a moment (atomic). A running
// program's image may be moved; a file held without delete sharing may not.
HOVANE_PLATFORM_API FileError MoveFile(std::string_view from, std::string_view to);

// Copies a file's content. With failIfExists an existing target is kept and
// AlreadyExists returned; otherwise it is replaced atomically (never seen
// half-written), unless a hold on the target refuses it.
HOVANE_PLATFORM_API FileError CopyFile(std::string_view from, std::string_view to,
                                       bool failIfExists);

enum class OpenMode {
  CreateAlways,  // create, or truncate an existing file
  OpenAlways,    // open, creating a missing file, without truncating
  OpenExisting,  // open; FileNotFound when missing
};
enum class Access { Read, Write, ReadWrite };
enum class Share {
  All,       // others may read, write, move and delete the file
  NoDelete,  // while this handle is open the file can be neither moved nor deleted
};

// An open file. Move-only; closed by Close() or the destructor.
// One File is used by one thread at a time.
class HOVANE_PLATFORM_API File {
 public:
  File();
  ~File();
  File(File&&) noexcept;
  File& operator=(File&&) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens path; on failure the File is closed and *error (when given) says why.
  static File Open(std::string_view path, OpenMode mode, Access access,
                   Share share = Share::All, FileError* error = nullptr);

  bool IsOpen() const;
  // Reads up to size bytes at the current position; the count read, 0 at the
  // end, -1 on error.
  std::int64_t Read(void* buffer, std::size_t size);
  // Writes all size bytes at the current position; false on any error.
  bool Write(const void* data, std::size_t size);
  // Moves to the end; the new position (the file's length), or -1.
  std::int64_t SeekToEnd();
  // The file's current length, or -1.
  std::int64_t Size() const;
  // Flushes to stable storage.
  bool Sync();
  void Close();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Marks a file as the image of a running program for the life of the hold:
// other processes using the layer can move it but not delete, truncate or
// overwrite it. Programs call this on their own executable at start.
class HOVANE_PLATFORM_API ProgramImageHold {
 public:
  ProgramImageHold();
  ~ProgramImageHold();
  ProgramImageHold(ProgramImageHold&&) noexcept;
  ProgramImageHold& operator=(ProgramImageHold&&) noexcept;

  // A path may be a Windows-style path or, with hostPath, a host path.
  static ProgramImageHold Acquire(std::string_view path, FileError* error = nullptr);
  static ProgramImageHold AcquireHostPath(const std::string& hostPath,
                                          FileError* error = nullptr);
  bool IsHeld() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace hovane::platform
