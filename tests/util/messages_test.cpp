#include <gtest/gtest.h>

#include "support/test_support.h"
#include "util/messages.h"

namespace wendul {
namespace {

class Messages : public ::testing::Test {
 protected:
  void SetUp() override { SetQuietFlag(false); }
  void TearDown() override { SetQuietFlag(false); }
  test::RecordingUi ui;
};

TEST_F(Messages, BoxesAndBeeps) {
  MsgBox("cap", "text");
  EXPECT_EQ(ui.beeps, 1);
  MainMsgBox("main");
  EXPECT_EQ(ui.beeps, 1);
  ErrMsgBox("err");
  EXPECT_EQ(ui.beeps, 2);
  ASSERT_EQ(ui.messages.size(), 3u);
  EXPECT_EQ(ui.messages[0].caption, "cap");
  EXPECT_EQ(ui.messages[0].text, "text");
  EXPECT_EQ(ui.messages[1].caption, ui.principalCaption);
  EXPECT_EQ(ui.messages[2].caption, ui.principalCaption);
  EXPECT_EQ(ui.messages[2].text, "err");
}

TEST_F(Messages, Questions) {
  EXPECT_TRUE(AskNotYes("c", "t"));  // Enter at once answers No
  ui.answers = {MsgAnswer::Yes, MsgAnswer::No};
  EXPECT_FALSE(AskNotYes("c", "t"));
  EXPECT_TRUE(AskNotYes("c", "t"));
  EXPECT_EQ(ui.beeps, 3);
  ui.answers = {MsgAnswer::Yes};
  EXPECT_EQ(AskYesNoCancel("c", "t"), MsgAnswer::Yes);
  EXPECT_EQ(ui.beeps, 3);
  EXPECT_EQ(ui.messages.back().kind, "askYesNoCancel");
  ProcessMessages();
  EXPECT_EQ(ui.processCalls, 1);
}

TEST_F(Messages, PgmErrorBeepsUntilQuiet) {
  try {
    PgmError("boom");
    FAIL();
  } catch (const GeneralError& e) {
    EXPECT_STREQ(e.what(), "boom");
  }
  EXPECT_EQ(ui.beeps, 1);
  SetQuietFlag(true);
  EXPECT_THROW(PgmError("again"), GeneralError);
  EXPECT_EQ(ui.beeps, 1);
  EXPECT_TRUE(ui.messages.empty());
}

TEST(MessagesDefault, WithoutWindowsQuestionsTakeTheSafeAnswer) {
  EXPECT_TRUE(AskNotYes("c", "t"));
  EXPECT_EQ(AskYesNoCancel("c", "t"), MsgAnswer::Cancel);
  {
    test::RecordingUi ui;
    EXPECT_EQ(&Ui(), &ui);
  }
  EXPECT_TRUE(AskNotYes("c", "t"));  // the recorder put the default back
}

}  // namespace
}  // namespace wendul
