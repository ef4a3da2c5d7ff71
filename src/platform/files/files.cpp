// Front door of the files service: Windows path syntax, drive mapping and
// name conversion happen here once; the backend only makes the OS calls.
#include "platform/files/files.h"

#include <algorithm>

#include "platform/codepage/codepage.h"
#include "platform/files/files_backend.h"
#include "platform/prefix/prefix.h"

namespace hovane::platform {
namespace {

struct ParsedPath {
  char drive = 0;                       // lower-case drive letter
  std::vector<std::string> components;  // UTF-8 names
  bool trailingSeparator = false;
};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Characters Windows never allows in a name. Wildcards are allowed only
// where the caller says so (the last component of a search pattern).
bool IsForbiddenNameByte(unsigned char c, bool allowWildcards) {
  if (c < 0x20) return true;
  switch (c) {
    case '<': case '>': case ':': case '"': case '|':
      return true;
    case '*': case '?':
      return !allowWildcards;
    default:
      return false;
  }
}

// Splits a narrow path into its drive and names. Empty names and "." are
// dropped and ".." steps back, never above the drive's root, as Windows
// normalises full paths. A path is cut at its first NUL byte, as a C string.
std::optional<ParsedPath> ParsePath(std::string_view path, bool wildcardsInLast,
                                    FileError* error) {
  auto fail = [error](FileError reason) -> std::optional<ParsedPath> {
    if (error) *error = reason;
    return std::nullopt;
  };
  if (auto nul = path.find('\0'); nul != std::string_view::npos) path = path.substr(0, nul);
  if (path.size() < 2 || !IsAsciiLetter(path[0]) || path[1] != ':')
    return fail(FileError::PathNotFound);
  if (path.size() > 2 && !IsSeparator(path[2])) return fail(FileError::PathNotFound);

  ParsedPath parsed;
  parsed.drive = static_cast<char>(path[0] | 0x20);
  std::vector<std::string> narrowNames;
  std::string current;
  auto flush = [&]() {
    if (current.empty() || current == ".") {
    } else if (current == "..") {
      if (!narrowNames.empty()) narrowNames.pop_back();
    } else {
      narrowNames.push_back(current);
    }
    current.clear();
  };
  for (std::size_t i = 2; i < path.size(); ++i) {
    const char c = path[i];
    if (IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < path.size()) {
      current += c;
      current += path[++i];
      continue;
    }
    if (IsSeparator(c)) {
      flush();
      continue;
    }
    current += c;
  }
  parsed.trailingSeparator = path.size() > 2 && current.empty() && IsSeparator(path.back());
  flush();

  for (std::size_t n = 0; n < narrowNames.size(); ++n) {
    const std::string& name = narrowNames[n];
    const bool allowWildcards = wildcardsInLast && n + 1 == narrowNames.size();
    for (std::size_t i = 0; i < name.size(); ++i) {
      auto byte = static_cast<unsigned char>(name[i]);
      if (IsLeadByte(byte)) {
        ++i;
        continue;
      }
      if (IsForbiddenNameByte(byte, allowWildcards)) return fail(FileError::InvalidName);
    }
    auto utf8 = NarrowToUtf8(name);
    if (!utf8) return fail(FileError::InvalidName);
    parsed.components.push_back(std::move(*utf8));
  }
  return parsed;
}

std::string DriveRoot(char drive) { return PrefixRoot() + "/drive_" + drive; }

std::optional<std::string> Resolve(const ParsedPath& parsed, bool requireParent,
                                   FileError* error) {
  const std::string root = DriveRoot(parsed.drive);
  auto rootStatus = backend::StatHost(root);
  if (!rootStatus && parsed.drive == 'c' && EnsurePrefixLayout()) rootStatus = backend::StatHost(root);
  if (!rootStatus || !rootStatus->isDirectory) {
    if (error) *error = FileError::PathNotFound;
    return std::nullopt;
  }
  return backend::ResolveComponents(root, parsed.components, requireParent, error);
}

std::optional<std::string> ResolvePath(std::string_view path, bool requireParent,
                                       FileError* error) {
  auto parsed = ParsePath(path, false, error);
  if (!parsed) return std::nullopt;
  return Resolve(*parsed, requireParent, error);
}

// Wildcard match of Windows searches: '*' any run, '?' one character (a
// double-byte character counts as one), without regard to case.
bool MatchesPattern(std::string_view pattern, std::string_view name) {
  if (pattern == "*" || pattern == "*.*") return true;
  const std::string p = UpperCase(pattern);
  const std::string n = UpperCase(name);
  auto charLength = [](std::string_view s, std::size_t i) -> std::size_t {
    return (IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
  };
  std::size_t pi = 0, ni = 0;
  std::size_t starP = std::string::npos, starN = 0;
  while (ni < n.size()) {
    if (pi < p.size() && p[pi] == '*') {
      starP = pi++;
      starN = ni;
    } else if (pi < p.size() && p[pi] == '?') {
      ++pi;
      ni += charLength(n, ni);
    } else if (pi < p.size() && charLength(p, pi) == charLength(n, ni) &&
               p.compare(pi, charLength(p, pi), n, ni, charLength(n, ni)) == 0) {
      pi += charLength(p, pi);
      ni += charLength(n, ni);
    } else if (starP != std::string::npos) {
      pi = starP + 1;
      starN += charLength(n, starN);
      ni = starN;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

bool HasWildcards(std::string_view path) {
  return path.find_first_of("*?") != std::string_view::npos;
}

}  // namespace

const char* DescribeFileError(FileError error) {
  switch (error) {
    case FileError::Ok: return "success";
    case FileError::FileNotFound: return "file not found";
    case FileError::PathNotFound: return "path not found";
    case FileError::AlreadyExists: return "file already exists";
    case FileError::AccessDenied: return "access denied";
    case FileError::SharingViolation: return "file in use";
    case FileError::InvalidName: return "invalid file name";
    case FileError::NotEmpty: return "folder not empty";
    case FileError::DiskFull: return "disk full";
    case FileError::Failed: return "operation failed";
  }
  return "operation failed";
}

std::optional<std::string> ToHostPath(std::string_view path, FileError* error) {
  return ResolvePath(path, false, error);
}

std::optional<FileStatus> GetFileStatus(std::string_view path) {
  auto host = ResolvePath(path, false, nullptr);
  if (!host) return std::nullopt;
  return backend::StatHost(*host);
}

bool FindExact(std::string_view path) {
  if (HasWildcards(path)) return !FindFiles(path).empty();
  auto parsed = ParsePath(path, false, nullptr);
  // A search never matches a name with a trailing separator, nor a drive.
  if (!parsed || parsed->trailingSeparator || parsed->components.empty()) return false;
  auto host = Resolve(*parsed, true, nullptr);
  return host && backend::StatHost(*host).has_value();
}

std::vector<FindEntry> FindFiles(std::string_view pattern) {
  std::vector<FindEntry> found;
  auto parsed = ParsePath(pattern, true, nullptr);
  if (!parsed || parsed->components.empty() || parsed->trailingSeparator) return found;

  auto namePattern = Utf8ToNarrow(parsed->components.back());
  if (!namePattern) return found;
  parsed->components.pop_back();
  auto folder = Resolve(*parsed, true, nullptr);
  if (!folder) return found;
  auto status = backend::StatHost(*folder);
  if (!status || !status->isDirectory) return found;
  auto entries = backend::ListHostFolder(*folder);
  if (!entries) return found;

  if (!parsed->components.empty()) {
    for (const char* dots : {".", ".."})
      if (MatchesPattern(*namePattern, dots)) found.push_back({dots, true, 0});
  }
  std::vector<FindEntry> named;
  for (const backend::HostEntry& entry : *entries) {
    auto narrow = Utf8ToNarrow(entry.name);
    if (!narrow || !MatchesPattern(*namePattern, *narrow)) continue;
    named.push_back({std::move(*narrow), entry.isDirectory, entry.size});
  }
  // A stable order, as an NTFS folder lists its names sorted.
  std::sort(named.begin(), named.end(), [](const FindEntry& a, const FindEntry& b) {
    const std::string ua = UpperCase(a.name), ub = UpperCase(b.name);
    return ua != ub ? ua < ub : a.name < b.name;
  });
  found.insert(found.end(), named.begin(), named.end());
  return found;
}

FileError CreateFolder(std::string_view path) {
  FileError error = FileError::Ok;
  auto host = ResolvePath(path, true, &error);
  if (!host) return error;
  return backend::CreateHostFolder(*host);
}

FileError RemoveFolder(std::string_view path) {
  FileError error = FileError::Ok;
  auto parsed = ParsePath(path, false, &error);
  if (!parsed) return error;
  // A drive's root is never removed ("C:\windows\.." names it too).
  if (parsed->components.empty()) return FileError::AccessDenied;
  auto host = Resolve(*parsed, true, &error);
  if (!host) return error;
  return backend::RemoveHostFolder(*host);
}

namespace {

// The host path of an existing file's Windows-style path: a path that ends
// in a separator or names a drive is no file.
std::optional<std::string> ResolveFile(std::string_view path, FileError* error) {
  auto parsed = ParsePath(path, false, error);
  if (!parsed) return std::nullopt;
  if (parsed->trailingSeparator || parsed->components.empty()) {
    *error = FileError::FileNotFound;
    return std::nullopt;
  }
  return Resolve(*parsed, true, error);
}

}  // namespace

FileError DeleteFile(std::string_view path) {
  FileError error = FileError::Ok;
  const auto host = ResolveFile(path, &error);
  return host ? backend::DeleteHostFile(*host) : error;
}

FileError MakeExecutable(std::string_view path) {
  FileError error = FileError::Ok;
  const auto host = ResolveFile(path, &error);
  return host ? backend::MakeHostFileExecutable(*host) : error;
}

FileError MoveFile(std::string_view from, std::string_view to) {
  FileError error = FileError::Ok;
  auto parsedFrom = ParsePath(from, false, &error);
  if (!parsedFrom) return error;
  // A drive's root is never moved: that would take the whole drive along.
  if (parsedFrom->components.empty()) return FileError::AccessDenied;
  auto hostFrom = Resolve(*parsedFrom, true, &error);
  if (!hostFrom) return error;
  auto parsedTo = ParsePath(to, false, &error);
  if (!parsedTo) return error;
  if (parsedTo->components.empty()) return FileError::AccessDenied;
  auto hostTo = Resolve(*parsedTo, true, &error);
  if (!hostTo) return error;
  if (*hostTo == *hostFrom) {
    // A rename that changes only the letter case: the resolved target is the
    // source itself, so rename to the spelling that was asked for.
    const std::string& wanted = parsedTo->components.back();
    const std::string folder = hostTo->substr(0, hostTo->rfind('/'));
    if (hostTo->substr(folder.size() + 1) == wanted) return FileError::AlreadyExists;
    return backend::MoveHost(*hostFrom, folder + "/" + wanted);
  }
  return backend::MoveHost(*hostFrom, *hostTo);
}

FileError CopyFile(std::string_view from, std::string_view to, bool failIfExists) {
  FileError error = FileError::Ok;
  auto hostFrom = ResolvePath(from, true, &error);
  if (!hostFrom) return error;
  auto hostTo = ResolvePath(to, true, &error);
  if (!hostTo) return error;
  return backend::CopyHostFile(*hostFrom, *hostTo, failIfExists);
}

// --- File ---

struct File::Impl {
  backend::HostFile* file = nullptr;
  ~Impl() {
    if (file) backend::CloseHostFile(file);
  }
};

File::File() = default;
File::~File() = default;
File::File(File&&) noexcept = default;
File& File::operator=(File&&) noexcept = default;

File File::Open(std::string_view path, OpenMode mode, Access access, Share share,
                FileError* error) {
  File result;
  FileError reason = FileError::Ok;
  auto parsed = ParsePath(path, false, &reason);
  std::optional<std::string> host;
  if (parsed && (parsed->trailingSeparator || parsed->components.empty()))
    reason = FileError::AccessDenied;
  else if (parsed)
    host = Resolve(*parsed, true, &reason);
  if (host) {
    backend::HostFile* file = backend::OpenHostFile(*host, mode, access, share, &reason);
    if (file) {
      result.impl_ = std::make_unique<Impl>();
      result.impl_->file = file;
      reason = FileError::Ok;
    }
  }
  if (error) *error = reason;
  return result;
}

bool File::IsOpen() const { return impl_ && impl_->file; }

std::int64_t File::Read(void* buffer, std::size_t size) {
  return IsOpen() ? backend::ReadHostFile(impl_->file, buffer, size) : -1;
}

bool File::Write(const void* data, std::size_t size) {
  return IsOpen() && backend::WriteHostFile(impl_->file, data, size);
}

std::int64_t File::SeekToEnd() { return IsOpen() ? backend::SeekHostFileToEnd(impl_->file) : -1; }

std::int64_t File::Size() const { return IsOpen() ? backend::HostFileSize(impl_->file) : -1; }

bool File::Sync() { return IsOpen() && backend::SyncHostFile(impl_->file); }

void File::Close() { impl_.reset(); }

// --- ProgramImageHold ---

struct ProgramImageHold::Impl {
  backend::HostImageHold* hold = nullptr;
  ~Impl() {
    if (hold) backend::ReleaseHostImageHold(hold);
  }
};

ProgramImageHold::ProgramImageHold() = default;
ProgramImageHold::~ProgramImageHold() = default;
ProgramImageHold::ProgramImageHold(ProgramImageHold&&) noexcept = default;
ProgramImageHold& ProgramImageHold::operator=(ProgramImageHold&&) noexcept = default;

ProgramImageHold ProgramImageHold::AcquireHostPath(const std::string& hostPath, FileError* error) {
  ProgramImageHold result;
  FileError reason = FileError::Ok;
  if (backend::HostImageHold* hold = backend::AcquireHostImageHold(hostPath, &reason)) {
    result.impl_ = std::make_unique<Impl>();
    result.impl_->hold = hold;
  }
  if (error) *error = reason;
  return result;
}

ProgramImageHold ProgramImageHold::Acquire(std::string_view path, FileError* error) {
  FileError reason = FileError::Ok;
  auto host = ResolvePath(path, true, &reason);
  if (!host) {
    if (error) *error = reason;
    return {};
  }
  return AcquireHostPath(*host, error);
}

bool ProgramImageHold::IsHeld() const { return impl_ && impl_->hold; }

}  // namespace hovane::platform
