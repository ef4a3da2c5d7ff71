#include "platform/codepage/codepage.h"

#include <gtest/gtest.h>

namespace hovane::platform {
namespace {

// "각" in code page 949 is B0 A2; "갂" is 81 41, whose trail byte is 'A'
// and "걁" 81 61, whose trail byte is 'a'.
const std::string kGak = "\xB0\xA2";
const std::string kTrailA = "\x81\x41";
const std::string kTrailLowerA = "\x81\x61";

TEST(CodePage, DefaultsTo949AndRoundTripsKorean) {
  EXPECT_EQ(SystemCodePage(), 949u);
  auto narrow = Utf8ToNarrow("설치 - 호바네 프로그램");
  ASSERT_TRUE(narrow);
  EXPECT_EQ(NarrowToUtf8(*narrow), "설치 - 호바네 프로그램");
  EXPECT_EQ(NarrowToUtf16(*narrow), u"설치 - 호바네 프로그램");
  EXPECT_EQ(Utf16ToNarrow(u"설치 - 호바네 프로그램"), *narrow);
  EXPECT_EQ(*Utf8ToNarrow("각"), kGak);
}

TEST(CodePage, StrictConversionsRefuseWhatTheyCannotRepresent) {
  EXPECT_FALSE(NarrowToUtf8("\x80"));          // not a character in 949
  EXPECT_FALSE(NarrowToUtf8("ab\xB0"));        // a lead byte without its trail
  EXPECT_FALSE(Utf8ToNarrow("\xE2\x82"));      // broken UTF-8
  EXPECT_FALSE(Utf8ToNarrow("\xF0\x9F\x98\x80"));  // an emoji has no 949 form
  EXPECT_EQ(NarrowToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(CodePage, LossyUtf16ConversionReplacesWithQuestionMarks) {
  EXPECT_EQ(Utf16ToNarrow(u"a\U0001F600b"), "a?b");
  EXPECT_EQ(Utf16ToNarrow(std::u16string(u"x") + char16_t(0xD800) + u"y"), "x?y");
  EXPECT_EQ(Utf16ToNarrow(u""), "");
}

TEST(CodePage, CaseChangesNeverTouchTrailBytes) {
  struct Case {
    std::string in, upper, lower;
  };
  const Case cases[] = {
      {"serverIp", "SERVERIP", "serverip"},
      {kTrailLowerA + "a", kTrailLowerA + "A", kTrailLowerA + "a"},
      {kTrailA + "A", kTrailA + "A", kTrailA + "a"},
      {kGak + "x.ocx", kGak + "X.OCX", kGak + "x.ocx"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UpperCase(c.in), c.upper);
    EXPECT_EQ(LowerCase(c.in), c.lower);
  }
  EXPECT_TRUE(EqualsNoCase("HoVane.OCX", "hovane.ocx"));
  EXPECT_FALSE(EqualsNoCase(kTrailA, kTrailLowerA));
}

TEST(CodePage, LastCharacterSearchSkipsTrailBytes) {
  // In code page 932 the trail byte of "ソ" (83 5C) is a backslash.
  ASSERT_TRUE(SetSystemCodePage(932));
  EXPECT_EQ(FindLastChar("a\\\x83\x5C", '\\'), 1u);
  ASSERT_TRUE(SetSystemCodePage(949));
  EXPECT_EQ(FindLastChar("C:\\a\\b", '\\'), 4u);
  EXPECT_EQ(FindLastChar("name" + kTrailLowerA, 'a'), 1u);
  EXPECT_EQ(FindLastChar("none", '.'), std::string_view::npos);
  EXPECT_FALSE(SetSystemCodePage(12345));
  EXPECT_EQ(SystemCodePage(), 949u);
}

}  // namespace
}  // namespace hovane::platform
