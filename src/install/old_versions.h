// Old-version removal: the copies that earlier releases of the client
// installed through the browser's control cache and into the system folder,
// removed before a new version is placed; and the deletion of a folder tree.
//
// Which copies go depends on the update kind (TheModule().m_nUpdateKind),
// read afresh at every call: kind 0 ("dn_version.html"), kind 1
// ("up_version.html"), kind 2 (any other list; also any other number).
//
// The product file list. Controls in the control cache folder
// (Windows folder + "\Downloaded Program Files"):
//
//   slot  name                    class id handed to the cache   kinds
//   0     HoVane.ocx              kOldMainControlClassId          0, 2
//   1     CONFLICT.5\HoVane.ocx   kOldMainControlClassId          0, 2
//   2     HovaneUpManager.ocx     kOldUpManagerClassId            1, 2
//
// Files in the system folder, deleted in this order: kind 0 HoVane.exe,
// hovane.ini, HovaneDomainSetup.ses, HoVaneDownLoad.exe,
// HovaneFavoriteSetup.ses, HoVaneFileData.exe, HoVane.dll; kind 1
// HoVaneUpLoad.exe, HovaneUpManager.dll, HovaneMT.dll, HovaneMTWma.dll;
// kind 2 none.
//
// Nothing here shows a message or stops at a failed deletion.
//
// Threading: the receive thread during an install, the page's thread for
// the cleanup methods; no locks.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace hovane {

// The class ids of the older controls, fixed.
inline constexpr char kOldMainControlClassId[] = "{6B2C9E41-3A7D-4F58-9C12-8D4E0B7A5F63}";
inline constexpr char kOldUpManagerClassId[] = "{A3F17D08-5C2E-4B96-8E41-2F9D6C0B1A74}";

inline constexpr int kCacheSlotCount = 3;

// The control cache folder: Windows folder + "\Downloaded Program Files".
std::string GetControlCacheFolder();
// A slot's name relative to the control cache folder; nullptr for no slot.
const char* CacheSlotName(std::int32_t slot);
// Whether the update kind removes the slot's control.
bool CacheSlotFilledForKind(std::int32_t slot, std::int32_t kind);
// The system-folder files of an update kind, in deletion order.
std::span<const char* const> OldSystemFileNames(std::int32_t kind);

// When the slot's control is in the cache folder: asks the cache to remove
// it (RemoveCachedControl, answer ignored), then deletes the file (result
// ignored). A control that is not there is skipped: no cache call.
void RemoveCachedSlot(std::int32_t slot);

// Removes the cached controls of the current kind, then runs
// DeleteOldSystemFiles. Always true.
bool RemoveOldVersions();

// Asks the control cache service to uninstall the control at path with the
// slot's class id (slot 1 or lower, negative ones included: the main
// control's; slot 2: the upload manager's). True when the cache reported
// success or offers no removal entry; false when the service cannot be
// loaded, the removal failed, or the slot is none of the table.
bool RemoveCachedControl(std::int32_t slot, std::string_view path);

// Deletes the system-folder files of the current kind that exist. Always true.
bool DeleteOldSystemFiles();

// Deletes everything under folder, then folder itself. Files that cannot be
// deleted (read-only, in use) stay, and so does their folder. True when
// folder no longer exists afterwards. A trailing backslash changes nothing.
bool DeleteFolderTree(std::string_view folder);

}  // namespace hovane
