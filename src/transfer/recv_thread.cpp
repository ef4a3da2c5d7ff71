#include "transfer/recv_thread.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "catalogue/locations.h"
#include "install/install_files.h"
#include "platform/codepage/codepage.h"
#include "resources/texts.h"

namespace hovane {
namespace {

using platform::MessageBoxButtons;
using platform::MessageBoxIcon;
using platform::MessageBoxResult;

// Fills the "%s" markers of a text with values, in order. Walks the text
// character by character so that a trail byte is never read as '%'.
std::string FillIn(std::string_view pattern, std::initializer_list<std::string_view> values) {
  std::string filled;
  const std::string_view* next = values.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (platform::IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < pattern.size()) {
      filled += c;
      filled += pattern[++i];
    } else if (c == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's' &&
               next != values.end()) {
      filled += *next++;
      ++i;
    } else {
      filled += c;
    }
  }
  return filled;
}

// A bar value truncated to an integer. Files over 2 TiB would leave the
// 32-bit range, where a plain conversion is undefined; they saturate.
std::int32_t BarValue(double value) {
  if (!(value < static_cast<double>(INT_MAX))) return INT_MAX;
  if (!(value > static_cast<double>(INT_MIN))) return INT_MIN;
  return static_cast<std::int32_t>(value);
}

std::string UnexpectedReplyText(std::int32_t command) {
  return FillIn(Text(TextId::kTextUnexpectedReply), {std::to_string(command)});
}

}  // namespace

CRecvThread::CRecvThread() = default;
CRecvThread::~CRecvThread() { Join(); }

void CRecvThread::Start() {
  m_thread = std::thread([this] {
    InitInstance();
    ExitInstance();
  });
}

void CRecvThread::Join() {
  if (m_thread.joinable()) m_thread.join();
}

// The socket library needs no start-up here, so the run cannot fail before
// it connects; every outcome goes through m_bInstallResult.
bool CRecvThread::InitInstance() {
  m_bFailed = false;
  CHoVaneUpdateModule& module = TheModule();
  module.m_bInstallResult = 1;
  if (!ConnectServer(m_strServerIp, m_nPort)) {
    module.m_bInstallResult = 0;
    return true;
  }
  if (!DownloadFiles()) {
    module.m_bInstallResult = 0;
    return true;
  }
  if (m_bFailed) {
    module.m_bInstallResult = 0;
    m_bFailed = false;
    return true;
  }
  if (!InstallFiles()) module.m_bInstallResult = 0;
  return true;
}

void CRecvThread::ExitInstance() {
  m_pFile.reset();
  CloseConnection();
  m_downloadList.clear();
  if (m_pPanel != nullptr) m_pPanel->SignalThreadEnd();
}

bool CRecvThread::InstallFiles() {
  std::vector<std::string> names;
  names.reserve(m_downloadList.size());
  for (const DownloadEntry& entry : m_downloadList)
    names.emplace_back(entry.szName.data(), ::strnlen(entry.szName.data(), entry.szName.size()));
  return hovane::InstallFiles(names, *m_pPanel);
}

void CRecvThread::SetPanel(ProgressPanel* panel) { m_pPanel = panel; }

void CRecvThread::SetServerSettings(std::string_view serverId, std::string_view serverIp,
                                    std::int32_t port) {
  m_strServerId = serverId;
  m_strServerIp = serverIp;
  m_nPort = port;
}

void CRecvThread::SetUserId(std::string_view userId) {
  m_userId.fill(0);
  std::memcpy(m_userId.data(), userId.data(), std::min(userId.size(), kUserIdSize));
}

void CRecvThread::SetFetchList(const FetchRecord* fetchList, std::size_t capacity) {
  m_pFetchList = fetchList;
  m_nFetchListCapacity = fetchList != nullptr ? capacity : 0;
}

void CRecvThread::SetStallLimit(std::chrono::milliseconds limit) { m_stallLimit = limit; }

