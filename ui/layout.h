// Layout descriptions and event bindings: the data from which the window framework builds the
// program's windows and to which it hands their events. Plain C++, no Qt.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace kestrin::ui {

enum class ControlKind {
  Label,
  EditBox,
  Button,
  CheckBox,
  RadioButton,
  ToolBar,        // text buttons; the row's text holds their captions separated by '\n'
  StatusBar,      // the row's text holds the parts' texts separated by '\n'
  PageContainer,  // pages without tabs; the row's text holds the page names separated by '\n'
  PictureBox,
  Timer,
  Browser,
};

// Property bits of a layout row.
enum ControlProperty : unsigned {
  kMultiLine = 1u << 0,  // edit box: several lines (CR LF), vertical scroll bar
  kReadOnly = 1u << 1,
  kChecked = 1u << 2,    // check box checked, radio button selected at creation
  kGreyText = 1u << 3,   // text colour 128,128,128
  kRedText = 1u << 4,    // text colour 255,0,0
  kLargeFont = 1u << 5,  // character height 20, normal weight
  kBoldFont = 1u << 6,   // character height 20, bold
};

// Controls with this page lie directly on the window; others on that page of the page container.
inline constexpr int kOnWindow = -1;

// A picture stored with the program (PNG bytes).
using PictureSource = std::span<const std::uint8_t> (*)();

// One row of a window's layout. Positions are relative to the window's client area, or to the
// page container's for page controls.
struct ControlLayout {
  std::string_view name;  // layout name (GBK), e.g. "编辑框9"
  ControlKind kind;
  std::string_view text;  // GBK text at creation
  int left;
  int top;
  int width;
  int height;
  unsigned properties = 0;  // ControlProperty bits
  int page = kOnWindow;
  int value = 0;                     // timer: interval in ms (0: stopped); status bar: first part's width
  PictureSource picture = nullptr;   // picture box
};

// The items of a row's text that holds several (tool-bar captions, status parts, page names),
// split at each '\n': an empty text is one empty item, and a '\n' at the end adds an empty one.
[[nodiscard]] inline std::vector<std::string_view> LayoutLines(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return lines;
    start = end + 1;
  }
}

struct WindowLayout {
  std::string_view name;     // "main", "notice"
  std::string_view caption;  // GBK
  int outerWidth;            // the frame's size, title bar included
  int outerHeight;
  std::span<const ControlLayout> controls;
  PictureSource icon = nullptr;
  bool visible = true;  // shown as soon as it is loaded
  // A program beside this one that shows the window in a process of its own, so that what the
  // window needs (a web engine) never loads into this one. Empty: shown in this process. The
  // Win32 backend shows every window in this process: its browser control is the system's.
  std::string_view helper = {};
};

// The row of the page container that lies on the window, whose pages hold the rows of other
// pages; nullptr when the window has none.
[[nodiscard]] inline const ControlLayout* PageContainerOf(const WindowLayout& layout) {
  for (const ControlLayout& row : layout.controls) {
    if (row.kind == ControlKind::PageContainer && row.page == kOnWindow) return &row;
  }
  return nullptr;
}

enum class Event {
  Created,             // the window and all its controls exist
  Clicked,             // a button was pressed and released
  ToolButtonClicked,   // argument: the tool-bar button's index, 0 for the first
  LeftButtonReleased,  // the left mouse button was released over the control
  TimerTick,
};

// A handler gets the tool-bar button index for ToolButtonClicked and 0 for every other event.
using Handler = void (*)(int argument);

// (window, control, event) -> handler. An empty control names the window itself.
struct Binding {
  std::string_view window;
  std::string_view control;
  Event event;
  Handler handler;
};

struct Program {
  std::span<const WindowLayout> windows;
  std::span<const Binding> bindings;  // an event without an entry is ignored
  std::string_view startWindow;
  void (*exitRoutine)() = nullptr;    // runs once when the start window has been closed
};

}  // namespace kestrin::ui
