// COptionFile: one local version file, the profile file that records the
// version installed for each position of a version list:
//
//   [File1]
//   FileName=HoVane.exe
//   Version=1,0,0,3
//
// The file lives in the data folder; a same-named file in the install folder
// is an earlier copy of it. The version list URL's last path component
// chooses the file's name (VersionFileNameForUrl).
//
// Batches: between BeginBatch and EndBatch, SetOptionValue edits an
// in-memory batch and GetOptionValue reads through it; EndBatch (or the
// destructor) writes the file once. Without a batch every SetOptionValue is
// one write of the file.
//
// Threading: an instance is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace hovane {

namespace platform {
class ProfileWriteBatch;
}

inline constexpr char kDnVersionFileName[] = "HovaneDnVersion.ini";
inline constexpr char kUpVersionFileName[] = "HovaneUpVersion.ini";
inline constexpr char kVersionFileName[] = "HovaneVersion.ini";
// Profile values are read into buffers of this many bytes: a longer value
// comes back cut to 511 bytes.
inline constexpr std::size_t kOptionValueBuffer = 512;

// The text after the last '/' of url, or all of it when it has none.
std::string_view LastPathComponent(std::string_view url);
// "HovaneDnVersion.ini", "HovaneUpVersion.ini" or "HovaneVersion.ini".
const char* VersionFileNameForUrl(std::string_view url);

class COptionFile {
 public:
  // Addresses "HovaneDnVersion.ini" in the data and install folders until
  // SelectVersionFile is called. Touches no file.
  COptionFile();
  virtual ~COptionFile();
  COptionFile(const COptionFile&) = delete;
  COptionFile& operator=(const COptionFile&) = delete;

  // Chooses the version file for url. Touches no file.
  void SelectVersionFile(std::string_view url);

  // The value of key in section, or defaultValue when the file, the section
  // or the key is missing; cut to bufferSize - 1 bytes.
  std::string GetOptionValue(std::string_view section, std::string_view key,
                             std::string_view defaultValue = "",
                             std::size_t bufferSize = kOptionValueBuffer) const;
  // Creates the data folder and writes key=value into section. Failures are
  // not reported: a lost write shows up as the old value at the next read.
  void SetOptionValue(std::string_view section, std::string_view key, std::string_view value);

  // Whether the version file exists (a file or a folder of that name); the
  // answer is kept in m_bFileExists.
  std::int32_t VersionFileExists();
  std::string GetDataFolder() const { return m_strDataFolder; }
  // Deletes the earlier copy of the version file in the install folder.
  void RemoveLegacyVersionFile();

  // Creates the version file when it is missing: 1 when it existed, else 0
  // (after ResetVersionList, whatever that returned).
  std::int32_t EnsureVersionFile();
  // Fetches the list at m_strVersionUrl and writes every entry with its name
  // and the not-installed marker, after moving an earlier copy from the
  // install folder into the data folder (never replacing a version file).
  // 1 on success; 0 after a failure, which the user has been told of.
  // Entries written before a failure stay written.
  std::int32_t ResetVersionList();
  // Fetches the list at m_strVersionUrl and records every entry with the
  // server's version: all current. Creates the install folder when missing.
  // 1 on success, 0 after a reported failure.
  std::int32_t StoreVersionList();
  // Brings the foreign-setup marker (install folder + "\HoVaneF.ses") in line
  // with the foreign setting: created when foreign and missing, deleted when
  // not foreign. An existing marker is never rewritten.
  void SetForeignSetupMarker(std::int32_t bForeign);

  void BeginBatch();
  // Writes the batch's edits (creating the data folder first); true when
  // there was nothing to write or the write succeeded.
  bool EndBatch();

  // True when the earlier copy and the version file are the same file (a
  // system whose data folder is the install folder): nothing is moved onto
  // itself or deleted as its own earlier copy.
  bool LegacyPathIsOptionPath() const;

  std::string m_strOptionPath;  // the version file
  std::string m_strLegacyPath;  // its earlier copy in the install folder
  std::string m_strVersionUrl;  // the version list URL
  std::string m_strDataFolder;  // per-user base folder + "\Hovane"
  std::int32_t m_bFileExists = 0;

 private:
  std::unique_ptr<platform::ProfileWriteBatch> m_batch;
};

}  // namespace hovane
