// The form state: what the program reads back at once, what waits to be shown, and the workers
// that write it while the window takes their changes.
#include "ui/form_state.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace kestrin::ui {
namespace {

using Kind = BoxChange::Kind;

// Two edit boxes, a radio button and a status bar of two parts.
void Fill(FormState& state) {
  state.AddEditBox("编辑框8", "前\r\n");
  state.AddEditBox("编辑框4", "<div>\r");
  state.AddChoice("单选框1", false);
  state.SetStatusPartCount(2);
}

TEST(FormStateTest, WritesReadBackAtOnceAndWaitAsOneChangePerBox) {
  struct Case {
    const char* name;
    std::function<void(FormState&)> writes;
    Text text8;                    // what the program reads back from 编辑框8
    std::vector<BoxChange> shown;  // what waits to be shown
  };
  const Case cases[] = {
      {"appends join in order",
       [](FormState& s) {
         s.Append("编辑框8", {"一\r\n", "二\r"});
         s.Append("编辑框8", {"三"});
       },
       "前\r\n一\r\n二\r三", {{Kind::kAppend, "编辑框8", "一\r\n二\r三"}}},
      {"a replacement swallows earlier appends",
       [](FormState& s) {
         s.Append("编辑框8", {"一\r\n"});
         s.Replace("编辑框8", "新");
       },
       "新", {{Kind::kReplace, "编辑框8", "新"}}},
      {"appends after a replacement follow it, for the caret to end after them",
       [](FormState& s) {
         s.Replace("编辑框8", "");
         s.Append("编辑框8", {"a\r\n"});
         s.Append("编辑框8", {"b"});
       },
       "a\r\nb", {{Kind::kReplace, "编辑框8", ""}, {Kind::kAppend, "编辑框8", "a\r\nb"}}},
      {"boxes keep their own changes, in first-change order",
       [](FormState& s) {
         s.Append("编辑框4", {"x"});
         s.Append("编辑框8", {"y"});
         s.Append("编辑框4", {"z"});
       },
       "前\r\ny", {{Kind::kAppend, "编辑框4", "xz"}, {Kind::kAppend, "编辑框8", "y"}}},
      {"one box's changes keep their order among the other's",
       [](FormState& s) {
         s.Append("编辑框4", {"x"});
         s.Replace("编辑框8", "新");
         s.Append("编辑框4", {"z"});
         s.Append("编辑框8", {"y"});
       },
       "新y", {{Kind::kAppend, "编辑框4", "xz"}, {Kind::kReplace, "编辑框8", "新"}, {Kind::kAppend, "编辑框8", "y"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FormState state;
    Fill(state);
    c.writes(state);
    EXPECT_EQ(state.EditText("编辑框8"), c.text8);
    const PendingChanges pending = state.TakeChanges();
    ASSERT_EQ(pending.boxes.size(), c.shown.size());
    for (std::size_t i = 0; i < c.shown.size(); ++i) {
      EXPECT_EQ(pending.boxes[i].kind, c.shown[i].kind);
      EXPECT_EQ(pending.boxes[i].control, c.shown[i].control);
      EXPECT_EQ(pending.boxes[i].text, c.shown[i].text);
    }
    EXPECT_FALSE(state.HasPendingChanges());
  }
}

TEST(FormStateTest, OnlyTheNewestStatusTextOfEachPartWaits) {
  FormState state;
  Fill(state);
  EXPECT_EQ(state.SetStatusPart(1, "第1条"), Queued::kWake);
  EXPECT_EQ(state.SetStatusPart(1, "第2条"), Queued::kQueued);
  EXPECT_EQ(state.SetStatusPart(0, "状态"), Queued::kQueued);
  EXPECT_EQ(state.SetStatusPart(2, "no such part"), Queued::kDropped);
  EXPECT_EQ(state.SetStatusPart(-1, "no such part"), Queued::kDropped);
  const PendingChanges pending = state.TakeChanges();
  EXPECT_EQ(pending.statusParts, (std::map<int, Text>{{0, "状态"}, {1, "第2条"}}));
}

TEST(FormStateTest, TheWindowIsWokenOnceForEveryBatch) {
  FormState state;
  Fill(state);
  EXPECT_EQ(state.Append("编辑框8", {"1"}), Queued::kWake);
  EXPECT_EQ(state.Append("编辑框8", {"2"}), Queued::kQueued);
  EXPECT_EQ(state.SetStatusPart(1, "s"), Queued::kQueued);
  (void)state.TakeChanges();
  EXPECT_EQ(state.SetStatusPart(1, "t"), Queued::kWake);
  EXPECT_EQ(state.Append("编辑框9", {"x"}), Queued::kNotHere) << "a box the state does not keep";
  EXPECT_EQ(state.Replace("标签1", "x"), Queued::kNotHere);
}

TEST(FormStateTest, ABoxTheUserEditedIsReadFromTheWidgetWithWaitingChangesOnTop) {
  FormState state;
  Fill(state);
  state.Append("编辑框8", {"甲\r\n"});
  (void)state.TakeChanges();  // shown
  state.MarkEdited("编辑框8");
  EXPECT_EQ(state.EditText("编辑框8"), std::nullopt);
  state.Append("编辑框8", {"乙\r\n"});  // not yet shown when the widget is read
  EXPECT_EQ(state.EditText("编辑框8"), std::nullopt);
  state.Refresh("编辑框8", "前\r\n甲\r\n用户\r\n");
  EXPECT_EQ(state.EditText("编辑框8"), "前\r\n甲\r\n用户\r\n乙\r\n");
  EXPECT_EQ(state.EditText("编辑框4"), "<div>\r") << "a lone CR kept while the user leaves the box alone";
}

TEST(FormStateTest, ChoicesFollowTheUser) {
  FormState state;
  Fill(state);
  EXPECT_EQ(state.Checked("单选框1"), false);
  state.SetChecked("单选框1", true);
  EXPECT_EQ(state.Checked("单选框1"), true);
  EXPECT_EQ(state.Checked("选择框9"), std::nullopt);
}

TEST(FormStateTest, AClosedStateDropsWritesAndReleasesWaitingWorkers) {
  FormState state;
  Fill(state);
  state.Append("编辑框8", {std::string(100, 'x')});
  std::atomic<bool> released{false};
  std::thread worker([&] {
    state.WaitForRoom(10);
    released = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(released) << "100 bytes wait, 10 allowed";
  state.Close();
  worker.join();
  EXPECT_EQ(state.Append("编辑框8", {"y"}), Queued::kDropped);
  EXPECT_FALSE(state.HasPendingChanges());
}

TEST(FormStateConcurrentTest, WorkersAppendWholeLinesInOrderWhileTheWindowTakesThem) {
  FormState state;
  state.AddEditBox("编辑框8", "");
  constexpr int kLines = 20000;
  std::atomic<int> running{2};
  auto appendLines = [&](const char* tag) {
    for (int i = 0; i < kLines; ++i) {
      state.Append("编辑框8", {tag, std::to_string(i), "\r\n"});
      state.SetStatusPart(0, tag);
      state.WaitForRoom(4096);
    }
    --running;
  };
  state.SetStatusPartCount(1);
  std::thread a(appendLines, "甲");
  std::thread b(appendLines, "乙");
  Text shown;  // what a window taking the changes would show
  while (running > 0 || state.HasPendingChanges()) {
    for (const BoxChange& change : state.TakeChanges().boxes) shown += change.text;
  }
  a.join();
  b.join();
  EXPECT_EQ(state.EditText("编辑框8"), shown);
  int next[2] = {0, 0};
  for (std::size_t start = 0; start < shown.size();) {
    const std::size_t end = shown.find("\r\n", start);
    ASSERT_NE(end, Text::npos);
    const Text line = shown.substr(start, end - start);
    const int worker = line.rfind("甲", 0) == 0 ? 0 : 1;
    ASSERT_EQ(line, (worker == 0 ? "甲" : "乙") + std::to_string(next[worker]++));
    start = end + 2;
  }
  EXPECT_EQ(next[0], kLines);
  EXPECT_EQ(next[1], kLines);
}

}  // namespace
}  // namespace kestrin::ui
