// hovane-update: the command-line host. It plays the service's page: it
// creates the HoVaneUpdate control by its ProgID and calls its methods.
//
// With a display the control's dialogs and message boxes are real windows.
// Without one Qt runs offscreen, message boxes are printed and questions
// asked on the terminal (or answered by --yes / --no), and the install
// dialog's progress appears as a progress line on the terminal.
#include <QApplication>
#include <QByteArray>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "command_line.h"
#include "control_host.h"
#include "platform/component/component.h"
#include "platform/msgbox/message_box.h"
#include "platform/prefix/prefix.h"
#include "ui/control_view.h"
#include "ui/qt_message_boxes.h"
#include "ui/widget_support.h"

namespace {

using namespace hovane;
using host::kExitFailure;
using host::kExitUsage;

int UsageError(const std::string& problem) {
  std::cerr << "hovane-update: " << problem << "\nTry 'hovane-update --help'.\n";
  return kExitUsage;
}

// Everything the command line can be wrong about is found before anything
// is touched.
std::string CheckArguments(const host::Options& options) {
  std::vector<platform::Variant> ignored;
  if (options.command == host::Command::Call)
    return host::ControlHost::PrepareCall(options.arguments, &ignored);
  if (options.command == host::Command::Reg)
    return host::ControlHost::CheckRegistryPath(options.arguments[0]);
  if (options.command == host::Command::Show && !ui::HasDisplay())
    return "show needs a display (DISPLAY is not set)";
  return {};
}

int Show(host::ControlHost& control, const host::Options& options) {
  if (!control.CreateControl(options)) return kExitFailure;
  CHoVaneUpdateInstallerView view;
  view.setWindowTitle("HoVaneUpdateInstaller");
  view.show();
  return QApplication::exec() == 0 ? host::kExitYes : kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
  // Reports interleave with the control's own lines on the error stream.
  std::cout.setf(std::ios::unitbuf);
  const host::ParsedCommandLine parsed =
      host::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.error.empty()) return UsageError(parsed.error);
  if (!parsed.options) {
    std::cout << parsed.text;
    return host::kExitYes;
  }
  const host::Options& options = *parsed.options;
  if (std::string problem = CheckArguments(options); !problem.empty()) return UsageError(problem);

  if (options.prefix) platform::SetPrefixRoot(*options.prefix);
  // The elevated instance inherits the environment: it answers as told too.
  if (options.answer != host::Answer::Ask)
    qputenv("HOVANE_DEFAULT_ANSWER", options.answer == host::Answer::Yes ? "yes" : "no");

  const bool display = ui::HasDisplay();
  ui::UseOffscreenPlatformWithoutDisplay();
  int qtArgc = 1;
  QApplication application(qtArgc, argv);
  application.setQuitOnLastWindowClosed(options.command == host::Command::Show);
  platform::InitializeApartment(platform::Apartment::SingleThreaded);

  ui::QtMessageBoxes windowBoxes;
  platform::ConsoleMessageBoxes consoleBoxes;
  if (options.answer != host::Answer::Ask)
    consoleBoxes.SetDefaultAnswer(options.answer == host::Answer::Yes
                                      ? platform::MessageBoxResult::Yes
                                      : platform::MessageBoxResult::No);
  platform::SetMessageBoxService(display ? static_cast<platform::MessageBoxService*>(&windowBoxes)
                                         : &consoleBoxes);

  host::ControlHost control(std::cout, std::cerr);
  int code = kExitFailure;
  switch (options.command) {
    case host::Command::Register:
    case host::Command::Unregister:
      code = control.Register(options.perUser, options.command == host::Command::Unregister);
      break;
    case host::Command::Reg:
      code = control.PrintRegistryKey(options.arguments[0]);
      break;
    case host::Command::Show:
      code = Show(control, options);
      break;
    default:
      code = control.CreateControl(options) ? control.Run(options) : kExitFailure;
  }
  control.ReleaseControl();
  platform::SetMessageBoxService(nullptr);
  return code;
}
