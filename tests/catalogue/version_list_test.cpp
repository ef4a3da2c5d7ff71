#include "catalogue/version_list.h"

#include <gtest/gtest.h>

namespace hovane {
namespace {

TEST(VersionList, LinesSplitAtTheLastColon) {
  struct Case {
    std::string line;
    bool entry;
    std::string name, version;
  };
  const Case cases[] = {
      {"HoVane.exe:1,0,0,3", true, "HoVane.exe", "1,0,0,3"},
      {"a:b:1,0,0,2", true, "a:b", "1,0,0,2"},
      {"only-name:", true, "only-name", ""},
      {":1,0", true, "", "1,0"},
      {" x : 1 ", true, " x ", " 1 "},
      {"HoVane.ocx:1,0\r", true, "HoVane.ocx", "1,0"},
      {"Ho\rVane.ocx:\r1,\r0", true, "HoVane.ocx", "1,0"},
      {std::string("nul:1\0:2", 8), true, "nul", "1"},
      {std::string("nul\0name:1", 10), false, "", ""},
      {"", false, "", ""},
      {"<html>", false, "", ""},
      {"\r", false, "", ""},
  };
  for (const Case& c : cases) {
    auto entry = ParseVersionListLine(c.line);
    ASSERT_EQ(entry.has_value(), c.entry) << c.line;
    if (!entry) continue;
    EXPECT_EQ(entry->name, c.name);
    EXPECT_EQ(entry->version, c.version);
  }
}

TEST(VersionList, OnlyEntryLinesAreNumbered) {
  VersionListReader reader;
  const char* lines[] = {"<html>", "A:1", "", "B:2", "no colon", "A:3"};
  std::vector<std::pair<std::int32_t, std::string>> seen;
  for (const char* line : lines)
    if (auto entry = reader.Feed(line)) seen.emplace_back(entry->position, entry->name);
  const std::vector<std::pair<std::int32_t, std::string>> expected = {{1, "A"}, {2, "B"}, {3, "A"}};
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(reader.EntryCount(), 3);
  EXPECT_EQ(VersionSectionName(12), "File12");
}

TEST(VersionList, ALineOfMegabytesIsOneEntry) {
  const std::string name(4u << 20, 'n');
  auto entry = ParseVersionListLine(name + ":9");
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->name.size(), name.size());
  EXPECT_EQ(entry->version, "9");
}

}  // namespace
}  // namespace hovane
