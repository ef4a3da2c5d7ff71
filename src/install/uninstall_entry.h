// The uninstall entry: the machine's record of the installed client, which
// lists it among the installed programs with its name, icon, uninstaller,
// help page and publisher.
//
// Threading: the page's thread (the install dialog's), after the install
// procedure has ended.
#pragma once

namespace hovane {

inline constexpr char kUninstallParentKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr char kUninstallKeyName[] = "Hovane";

// Writes the key "Hovane" under kUninstallParentKey of the machine hive, as
// text values (system code page) in this order: DisplayName, UninstallString
// (install folder + "\UnInstaller.exe"), DisplayIcon (install folder +
// "\HoVane.ico"), HelpLink (the service's help page, resources/service_pages.h)
// and Publisher. Values already there are replaced in place; other values of
// the key stay. Fails silently, writing nothing, when the parent key cannot
// be opened with full access (no rights to the machine hive) or the key
// cannot be created.
void WriteUninstallEntry();

}  // namespace hovane
