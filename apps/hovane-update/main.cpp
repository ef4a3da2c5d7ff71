// hovane-update: the command-line host. It plays the service's page: it
// creates the control, hands it the settings and calls its methods.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "catalogue/option_file.h"
#include "control/control.h"
#include "control/settings.h"
#include "platform/codepage/codepage.h"
#include "platform/msgbox/message_box.h"
#include "platform/prefix/prefix.h"

namespace {

using hovane::CHoVaneUpdateInstaller;
using hovane::HRESULT;
using hovane::VARIANT_BOOL;

// Exit codes a script can use.
constexpr int kExitYes = 0;      // current / succeeded
constexpr int kExitNo = 1;       // out of date / failed
constexpr int kExitUsage = 2;    // bad command line

const char kUsage[] =
    "usage: hovane-update [OPTIONS] COMMAND\n"
    "\n"
    "Commands:\n"
    "  single-check   check whether every client file is current (installs nothing)\n"
    "  reset          mark every file of the list as not installed\n"
    "  store          record the list's versions as installed, as a finished\n"
    "                 installation does\n"
    "  status         print the control's state\n"
    "\n"
    "Options:\n"
    "  --url URL      the version list URL\n"
    "  --prefix DIR   the prefix folder (default $HOVANE_PREFIX or ~/.local/share/hovane)\n"
    "  --yes, --no    the answer to questions when there is no terminal\n"
    "  --help         this text\n"
    "\n"
    "Exit status: 0 current or succeeded, 1 out of date or failed, 2 usage error.\n";

std::u16string Wide(const std::string& utf8) {
  auto narrow = hovane::platform::Utf8ToNarrow(utf8);
  auto wide = narrow ? hovane::platform::NarrowToUtf16(*narrow) : std::nullopt;
  return wide.value_or(std::u16string());
}

int Usage(const std::string& problem) {
  std::cerr << "hovane-update: " << problem << "\n\n" << kUsage;
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  std::string url, prefix, command;
  hovane::platform::ConsoleMessageBoxes console;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return kExitYes;
    } else if (arg == "--url" || arg == "--prefix") {
      if (i + 1 >= argc) return Usage(arg + " needs a value");
      (arg == "--url" ? url : prefix) = argv[++i];
    } else if (arg == "--yes" || arg == "--no") {
      console.SetDefaultAnswer(arg == "--yes" ? hovane::platform::MessageBoxResult::Yes
                                              : hovane::platform::MessageBoxResult::No);
    } else if (!arg.empty() && arg[0] == '-') {
      return Usage("unknown option " + arg);
    } else if (command.empty()) {
      command = arg;
    } else {
      return Usage("unexpected argument " + arg);
    }
  }
  if (command.empty()) return Usage("no command given");
  if (!prefix.empty()) hovane::platform::SetPrefixRoot(prefix);
  hovane::platform::SetMessageBoxService(&console);

  CHoVaneUpdateInstaller control;
  if (!url.empty()) control.SetVirsionUrl(Wide(url));
  VARIANT_BOOL result = 0;
  if (command == "single-check") {
    control.SingleCheckVersion(&result);
    std::cout << (result ? "current" : "out of date") << "\n";
    return result ? kExitYes : kExitNo;
  }
  if (command == "reset") {
    control.SingleCheckVersion(&result);  // selects the version file of the URL
    control.SetAllFileInstall(&result);
    std::cout << (result ? "every file marked not installed" : "reset failed") << "\n";
    return result ? kExitYes : kExitNo;
  }
  if (command == "store") {
    hovane::COptionFile file;
    file.SelectVersionFile(hovane::TheModule().m_strVersionListUrl);
    const bool stored = file.StoreVersionList() != 0;
    std::cout << (stored ? "versions recorded as installed" : "store failed") << "\n";
    return stored ? kExitYes : kExitNo;
  }
  if (command == "status") {
    const hovane::CHoVaneUpdateModule& module = hovane::TheModule();
    control.IsUpdateCheck(&result);
    std::cout << "prefix:          " << hovane::platform::PrefixRoot() << "\n"
              << "version list:    " << module.m_strVersionListUrl << "\n"
              << "update kind:     " << module.m_nUpdateKind << "\n"
              << "update checked:  " << result << "\n";
    return kExitYes;
  }
  return Usage("unknown command " + command);
}
