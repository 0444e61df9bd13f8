// The shared behaviour table's probe on the Win32 controls, under Wine.
#include "tests/ui/window_probe.h"

#include "runtime/windows/windows_api.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>

#include "runtime/codepage.h"
#include "tests/ui/win32/win32_helpers.h"
#include "ui/win32/win32_access.h"

namespace kestrin::ui::probe {
namespace {

HWND Control(std::string_view window, std::string_view control) { return ControlHandle(window, control); }

Text Gbk(const std::wstring& text) { return Utf16ToGbk(std::u16string(text.begin(), text.end())); }

// `rect` of `from`'s client area in the client area of `window`.
Box InWindow(HWND from, RECT rect, std::string_view window) {
  ::MapWindowPoints(from, WindowHandle(window), reinterpret_cast<POINT*>(&rect), 2);
  return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

int ToolButtonId(HWND bar, int index) {
  TBBUTTON button{};
  ::SendMessageW(bar, TB_GETBUTTON, index, reinterpret_cast<LPARAM>(&button));
  return button.idCommand;
}

std::wstring PartText(HWND bar, int part) {
  std::wstring text(static_cast<std::size_t>(LOWORD(::SendMessageW(bar, SB_GETTEXTLENGTHW, part, 0))) + 1, L'\0');
  ::SendMessageW(bar, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text.data()));
  text.resize(text.size() - 1);
  return text;
}

}  // namespace

void Prepare() { SetScreenSizeOverride(0, 0); }

void Pump() { testwin::Pump(); }

bool PumpUntil(const std::function<bool()>& done) { return testwin::PumpUntil(done); }

void RunWorker(const std::function<void()>& work) { testwin::RunWorker(work); }

bool Exists(std::string_view window) { return WindowHandle(window) != nullptr; }

void Destroy(std::string_view window) {
  if (HWND handle = WindowHandle(window)) ::DestroyWindow(handle);
}

void CloseByUser(std::string_view window) { ::SendMessageW(WindowHandle(window), WM_CLOSE, 0, 0); }

void Type(std::string_view window, std::string_view control, std::u16string_view keys) {
  testwin::Type(Control(window, control), std::wstring(keys.begin(), keys.end()));
}

Text Shown(std::string_view window, std::string_view control) { return Gbk(testwin::TextOf(Control(window, control))); }

void Click(std::string_view window, std::string_view control) { testwin::ClickCentre(Control(window, control)); }

void ClickWindowAt(std::string_view window, int x, int y) {
  POINT at{x, y};
  ::ClientToScreen(WindowHandle(window), &at);
  const HWND under = ::WindowFromPoint(at);
  ::ScreenToClient(under, &at);
  testwin::Click(under, at.x, at.y);
}

void OtherClick(std::string_view window, std::string_view control) { testwin::MiddleClick(Control(window, control)); }

bool CaretAtEnd(std::string_view window, std::string_view control) {
  const HWND box = Control(window, control);
  DWORD start = 0, end = 0;
  ::SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return start == end && end == static_cast<DWORD>(::GetWindowTextLengthW(box));
}

bool CanUndo(std::string_view window, std::string_view control) {
  return ::SendMessageW(Control(window, control), EM_CANUNDO, 0, 0) != 0;
}

int FirstVisibleLine(std::string_view window, std::string_view control) {
  return static_cast<int>(::SendMessageW(Control(window, control), EM_GETFIRSTVISIBLELINE, 0, 0));
}

bool Visible(std::string_view window, std::string_view control) {
  return ::IsWindowVisible(Control(window, control)) != FALSE;
}

bool Focused(std::string_view window, std::string_view control) { return ::GetFocus() == Control(window, control); }

void Focus(std::string_view window, std::string_view control) { ::SetFocus(Control(window, control)); }

Box Place(std::string_view window, std::string_view control) {
  RECT box{};
  ::GetWindowRect(Control(window, control), &box);
  return InWindow(nullptr, box, window);
}

bool Wraps(std::string_view window, std::string_view control) {
  return (::GetWindowLongW(Control(window, control), GWL_STYLE) & SS_TYPEMASK) != SS_LEFTNOWORDWRAP;
}

int StatusPartCount(std::string_view window, std::string_view bar) {
  return static_cast<int>(::SendMessageW(Control(window, bar), SB_GETPARTS, 0, 0));
}

Text StatusPart(std::string_view window, std::string_view bar, int part) {
  return Gbk(PartText(Control(window, bar), part));
}

int FirstStatusPartWidth(std::string_view window, std::string_view bar) {
  int edges[2] = {};
  ::SendMessageW(Control(window, bar), SB_GETPARTS, 2, reinterpret_cast<LPARAM>(edges));
  return edges[0];
}

ToolLook ToolButton(std::string_view window, std::string_view bar, int index) {
  const HWND handle = Control(window, bar);
  const auto state = static_cast<int>(::SendMessageW(handle, TB_GETSTATE, ToolButtonId(handle, index), 0));
  const bool hidden = (state & TBSTATE_HIDDEN) != 0;
  return {(state & (TBSTATE_CHECKED | TBSTATE_PRESSED)) != 0,
          (state & TBSTATE_ENABLED) && !(state & TBSTATE_INDETERMINATE) && !hidden, !hidden};
}

Box ToolButtonPlace(std::string_view window, std::string_view bar, int index) {
  const HWND handle = Control(window, bar);
  RECT rect{};
  if (!::SendMessageW(handle, TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect)) ||
      ToolButton(window, bar, index).shown == false) {
    return {};
  }
  return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

void ClickToolButton(std::string_view window, std::string_view bar, int index) {
  const HWND handle = Control(window, bar);
  RECT rect{};
  ::SendMessageW(handle, TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect));
  testwin::Click(handle, (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
}

Box OuterBox(std::string_view window) {
  RECT outer{};
  ::GetWindowRect(WindowHandle(window), &outer);
  return {outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top};
}

int ClientWidth(std::string_view window) {
  RECT client{};
  ::GetClientRect(WindowHandle(window), &client);
  return client.right;
}

bool Resizable(std::string_view window) {
  const LONG style = ::GetWindowLongW(WindowHandle(window), GWL_STYLE);
  return (style & (WS_THICKFRAME | WS_MAXIMIZEBOX)) != 0;
}

bool WindowShown(std::string_view window) { return ::IsWindowVisible(WindowHandle(window)) != FALSE; }

Text Caption(std::string_view window) { return Gbk(testwin::TextOf(WindowHandle(window))); }

bool OwnedModeless(std::string_view window, std::string_view owner) {
  return ::GetWindow(WindowHandle(window), GW_OWNER) == WindowHandle(owner) &&
         ::IsWindowEnabled(WindowHandle(owner));
}

void OverrideScreen(int width, int height) { SetScreenSizeOverride(width, height); }

void AnswerNextBox(int result, SeenBox* seen, std::string_view watched, std::function<void()> then) {
  // One answer at a time; the last one's thread is joined when the next is asked for.
  static std::unique_ptr<testwin::BoxAnswerer> answerer;
  answerer.reset();
  const DWORD windowThread = ::GetCurrentThreadId();
  // Identifiers run one above the results: IDOK 1 ... IDNO 7.
  answerer = std::make_unique<testwin::BoxAnswerer>(
      result + 1, watched.empty() ? nullptr : WindowHandle(watched),
      [seen, windowThread, then = std::move(then)](const testwin::SeenBox& box) {
        seen->shown = box.shown;
        seen->title = Gbk(box.title);
        seen->text = Gbk(box.text);
        seen->icon = box.icon;
        seen->holdsWatched = box.ownerDisabled;
        seen->onWindowThread = box.thread == windowThread;
        for (const int id : box.buttons) seen->results.push_back(id - 1);
        std::sort(seen->results.begin(), seen->results.end());
        if (then) then();
      });
}

void CatchOpenedAddresses(std::vector<Text>* opened) {
  if (opened == nullptr) {
    SetAddressOpener({});
    return;
  }
  SetAddressOpener([opened](const Text& address) { opened->push_back(address); });
}

void PostClick(std::string_view window, std::string_view button) {
  const HWND target = Control(window, button);
  ::PostMessageW(WindowHandle(window), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(target), BN_CLICKED),
                 reinterpret_cast<LPARAM>(target));
}

}  // namespace kestrin::ui::probe
