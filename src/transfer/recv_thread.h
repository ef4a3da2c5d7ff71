// CRecvThread: the receive thread. It connects to the file server,
// downloads the wanted files, runs the install procedure and records the
// outcome in TheModule().m_bInstallResult; when it ends it starts the
// panel's end timer, which tells the install dialog.
//
// Thread. Start runs InitInstance and then ExitInstance on a new thread.
// InitInstance: connect, download, install; m_bInstallResult is 1 only when
// all three succeeded (an empty download list included). ExitInstance
// releases the local file, the connection and the download list and then
// signals the panel, on every path. There is no cancellation. The owner
// joins the thread (Join, or the destructor) before the object goes.
//
// Connection. ConnectServer opens one IPv4 TCP connection within about three
// seconds; SendData, ReceiveData and ReceiveFileData move bytes over it and
// return -1 at once when there is none; CloseConnection ends it. Once
// connected, a send or receive that moves no byte for the stall limit (60 s
// unless set otherwise) fails like any socket error, so a silent server
// cannot hold the download forever.
//
// Download. DownloadFiles sends the fetch list's names, receives the download
// list, asks for each file in turn (resuming a partial file in the temp
// folder when the user agrees), writes it into the temp folder, sends the end
// notice after the last file and closes the connection. Failures are shown to
// the user in message boxes captioned "알림" owned by the panel; Failed()
// tells whether the download as a whole failed, in which case nothing may be
// installed from it. Nothing a server sends is trusted: a name that is not a
// plain file name, an oversized or malformed reply, or an impossible file
// size fails the download with a message and writes nothing outside the temp
// folder.
//
// Ownership: the panel and the fetch list are not owned and must outlive the
// object. The local file and the socket are owned and released at the latest
// by the destructor.
//
// Threading: the set-up calls are made before Start (or, without Start, by
// the one thread that then runs the operations). After Start only the
// receive thread touches the object until Join returns. Panel calls and
// message boxes are made on the receive thread; the panel and the
// message-box service move them where they belong.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "control/settings.h"
#include "platform/files/files.h"
#include "platform/msgbox/message_box.h"
#include "platform/tcp/tcp.h"
#include "transfer/progress_panel.h"
#include "transfer/wire_records.h"

