// Writes the uninstall entry of a prefix from a process of its own, so that
// the test can run it as a user without rights to the machine hive.
//
//   uninstall_helper <prefix root>
//
// Prints "read <status> <text>" for the machine hive's value "Marker" of
// SOFTWARE\HovaneTests, "write <status>" for opening the uninstall key's
// parent for writing, then writes the entry and prints "done".
#include <cstdio>
#include <string>

#include "install/uninstall_entry.h"
#include "platform/prefix/prefix.h"
#include "platform/registry/registry.h"

int main(int argc, char** argv) {
  namespace platform = hovane::platform;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <prefix root>\n", argv[0]);
    return 2;
  }
  platform::SetPrefixRoot(argv[1]);

  platform::RegistryKey marker;
  std::string text;
  platform::RegStatus status =
      platform::OpenRegistryKey(platform::RegistryHive::LocalMachine, "SOFTWARE\\HovaneTests",
                                platform::RegAccess::Read, &marker);
  if (status == platform::RegStatus::Ok) status = marker.QueryString("Marker", &text);
  std::printf("read %d %s\n", static_cast<int>(status), text.c_str());

  platform::RegistryKey parent;
  status =
      platform::OpenRegistryKey(platform::RegistryHive::LocalMachine, hovane::kUninstallParentKey,
                                platform::RegAccess::All, &parent);
  std::printf("write %d\n", static_cast<int>(status));

  hovane::WriteUninstallEntry();
  std::printf("done\n");
  return 0;
}
