#include "catalogue/foreign_marker.h"

#include "catalogue/locations.h"
#include "catalogue/option_file.h"
#include "platform/files/files.h"

namespace hovane {

std::int32_t FileExists(std::string_view path) { return platform::FindExact(path) ? 1 : 0; }

void COptionFile::SetForeignSetupMarker(std::int32_t bForeign) {
  const std::string marker = GetInstallFolder() + "\\" + kForeignMarkerName;
  const bool exists = FileExists(marker) != 0;
  if (bForeign == 0) {
    if (exists) platform::DeleteFile(marker);
    return;
  }
  if (exists) return;
  // The install folder is not created here: without it the marker cannot be
  // created and nothing happens.
  platform::File file = platform::File::Open(marker, platform::OpenMode::CreateAlways,
                                             platform::Access::Write);
  if (!file.IsOpen()) return;
  const bool written = file.Write(kForeignMarkerContent.data(), kForeignMarkerContent.size());
  file.Close();
  // A marker cut short by a failed write would stay forever, since an
  // existing marker is never rewritten: remove it so the next check retries.
  if (!written) platform::DeleteFile(marker);
}

}  // namespace hovane
