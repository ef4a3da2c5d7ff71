// ControlHost: what hovane-update does as the service's page: it finds the
// control module, registers it when it is not registered yet, creates the
// control by its ProgID through the component runtime, hands it the
// settings and calls its methods, early- or late-bound.
//
// The host never links the control code: every control it talks to lives
// in the module (or in the elevated surrogate), with the module's settings.
//
// Threading: the program's main thread, which is in a single-threaded
// apartment and runs the Qt application.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "command_line.h"
#include "control/installer_interface.h"
#include "platform/component/dispatch.h"
#include "platform/component/unknown.h"

namespace hovane::host {

class ControlHost {
 public:
  explicit ControlHost(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  // The module file: $HOVANE_MODULE, else lib/hovane/HoVaneUpdate.so or
  // lib/HoVaneUpdate.so beside this program's folder. "" when none exists.
  static std::string FindModule();

  // Registers or unregisters the module per machine or per user. Exit code.
  int Register(bool perUser, bool remove);

  // Creates the control, registering the module first when its ProgID is
  // unknown (per machine when this process may write the machine areas of
  // the prefix, else per user), and hands it the settings of options.
  // False, with the reason printed, when that fails.
  bool CreateControl(const Options& options);

  // The subcommands that call the control. Exit code.
  int Run(const Options& options);
  // Releases the control (before the application goes).
  void ReleaseControl();

  // Checks the arguments of "call METHOD [ARG...]" against the method's
  // description and converts them: "" when they fit, else the problem.
  static std::string PrepareCall(const std::vector<std::string>& arguments,
                                 std::vector<platform::Variant>* args);
  // "" when path names a registry key as PrintRegistryKey takes it, else the problem.
  static std::string CheckRegistryPath(const std::string& path);

  // Prints a registry key of the prefix (a path CheckRegistryPath accepts). Exit code.
  int PrintRegistryKey(const std::string& path);

 private:
  int CallByName(const std::vector<std::string>& arguments);
  int Report(const char* method, HRESULT status, VARIANT_BOOL result, const char* yes,
             const char* no);

  std::ostream& out_;
  std::ostream& err_;
  platform::ComPtr<IHoVaneUpdateInstaller> control_;
};

}  // namespace hovane::host
