// FileStatus from a stat(2) result, for the platform's POSIX backends.
// Internal to the platform layer.
#pragma once

#include <sys/stat.h>

#include <cstdint>

#include "platform/files/files.h"

namespace hovane::platform::backend {

inline FileStatus FileStatusFromStat(const struct stat& st) {
  FileStatus status;
  status.isDirectory = S_ISDIR(st.st_mode);
  status.size = status.isDirectory ? 0 : static_cast<std::uint64_t>(st.st_size);
  status.device = static_cast<std::uint64_t>(st.st_dev);
  status.inode = static_cast<std::uint64_t>(st.st_ino);
  status.modifiedNs =
      static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
  return status;
}

}  // namespace hovane::platform::backend
