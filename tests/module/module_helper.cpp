// module_helper PREFIX MODULE ENTRY [COMMAND-LINE]
// Loads the module and calls one of its entry points in this process:
//   install / uninstall   DllInstall(TRUE / FALSE, COMMAND-LINE), the
//                         command line null when not given
//   register / unregister DllRegisterServer / DllUnregisterServer
// Prints the status as 8 hex digits; exits 0 when the entry was called.
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/codepage/codepage.h"
#include "platform/com/status.h"
#include "platform/component/component.h"
#include "platform/prefix/prefix.h"

namespace platform = hovane::platform;

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  platform::SetPrefixRoot(argv[1]);
  platform::LoadedModule module = platform::LoadedModule::LoadHostPath(argv[2]);
  if (!module.IsLoaded()) return 3;
  const std::string entry = argv[3];
  hovane::HRESULT status = hovane::E_UNEXPECTED;
  if (entry == "install" || entry == "uninstall") {
    using Install = hovane::HRESULT(std::int32_t, const char16_t*);
    auto* install = module.FindFunction<Install>("DllInstall");
    if (install == nullptr) return 4;
    std::u16string commandLine;
    if (argc > 4) commandLine = platform::NarrowToUtf16(argv[4]).value_or(u"");
    status = install(entry == "install" ? 1 : 0, argc > 4 ? commandLine.c_str() : nullptr);
  } else if (entry == "register" || entry == "unregister") {
    using Register = hovane::HRESULT();
    auto* call = module.FindFunction<Register>(entry == "register" ? "DllRegisterServer"
                                                                   : "DllUnregisterServer");
    if (call == nullptr) return 4;
    status = call();
  } else {
    return 2;
  }
  std::printf("%08X\n", static_cast<unsigned>(status));
  return 0;
}
