// The control settings: process-wide state of the control module, shared by
// every control object, the install dialog, the receive thread and the
// install procedure. CHoVaneUpdateModule owns the one instance (TheModule()).
//
// Threading: the page's thread reads and writes every field. The receive
// thread writes m_bInstallResult and m_bUpdateSucceeded while the dialog
// waits; the dialog reads them after the transfer has ended. Those two are
// atomics so that this hand-over is well defined; no lock is taken anywhere.
// Every other field is used by the page's thread only.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace hovane {

// The file-server settings, copied by value wherever they are handed on.
struct ServerInfo {
  std::string m_strServerId;  // "SERVERID": stored and handed on, read by nobody
  std::string m_strServerIp;  // "SERVERIP": the file server's dotted IPv4 address
  std::string m_strUserId;    // "USERID": sent to the file server
  std::int32_t m_nPort = 0;   // "PORT": the file server's TCP port
};

// One record of the fetch list: 260 bytes, a 32-bit field and a 256-byte
// zero-terminated file name. The 32-bit field of the first record holds the
// count of records in use; that of every other record is zero.
inline constexpr std::size_t kFetchNameSize = 256;
struct FetchRecord {
  std::int32_t nCount;
  char szName[kFetchNameSize];
};
static_assert(sizeof(FetchRecord) == 260, "a fetch list record is 260 bytes");

// Update kinds, from the version list URL's last path component.
inline constexpr std::int32_t kUpdateKindDn = 0;     // "dn_version.html"
inline constexpr std::int32_t kUpdateKindUp = 1;     // "up_version.html"
inline constexpr std::int32_t kUpdateKindOther = 2;  // anything else

class CHoVaneUpdateModule {
 public:
  CHoVaneUpdateModule() = default;
  CHoVaneUpdateModule(const CHoVaneUpdateModule&) = delete;
  CHoVaneUpdateModule& operator=(const CHoVaneUpdateModule&) = delete;
  ~CHoVaneUpdateModule();

  // True when the operating system's major version is above 5. A cached
  // major version above 5 answers at once; anything else asks again.
  bool IsVistaOrLater();

  // Allocates a zeroed fetch list of count records into m_pFetchList,
  // without freeing a block that may still be there: callers free first.
  void AllocFetchList(std::size_t count);
  // Frees the fetch list if there is one; always true.
  bool FreeFetchList();
  // Records in the current fetch list (0 when there is none).
  std::size_t FetchListCapacity() const { return m_nFetchListCapacity; }

  // The lock count of the server: one for every live control object and
  // every lock of the class factory. The module may be unloaded only at 0.
  // Any thread.
  std::int32_t Lock() { return ++m_nLockCount; }
  std::int32_t Unlock() { return --m_nLockCount; }
  std::int32_t GetLockCount() const { return m_nLockCount.load(); }

  std::int32_t m_nOsMajorVersion = 0;
  std::atomic<std::int32_t> m_bUpdateSucceeded{0};
  std::int32_t m_bUpUpdateSucceeded = 0;
  std::int32_t m_nUpdateKind = 0;
  FetchRecord* m_pFetchList = nullptr;  // owned; see AllocFetchList / FreeFetchList
  ServerInfo m_serverInfo;
  std::atomic<std::int32_t> m_bInstallResult{0};
  std::int32_t m_bExeInFetchList = 0;
  std::string m_strVersionListUrl;
  std::int32_t m_bInstallDialogOpen = 0;
  std::int32_t m_bForeign = 0;

 private:
  std::size_t m_nFetchListCapacity = 0;
  std::atomic<std::int32_t> m_nLockCount{0};
};

// The module object of this process. Its fields start empty or zero; the
// application object (CHoVaneUpdateApp) assigns the defaults once.
CHoVaneUpdateModule& TheModule();

}  // namespace hovane