namespace hovane {

// A reply body (nCount × nItemSize) larger than this is refused unread.
inline constexpr std::int64_t kMaxReplyBodyBytes = 8 << 20;
// File sizes above this are refused: doubles count bytes exactly only up to 2^53.
inline constexpr double kMaxFileSize = 9007199254740992.0;
// Received content passes through one buffer of this size per file.
inline constexpr int kFileShareSize = 32768;
// The connect wait: 3 seconds and 3000 microseconds.
inline constexpr std::chrono::microseconds kConnectWait{3'003'000};
inline constexpr std::chrono::milliseconds kDefaultStallLimit{60'000};

class CRecvThread {
 public:
  CRecvThread();
  ~CRecvThread();
  CRecvThread(const CRecvThread&) = delete;
  CRecvThread& operator=(const CRecvThread&) = delete;

  // The thread: runs InitInstance, then ExitInstance, on a new thread.
  // Call once, after the set-up calls.
  void Start();
  // Waits for the thread started by Start; returns at once without one.
  void Join();
  // The whole run: connect, download, install. Always true: the run ends by
  // itself (there is no message loop to keep alive on this platform).
  bool InitInstance();
  // Releases the local file, the connection and the download list, then
  // starts the panel's end timer and clears its running flag.
  void ExitInstance();
  // The install procedure over the download list, reporting to the panel.
  bool InstallFiles();

  // Set-up, before the download. A panel is required for Start and
  // InstallFiles.
  void SetPanel(ProgressPanel* panel);
  void SetServerSettings(std::string_view serverId, std::string_view serverIp, std::int32_t port);
  // Keeps the first 12 bytes of userId, zero-filled when shorter.
  void SetUserId(std::string_view userId);
  // The fetch list: capacity records, the first one's nCount holding the
  // count in use (a count above capacity is cut to capacity).
  void SetFetchList(const FetchRecord* fetchList, std::size_t capacity);
  // Replaces the 60-second stall limit for connections made from now on.
  void SetStallLimit(std::chrono::milliseconds limit);

  // True when a connection to address:port is established. An empty
  // address, a port outside 0-65535 or an address of 100 bytes or more fails
  // at once without a socket. A failure shows nothing, except when no socket
  // can be created; a socket created for a failed attempt stays until
  // CloseConnection. Dotted IPv4 only: no name is looked up.
  bool ConnectServer(std::string_view address, int port);
  // Sends all length bytes: the count sent, 0 for a length of 0, -1 on a
  // socket error or without a connection.
  int SendData(const void* data, int length);
  // Receives exactly size bytes: the count received, fewer only when the
  // peer closed, -1 on a socket error or without a connection. The first
  // size bytes of buffer end up holding what arrived, then zeros.
  int ReceiveData(void* buffer, int size);
  // Like ReceiveData for min(remaining, bufferSize) bytes, where a remaining
  // count below 32768 is truncated to an integer; all bufferSize bytes of
  // buffer end up holding what arrived, then zeros.
  int ReceiveFileData(void* buffer, int bufferSize, double remaining);
  // Shows the text of this thread's last socket error (error icon, OK).
  void ShowSocketError();
  // Shuts down and closes the connection, if any; closing twice is harmless.
  void CloseConnection();

  // The whole exchange on an open connection. False when the list request
  // cannot be sent or the first reply cannot be read; otherwise true, with
  // Failed() telling whether the download failed. The connection is closed
  // at the end, except when the list request could not be sent.
  bool DownloadFiles();
  // Reads and handles replies until one ends the loop. False when a header,
  // a body or an error text cannot be read, an error acknowledgement cannot
  // be sent, or a reply is too large to read.
  bool ReceiveReplies();
  // Handles one reply; body holds the body bytes that arrived (empty when
  // there is none). 1: read on; -2: the loop ends normally; -1: it ends after
  // a refusal or an error.
  int HandleReply(const PacketHeader& header, std::string_view body);
  // Marks the last entry of the download list (nPosition 2) and clears the
  // first one's when there are several.
  void MarkListEnds();
  // The CMD_FILE branch of HandleReply: receives one file's content into the
  // open local file.
  int ReceiveFile(const PacketHeader& header, std::string_view body);
  // The size of the file at path in bytes, 0.0 when it cannot be queried.
  static double GetLocalFileSize(std::string_view path);
  // Creates the temp folder if missing and points LocalPath() at the current
  // entry's name in it.
  void PrepareDownloadTarget();

  // State, for the thread that owns the object.
  bool Failed() const { return m_bFailed; }
  bool ListReceived() const { return m_bListReceived; }
  bool HasSocket() const { return m_socket.IsOpen(); }
  const std::vector<DownloadEntry>& DownloadList() const { return m_downloadList; }
  const std::string& LocalPath() const { return m_strLocalPath; }
  ProgressPanel* Panel() const { return m_pPanel; }

 private:
  // Fails the download with a message: m_bFailed set, no further file.
  void Refuse(const std::string& text);
  // Shows text in a box captioned "알림", owned by the panel.
  platform::MessageBoxResult Notify(const std::string& text, platform::MessageBoxButtons buttons,
                                    platform::MessageBoxIcon icon);
  // Receives exactly size bytes over the connection (fewer when the peer
  // closes, -1 on an error) and zeroes the first zeroSize bytes of buffer
  // that did not arrive.
  int ReceiveExactly(char* buffer, int size, int zeroSize);
  // Opens the local file for the current entry, asking to resume a partial
  // one; the offset to request, or a negative value when it cannot be opened.
  double OpenLocalFile();
  PacketHeader MakeHeader(std::int32_t command, std::int32_t count, std::int32_t itemSize) const;

  const FetchRecord* m_pFetchList = nullptr;
  std::size_t m_nFetchListCapacity = 0;
  bool m_bFailed = false;
  std::unique_ptr<platform::File> m_pFile;
  platform::TcpSocket m_socket;
  bool m_bReceiving = false;
  std::array<char, kUserIdSize> m_userId{};
  std::string m_strServerId;
  std::string m_strServerIp;
  std::int32_t m_nPort = 0;
  std::int32_t m_nFileIndex = 0;
  bool m_bListReceived = false;
  DownloadEntry m_entry;
  std::string m_strLocalPath;
  std::vector<DownloadEntry> m_downloadList;
  ProgressPanel* m_pPanel = nullptr;
  std::chrono::milliseconds m_stallLimit = kDefaultStallLimit;
  std::thread m_thread;
};

}  // namespace hovane
