// The category manager: categories and implemented categories written to
// the classes root the caller chooses.
#include "platform/component/categories.h"

#include <gtest/gtest.h>

#include "fixtures/temp_prefix.h"
#include "platform/registry/registry.h"

namespace hovane::platform {
namespace {

constexpr Guid kCategory{
    0x7DD95801, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};
constexpr Guid kOtherCategory{
    0x7DD95802, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};
constexpr Guid kClass{0xBACDCCC3, 0xB6E8, 0x4C43, {0xA2, 0xB3, 0x05, 0xB9, 0x8C, 0xB9, 0x9A, 0x2E}};

std::optional<std::string> Text(ClassesScope scope, const std::string& key,
                                const std::string& value) {
  RegistryKey root, found;
  if (OpenClassesRoot(scope, RegAccess::Read, &root) != RegStatus::Ok ||
      root.Open(key, RegAccess::Read, &found) != RegStatus::Ok)
    return std::nullopt;
  std::string text;
  if (found.QueryString(value, &text) != RegStatus::Ok) return std::nullopt;
  return text;
}

bool Exists(ClassesScope scope, const std::string& key) {
  RegistryKey root, found;
  return OpenClassesRoot(scope, RegAccess::Read, &root) == RegStatus::Ok &&
         root.Open(key, RegAccess::Read, &found) == RegStatus::Ok;
}

TEST(Categories, DescriptionsPerLocaleInTheChosenClassesRootOnly) {
  const std::u16string long128(128, u'x');
  const std::u16string korean = u"안전한 컨트롤";
  struct Case {
    ClassesScope scope;
    std::uint32_t locale;
    std::u16string description;
    std::string valueName;
    std::string stored;
  };
  const Case cases[] = {
      {ClassesScope::Machine, 0x409, u"Controls that are safely scriptable", "409",
       "Controls that are safely scriptable"},
      {ClassesScope::User, 0x409, long128, "409", std::string(127, 'x')},
      {ClassesScope::User, 0x412, korean, "412",
       "\xBE\xC8\xC0\xFC\xC7\xD1 \xC4\xC1\xC6\xAE\xB7\xD1"},
      {ClassesScope::Machine, 0x409, std::u16string(127, u'y'), "409", std::string(127, 'y')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.valueName + " " + std::to_string(c.description.size()));
    test::TempPrefix prefix;
    const ClassesScope other =
        c.scope == ClassesScope::Machine ? ClassesScope::User : ClassesScope::Machine;
    const CategoryInfo info{kCategory, c.locale, c.description};
    ASSERT_EQ(RegisterCategories(c.scope, {&info, 1}), S_OK);
    const std::string key = "Component Categories\\" + FormatGuid(kCategory);
    EXPECT_EQ(Text(c.scope, key, c.valueName), c.stored);
    EXPECT_FALSE(Exists(other, key));
  }
}

TEST(Categories, ImplementedCategoriesAreKeysBelowTheClass) {
  test::TempPrefix prefix;
  const Guid both[] = {kCategory, kOtherCategory};
  ASSERT_EQ(RegisterClassImplementedCategories(ClassesScope::User, kClass, both), S_OK);
  // Registering again changes nothing.
  ASSERT_EQ(RegisterClassImplementedCategories(ClassesScope::User, kClass, both), S_OK);
  const std::string base = "CLSID\\" + FormatGuid(kClass) + "\\Implemented Categories";
  RegistryKey root, key;
  ASSERT_EQ(OpenClassesRoot(ClassesScope::User, RegAccess::Read, &root), RegStatus::Ok);
  ASSERT_EQ(root.Open(base, RegAccess::Read, &key), RegStatus::Ok);
  std::vector<std::string> names;
  ASSERT_EQ(key.EnumerateSubkeys(&names), RegStatus::Ok);
  EXPECT_EQ(names, (std::vector<std::string>{FormatGuid(kCategory), FormatGuid(kOtherCategory)}));
  EXPECT_FALSE(Exists(ClassesScope::Machine, base));
}

}  // namespace
}  // namespace hovane::platform
