#include "install/uninstall_entry.h"

#include <string>

#include "catalogue/locations.h"
#include "platform/codepage/codepage.h"
#include "platform/registry/registry.h"
#include "resources/service_pages.h"
#include "resources/texts.h"

namespace hovane {
namespace {

// The two paths are formatted into 512-byte buffers: at most 511 bytes,
// never ending in half a double-byte character.
constexpr std::size_t kFormatBuffer = 512;

std::string CutToBuffer(std::string text) {
  if (text.size() < kFormatBuffer) return text;
  std::size_t end = 0;
  for (std::size_t i = 0; i < kFormatBuffer - 1;) {
    const std::size_t length = platform::IsLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
    if (i + length > kFormatBuffer - 1) break;
    i += length;
    end = i;
  }
  text.resize(end);
  return text;
}

}  // namespace

void WriteUninstallEntry() {
  const std::string installFolder = GetInstallFolder();
  const std::string uninstallString = CutToBuffer(installFolder + "\\UnInstaller.exe");
  const std::string displayIcon = CutToBuffer(installFolder + "\\HoVane.ico");

  platform::RegistryKey parent;
  if (platform::OpenRegistryKey(platform::RegistryHive::LocalMachine, kUninstallParentKey,
                                platform::RegAccess::All, &parent) != platform::RegStatus::Ok)
    return;
  platform::RegistryKey entry;
  if (parent.Create(kUninstallKeyName, platform::RegAccess::All, &entry) != platform::RegStatus::Ok)
    return;
  // Each value is its own write; a failed one does not stop the others.
  entry.SetString("DisplayName", Text(TextId::kTextUninstallDisplayName));
  entry.SetString("UninstallString", uninstallString);
  entry.SetString("DisplayIcon", displayIcon);
  entry.SetString("HelpLink", ServicePageUrl(kHelpPagePath));
  entry.SetString("Publisher", Text(TextId::kTextUninstallPublisher));
}

}  // namespace hovane