bool CRecvThread::ConnectServer(std::string_view address, int port) {
  if (address.empty() || port < 0) return false;
  // Windows would take the port modulo 65536 and cut the address at its
  // 100-byte buffer; both are bad settings, which fail here before a socket
  // exists instead of reaching some other port or address.
  if (port > 65535 || address.size() >= 100) return false;

  platform::TcpSocket socket = platform::TcpSocket::Create();
  if (!socket.IsOpen()) {
    ShowSocketError();
    return false;
  }
  m_socket = std::move(socket);

  // Without non-blocking mode the connect could not be held to its limit.
  if (!m_socket.SetBlocking(false)) return false;
  switch (m_socket.StartConnect(address, static_cast<std::uint16_t>(port))) {
    case platform::TcpConnectStart::Connected:
      if (!m_socket.SetBlocking(true)) return false;
      break;
    case platform::TcpConnectStart::Failed:
      return false;
    case platform::TcpConnectStart::InProgress:
      // Back to blocking mode before the wait, as the protocol code expects
      // blocking sends and receives from here on.
      if (!m_socket.SetBlocking(true)) return false;
      if (!m_socket.WaitForConnect(kConnectWait)) return false;
      break;
  }
  m_socket.SetLinger(false, 100);
  // Blocking without end would leave a dialog that has no cancel button
  // waiting for a server that has stopped answering.
  return m_socket.SetStallLimit(m_stallLimit);
}

int CRecvThread::SendData(const void* data, int length) {
  if (!m_socket.IsOpen()) return -1;
  const char* bytes = static_cast<const char*>(data);
  int sent = 0;
  while (sent < length) {
    const int result = m_socket.Send(bytes + sent, length - sent);
    if (result < 0) return -1;
    if (result == 0) break;
    sent += result;
  }
  return sent;
}

int CRecvThread::ReceiveExactly(char* buffer, int size, int zeroSize) {
  int received = 0;
  int result = 0;
  while (received < size) {
    result = m_socket.Receive(buffer + received, size - received);
    if (result <= 0) break;
    received += result;
  }
  // The buffer ends as if it had been zero-filled before the receive; only
  // the bytes that did not arrive are cleared, so a full 32 KiB share of a
  // file costs no extra pass over its buffer.
  if (zeroSize > received)
    std::memset(buffer + received, 0, static_cast<std::size_t>(zeroSize - received));
  return result < 0 ? -1 : received;
}

int CRecvThread::ReceiveData(void* buffer, int size) {
  if (!m_socket.IsOpen()) {
    if (size > 0) std::memset(buffer, 0, static_cast<std::size_t>(size));
    return -1;
  }
  return ReceiveExactly(static_cast<char*>(buffer), size, size);
}

int CRecvThread::ReceiveFileData(void* buffer, int bufferSize, double remaining) {
  if (!m_socket.IsOpen()) {
    if (bufferSize > 0) std::memset(buffer, 0, static_cast<std::size_t>(bufferSize));
    return -1;
  }
  int wanted = bufferSize;
  // The truncated remainder is taken only when it fits the buffer, so a
  // caller with a buffer below 32768 bytes is never written past.
  if (remaining < static_cast<double>(kFileShareSize))
    wanted = std::min(bufferSize, static_cast<int>(remaining));
  return ReceiveExactly(static_cast<char*>(buffer), wanted, bufferSize);
}

void CRecvThread::ShowSocketError() {
  Notify(platform::DescribeTcpError(platform::LastTcpError()), MessageBoxButtons::Ok,
         MessageBoxIcon::Error);
}

void CRecvThread::CloseConnection() {
  if (!m_socket.IsOpen()) return;
  m_socket.Shutdown();
  m_socket.Close();
}

MessageBoxResult CRecvThread::Notify(const std::string& text, MessageBoxButtons buttons,
                                     MessageBoxIcon icon) {
  platform::MessageBoxRequest request;
  request.owner = m_pPanel ? m_pPanel->MessageBoxOwner() : 0;
  request.text = text;
  request.caption = Text(TextId::kTextNotice);
  request.buttons = buttons;
  request.icon = icon;
  return platform::ShowMessageBox(request);
}

