// The file server's wire records: every message starts with a 28-byte
// PacketHeader; a list reply carries DownloadEntry records, a file request one
// FileRequest. Integers are signed 32-bit little-endian, offsets and sizes
// IEEE 754 doubles, little-endian; texts are narrow (system code page) in
// fixed fields, ended by a zero byte when shorter than the field.
//
// The structs hold the fields in host form. Encode writes the exact wire
// bytes whatever the host's byte order and padding; Decode reads them back.
// Text fields are read only within their bounds (FieldText), so a field
// without a terminating zero yields all of its bytes and nothing beyond.
//
// Header-only so that the reference server speaks the same records without
// linking the client. Threading: pure functions.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

namespace hovane {

// Command codes.
inline constexpr std::int32_t CMD_LIST = 10001;  // names wanted / the download list
inline constexpr std::int32_t CMD_FILE = 1000;   // a file from an offset / its size and content
inline constexpr std::int32_t CMD_END = 5;       // end notice, error acknowledgement, end reply
inline constexpr std::int32_t CMD_NODATA = 7;    // a reply without data

inline constexpr std::size_t kUserIdSize = 12;
inline constexpr std::size_t kErrorTextSize = 256;  // text after a negative nStatus
inline constexpr std::size_t kListSlotSize = 260;   // one name of a list request

struct PacketHeader {
  std::int32_t nCommand = 0;
  std::int32_t nCount = 0;     // items in the body
  std::int32_t nItemSize = 0;  // bytes per item
  std::int32_t nStatus = 0;    // negative: an error reply, kErrorTextSize bytes of text follow
  std::array<char, kUserIdSize> userId{};
};

struct DownloadEntry {
  std::int32_t nPosition = 0;  // 2 marks the last file
  std::array<char, 768> reserved1{};
  std::array<char, 256> szDirectory{};
  std::array<char, 256> szName{};
  std::array<char, 8> reserved2{};
};

struct FileRequest {
  double dOffset = 0;
  std::array<char, 768> szPath{};
};

inline constexpr std::size_t kPacketHeaderSize = 28;
inline constexpr std::size_t kDownloadEntrySize = 1292;
inline constexpr std::size_t kFileRequestSize = 776;

// The fields sum to the wire sizes, and the structs have no padding, so a
// field's offset below is the same on the wire and in memory.
static_assert(sizeof(PacketHeader) == kPacketHeaderSize);
static_assert(offsetof(PacketHeader, userId) == 16);
static_assert(sizeof(DownloadEntry) == kDownloadEntrySize);
static_assert(offsetof(DownloadEntry, szDirectory) == 772);
static_assert(offsetof(DownloadEntry, szName) == 1028);
static_assert(offsetof(DownloadEntry, reserved2) == 1284);
static_assert(sizeof(FileRequest) == kFileRequestSize);
static_assert(offsetof(FileRequest, szPath) == 8);
static_assert(sizeof(double) == 8 && std::numeric_limits<double>::is_iec559,
              "sizes and offsets travel as IEEE 754 doubles");

namespace wire {

inline void PutInt32(char* out, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
}

inline std::int32_t GetInt32(const char* in) {
  std::uint32_t bits = 0;
  for (int i = 0; i < 4; ++i) bits |= std::uint32_t{static_cast<unsigned char>(in[i])} << (8 * i);
  return static_cast<std::int32_t>(bits);
}

inline void PutDouble(char* out, double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  for (int i = 0; i < 8; ++i) out[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
}

inline double GetDouble(const char* in) {
  std::uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits |= std::uint64_t{static_cast<unsigned char>(in[i])} << (8 * i);
  return std::bit_cast<double>(bits);
}

}  // namespace wire

// The text of a fixed field: its bytes up to the first zero, or all of them
// when it has none.
template <std::size_t N>
std::string FieldText(const std::array<char, N>& field) {
  const void* zero = std::memchr(field.data(), 0, N);
  return std::string(field.data(), zero ? static_cast<const char*>(zero) - field.data() : N);
}

// Fills a field with text, zero after it; text longer than the field is cut
// and then has no terminating zero.
template <std::size_t N>
void SetFieldText(std::array<char, N>& field, std::string_view text) {
  field.fill(0);
  std::memcpy(field.data(), text.data(), std::min(text.size(), N));
}

inline std::array<char, kPacketHeaderSize> Encode(const PacketHeader& header) {
  std::array<char, kPacketHeaderSize> out{};
  wire::PutInt32(&out[0], header.nCommand);
  wire::PutInt32(&out[4], header.nCount);
  wire::PutInt32(&out[8], header.nItemSize);
  wire::PutInt32(&out[12], header.nStatus);
  std::memcpy(&out[16], header.userId.data(), kUserIdSize);
  return out;
}

inline PacketHeader DecodePacketHeader(const char* in) {
  PacketHeader header;
  header.nCommand = wire::GetInt32(&in[0]);
  header.nCount = wire::GetInt32(&in[4]);
  header.nItemSize = wire::GetInt32(&in[8]);
  header.nStatus = wire::GetInt32(&in[12]);
  std::memcpy(header.userId.data(), &in[16], kUserIdSize);
  return header;
}

inline std::array<char, kDownloadEntrySize> Encode(const DownloadEntry& entry) {
  std::array<char, kDownloadEntrySize> out{};
  wire::PutInt32(&out[0], entry.nPosition);
  std::memcpy(&out[4], entry.reserved1.data(), entry.reserved1.size());
  std::memcpy(&out[772], entry.szDirectory.data(), entry.szDirectory.size());
  std::memcpy(&out[1028], entry.szName.data(), entry.szName.size());
  std::memcpy(&out[1284], entry.reserved2.data(), entry.reserved2.size());
  return out;
}

inline DownloadEntry DecodeDownloadEntry(const char* in) {
  DownloadEntry entry;
  entry.nPosition = wire::GetInt32(&in[0]);
  std::memcpy(entry.reserved1.data(), &in[4], entry.reserved1.size());
  std::memcpy(entry.szDirectory.data(), &in[772], entry.szDirectory.size());
  std::memcpy(entry.szName.data(), &in[1028], entry.szName.size());
  std::memcpy(entry.reserved2.data(), &in[1284], entry.reserved2.size());
  return entry;
}

inline std::array<char, kFileRequestSize> Encode(const FileRequest& request) {
  std::array<char, kFileRequestSize> out{};
  wire::PutDouble(&out[0], request.dOffset);
  std::memcpy(&out[8], request.szPath.data(), request.szPath.size());
  return out;
}

inline FileRequest DecodeFileRequest(const char* in) {
  FileRequest request;
  request.dOffset = wire::GetDouble(&in[0]);
  std::memcpy(request.szPath.data(), &in[8], request.szPath.size());
  return request;
}

}  // namespace hovane
