// Linux backend of module loading: dlopen, dlsym, dlclose.
//
// Two Windows behaviours the system relies on need work here:
//   - The altered search path: Windows looks for a module's dependencies in
//     the module's own folder first. The dynamic linker only looks where the
//     module's RUNPATH, LD_LIBRARY_PATH and the system say. So the
//     dependencies named in the module's dynamic section that lie in its
//     folder are loaded by full path first; when the module is then loaded,
//     the linker finds them already in the process under their names.
//   - Exports: GetProcAddress looks at the module's own exports only, while
//     dlsym also searches the libraries the module depends on. A symbol found
//     in another object counts as absent.
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "platform/component/component_backend.h"

namespace hovane::platform::backend {

struct HostModule {
  void* handle = nullptr;
  // Dependencies loaded from the module's folder, in load order.
  std::vector<void*> dependencies;
};

namespace {

// Dependencies are followed this deep; deeper chains are left to the linker.
constexpr int kMaxDependencyDepth = 8;
// A dynamic section or string table larger than this is not read.
constexpr std::size_t kMaxSectionBytes = 16u << 20;

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

bool ReadAt(int fd, void* buffer, std::size_t size, std::uint64_t offset) {
  auto* out = static_cast<char*>(buffer);
  while (size > 0) {
    const ssize_t got = ::pread(fd, out, size, static_cast<off_t>(offset));
    if (got <= 0) return false;
    out += got;
    size -= static_cast<std::size_t>(got);
    offset += static_cast<std::uint64_t>(got);
  }
  return true;
}

// The names in the DT_NEEDED entries of an ELF file of this process's own
// class. The file is untrusted: every offset and size is checked, and a file
// that is not such an ELF object simply has no dependencies here (loading
// it then fails on its own).
std::vector<std::string> NeededLibraries(const std::string& hostPath) {
  std::vector<std::string> needed;
  Fd fd(::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return needed;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return needed;
  const auto fileSize = static_cast<std::uint64_t>(st.st_size);

  ElfW(Ehdr) header;
  if (!ReadAt(fd.get(), &header, sizeof header, 0)) return needed;
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) return needed;
#if __WORDSIZE == 64
  if (header.e_ident[EI_CLASS] != ELFCLASS64) return needed;
#else
  if (header.e_ident[EI_CLASS] != ELFCLASS32) return needed;
#endif
  if (header.e_phentsize != sizeof(ElfW(Phdr)) || header.e_phnum == 0) return needed;
  const std::uint64_t tableBytes = std::uint64_t{header.e_phnum} * sizeof(ElfW(Phdr));
  if (header.e_phoff > fileSize || tableBytes > fileSize - header.e_phoff) return needed;
  std::vector<ElfW(Phdr)> segments(header.e_phnum);
  if (!ReadAt(fd.get(), segments.data(), tableBytes, header.e_phoff)) return needed;

  const ElfW(Phdr)* dynamic = nullptr;
  for (const ElfW(Phdr) & segment : segments)
    if (segment.p_type == PT_DYNAMIC) dynamic = &segment;
  if (dynamic == nullptr || dynamic->p_filesz > kMaxSectionBytes || dynamic->p_offset > fileSize ||
      dynamic->p_filesz > fileSize - dynamic->p_offset)
    return needed;
  std::vector<ElfW(Dyn)> entries(dynamic->p_filesz / sizeof(ElfW(Dyn)));
  if (entries.empty() ||
      !ReadAt(fd.get(), entries.data(), entries.size() * sizeof(ElfW(Dyn)), dynamic->p_offset))
    return needed;

  std::uint64_t tableAddress = 0, tableSize = 0;
  bool haveTable = false;
  for (const ElfW(Dyn) & entry : entries) {
    if (entry.d_tag == DT_NULL) break;
    if (entry.d_tag == DT_STRTAB) {
      tableAddress = entry.d_un.d_ptr;
      haveTable = true;
    } else if (entry.d_tag == DT_STRSZ) {
      tableSize = entry.d_un.d_val;
    }
  }
  if (!haveTable || tableSize == 0 || tableSize > kMaxSectionBytes) return needed;
  // The string table is named by its address once loaded; find the file
  // offset through the loadable segment that holds it.
  std::uint64_t tableOffset = 0;
  bool mapped = false;
  for (const ElfW(Phdr) & segment : segments) {
    if (segment.p_type != PT_LOAD || tableAddress < segment.p_vaddr) continue;
    const std::uint64_t into = tableAddress - segment.p_vaddr;
    if (into >= segment.p_filesz || tableSize > segment.p_filesz - into) continue;
    tableOffset = segment.p_offset + into;
    mapped = true;
    break;
  }
  if (!mapped || tableOffset > fileSize || tableSize > fileSize - tableOffset) return needed;
  std::string strings(tableSize, '\0');
  if (!ReadAt(fd.get(), strings.data(), tableSize, tableOffset)) return needed;

  for (const ElfW(Dyn) & entry : entries) {
    if (entry.d_tag == DT_NULL) break;
    if (entry.d_tag != DT_NEEDED || entry.d_un.d_val >= tableSize) continue;
    const char* name = strings.c_str() + entry.d_un.d_val;
    needed.emplace_back(name, strnlen(name, tableSize - entry.d_un.d_val));
  }
  return needed;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int OpenFlags(const ModuleLoadOptions& options) {
  return RTLD_NOW | RTLD_LOCAL | (options.neverUnload ? RTLD_NODELETE : 0);
}

// Loads the dependencies of the module at path that lie in folder, deepest
// first, so that the linker finds each of them already loaded by its name.
// A name that is already loaded in the process stays the one in use, as on
// Windows a module of that name already in memory is used.
void PreloadFolderDependencies(const std::string& path, const std::string& folder,
                               const ModuleLoadOptions& options, int depth,
                               std::set<std::string>* seen, std::vector<void*>* loaded) {
  if (depth >= kMaxDependencyDepth) return;
  for (const std::string& name : NeededLibraries(path)) {
    if (name.empty() || name.find('/') != std::string::npos) continue;
    if (!seen->insert(name).second) continue;
    if (void* present = ::dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD)) {
      ::dlclose(present);
      continue;
    }
    const std::string candidate = folder + "/" + name;
    if (!IsRegularFile(candidate)) continue;
    PreloadFolderDependencies(candidate, folder, options, depth + 1, seen, loaded);
    if (void* handle = ::dlopen(candidate.c_str(), OpenFlags(options))) loaded->push_back(handle);
  }
}

void CloseAll(std::vector<void*>& handles) {
  for (auto it = handles.rbegin(); it != handles.rend(); ++it) ::dlclose(*it);
  handles.clear();
}

}  // namespace

HostModule* LoadHostModule(const std::string& hostPath, const ModuleLoadOptions& options,
                           ModuleError* error, std::string* detail) {
  struct stat st;
  if (::stat(hostPath.c_str(), &st) != 0) {
    *error = ModuleError::NotFound;
    *detail = "no module at " + hostPath;
    return nullptr;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = ModuleError::BadModule;
    *detail = hostPath + " is not a file";
    return nullptr;
  }
  auto module = std::make_unique<HostModule>();
  if (options.searchModuleFolder) {
    std::set<std::string> seen;
    PreloadFolderDependencies(hostPath, FolderOf(hostPath), options, 0, &seen,
                              &module->dependencies);
  }
  // A path without a slash would make dlopen search the library path.
  module->handle = ::dlopen(hostPath.c_str(), OpenFlags(options));
  if (module->handle == nullptr) {
    const char* message = ::dlerror();
    *error = ModuleError::BadModule;
    *detail = message ? message : "the module cannot be loaded";
    CloseAll(module->dependencies);
    return nullptr;
  }
  *error = ModuleError::Ok;
  return module.release();
}

void* FindHostModuleExport(HostModule* module, const std::string& name) {
  if (name.empty() || name.find('\0') != std::string::npos) return nullptr;
  ::dlerror();
  void* symbol = ::dlsym(module->handle, name.c_str());
  if (symbol == nullptr) return nullptr;
  link_map* own = nullptr;
  if (::dlinfo(module->handle, RTLD_DI_LINKMAP, &own) != 0 || own == nullptr) return nullptr;
  Dl_info info;
  void* extra = nullptr;
  if (::dladdr1(symbol, &info, &extra, RTLD_DL_LINKMAP) == 0) return nullptr;
  return static_cast<link_map*>(extra) == own ? symbol : nullptr;
}

void UnloadHostModule(HostModule* module) {
  if (module->handle) ::dlclose(module->handle);
  CloseAll(module->dependencies);
  delete module;
}

std::string HostModulePathOf(const void* address) {
  Dl_info info;
  if (address == nullptr || ::dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
  // The main program may be named without its folder; only an absolute name
  // is a path another process can load.
  std::string path = info.dli_fname;
  if (path.empty() || path.front() != '/') {
    char resolved[4096];
    if (::realpath(path.c_str(), resolved) == nullptr) return {};
    path = resolved;
  }
  return path;
}

}  // namespace hovane::platform::backend