void CRecvThread::Refuse(const std::string& text) {
  m_bFailed = true;
  m_bListReceived = false;
  Notify(text, MessageBoxButtons::Ok, MessageBoxIcon::Error);
}

PacketHeader CRecvThread::MakeHeader(std::int32_t command, std::int32_t count,
                                     std::int32_t itemSize) const {
  PacketHeader header;
  header.nCommand = command;
  header.nCount = count;
  header.nItemSize = itemSize;
  header.userId = m_userId;
  return header;
}

bool CRecvThread::DownloadFiles() {
  // The list request: the header, then one 260-byte slot per fetch-list
  // record, exactly as the records lie in memory but with the 32-bit field
  // written little-endian.
  const auto capacity = static_cast<std::int32_t>(std::min<std::size_t>(m_nFetchListCapacity, INT32_MAX));
  const std::int32_t names =
      m_nFetchListCapacity > 0 ? std::clamp(m_pFetchList[0].nCount, 0, capacity) : 0;
  std::string request(kPacketHeaderSize + static_cast<std::size_t>(names) * kListSlotSize, '\0');
  const auto header = Encode(MakeHeader(CMD_LIST, names, static_cast<std::int32_t>(kListSlotSize)));
  std::memcpy(request.data(), header.data(), header.size());
  for (std::int32_t i = 0; i < names; ++i) {
    char* slot = request.data() + kPacketHeaderSize + static_cast<std::size_t>(i) * kListSlotSize;
    wire::PutInt32(slot, m_pFetchList[i].nCount);
    std::memcpy(slot + 4, m_pFetchList[i].szName, kFetchNameSize);
  }
  if (SendData(request.data(), static_cast<int>(request.size())) < 0) {
    ShowSocketError();
    return false;
  }

  // The thread's run ends when this returns, so no quit request is posted
  // here; the thread itself ends after its run.
  if (!ReceiveReplies()) {
    CloseConnection();
    return false;
  }

  MarkListEnds();
  m_nFileIndex = 0;
  const std::size_t listed = m_downloadList.size();
  while (m_bListReceived && static_cast<std::size_t>(m_nFileIndex) < listed) {
    m_entry = m_downloadList[static_cast<std::size_t>(m_nFileIndex)];
    if (!m_pFile) m_pFile = std::make_unique<platform::File>();
    PrepareDownloadTarget();

    const double offset = OpenLocalFile();
    if (offset < 0) break;

    FileRequest fileRequest;
    fileRequest.dOffset = offset;
    SetFieldText(fileRequest.szPath,
                 FieldText(m_entry.szDirectory) + "/" + FieldText(m_entry.szName));
    std::string message(kPacketHeaderSize + kFileRequestSize, '\0');
    const auto fileHeader =
        Encode(MakeHeader(CMD_FILE, 1, static_cast<std::int32_t>(kFileRequestSize)));
    const auto body = Encode(fileRequest);
    std::memcpy(message.data(), fileHeader.data(), fileHeader.size());
    std::memcpy(message.data() + kPacketHeaderSize, body.data(), body.size());
    if (SendData(message.data(), static_cast<int>(message.size())) <= 0) {
      ShowSocketError();
      m_bFailed = true;
      break;
    }

    // A reply that cannot be read leaves the stream at an unknown point (or
    // the connection dead, or stalled for the whole limit); asking for the
    // next file would only repeat that, so no further file is requested.
    if (!ReceiveReplies()) {
      m_bFailed = true;
      m_bListReceived = false;
    }

    m_pFile->Close();
    m_pFile.reset();
    ++m_nFileIndex;
    if (!m_bListReceived) break;
  }

  if (m_pFile) {
    m_pFile->Close();
    m_pFile.reset();
  }
  CloseConnection();
  return true;
}

