// How the program's logic reaches the main window: whole operations on one named control at a
// time. The window framework implements this on the window thread; tests use an in-memory form.
#pragma once

#include <string_view>
#include <vector>

#include "runtime/text.h"

namespace kestrin {

// A control by its layout name (GBK).
using ControlName = std::string_view;

namespace names {
inline constexpr ControlName 编辑框1 = "编辑框1";  // list-page address pattern
inline constexpr ControlName 编辑框2 = "编辑框2";  // first page
inline constexpr ControlName 编辑框3 = "编辑框3";  // last page
inline constexpr ControlName 编辑框4 = "编辑框4";  // list start marker
inline constexpr ControlName 编辑框5 = "编辑框5";  // list end marker
inline constexpr ControlName 编辑框6 = "编辑框6";  // address start marker
inline constexpr ControlName 编辑框7 = "编辑框7";  // address end marker
inline constexpr ControlName 编辑框8 = "编辑框8";  // collected links
inline constexpr ControlName 编辑框9 = "编辑框9";  // submission interface address
inline constexpr ControlName 编辑框10 = "编辑框10";  // failures of the collection page's run
inline constexpr ControlName 编辑框11 = "编辑框11";  // pasted links
inline constexpr ControlName 编辑框12 = "编辑框12";  // failures of the paste page's run
inline constexpr ControlName 编辑框13 = "编辑框13";  // webmaster platform address
inline constexpr ControlName 选择框1 = "选择框1";  // paged
inline constexpr ControlName 选择框2 = "选择框2";  // reverse order
inline constexpr ControlName 单选框1 = "单选框1";  // pages are GBK
inline constexpr ControlName 单选框2 = "单选框2";  // pages are UTF-8
inline constexpr ControlName 状态条1 = "状态条1";
}  // namespace names

// Message-box flags and results, as the Windows message box numbers them.
inline constexpr int kMessageBoxOk = 0;
inline constexpr int kMessageBoxYesNo = 4;
inline constexpr int kMessageBoxSystemModal = 0x1000;
inline constexpr int kMessageBoxTaskModal = 0x2000;

class Controls {
 public:
  virtual ~Controls() = default;

  // The whole text of an edit box (lines joined by CR LF), or the caption of another control.
  [[nodiscard]] virtual Text ReadText(ControlName control) = 0;
  // Checked or selected.
  [[nodiscard]] virtual bool ReadState(ControlName control) = 0;
  // Replaces the whole text of a control.
  virtual void SetText(ControlName control, const Text& text) = 0;
  // Appends the texts at the end of an edit box, in order, as one operation, and scrolls to them.
  virtual void AppendEditText(ControlName control, const std::vector<Text>& texts) = 0;
  // Sets the text of status-bar part `part`; an index outside the parts changes nothing.
  virtual void SetStatusPartText(int part, const Text& text) = 0;
  // Sets the main window's caption.
  virtual void SetCaption(const Text& caption) = 0;
  // A task-modal message box; returns the button chosen (OK 0, Cancel 1 … Yes 5, No 6).
  virtual int MessageBox(const Text& message, int flags = kMessageBoxOk, const Text& caption = "信息：") = 0;
  // Hands an http(s) address to the desktop's default handler.
  virtual void OpenAddress(const Text& address) = 0;
};

}  // namespace kestrin
