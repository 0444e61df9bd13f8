// What the framework keeps about loaded windows, shared by the files that build windows and
// those that work on their controls. Window thread only.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/text.h"
#include "ui/layout.h"

class QAction;
class QImage;
class QLabel;
class QObject;
class QWidget;

namespace kestrin::ui {

struct ControlEntry {
  const ControlLayout* row = nullptr;
  QObject* object = nullptr;  // owned by the window's widget tree
  // Edit boxes: the text as the program last set or appended it, returned while the user leaves
  // the box alone, since a text widget cannot hold every byte sequence (a lone CR, for one).
  Text raw;
  bool rawKept = false;
};

struct LiveWindow {
  WindowLayout layout;
  QWidget* widget = nullptr;
  std::map<std::string, ControlEntry, std::less<>> controls;
  std::vector<QLabel*> statusParts;
};

struct Registry {
  std::vector<WindowLayout> layouts;
  std::vector<Binding> bindings;
  std::map<std::string, LiveWindow, std::less<>> live;
  std::string startWindow;            // set by RunProgram only
  std::function<void()> endProgram;   // ends the process; set by RunProgram only
  bool settingText = false;           // the program, not the user, is changing an edit box
};

// Tool-bar button state in the Windows encoding, kept on each QAction under this property.
inline constexpr char kButtonState[] = "kestrinState";
inline constexpr int kStateChecked = 1;
inline constexpr int kStatePressed = 2;
inline constexpr int kStateEnabled = 4;  // the "disabled" bit of the operations, inverted
inline constexpr int kStateHidden = 8;
inline constexpr int kStateIndeterminate = 16;

// Makes a tool-bar button look as its state says.
void ShowButtonState(QAction* action);

// Never freed: workers may still call in while the process ends.
[[nodiscard]] Registry& Windows();

// A loaded window or one of its controls; nullptr when absent.
[[nodiscard]] LiveWindow* FindWindow(std::string_view window);
[[nodiscard]] ControlEntry* FindControl(std::string_view window, std::string_view control);
// As FindControl, but a missing window or control is the fatal runtime error of the framework.
[[nodiscard]] ControlEntry& RequireControl(std::string_view window, std::string_view control);
// Reports "指定窗口或窗口组件不存在或尚未载入" as a runtime error.
[[noreturn]] void ReportNotLoaded();

// Hands an event to the handler bound to it; unbound events are ignored.
void Dispatch(std::string_view window, std::string_view control, Event event, int argument);

// Creates the widget (or timer) of one layout row under `parent` and records it in `live`.
// `window` is the top-level widget, which owns timers and the status bar.
void CreateControl(const ControlLayout& row, QWidget* parent, QWidget* window, LiveWindow& live);

// A stored picture decoded for Qt; a null image when it cannot be decoded.
[[nodiscard]] QImage PictureImage(PictureSource source);

// Edit-box text as the program sees it: GBK, lines joined by CR LF.
[[nodiscard]] Text EditText(const ControlEntry& entry);
void SetEditText(ControlEntry& entry, const Text& text);
void AppendEditTexts(ControlEntry& entry, const std::vector<Text>& texts);

}  // namespace kestrin::ui
