// The table of published form states: which state a name finds after windows come and go, the
// generation that tells callers to look again, and the closing of a state taken back.
#include "ui/form_states.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kestrin::ui {
namespace {

TEST(FormStatesTest, ANameFindsTheStateLastPublishedAndNotWithdrawn) {
  // Steps on one name with two states, `a` and `b`: 'A'/'B' publish, 'a'/'b' withdraw.
  struct Case {
    const char* name;
    const char* steps;
    char found;  // 'a', 'b' or '-' for none
    bool aClosed;
    bool bClosed;
  };
  const Case cases[] = {
      {"published", "A", 'a', false, false},
      {"withdrawn", "Aa", '-', true, false},
      {"republished over the old one", "AB", 'b', false, false},
      // A window loaded again before the old one is gone: the old one's withdrawal must not
      // take the new state away.
      {"stale withdrawal", "ABa", 'b', true, false},
      {"both withdrawn", "ABab", '-', true, true},
      {"withdrawn without being published", "b", '-', false, true},
  };
  int round = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string window = "表格测试" + std::to_string(round++);
    const auto a = std::make_shared<FormState>();
    const auto b = std::make_shared<FormState>();
    for (const char* step = c.steps; *step != '\0'; ++step) {
      switch (*step) {
        case 'A': PublishFormState(window, a); break;
        case 'B': PublishFormState(window, b); break;
        case 'a': WithdrawFormState(window, a); break;
        case 'b': WithdrawFormState(window, b); break;
        default: FAIL() << "unknown step " << *step;
      }
    }
    const std::shared_ptr<FormState> found = FormStateOf(window);
    EXPECT_EQ(found, c.found == 'a' ? a : c.found == 'b' ? b : nullptr);
    // A closed state drops writes: the window that showed them has gone.
    a->SetStatusPartCount(1);
    b->SetStatusPartCount(1);
    EXPECT_EQ(a->SetStatusPart(0, "x") == Queued::kDropped, c.aClosed);
    EXPECT_EQ(b->SetStatusPart(0, "x") == Queued::kDropped, c.bClosed);
  }
}

TEST(FormStatesTest, EveryPublishingAndWithdrawalChangesTheGeneration) {
  const std::string window = "世代测试";
  const auto state = std::make_shared<FormState>();
  std::vector<std::uint64_t> seen{FormStatesGeneration()};
  PublishFormState(window, state);
  seen.push_back(FormStatesGeneration());
  WithdrawFormState(window, state);
  seen.push_back(FormStatesGeneration());
  // Even a withdrawal that finds nothing: a caller keeping the state must look again.
  WithdrawFormState(window, state);
  seen.push_back(FormStatesGeneration());
  for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_NE(seen[i], seen[i - 1]) << "step " << i;
}

TEST(FormStatesTest, ChangesToShowAreThoseOfThePublishedState) {
  const std::string window = "待显示测试";
  EXPECT_FALSE(HasChangesToShow(window)) << "nothing published";
  const auto state = std::make_shared<FormState>();
  state->AddEditBox("编辑框1", "");
  PublishFormState(window, state);
  EXPECT_FALSE(HasChangesToShow(window));
  ASSERT_NE(state->Append("编辑框1", {"一行"}), Queued::kNotHere);
  EXPECT_TRUE(HasChangesToShow(window));
  (void)state->TakeChanges();
  EXPECT_FALSE(HasChangesToShow(window));
  ASSERT_NE(state->Append("编辑框1", {"又一行"}), Queued::kNotHere);
  WithdrawFormState(window, state);
  EXPECT_FALSE(HasChangesToShow(window)) << "a window that has gone shows nothing";
}

}  // namespace
}  // namespace kestrin::ui
