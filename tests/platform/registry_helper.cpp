// Second process of the registry tests: writes to the machine hive of a
// prefix while the test and other processes use it.
//
//   registry_helper <prefix root> write <tag> <count>
//       sets <count> numbers "<tag>-<i>" under SOFTWARE\Shared and creates
//       SOFTWARE\Shared\<tag>\<i>, each its own change; exit 0 when all
//       succeeded, else prints the failure and exits 1.
//   registry_helper <prefix root> chain
//       creates SOFTWARE\Chains\<i>\k1\...\k30 for i = 0, 1, ..., each
//       chain in one change, and prints i once it is written; runs until
//       killed or a change fails (exit 1).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/prefix/prefix.h"
#include "platform/registry/registry.h"

namespace platform = hovane::platform;
using platform::RegAccess;
using platform::RegistryHive;
using platform::RegistryKey;
using platform::RegStatus;

namespace {

constexpr int kChainDepth = 30;

int Fail(const char* what, RegStatus status) {
  std::printf("failed: %s: %s\n", what, platform::DescribeRegStatus(status));
  return 1;
}

int Write(const std::string& tag, int count) {
  RegistryKey root = RegistryKey::Root(RegistryHive::LocalMachine);
  for (int i = 0; i < count; ++i) {
    RegistryKey shared;
    if (RegStatus s = root.Create("SOFTWARE\\Shared", RegAccess::All, &shared); s != RegStatus::Ok)
      return Fail("create SOFTWARE\\Shared", s);
    if (RegStatus s = shared.SetDword(tag + "-" + std::to_string(i), static_cast<std::uint32_t>(i));
        s != RegStatus::Ok)
      return Fail("set value", s);
    RegistryKey child;
    if (RegStatus s = shared.Create(tag + "\\" + std::to_string(i), RegAccess::Read, &child);
        s != RegStatus::Ok)
      return Fail("create child", s);
  }
  return 0;
}

int Chain() {
  RegistryKey root = RegistryKey::Root(RegistryHive::LocalMachine);
  for (long i = 0;; ++i) {
    std::string path = "SOFTWARE\\Chains\\" + std::to_string(i);
    for (int depth = 1; depth <= kChainDepth; ++depth) path += "\\k" + std::to_string(depth);
    RegistryKey key;
    if (RegStatus s = root.Create(path, RegAccess::Read, &key); s != RegStatus::Ok)
      return Fail("create chain", s);
    std::printf("%ld\n", i);
    std::fflush(stdout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <prefix root> write <tag> <count> | chain\n", argv[0]);
    return 2;
  }
  platform::SetPrefixRoot(argv[1]);
  if (std::strcmp(argv[2], "write") == 0 && argc == 5) return Write(argv[3], std::atoi(argv[4]));
  if (std::strcmp(argv[2], "chain") == 0) return Chain();
  std::fprintf(stderr, "unknown mode %s\n", argv[2]);
  return 2;
}
