// The console progress line: the line drawn for a terminal, and the lines
// written to a log (the test's error stream is not a terminal).
#include "platform/msgbox/console_progress.h"

#include <gtest/gtest.h>

#include "fixtures/text.h"
#include "platform/codepage/codepage.h"

namespace hovane::platform {
namespace {

TEST(ConsoleProgress, RendersTheItemBarAndPercentWithinTheWidth) {
  ASSERT_TRUE(SetSystemCodePage(949));
  const struct {
    std::string label;
    std::string item;  // UTF-8; converted to the code page
    std::int32_t lower, upper, position;
    int width;
    std::string expected;
  } cases[] = {
      {"", "a.exe", 0, 10, 5, 40, "a.exe     [############            ] 50%"},
      {"설치중:", "b", 0, 4, 4, 44, "설치중: b    [########################] 100%"},
      // Hangul takes two columns and is never cut in half.
      {"", "한글이름.dat", 0, 100, 0, 37, "한글이  [                        ] 0%"},
      {"", "empty.bin", 5, 5, 5, 40, "empty.bin  [                        ] 0%"},
      {"", "past.bin", 0, 10, 25, 43, "past.bin    [########################] 100%"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.item);
    ConsoleProgress progress(c.label);
    testing::internal::CaptureStderr();
    progress.SetItem(test::Narrow(c.item));
    progress.SetRange(c.lower, c.upper);
    progress.SetPosition(c.position);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(progress.Render(c.width), c.expected);
  }
}

TEST(ConsoleProgress, WritesOneLinePerItemToALog) {
  ASSERT_TRUE(SetSystemCodePage(949));
  ConsoleProgress progress("설치중:");
  testing::internal::CaptureStderr();
  progress.SetItem("a.exe");
  progress.SetRange(0, 10);
  for (int i = 1; i <= 5; ++i) progress.SetPosition(i);
  progress.SetItem(test::Narrow("한글.txt"));
  progress.SetPosition(10);
  progress.Finish();
  progress.Finish();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "설치중: a.exe 50%\n설치중: 한글.txt 100%\n");
}

}  // namespace
}  // namespace hovane::platform
