#include "platform/msgbox/message_box.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <cstdio>

#include "platform/codepage/codepage.h"

namespace hovane::platform {
namespace {

TEST(MessageBoxes, ScriptedServiceRecordsBoxesAndAnswersInOrder) {
  ScriptedMessageBoxes script;
  MessageBoxService* previous = SetMessageBoxService(&script);
  script.QueueAnswer(MessageBoxResult::No);

  ShowMessage("done", "HoVaneUpdate");
  MessageBoxRequest question{7, "resume?", "caption", MessageBoxButtons::YesNo,
                             MessageBoxIcon::Question};
  EXPECT_EQ(ShowMessageBox(question), MessageBoxResult::No);
  EXPECT_EQ(ShowMessageBox(question), MessageBoxResult::Yes);  // the default once the script is used up

  auto shown = script.Shown();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].text, "done");
  EXPECT_EQ(shown[0].caption, "HoVaneUpdate");
  EXPECT_EQ(shown[0].buttons, MessageBoxButtons::Ok);
  EXPECT_EQ(shown[1].owner, 7u);
  EXPECT_EQ(shown[1].icon, MessageBoxIcon::Question);
  EXPECT_EQ(SetMessageBoxService(previous), &script);
}

TEST(MessageBoxes, ConsoleServiceAnswersQuestionsWithItsDefaultWithoutATerminal) {
  ASSERT_NE(std::freopen("/dev/null", "r", stdin), nullptr);
  ConsoleMessageBoxes console;
  testing::internal::CaptureStderr();
  MessageBoxRequest question{0, *Utf8ToNarrow("이어 받으시겠습니까?"), *Utf8ToNarrow("알림"),
                             MessageBoxButtons::YesNo, MessageBoxIcon::Question};
  EXPECT_EQ(console.Show(question), MessageBoxResult::No);
  console.SetDefaultAnswer(MessageBoxResult::Yes);
  EXPECT_EQ(console.Show(question), MessageBoxResult::Yes);
  // A helper process started by a program told to answer yes answers yes.
  ASSERT_EQ(::setenv("HOVANE_DEFAULT_ANSWER", "YES", 1), 0);
  EXPECT_EQ(ConsoleMessageBoxes().Show(question), MessageBoxResult::Yes);
  ASSERT_EQ(::setenv("HOVANE_DEFAULT_ANSWER", "no", 1), 0);
  EXPECT_EQ(ConsoleMessageBoxes().Show(question), MessageBoxResult::No);
  ::unsetenv("HOVANE_DEFAULT_ANSWER");
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_NE(printed.find("[알림] (question) 이어 받으시겠습니까?"), std::string::npos) << printed;
}

}  // namespace
}  // namespace hovane::platform