double CRecvThread::OpenLocalFile() {
  double offset = GetLocalFileSize(m_strLocalPath);
  platform::OpenMode mode = platform::OpenMode::CreateAlways;
  if (offset > 0) {
    const MessageBoxResult answer =
        Notify(FillIn(Text(TextId::kTextResumeQuestion), {m_strLocalPath}),
               MessageBoxButtons::YesNo, MessageBoxIcon::Question);
    if (answer == MessageBoxResult::Yes)
      mode = platform::OpenMode::OpenAlways;
    else
      offset = 0;
  }
  platform::FileError error = platform::FileError::Ok;
  *m_pFile = platform::File::Open(m_strLocalPath, mode, platform::Access::Write,
                                  platform::Share::All, &error);
  if (!m_pFile->IsOpen()) {
    // Treated like a file request that cannot be sent: the download fails
    // here, with the reason, before anything is asked of the server.
    Refuse(FillIn(Text(TextId::kTextLocalFileOpenFailed),
                  {m_strLocalPath, platform::DescribeFileError(error)}));
    return -1;
  }
  return offset;
}

bool CRecvThread::ReceiveReplies() {
  m_bReceiving = true;
  int last = 1;
  while (m_bReceiving && last > 0) {
    // A header cut short by a close is used with its missing bytes zero;
    // ReceiveData zero-fills before it reads.
    std::array<char, kPacketHeaderSize> raw;
    if (ReceiveData(raw.data(), static_cast<int>(raw.size())) <= 0) return false;
    const PacketHeader header = DecodePacketHeader(raw.data());

    if (header.nStatus < 0) {
      m_bFailed = true;
      m_bListReceived = false;
      std::array<char, kErrorTextSize> text;
      if (ReceiveData(text.data(), static_cast<int>(text.size())) < 0) return false;
      Notify(FieldText(text), MessageBoxButtons::Ok, MessageBoxIcon::Error);
      const auto acknowledgement = Encode(MakeHeader(CMD_END, 0, 0));
      if (SendData(acknowledgement.data(), static_cast<int>(acknowledgement.size())) <= 0) {
        ShowSocketError();
        return false;
      }
      continue;
    }

    // In 64 bits the product cannot overflow; the limit keeps a hostile
    // header from making us allocate what it claims.
    const std::int64_t size = std::int64_t{header.nCount} * header.nItemSize;
    std::string body;
    if (size > 0) {
      if (size > kMaxReplyBodyBytes) {
        Refuse(FillIn(Text(TextId::kTextReplyTooLarge),
                      {std::to_string(header.nCount), std::to_string(header.nItemSize)}));
        return false;
      }
      body.resize(static_cast<std::size_t>(size));
      const int received = ReceiveData(body.data(), static_cast<int>(size));
      if (received < 0) return false;
      body.resize(static_cast<std::size_t>(received));
    }
    last = HandleReply(header, body);
  }
  return true;
}

int CRecvThread::HandleReply(const PacketHeader& header, std::string_view body) {
  switch (header.nCommand) {
    case CMD_LIST: {
      // The download list answers the list request only. Arriving while a
      // file is open, its entries would be installed without having been
      // downloaded.
      if (m_pFile && m_pFile->IsOpen()) {
        Refuse(UnexpectedReplyText(header.nCommand));
        return -1;
      }
      std::vector<DownloadEntry> entries;
      if (header.nCount > 0) {
        // Entries are taken one after the other, 1292 bytes each; a smaller
        // item size, or a body cut short by a close, does not hold them.
        const std::size_t count = static_cast<std::size_t>(header.nCount);
        if (header.nItemSize < static_cast<std::int32_t>(kDownloadEntrySize) ||
            body.size() < count * kDownloadEntrySize) {
          Refuse(Text(TextId::kTextBadDownloadList));
          return -1;
        }
        entries.reserve(count);
        for (std::size_t i = 0; i < count; ++i)
          entries.push_back(DecodeDownloadEntry(body.data() + i * kDownloadEntrySize));
        // The whole list is checked before any file is asked for, so a bad
        // name fails the download before anything is written.
        for (const DownloadEntry& entry : entries) {
          const std::string name = FieldText(entry.szName);
          if (!IsPlainFileName(name)) {
            Refuse(FillIn(Text(TextId::kTextBadFileName), {name}));
            return -1;
          }
        }
      }
      m_bListReceived = true;
      m_downloadList.insert(m_downloadList.end(), entries.begin(), entries.end());
      return -2;
    }
    case CMD_FILE:
      return ReceiveFile(header, body);
    case CMD_END:
      m_bListReceived = false;
      m_bReceiving = false;
      return -2;
    case CMD_NODATA:
      return -1;
    default:
      // Stopping without a failure would let an incomplete download be
      // installed (or, at the list request, count as a finished update).
      Refuse(UnexpectedReplyText(header.nCommand));
      return -1;
  }
}

