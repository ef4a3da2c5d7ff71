// Backend of the profile service: reading a whole file, the folder lock that
// serialises writers, and the atomic replace. Internal to the platform layer.
// Every path is an absolute host path (UTF-8) already resolved by the files
// service; the format itself lives in profile.cpp.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files/files.h"

namespace hovane::platform::backend {

// Status of the file at hostPath (following links); nullopt when nothing is
// there.
std::optional<FileStatus> StatProfileFile(const std::string& hostPath);

enum class ProfileReadResult {
  Ok,
  Missing,   // nothing at the path
  TooLarge,  // larger than the limit; nothing was read
  Failed,    // a folder, no rights, an I/O error
};

// Reads the whole file into *content. *status describes the version read
// (taken from the open file, so a concurrent replace cannot mismatch them).
ProfileReadResult ReadProfileFile(const std::string& hostPath, std::size_t limit,
                                  std::string* content, FileStatus* status);

// An exclusive lock on a folder, shared by every process and every thread:
// each holder has its own open description, so two threads of one process
// exclude each other as two processes do. Blocks until granted. nullptr when
// the folder cannot be opened (it does not exist) or locked.
struct ProfileFolderLock;
ProfileFolderLock* LockProfileFolder(const std::string& folderHostPath);
void UnlockProfileFolder(ProfileFolderLock* lock);

// Replaces the file hostPath, which lies directly in the locked folder, with
// content: a temporary file in the same folder is written, flushed and
// renamed over the target, then the folder is flushed. The target keeps its
// permission bits; a new file gets the default ones. On failure the target
// is untouched and the temporary file is gone. The caller holds the lock,
// which is what makes the temporary name free to use.
bool ReplaceProfileFile(ProfileFolderLock* lock, const std::string& hostPath,
                        std::string_view content);

}  // namespace hovane::platform::backend
