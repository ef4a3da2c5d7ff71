// Profile files on Linux: whole-file reads, flock(2) on the folder, and
// replace by rename(2).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "platform/files/linux/file_status_posix.h"
#include "platform/profile/profile_backend.h"

namespace hovane::platform::backend {
namespace {

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// The temporary file of a target. Only the holder of the folder lock uses
// it, so a fixed name per target is free whenever the lock is held, and a
// file left under it by a writer that was killed is found and replaced by
// the next writer instead of piling up. Long names are shortened to stay
// within the file system's name limit; two targets that share the shortened
// name still never meet, as they share the folder and so the lock.
std::string TemporaryPath(const std::string& hostPath) {
  const std::size_t slash = hostPath.rfind('/');
  std::string name = hostPath.substr(slash + 1);
  if (name.size() > 200) name.resize(200);
  return hostPath.substr(0, slash + 1) + "." + name + ".hvtmp";
}

}  // namespace

struct ProfileFolderLock {
  int fd = -1;
};

std::optional<FileStatus> StatProfileFile(const std::string& hostPath) {
  struct stat st;
  if (::stat(hostPath.c_str(), &st) != 0) return std::nullopt;
  return FileStatusFromStat(st);
}

ProfileReadResult ReadProfileFile(const std::string& hostPath, std::size_t limit,
                                  std::string* content, FileStatus* status) {
  // O_NONBLOCK so that a FIFO under the name cannot hang the reader; it has
  // no effect on a regular file.
  const int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0)
    return (errno == ENOENT || errno == ENOTDIR) ? ProfileReadResult::Missing
                                                 : ProfileReadResult::Failed;
  struct stat st;
  ProfileReadResult result = ProfileReadResult::Ok;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    result = ProfileReadResult::Failed;
  } else if (static_cast<std::uint64_t>(st.st_size) > limit) {
    result = ProfileReadResult::TooLarge;
  } else {
    *status = FileStatusFromStat(st);
    // The size is a hint only: a program outside the layer may be writing
    // the file in place, so read to the end, never past the limit. The one
    // spare byte lets the final read see the end without growing (and so
    // copying) the buffer.
    content->clear();
    content->resize(static_cast<std::size_t>(st.st_size) + 1);
    std::size_t filled = 0;
    for (;;) {
      if (filled == content->size()) {
        if (content->size() > limit) {
          result = ProfileReadResult::TooLarge;
          break;
        }
        content->resize(std::min(limit + 1, content->size() * 2));
      }
      const ssize_t got = ::read(fd, content->data() + filled, content->size() - filled);
      if (got < 0) {
        if (errno == EINTR) continue;
        result = ProfileReadResult::Failed;
        break;
      }
      if (got == 0) break;
      filled += static_cast<std::size_t>(got);
    }
    content->resize(filled);
  }
  ::close(fd);
  if (result != ProfileReadResult::Ok) content->clear();
  return result;
}

ProfileFolderLock* LockProfileFolder(const std::string& folderHostPath) {
  // A descriptor of our own per lock taker: flock(2) locks belong to the
  // open file description, so threads exclude each other too.
  const int fd = ::open(folderHostPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(fd);
      return nullptr;
    }
  }
  return new ProfileFolderLock{fd};
}

void UnlockProfileFolder(ProfileFolderLock* lock) {
  if (lock == nullptr) return;
  ::close(lock->fd);  // closing the only descriptor of the description unlocks it
  delete lock;
}

bool ReplaceProfileFile(ProfileFolderLock* lock, const std::string& hostPath,
                        std::string_view content) {
  if (lock == nullptr) return false;
  // A file that may not be written refuses the write, as a read-only file
  // does on Windows, even though the folder would let a rename replace it.
  // A file without any write bit counts as read-only even for root.
  struct stat target;
  const bool exists = ::stat(hostPath.c_str(), &target) == 0;
  if (exists && (!S_ISREG(target.st_mode) || (target.st_mode & 0222) == 0 ||
                 ::access(hostPath.c_str(), W_OK) != 0))
    return false;

  const std::string temporary = TemporaryPath(hostPath);
  int fd = -1;
  for (int attempt = 0; attempt < 2 && fd < 0; ++attempt) {
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) ::unlink(temporary.c_str());  // left by a killed writer
  }
  if (fd < 0) return false;

  bool ok = true;
  if (exists) ok = ::fchmod(fd, target.st_mode & 07777) == 0;
  ok = ok && WriteAll(fd, content) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temporary.c_str(), hostPath.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    return false;
  }
  // The rename is durable once the folder's entry is on disk. The write has
  // happened either way, so a failed flush of the folder does not undo it.
  ::fsync(lock->fd);
  return true;
}

}  // namespace hovane::platform::backend
