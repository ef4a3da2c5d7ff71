// The registrar on scripts of its own: what a script writes and removes,
// and malformed scripts refused before anything is written.
#include "module/registrar.h"

#include <gtest/gtest.h>

#include "module_test_support.h"

namespace hovane::module {
namespace {

using platform::ClassesScope;
using test::ClassesKeyExists;
using test::ClassesText;

class Registrar : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(platform::OpenClassesRoot(ClassesScope::User, platform::RegAccess::All, &root),
              platform::RegStatus::Ok);
  }
  test::TempPrefix prefix;
  platform::RegistryKey root;
};

constexpr std::string_view kScript =
    "# a comment\n"
    "Top keep\n"
    "  \"Two Words\" = \"%NAME% 100%%\" replace\n"
    "    @Number = dword 7\n"
    "    @Text = \"%NAME%\"\n"
    "    Child\n"
    "  Other = \"x\"\r\n";

TEST_F(Registrar, WritesAndRemovesAsTheFlagsSay) {
  const Replacements replacements{{"NAME", "\xC8\xAB"}};
  platform::RegistryKey stale;
  ASSERT_EQ(root.Create("Top\\Two Words\\Stale", platform::RegAccess::All, &stale),
            platform::RegStatus::Ok);
  ASSERT_EQ(ApplyRegistryScript(kScript, replacements, root, ScriptAction::Register), S_OK);
  EXPECT_EQ(ClassesText(ClassesScope::User, "Top\\Two Words"), "\xC8\xAB 100%");
  EXPECT_EQ(ClassesText(ClassesScope::User, "Top\\Two Words", "Text"), "\xC8\xAB");
  EXPECT_TRUE(ClassesKeyExists(ClassesScope::User, "Top\\Two Words\\Child"));
  EXPECT_FALSE(ClassesKeyExists(ClassesScope::User, "Top\\Two Words\\Stale"));
  EXPECT_EQ(ClassesText(ClassesScope::User, "Top\\Other"), "x");
  platform::RegistryKey key;
  ASSERT_EQ(root.Open("Top\\Two Words", platform::RegAccess::Read, &key), platform::RegStatus::Ok);
  std::uint32_t number = 0;
  EXPECT_EQ(key.QueryDword("Number", &number), platform::RegStatus::Ok);
  EXPECT_EQ(number, 7u);

  ASSERT_EQ(ApplyRegistryScript(kScript, replacements, root, ScriptAction::Unregister), S_OK);
  EXPECT_TRUE(ClassesKeyExists(ClassesScope::User, "Top"));
  EXPECT_FALSE(ClassesKeyExists(ClassesScope::User, "Top\\Two Words"));
  EXPECT_FALSE(ClassesKeyExists(ClassesScope::User, "Top\\Other"));
  // Removing again: what is gone counts as removed.
  EXPECT_EQ(ApplyRegistryScript(kScript, replacements, root, ScriptAction::Unregister), S_OK);
}

TEST_F(Registrar, MalformedScriptsChangeNothing) {
  const Replacements replacements{{"NAME", "n"}};
  const char* scripts[] = {
      "Key = \"unclosed\n",
      "Key\n    Grandchild\n",       // a level skipped
      " Odd\n",                      // indentation not a multiple of two
      "Key = bare\n",                // a text must be quoted
      "Key\n  @Value\n",             // a value without its text
      "Key\n  @Value = dword x7\n",  // not a number
      "Key\n  @Value = dword 99999999999\n",
      "@Value = \"top-level value\"\n",
      "Key = \"%UNKNOWN%\"\n",        // no replacement of that name
      "Key = \"%NAME\"\n",            // unclosed replacement
      "Key sometimes\n",              // unknown flag
      "Good\nKey = \"a\" = \"b\"\n",  // later line bad: the first is not written either
  };
  for (const char* script : scripts) {
    SCOPED_TRACE(script);
    EXPECT_EQ(ApplyRegistryScript(script, replacements, root, ScriptAction::Register),
              E_INVALIDARG);
    EXPECT_FALSE(ClassesKeyExists(ClassesScope::User, "Key"));
    EXPECT_FALSE(ClassesKeyExists(ClassesScope::User, "Good"));
  }
}

}  // namespace
}  // namespace hovane::module
