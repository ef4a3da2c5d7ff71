// Linux backend of the files service: POSIX calls on resolved host paths.
//
// Windows semantics this file has to recreate on top of POSIX:
//   - lookups that ignore letter case (the host file system is case-sensitive);
//   - moves that never replace their target (rename(2) silently replaces);
//   - "file in use" refusals (Linux lets anyone unlink or rename an open or
//     running file). These are modelled with open-file-description locks on
//     two bytes far past any real file size, one byte per kind of hold.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/files/files_backend.h"
#include "platform/files/linux/file_status_posix.h"

namespace hovane::platform::backend {
namespace {

// --- error translation ------------------------------------------------------

// The one place where an errno becomes a FileError.
FileError ErrorFromErrno(int err) {
  switch (err) {
    case 0:
      return FileError::Ok;
    case ENOENT:
      return FileError::FileNotFound;
    case ENOTDIR:
      return FileError::PathNotFound;
    case EEXIST:
      return FileError::AlreadyExists;
    case ENOTEMPTY:
      return FileError::NotEmpty;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return FileError::AccessDenied;
    case EBUSY:
    case ETXTBSY:
    case EAGAIN:
      return FileError::SharingViolation;
    case ENAMETOOLONG:
    case EILSEQ:
      return FileError::InvalidName;
    case ENOSPC:
    case EDQUOT:
      return FileError::DiskFull;
    default:
      return FileError::Failed;
  }
}

FileError LastError() { return ErrorFromErrno(errno); }

// --- small helpers ------------------------------------------------------------

// Owns a file descriptor; closes it at the end of the scope.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC | O_NOCTTY, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

std::string FolderOf(const std::string& hostPath) {
  const std::size_t slash = hostPath.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return hostPath.substr(0, slash);
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Names on disk are UTF-8. Every byte of a multibyte UTF-8 character is
// 0x80 or above, so folding only the ASCII letters byte by byte never
// touches part of another character.
bool EqualsAsciiNoCase(const char* a, const std::string& b) {
  std::size_t i = 0;
  for (; a[i] != '\0' && i < b.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return a[i] == '\0' && i == b.size();
}

// The name in folder that name refers to on a case-insensitive system: the
// exact name when it exists, else the first case-variant in byte order.
// Scanning the folder costs a readdir per missing component; the folders this
// system works in are small.
std::optional<std::string> FindName(const std::string& folder, const std::string& name) {
  struct stat st;
  if (::lstat((folder + "/" + name).c_str(), &st) == 0) return name;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return std::nullopt;
  std::optional<std::string> best;
  while (const dirent* entry = ::readdir(dir)) {
    if (!EqualsAsciiNoCase(entry->d_name, name)) continue;
    if (!best || *best > entry->d_name) best = entry->d_name;
  }
  ::closedir(dir);
  return best;
}

// --- holds ----------------------------------------------------------------------
//
// A hold is a shared (F_RDLCK) open-file-description lock on one byte of the
// file. OFD locks, unlike classic POSIX record locks, belong to the open file
// description rather than to the process, so two handles in the same process
// see each other's holds as they would on Windows, and closing an unrelated
// descriptor of the same file does not drop a hold. The bytes lie far past
// any real file size, so the holds never meet a lock on the file's content.
// Locks belong to the inode, not the name: a running program that is moved
// stays held under its new name.
//
// Operations refused by a hold test for it first and then act (probe with
// F_OFD_GETLK, then unlink/rename/truncate). A hold placed by another process
// between the two steps is not seen. That window is a few system calls wide;
// the holder still has its file open and keeps working with it (Linux keeps
// the inode alive), so the outcome is the same as if the operation had come
// just before the holder opened the file. Closing the window would need a
// write lock, and with it write access, on files that are often read-only.
//
// A probe asks whether a write lock on the byte would conflict. Any lock
// covering the byte answers yes, including a whole-file record lock placed by
// a program outside the layer; that errs on the side of "in use".

static_assert(sizeof(off_t) >= 8, "holds need 64-bit file offsets");
constexpr off_t kImageHoldByte = static_cast<off_t>(0x7FFF'FFFF'0000'0000LL);
constexpr off_t kNoDeleteHoldByte = kImageHoldByte + 1;

bool PlaceHold(int fd, off_t byte) {
  struct flock lock = {};
  lock.l_type = F_RDLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  int rc;
  do {
    rc = ::fcntl(fd, F_OFD_SETLK, &lock);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

bool CarriesHold(int fd, off_t byte) {
  struct flock probe = {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = byte;
  probe.l_len = 1;
  if (::fcntl(fd, F_OFD_GETLK, &probe) != 0) return false;
  return probe.l_type != F_UNLCK;
}

struct HoldsFound {
  bool image = false;
  bool noDelete = false;
};

// The holds on the regular file at hostPath (symbolic links followed).
// F_OFD_GETLK needs no particular access mode, so any descriptor will do;
// a file nobody may open cannot carry a hold from this layer.
HoldsFound HoldsOn(const std::string& hostPath) {
  int fd = OpenRetrying(hostPath.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd < 0 && errno == EACCES) fd = OpenRetrying(hostPath.c_str(), O_WRONLY | O_NONBLOCK);
  if (fd < 0) return {};
  UniqueFd owner(fd);
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return {};
  return {CarriesHold(fd, kImageHoldByte), CarriesHold(fd, kNoDeleteHoldByte)};
}

// --- content ----------------------------------------------------------------

bool WriteAll(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = EIO;
      return false;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Copies from the current offset of src to the end, into dst. copy_file_range
// lets the kernel (or the file system, with reflinks) do the work; where it
// cannot (another file system, an old kernel, a special file) the copy goes
// on with read/write from where it stopped, since both calls advance the
// same file offsets. errno is left set on failure.
bool CopyContent(int src, int dst) {
  for (;;) {
    ssize_t n = ::copy_file_range(src, nullptr, dst, nullptr, std::size_t{1} << 30, 0);
    if (n > 0) continue;
    if (n == 0) return true;
    if (errno == EINTR) continue;
    if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
        errno == EPERM)
      break;
    return false;
  }
  std::vector<char> buffer(std::size_t{1} << 17);
  for (;;) {
    ssize_t n = ::read(src, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    if (!WriteAll(dst, buffer.data(), static_cast<std::size_t>(n))) return false;
  }
}

// --- renames ------------------------------------------------------------------

// rename(2) that fails with EEXIST instead of replacing; 0 or an errno.
// RENAME_NOREPLACE is atomic but not supported by every file system; there,
// a file can still be moved atomically without replacing by link(2), which
// refuses an existing name, followed by unlink(2). A folder cannot be
// hard-linked, so it has no atomic fallback and the move fails (EINVAL)
// rather than risk replacing.
int RenameNoReplace(const std::string& from, const std::string& to, bool isFolder) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if ((errno != EINVAL && errno != ENOSYS) || isFolder) return errno;
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  if (::unlink(from.c_str()) != 0) {
    const int err = errno;
    ::unlink(to.c_str());
    return err;
  }
  return 0;
}

}  // namespace

// --- paths ----------------------------------------------------------------------

std::optional<std::string> ResolveComponents(const std::string& root,
                                             const std::vector<std::string>& components,
                                             bool requireParent, FileError* error) {
  std::string path = root;
  // Whether path is an existing folder, so that the next name is worth
  // looking up; below a missing component every name is kept as given.
  bool inFolder = true;
  for (std::size_t i = 0; i < components.size(); ++i) {
    const bool last = i + 1 == components.size();
    std::optional<std::string> actual;
    if (inFolder) actual = FindName(path, components[i]);
    path += '/';
    path += actual ? *actual : components[i];
    if (last) break;
    struct stat st;
    inFolder = actual && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    if (!inFolder && requireParent) {
      if (error) *error = FileError::PathNotFound;
      return std::nullopt;
    }
  }
  return path;
}

std::optional<FileStatus> StatHost(const std::string& hostPath) {
  struct stat st;
  if (::stat(hostPath.c_str(), &st) != 0) return std::nullopt;
  return FileStatusFromStat(st);
}

std::optional<std::vector<HostEntry>> ListHostFolder(const std::string& hostPath) {
  DIR* dir = ::opendir(hostPath.c_str());
  if (dir == nullptr) return std::nullopt;
  std::vector<HostEntry> entries;
  bool failed = false;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir);
    if (entry == nullptr) {
      failed = errno != 0;
      break;
    }
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    HostEntry host{name, entry->d_type == DT_DIR, 0};
    if (!host.isDirectory) {
      // Files need their size; links and file systems that do not fill in
      // d_type need a stat to tell a folder from a file. An entry that cannot
      // be stat'ed (a dangling link, a name removed meanwhile) is left out,
      // as a find on its exact path would not see it either.
      //
      // A link is never listed as a folder, even when it points at one: a
      // caller that walks a tree to delete it then removes the link itself
      // (DeleteFile unlinks links) instead of descending into whatever the
      // link points at, possibly far outside the tree.
      struct stat st;
      if (::fstatat(::dirfd(dir), entry->d_name, &st, 0) != 0) continue;
      struct stat link;
      const bool isLink = ::fstatat(::dirfd(dir), entry->d_name, &link, AT_SYMLINK_NOFOLLOW) == 0 &&
                          S_ISLNK(link.st_mode);
      host.isDirectory = S_ISDIR(st.st_mode) && !isLink;
      if (S_ISREG(st.st_mode)) host.size = static_cast<std::uint64_t>(st.st_size);
    }
    entries.push_back(std::move(host));
  }
  ::closedir(dir);
  if (failed) return std::nullopt;
  return entries;
}

// --- folders ------------------------------------------------------------------

FileError CreateHostFolder(const std::string& hostPath) {
  return ::mkdir(hostPath.c_str(), 0777) == 0 ? FileError::Ok : LastError();
}

FileError RemoveHostFolder(const std::string& hostPath) {
  return ::rmdir(hostPath.c_str()) == 0 ? FileError::Ok : LastError();
}

// --- files --------------------------------------------------------------------

FileError MakeHostFileExecutable(const std::string& hostPath) {
  struct stat st;
  if (::stat(hostPath.c_str(), &st) != 0) return LastError();
  if (!S_ISREG(st.st_mode)) return FileError::AccessDenied;
  // Execute for each class that may read: r-- becomes r-x.
  const mode_t execute = (st.st_mode & (S_IRUSR | S_IRGRP | S_IROTH)) >> 2;
  return ::chmod(hostPath.c_str(), (st.st_mode & 07777) | execute) == 0 ? FileError::Ok
                                                                       : LastError();
}

FileError DeleteHostFile(const std::string& hostPath) {
  struct stat st;
  if (::lstat(hostPath.c_str(), &st) != 0) return LastError();
  // POSIX lets unlink(2) of a folder fail with EPERM or EISDIR, or even
  // succeed for a privileged caller on some systems; Windows always says
  // access denied, so decide before the call.
  if (S_ISDIR(st.st_mode)) return FileError::AccessDenied;
  if (S_ISREG(st.st_mode)) {
    const HoldsFound holds = HoldsOn(hostPath);
    if (holds.image || holds.noDelete) return FileError::SharingViolation;
  }
  return ::unlink(hostPath.c_str()) == 0 ? FileError::Ok : LastError();
}

FileError MoveHost(const std::string& from, const std::string& to) {
  struct stat st;
  if (::lstat(from.c_str(), &st) != 0) return LastError();
  const bool isFile = S_ISREG(st.st_mode);
  // A running program may be renamed (that is how it is replaced while it
  // runs); a file held without delete sharing may not.
  if (isFile && HoldsOn(from).noDelete) return FileError::SharingViolation;

  const int err = RenameNoReplace(from, to, S_ISDIR(st.st_mode));
  if (err != EXDEV || !isFile) return ErrorFromErrno(err);

  // Drives may live on different file systems. Windows moves a file across
  // volumes by copying it and deleting the source, and so do we; the source
  // is deleted only once the copy is in place, and a source that may not be
  // deleted (a running program) leaves no copy behind.
  FileError result = CopyHostFile(from, to, true);
  if (result != FileError::Ok) return result;
  result = DeleteHostFile(from);
  if (result != FileError::Ok) ::unlink(to.c_str());
  return result;
}

FileError CopyHostFile(const std::string& from, const std::string& to, bool failIfExists) {
  UniqueFd source(OpenRetrying(from.c_str(), O_RDONLY));
  if (source.get() < 0) return LastError();
  struct stat st;
  if (::fstat(source.get(), &st) != 0) return LastError();
  if (S_ISDIR(st.st_mode)) return FileError::AccessDenied;

  struct stat existing;
  // Spares copying a large file only to be refused; the no-replace rename
  // below is what actually keeps the target.
  if (failIfExists && ::lstat(to.c_str(), &existing) == 0) return FileError::AlreadyExists;

  // The copy is written beside the target and renamed over it, so that the
  // target is never seen half-written and a failed copy leaves it as it was.
  std::string temp = FolderOf(to) + "/.hovane-copy-XXXXXX";
  UniqueFd target(::mkostemp(temp.data(), O_CLOEXEC));
  if (target.get() < 0) return LastError();

  // Windows keeps the content, the attributes and the time of last write of
  // the source. Here the attributes are the permission bits: an executable
  // copied must stay executable.
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  FileError result = FileError::Ok;
  if (!CopyContent(source.get(), target.get()) || ::fchmod(target.get(), st.st_mode & 0777) != 0 ||
      ::futimens(target.get(), times) != 0 || ::close(target.release()) != 0) {
    result = LastError();
  } else if (failIfExists) {
    result = ErrorFromErrno(RenameNoReplace(temp, to, false));
  } else {
    const HoldsFound holds = HoldsOn(to);
    if (holds.image || holds.noDelete)
      result = FileError::SharingViolation;
    else if (::rename(temp.c_str(), to.c_str()) != 0)
      result = LastError();
  }
  if (result != FileError::Ok) ::unlink(temp.c_str());
  return result;
}

// --- open files ---------------------------------------------------------------

struct HostFile {
  int fd = -1;
  bool writable = false;
};

HostFile* OpenHostFile(const std::string& hostPath, OpenMode mode, Access access, Share share,
                       FileError* error) {
  auto fail = [error](FileError reason) -> HostFile* {
    if (error) *error = reason;
    return nullptr;
  };
  const bool truncate = mode == OpenMode::CreateAlways;
  const bool writes = access != Access::Read || truncate;
  int flags = writes ? O_RDWR : O_RDONLY;
  if (mode != OpenMode::OpenExisting) flags |= O_CREAT;

  // Opened for reading as well as writing: a hold is a read lock, which
  // needs a readable descriptor, and truncating needs a writable one even
  // when the caller only reads. O_TRUNC is never used: the program-image
  // hold must be checked before anything is truncated.
  int fd = OpenRetrying(hostPath.c_str(), flags, 0666);
  if (fd < 0 && errno == EACCES && access == Access::Write && share == Share::All)
    fd = OpenRetrying(hostPath.c_str(), (flags & ~O_RDWR) | O_WRONLY, 0666);
  if (fd < 0) return fail(LastError());
  UniqueFd owner(fd);

  struct stat st;
  if (::fstat(fd, &st) != 0) return fail(LastError());
  if (S_ISDIR(st.st_mode)) return fail(FileError::AccessDenied);
  if (writes && CarriesHold(fd, kImageHoldByte)) return fail(FileError::SharingViolation);
  if (share == Share::NoDelete && !PlaceHold(fd, kNoDeleteHoldByte)) return fail(LastError());
  // Truncating an already empty file is skipped: on ext4 a truncation makes
  // the later close flush the whole file, which a download pays for.
  if (truncate && st.st_size != 0 && ::ftruncate(fd, 0) != 0) return fail(LastError());

  if (error) *error = FileError::Ok;
  return new HostFile{owner.release(), access != Access::Read};
}

std::int64_t ReadHostFile(HostFile* file, void* buffer, std::size_t size) {
  if (size > (std::size_t{1} << 30)) size = std::size_t{1} << 30;
  ssize_t n;
  do {
    n = ::read(file->fd, buffer, size);
  } while (n < 0 && errno == EINTR);
  return n;
}

bool WriteHostFile(HostFile* file, const void* data, std::size_t size) {
  return file->writable && WriteAll(file->fd, data, size);
}

std::int64_t SeekHostFileToEnd(HostFile* file) { return ::lseek(file->fd, 0, SEEK_END); }

std::int64_t HostFileSize(const HostFile* file) {
  struct stat st;
  return ::fstat(file->fd, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

bool SyncHostFile(HostFile* file) { return ::fsync(file->fd) == 0; }

// Closing the descriptor releases the no-delete hold with it. Descriptors are
// close-on-exec, so a started program never inherits (and prolongs) a hold.
void CloseHostFile(HostFile* file) {
  ::close(file->fd);
  delete file;
}

// --- program-image holds --------------------------------------------------------

struct HostImageHold {
  int fd = -1;
};

HostImageHold* AcquireHostImageHold(const std::string& hostPath, FileError* error) {
  UniqueFd fd(OpenRetrying(hostPath.c_str(), O_RDONLY));
  FileError reason = FileError::Ok;
  struct stat st;
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0)
    reason = LastError();
  else if (S_ISDIR(st.st_mode))
    reason = FileError::AccessDenied;
  else if (!PlaceHold(fd.get(), kImageHoldByte))
    reason = LastError();
  if (error) *error = reason;
  if (reason != FileError::Ok) return nullptr;
  return new HostImageHold{fd.release()};
}

void ReleaseHostImageHold(HostImageHold* hold) {
  ::close(hold->fd);
  delete hold;
}

}  // namespace hovane::platform::backend
