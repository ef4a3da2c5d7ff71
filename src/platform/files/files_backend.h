// Backend of the files service: the operating-system calls on host paths.
// Internal to the platform layer. The front door (files.cpp) has already
// parsed the Windows-style path, mapped its drive and converted its names;
// every host path here is absolute UTF-8 whose components have been resolved
// (ResolveComponents) unless said otherwise.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/files/files.h"

namespace hovane::platform::backend {

// Joins root and components into a host path, resolving every component that
// exists without regard to case (an exact match is preferred; among several
// case-variants the first in byte order wins). Components that do not exist
// are kept as given. Fails with PathNotFound when a component other than the
// last is missing or is not a folder and requireParent is set.
std::optional<std::string> ResolveComponents(const std::string& root,
                                             const std::vector<std::string>& components,
                                             bool requireParent, FileError* error);

std::optional<FileStatus> StatHost(const std::string& hostPath);

struct HostEntry {
  std::string name;  // UTF-8
  bool isDirectory = false;
  std::uint64_t size = 0;
};
// The entries of a folder except "." and "..", in the host's order; nullopt
// when the folder cannot be read.
std::optional<std::vector<HostEntry>> ListHostFolder(const std::string& hostPath);

FileError CreateHostFolder(const std::string& hostPath);
FileError RemoveHostFolder(const std::string& hostPath);
FileError DeleteHostFile(const std::string& hostPath);
FileError MakeHostFileExecutable(const std::string& hostPath);
FileError MoveHost(const std::string& from, const std::string& to);
FileError CopyHostFile(const std::string& from, const std::string& to, bool failIfExists);

// Opaque open file of the backend.
struct HostFile;
HostFile* OpenHostFile(const std::string& hostPath, OpenMode mode, Access access, Share share,
                       FileError* error);
std::int64_t ReadHostFile(HostFile* file, void* buffer, std::size_t size);
bool WriteHostFile(HostFile* file, const void* data, std::size_t size);
std::int64_t SeekHostFileToEnd(HostFile* file);
std::int64_t HostFileSize(const HostFile* file);
bool SyncHostFile(HostFile* file);
void CloseHostFile(HostFile* file);

// Opaque program-image hold.
struct HostImageHold;
HostImageHold* AcquireHostImageHold(const std::string& hostPath, FileError* error);
void ReleaseHostImageHold(HostImageHold* hold);

}  // namespace hovane::platform::backend
