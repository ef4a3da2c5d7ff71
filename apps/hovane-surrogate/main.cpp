// hovane-surrogate: hosts one object of a registered class in a process of
// its own and serves it over a channel inherited from the process that
// created it through the elevation moniker.
//
// The object lives on the main thread, in a single-threaded apartment, with
// a QApplication, so that it can run modal dialogs. Calls are served from
// the Qt event loop whenever the channel has data; while a call runs (a
// modal dialog's loop included) the channel is not watched, so the call in
// progress is never interrupted by the next read. The program ends when the
// caller releases the object or the connection breaks.
#include <QApplication>
#include <QSocketNotifier>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "platform/component/activation.h"
#include "platform/component/component.h"
#include "platform/component/remote.h"
#include "platform/msgbox/message_box.h"
#include "ui/qt_message_boxes.h"
#include "ui/widget_support.h"

namespace {

namespace platform = hovane::platform;

constexpr int kExitDone = 0;
constexpr int kExitCreationFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: hovane-surrogate --clsid {CLASS-ID} --channel FD\n"
    "\n"
    "Hosts one object of the class CLASS-ID and serves its late-bound calls over\n"
    "the connected socket FD, inherited from the process that created it through\n"
    "the elevation moniker (Elevation:Administrator!new:{CLASS-ID}). Not meant to\n"
    "be started by hand.\n"
    "\n"
    "  --clsid ID    the class id, 38 characters with braces\n"
    "  --channel FD  the descriptor number of the connected stream socket\n"
    "  --help        this text\n"
    "\n"
    "With no DISPLAY or WAYLAND_DISPLAY the Qt offscreen platform is used and\n"
    "message boxes go to the console. Exit status: 0 after the caller released the\n"
    "object or went away, 1 when the object could not be created, 2 usage error.\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "hovane-surrogate: %s\n\n%s", problem.c_str(), kUsage);
  return kExitUsage;
}

std::optional<int> ParseDescriptor(const std::string& text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<platform::Guid> clsid;
  std::optional<int> channel;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return kExitDone;
    }
    if (arg == "--clsid" || arg == "--channel") {
      if (i + 1 >= argc) return Usage(arg + " needs a value");
      const std::string value = argv[++i];
      if (arg == "--clsid") {
        clsid = platform::ParseGuid(value);
        if (!clsid) return Usage("not a class id: " + value);
      } else {
        channel = ParseDescriptor(value);
        if (!channel) return Usage("not a descriptor number: " + value);
      }
      continue;
    }
    return Usage("unknown argument " + arg);
  }
  if (!clsid) return Usage("no --clsid given");
  if (!channel) return Usage("no --channel given");

  std::unique_ptr<platform::DispatchStub> stub = platform::DispatchStub::Adopt(*channel);
  if (!stub) return Usage("descriptor " + std::to_string(*channel) + " is not a connected socket");

  platform::InitializeApartment(platform::Apartment::SingleThreaded);
  const bool display = hovane::ui::HasDisplay();
  hovane::ui::UseOffscreenPlatformWithoutDisplay();
  int qtArgc = 1;
  QApplication application(qtArgc, argv);
  // Dialogs of the object come and go; only the caller ends this process.
  application.setQuitOnLastWindowClosed(false);
  hovane::ui::QtMessageBoxes qtBoxes;
  platform::ConsoleMessageBoxes consoleBoxes;
  platform::SetMessageBoxService(display ? static_cast<platform::MessageBoxService*>(&qtBoxes)
                                         : &consoleBoxes);

  {
    platform::ComPtr<platform::IDispatch> object;
    const hovane::HRESULT status =
        platform::CreateInstance(*clsid, platform::kIidIDispatch, object.Out());
    if (!stub->Announce(status, object.Get())) {
      if (status < 0)
        std::fprintf(stderr, "hovane-surrogate: cannot create %s: status 0x%08X\n",
                     platform::FormatGuid(*clsid).c_str(), static_cast<unsigned>(status));
      stub.reset();
      platform::SetMessageBoxService(nullptr);
      return status < 0 ? kExitCreationFailed : kExitDone;
    }
  }

  QSocketNotifier notifier(stub->Descriptor(), QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, &application, [&] {
    notifier.setEnabled(false);
    if (stub->ServeOne())
      notifier.setEnabled(true);
    else
      QCoreApplication::quit();
  });
  application.exec();

  // The object goes while the application and the message boxes still exist.
  stub.reset();
  platform::SetMessageBoxService(nullptr);
  platform::UninitializeApartment();
  return kExitDone;
}
