// The wire records against layouts built by hand: every field at its offset,
// little-endian, text fields bounded.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "transfer/scripted_server.h"
#include "transfer/wire_records.h"

namespace hovane {
namespace {

std::string Bytes(const auto& array) { return std::string(array.data(), array.size()); }

TEST(WireRecords, HeaderEncodesEachFieldLittleEndianAtItsOffset) {
  PacketHeader header;
  header.nCommand = CMD_LIST;
  header.nCount = 3;
  header.nItemSize = 260;
  header.nStatus = -1;
  SetFieldText(header.userId, "user");
  EXPECT_EQ(Bytes(Encode(header)), test::Header(10001, 3, 260, -1, "user"));

  const std::string raw = test::Header(0x01020304, -2, 0x7FFFFFFF, -0x7FFFFFFF, "abcdefghijklmnop");
  const PacketHeader decoded = DecodePacketHeader(raw.data());
  EXPECT_EQ(decoded.nCommand, 0x01020304);
  EXPECT_EQ(decoded.nCount, -2);
  EXPECT_EQ(decoded.nItemSize, 0x7FFFFFFF);
  EXPECT_EQ(decoded.nStatus, -0x7FFFFFFF);
  EXPECT_EQ(std::string(decoded.userId.data(), 12), "abcdefghijkl");
  EXPECT_EQ(Bytes(Encode(decoded)), raw);
}

TEST(WireRecords, DownloadEntryKeepsEveryByteAndReadsNamesWithinTheirFields) {
  const std::string raw = test::Entry("HoVane.exe", "client/bin", 2);
  ASSERT_EQ(raw.size(), kDownloadEntrySize);
  const DownloadEntry entry = DecodeDownloadEntry(raw.data());
  EXPECT_EQ(entry.nPosition, 2);
  EXPECT_EQ(FieldText(entry.szName), "HoVane.exe");
  EXPECT_EQ(FieldText(entry.szDirectory), "client/bin");
  EXPECT_EQ(Bytes(Encode(entry)), raw);

  // Fields without a terminating zero end at the field's end, not at the
  // next field's first zero.
  const std::string full = test::Entry(std::string(256, 'n'), std::string(256, 'd'));
  const DownloadEntry unterminated = DecodeDownloadEntry(full.data());
  EXPECT_EQ(FieldText(unterminated.szName), std::string(256, 'n'));
  EXPECT_EQ(FieldText(unterminated.szDirectory), std::string(256, 'd'));
}

TEST(WireRecords, FileRequestCarriesTheOffsetAsALittleEndianDouble) {
  FileRequest request;
  request.dOffset = 5000.0;
  SetFieldText(request.szPath, "files/a.bin");
  std::string expected = test::LeDouble(5000.0) + "files/a.bin";
  expected.resize(kFileRequestSize, '\0');
  EXPECT_EQ(Bytes(Encode(request)), expected);
  EXPECT_EQ(expected.substr(0, 8), std::string("\0\0\0\0\0\x88\xB3\x40", 8));

  const FileRequest decoded = DecodeFileRequest(expected.data());
  EXPECT_EQ(decoded.dOffset, 5000.0);
  EXPECT_EQ(FieldText(decoded.szPath), "files/a.bin");
}

TEST(WireRecords, DoublesRoundTripBitForBit) {
  for (double value : {0.0, -0.0, 1.5, 12000.0, 9007199254740992.0, -1.0,
                       std::numeric_limits<double>::infinity()}) {
    char bytes[8];
    wire::PutDouble(bytes, value);
    EXPECT_EQ(std::string(bytes, 8), test::LeDouble(value));
    EXPECT_EQ(std::bit_cast<std::uint64_t>(wire::GetDouble(bytes)),
              std::bit_cast<std::uint64_t>(value));
  }
  char nan[8];
  wire::PutDouble(nan, std::numeric_limits<double>::quiet_NaN());
  EXPECT_TRUE(std::isnan(wire::GetDouble(nan)));
}

TEST(WireRecords, TextLongerThanItsFieldIsCutWithoutTerminator) {
  std::array<char, kUserIdSize> field{};
  SetFieldText(field, "abcdefghijklmno");
  EXPECT_EQ(std::string(field.data(), field.size()), "abcdefghijkl");
  SetFieldText(field, "abcde");
  EXPECT_EQ(std::string(field.data(), field.size()), std::string("abcde\0\0\0\0\0\0\0", 12));
}

}  // namespace
}  // namespace hovane
