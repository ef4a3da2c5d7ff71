// Front door of the process and window list: names are formed and converted
// here; the backend reads /proc and the display.
#include "platform/processes/processes.h"

#include <mutex>

#include "platform/codepage/codepage.h"
#include "platform/processes/processes_backend.h"

namespace hovane::platform {
namespace {

struct ListRoot {
  std::mutex mutex;
  std::string hostFolder = "/proc";
};

ListRoot& Root() {
  static ListRoot root;
  return root;
}

// The length of the UTF-8 sequence at text[at]; 1 for a byte that starts
// no complete sequence, which then stands alone.
std::size_t SequenceLength(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = 1;
  if (lead >= 0xC2 && lead <= 0xDF)
    length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF)
    length = 3;
  else if (lead >= 0xF0 && lead <= 0xF4)
    length = 4;
  if (length > text.size() - at) return 1;
  for (std::size_t i = 1; i < length; ++i)
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 1;
  return length;
}

// UTF-8 to the system code page, character by character, with '?' for a
// character (or a stray byte) that has no form there, as the system's
// narrow process list shows such names.
std::string ToNarrowLossy(std::string_view utf8) {
  if (auto whole = Utf8ToNarrow(utf8)) return *whole;
  std::string narrow;
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t length = SequenceLength(utf8, i);
    auto one = Utf8ToNarrow(utf8.substr(i, length));
    narrow += one ? *one : "?";
    i += length;
  }
  return narrow;
}

std::string ExecutableName(const backend::HostProcess& process) {
  std::string_view argv0 = process.argv0;
  const std::size_t slash = argv0.find_last_of("/\\");
  if (slash != std::string_view::npos) argv0.remove_prefix(slash + 1);
  if (argv0.empty()) return ToNarrowLossy(process.shortName);
  return ToNarrowLossy(argv0);
}

}  // namespace

std::optional<std::vector<ProcessEntry>> SnapshotProcesses() {
  std::string root;
  {
    std::lock_guard lock(Root().mutex);
    root = Root().hostFolder;
  }
  auto processes = backend::ReadProcessList(root);
  if (!processes) return std::nullopt;
  std::vector<ProcessEntry> entries;
  entries.reserve(processes->size());
  for (const backend::HostProcess& process : *processes)
    entries.push_back({process.processId, ExecutableName(process)});
  return entries;
}

void SetProcessListRoot(const std::string& hostFolder) {
  std::lock_guard lock(Root().mutex);
  Root().hostFolder = hostFolder.empty() ? std::string("/proc") : hostFolder;
}

std::vector<TopLevelWindow> ListTopLevelWindows() { return backend::ReadTopLevelWindows(); }

}  // namespace hovane::platform
