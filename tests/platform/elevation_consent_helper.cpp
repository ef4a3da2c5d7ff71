// Asks for the elevated probe from a process of its own, so that the test
// can run it as a user without rights to the prefix's machine areas.
//
//   elevation_consent_helper <prefix root> [<moniker>]
//
// Prints "may-write 0|1" for the prefix's machine areas and, with a
// moniker, "bind <status>" (hexadecimal) for creating the probe through it.
// The standard error stream is joined to the output, so the note of a
// refused consent shows there too.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/component/elevation.h"
#include "platform/elevation_probe.h"
#include "platform/prefix/prefix.h"

int main(int argc, char** argv) {
  namespace platform = hovane::platform;
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: %s <prefix root> [<moniker>]\n", argv[0]);
    return 2;
  }
  ::dup2(STDOUT_FILENO, STDERR_FILENO);
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  platform::SetPrefixRoot(argv[1]);
  std::printf("may-write %d\n", platform::MayWriteMachineAreas(argv[1]) ? 1 : 0);
  if (argc == 3) {
    const std::string moniker = argv[2];
    void* object = nullptr;
    const hovane::HRESULT status = platform::BindToObject(
        std::u16string(moniker.begin(), moniker.end()), hovane::test::kIidElevationProbe, &object);
    std::printf("bind %08X\n", static_cast<unsigned>(status));
    if (object) static_cast<platform::IUnknown*>(object)->Release();
  }
  return 0;
}
