// Where the workers' Controls send each operation: to the form state, which needs no window
// thread, or to the backend on the window thread; and when the window is asked to show changes.
// A recording backend stands in for the toolkit.
#include "ui/window_controls.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ui/form_states.h"

namespace kestrin::ui {
namespace {

// Notes every call that reaches the backend, in order.
class RecordingControls final : public WindowControls {
 public:
  using WindowControls::WindowControls;
  std::vector<std::string> calls;

 protected:
  void RequestShow() override { calls.push_back("request"); }
  void CatchUp() override { calls.push_back("catch up"); }
  Text ShownText(ControlName control) override {
    calls.push_back("read " + std::string(control));
    return "窗口上的";
  }
  bool ShownChecked(ControlName control) override {
    calls.push_back("checked " + std::string(control));
    return true;
  }
  void ShowText(ControlName control, const Text& text) override {
    calls.push_back("show " + std::string(control) + " " + text);
  }
  ControlKind KindOf(ControlName control) override {
    calls.push_back("kind " + std::string(control));
    return control.starts_with("编辑框") ? ControlKind::EditBox : ControlKind::Label;
  }
};

// An edit box, an unchecked check box and a status bar of two parts.
std::shared_ptr<FormState> Published(const std::string& window) {
  auto state = std::make_shared<FormState>();
  state->AddEditBox("编辑框1", "前");
  state->AddChoice("选择框1", false);
  state->SetStatusPartCount(2);
  PublishFormState(window, state);
  return state;
}

TEST(WindowControlsTest, KeptControlsGoThroughTheFormStateAndTheRestToTheBackend) {
  struct Case {
    const char* name;
    bool published;  // false: the window has no form state (not loaded, or gone)
    std::function<Text(Controls&)> act;  // returns what it read, if anything
    Text read;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"edit box read from the state", true, [](Controls& c) { return c.ReadText("编辑框1"); }, "前", {}},
      {"label read from the window", true, [](Controls& c) { return c.ReadText("标签1"); }, "窗口上的",
       {"catch up", "kind 标签1", "read 标签1"}},
      {"check box read from the state", true, [](Controls& c) { return Text(c.ReadState("选择框1") ? "1" : "0"); },
       "0", {}},
      {"button's check read from the window", true,
       [](Controls& c) { return Text(c.ReadState("按钮1") ? "1" : "0"); }, "1", {"checked 按钮1"}},
      // On the window thread a change is shown at once, so that what follows sees it.
      {"edit box set on the window thread", true,
       [](Controls& c) {
         c.SetText("编辑框1", "新");
         return c.ReadText("编辑框1");
       },
       "新", {"catch up"}},
      {"label set on the window", true,
       [](Controls& c) {
         c.SetText("标签1", "新");
         return Text();
       },
       "", {"catch up", "show 标签1 新"}},
      {"append to what is no edit box here", true,
       [](Controls& c) {
         c.AppendEditText("按钮1", {"x"});
         return Text();
       },
       "", {"kind 按钮1"}},
      // A part that does not exist changes nothing, and needs no status bar to look for.
      {"status part outside the parts", true,
       [](Controls& c) {
         c.SetStatusPartText(2, "x");
         return Text();
       },
       "", {"catch up"}},
      {"window without a state: read", false, [](Controls& c) { return c.ReadText("编辑框1"); }, "窗口上的",
       {"catch up", "kind 编辑框1", "read 编辑框1"}},
      {"window without a state: status part", false,
       [](Controls& c) {
         c.SetStatusPartText(0, "x");
         return Text();
       },
       "", {"kind 状态条1"}},
  };
  int round = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string window = "路由测试" + std::to_string(round++);
    const std::shared_ptr<FormState> state = c.published ? Published(window) : nullptr;
    RecordingControls controls(window);
    EXPECT_EQ(c.act(controls), c.read);
    EXPECT_EQ(controls.calls, c.calls);
    if (state != nullptr) WithdrawFormState(window, state);
  }
}

TEST(WindowControlsTest, AWorkersChangesAskTheWindowToShowThemOnce) {
  const std::string window = "唤醒测试";
  const std::shared_ptr<FormState> state = Published(window);
  RecordingControls controls(window);
  Text readByWorker;
  std::thread worker([&] {
    controls.AppendEditText("编辑框1", {"一"});
    controls.AppendEditText("编辑框1", {"二"});
    controls.SetStatusPartText(1, "正在采集");
    readByWorker = controls.ReadText("编辑框1");
  });
  worker.join();
  EXPECT_EQ(controls.calls, std::vector<std::string>{"request"}) << "one wake-up until the window takes the changes";
  EXPECT_EQ(readByWorker, "前一二") << "a worker reads its own appends at once";
  const PendingChanges shown = state->TakeChanges();
  ASSERT_EQ(shown.boxes.size(), 1u);
  EXPECT_EQ(shown.boxes[0].text, "一二");
  EXPECT_EQ(shown.statusParts.at(1), "正在采集");

  // Taken: the next change asks again.
  std::thread([&] { controls.SetText("编辑框1", "新"); }).join();
  EXPECT_EQ(controls.calls, (std::vector<std::string>{"request", "request"}));
  WithdrawFormState(window, state);
}

}  // namespace
}  // namespace kestrin::ui
