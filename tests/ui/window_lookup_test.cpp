// Which binding an event reaches: the first of its window, control and event.
#include "ui/window_lookup.h"

#include <gtest/gtest.h>

namespace kestrin::ui {
namespace {

void First(int) {}
void Second(int) {}
void OnWindow(int) {}

const Binding kBindings[] = {
    {"main", "按钮1", Event::Clicked, &First},
    {"main", "按钮1", Event::Clicked, &Second},
    {"main", "", Event::Created, &OnWindow},
    {"main", "工具条1", Event::ToolButtonClicked, nullptr},
    {"notice", "按钮1", Event::Clicked, &Second},
};

TEST(FindBindingTest, AnEventReachesTheFirstBindingOfItsWindowControlAndEvent) {
  struct Case {
    const char* name;
    const char* window;
    const char* control;
    Event event;
    const Binding* expected;
  };
  const Case cases[] = {
      {"the first of two", "main", "按钮1", Event::Clicked, &kBindings[0]},
      {"the window itself", "main", "", Event::Created, &kBindings[2]},
      {"bound without a handler", "main", "工具条1", Event::ToolButtonClicked, &kBindings[3]},
      {"the same control of another window", "notice", "按钮1", Event::Clicked, &kBindings[4]},
      {"another event", "main", "按钮1", Event::LeftButtonReleased, nullptr},
      {"a control of the window is not the window", "main", "按钮1", Event::Created, nullptr},
      {"names compare whole", "main", "按钮", Event::Clicked, nullptr},
      {"unknown window", "nosuch", "按钮1", Event::Clicked, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FindBinding(kBindings, c.window, c.control, c.event), c.expected);
  }
  EXPECT_EQ(FindBinding({}, "main", "按钮1", Event::Clicked), nullptr) << "no bindings";
}

}  // namespace
}  // namespace kestrin::ui
