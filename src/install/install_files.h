// The install procedure: puts the files that the receive thread has just
// downloaded into the temp folder into the install folder, one by one in
// download order, replacing the installed copies, and registers the
// controls among them.
//
// Per file, by its downloaded name:
//   - extension OCX (any case): a control, placed as base + ".dll" and
//     registered through CRegsvr; the exact name "HoVane.ocx" first deletes
//     "HovaneFavoriteSetup.ses" from the install folder;
//   - exactly "HoVane.ico": also copied to the data folder;
//   - exactly "GlobalHoVane.exe": placed as "HoVane.exe";
//   - anything else: placed under its own name.
// Programs (extension EXE) are made executable once placed.
// An installed copy is first moved aside into the del folder under the
// downloaded name, so a running program can be replaced; the new file is
// then moved in. Nothing is scheduled for a restart.
//
// Result: true when every file was placed (and every control registered);
// the temp folder is then deleted (locked leftovers stay) and the
// update-succeeded value 1 reported. False at the first file that cannot be
// moved into place, whose registration fails, or whose name is not a plain
// file name; nothing is rolled back and the temp folder stays as it is.
//
// Threading: the receive thread. The progress callbacks are the panel's,
// which hand them to the GUI thread and wait.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace hovane {

// What the install procedure reports while it runs.
class InstallProgress {
 public:
  // Shows text in the file-name label and repaints the label at once.
  virtual void SetFileName(std::string_view text) = 0;
  // Forwards the update-succeeded value to the install dialog.
  virtual void SetUpdateSucceeded(std::int32_t value) = 0;
  // The owner window of message boxes.
  virtual std::uintptr_t MessageBoxOwner() const = 0;

 protected:
  ~InstallProgress() = default;
};

// The names the procedure gives a downloaded file.
struct InstalledName {
  std::string name;       // as installed in the install folder
  bool isControl = false;  // registered after placing
  bool isProgram = false;  // extension EXE: made executable after placing
};
InstalledName InstalledNameFor(std::string_view downloadedName);

// names: the download list's file names, in download order.
bool InstallFiles(std::span<const std::string> names, InstallProgress& progress);

}  // namespace hovane
