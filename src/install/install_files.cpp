#include "install/install_files.h"

#include "catalogue/locations.h"
#include "catalogue/option_file.h"
#include "install/old_versions.h"
#include "install/regsvr.h"
#include "platform/codepage/codepage.h"
#include "platform/files/files.h"
#include "platform/msgbox/message_box.h"
#include "resources/texts.h"

namespace hovane {
namespace {

constexpr char kMainControlName[] = "HoVane.ocx";
constexpr char kFavoriteSetupName[] = "HovaneFavoriteSetup.ses";
constexpr char kIconName[] = "HoVane.ico";
constexpr char kForeignMainProgramName[] = "GlobalHoVane.exe";
constexpr char kMainProgramName[] = "HoVane.exe";

std::string Join(std::string_view folder, std::string_view name) {
  std::string path(folder);
  path += '\\';
  path += name;
  return path;
}

struct NameParts {
  std::string base;       // before the last '.', empty without one
  std::string extension;  // after it, upper-cased; the whole name without one
};

NameParts SplitName(std::string_view name) {
  const std::size_t dot = platform::FindLastChar(name, '.');
  if (dot == std::string_view::npos) return {"", platform::UpperCase(name)};
  return {std::string(name.substr(0, dot)), platform::UpperCase(name.substr(dot + 1))};
}

}  // namespace

InstalledName InstalledNameFor(std::string_view downloadedName) {
  const NameParts parts = SplitName(downloadedName);
  if (parts.extension == "OCX") return {parts.base + ".dll", true, false};
  if (downloadedName == kForeignMainProgramName) return {kMainProgramName, false, true};
  return {std::string(downloadedName), false, parts.extension == "EXE"};
}

bool InstallFiles(std::span<const std::string> names, InstallProgress& progress) {
  progress.SetFileName(Text(TextId::kTextRegistering));

  // The removal never reports a failure today: copies that cannot be
  // deleted stay where the old releases put them and do no harm next to
  // the new files. Should it ever fail, nothing is placed over a
  // half-removed release.
  if (!RemoveOldVersions()) {
    platform::MessageBoxRequest request;
    request.owner = progress.MessageBoxOwner();
    request.text = Text(TextId::kTextOldFileRemovalFailed);
    request.caption = Text(TextId::kTextNotice);
    request.icon = platform::MessageBoxIcon::Error;
    platform::ShowMessageBox(request);
    return false;
  }

  const std::string installFolder = GetInstallFolder();
  const std::string tempFolder = Join(installFolder, kTempFolderName);
  const std::string delFolder = Join(tempFolder, kDelFolderName);
  if (!platform::FindExact(delFolder)) CreateDirectoryTree(delFolder);

  for (const std::string& name : names) {
    // The transfer refuses such names already; this is the last line before
    // a name becomes a path in the install folder.
    if (!IsPlainFileName(name)) return false;
    const std::string tempPath = Join(tempFolder, name);
    const InstalledName installed = InstalledNameFor(name);

    if (installed.isControl && name == kMainControlName)
      platform::DeleteFile(Join(installFolder, kFavoriteSetupName));
    if (!installed.isControl && name == kIconName) {
      // The check has made the data folder by now; made here too, so that an
      // install without a check does not lose the icon copy.
      const std::string dataFolder = COptionFile().GetDataFolder();
      CreateDirectoryTree(dataFolder);
      platform::CopyFile(tempPath, Join(dataFolder, kIconName), false);
    }

    const std::string installPath = Join(installFolder, installed.name);
    // Fails harmlessly when nothing is installed yet; a copy that cannot be
    // moved aside keeps the target occupied, and the next move reports it.
    platform::MoveFile(installPath, Join(delFolder, name));
    if (platform::MoveFile(tempPath, installPath) != platform::FileError::Ok) return false;
    // A program arrives as plain content; Linux starts it only with the
    // execute permission, which Windows does not need.
    if (installed.isProgram) platform::MakeExecutable(installPath);
    if (installed.isControl && CRegsvr().Register(installPath) != kRegsvrOk) return false;
  }

  DeleteFolderTree(tempFolder);
  progress.SetUpdateSucceeded(1);
  return true;
}

}  // namespace hovane