void CRecvThread::MarkListEnds() {
  if (m_downloadList.empty()) return;
  if (m_downloadList.size() > 1) m_downloadList.front().nPosition = 0;
  m_downloadList.back().nPosition = 2;
}

int CRecvThread::ReceiveFile(const PacketHeader& header, std::string_view body) {
  if (m_pPanel) m_pPanel->BringDialogToFront();
  // A file's content can only go into the file that was asked for.
  if (!m_pFile || !m_pFile->IsOpen()) {
    Refuse(UnexpectedReplyText(header.nCommand));
    return -1;
  }
  const std::string name = FieldText(m_entry.szName);
  const std::int64_t length = m_pFile->SeekToEnd();
  if (length < 0) {
    Refuse(FillIn(Text(TextId::kTextLocalFileWriteFailed), {m_strLocalPath}));
    return -1;
  }
  const double existing = static_cast<double>(length);

  // The size must be a whole number of bytes that a double counts exactly;
  // anything else would make the remainder never reach zero, or wrap.
  if (body.size() < 8) {
    Refuse(FillIn(Text(TextId::kTextBadFileSize), {name}));
    return -1;
  }
  const double total = wire::GetDouble(body.data());
  if (!std::isfinite(total) || total < 0 || total > kMaxFileSize || total != std::floor(total)) {
    Refuse(FillIn(Text(TextId::kTextBadFileSize), {name}));
    return -1;
  }
  double remaining = total - existing;

  const double divisor = total >= 1024 ? 1024 : 1;
  if (m_pPanel) {
    m_pPanel->SetFileName(name);
    m_pPanel->SetTextVisible(true);
    m_pPanel->SetBarRange(0, BarValue(total / divisor));
    m_pPanel->SetBarPosition(existing != 0 ? BarValue(existing / divisor + 1.0) : 0);
  }

  std::vector<char> buffer(kFileShareSize);
  double received = 0;
  while (remaining > 0) {
    const int count = ReceiveFileData(buffer.data(), kFileShareSize, remaining);
    if (count < 1) {
      ShowSocketError();
      m_pFile->Close();
      m_bFailed = true;
      m_bListReceived = false;
      return -1;
    }
    // A share that cannot be written would leave a file that looks complete
    // but is not; the download fails instead.
    if (!m_pFile->Write(buffer.data(), static_cast<std::size_t>(count))) {
      m_pFile->Close();
      Refuse(FillIn(Text(TextId::kTextLocalFileWriteFailed), {m_strLocalPath}));
      return -1;
    }
    remaining -= count;
    received += count;
    if (m_pPanel) m_pPanel->SetBarPosition(BarValue((existing + received) / divisor));
  }

  if (m_entry.nPosition == 2) {
    PacketHeader notice = MakeHeader(CMD_END, 0, 0);
    notice.userId.fill(0);
    const auto bytes = Encode(notice);
    if (SendData(bytes.data(), static_cast<int>(bytes.size())) <= 0) {
      ShowSocketError();
      return -1;
    }
    return 1;
  }
  return -2;
}

double CRecvThread::GetLocalFileSize(std::string_view path) {
  // A folder has no size of its own here, as a Windows file-status query
  // reports none for it.
  const auto status = platform::GetFileStatus(path);
  return status && !status->isDirectory ? static_cast<double>(status->size) : 0.0;
}

void CRecvThread::PrepareDownloadTarget() {
  const std::string tempFolder = GetTempFolder();
  if (!platform::FindExact(tempFolder)) CreateDirectoryTree(tempFolder);
  m_strLocalPath = tempFolder + "\\" + FieldText(m_entry.szName);
}

}  // namespace hovane
