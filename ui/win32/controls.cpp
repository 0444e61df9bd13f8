// Controls built from layout rows as Windows' own controls, their colours and their events.
#include "ui/win32/framework.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>

namespace kestrin::ui {
namespace {

std::vector<std::wstring> WideLines(std::string_view text) {
  std::vector<std::wstring> lines;
  for (const std::string_view line : LayoutLines(text)) lines.push_back(Wide(line));
  return lines;
}

COLORREF TextColour(const ControlLayout& row) {
  if (row.properties & kGreyText) return RGB(128, 128, 128);
  if (row.properties & kRedText) return RGB(255, 0, 0);
  return RGB(0, 0, 0);
}

// Made hidden: CreateControl shows the control unless its page is not shown, as a control shown
// and hidden again over a painted window would have its place painted twice.
HWND MakeChild(DWORD exStyle, const wchar_t* windowClass, const std::wstring& text, DWORD style, int x, int y,
               int width, int height, HWND parent, int id) {
  return ::CreateWindowExW(exStyle, windowClass, text.c_str(), WS_CHILD | style, x, y, width, height,
                           parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
                           nullptr);
}

// How far the ink of `text` reaches on one line: its advance less the blank the last character
// leaves on its right (a full-width colon is half blank).
int InkReach(HDC dc, const std::wstring& text) {
  if (text.empty()) return 0;
  SIZE size{};
  ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  ABC last{};
  if (::GetCharABCWidthsW(dc, text.back(), text.back(), &last) && last.abcC > 0) return size.cx - last.abcC;
  return size.cx;
}

// A label stays on one line when its ink fits the box's width. Otherwise its text breaks into
// lines at the box's width, and the box grows down to as many lines as the font in use needs, so
// that a face taller than the one the layout was measured with never cuts the last line.
struct LabelShape {
  bool oneLine;
  int height;
};
LabelShape ShapeLabel(const ControlLayout& row, HWND parent, HFONT font) {
  const std::wstring text = Wide(row.text);
  const HDC dc = ::GetDC(parent);
  const HGDIOBJ previous = ::SelectObject(dc, font);
  LabelShape shape{InkReach(dc, text) <= row.width, row.height};
  if (!shape.oneLine) {
    RECT needed{0, 0, row.width, 0};
    ::DrawTextW(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    shape.height = std::max<int>(shape.height, needed.bottom);
  }
  ::SelectObject(dc, previous);
  ::ReleaseDC(parent, dc);
  return shape;
}

DWORD LabelStyle(bool oneLine) { return oneLine ? SS_LEFTNOWORDWRAP : SS_LEFT; }

HWND MakeLabel(const ControlLayout& row, HWND parent, int x, int y, int id, HFONT font, bool notify) {
  const LabelShape shape = ShapeLabel(row, parent, font);
  const DWORD style = SS_NOPREFIX | LabelStyle(shape.oneLine) | (notify ? SS_NOTIFY : 0);
  return MakeChild(0, L"STATIC", Wide(row.text), style, x, y, row.width, shape.height, parent, id);
}

HWND MakeEditBox(const ControlLayout& row, HWND parent, int x, int y, int id) {
  DWORD style = WS_TABSTOP | WS_GROUP | ES_LEFT;
  if (row.properties & kMultiLine) {
    style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL;
  } else {
    style |= ES_AUTOHSCROLL;
  }
  if (row.properties & kReadOnly) style |= ES_READONLY;
  const HWND edit = MakeChild(WS_EX_CLIENTEDGE, L"EDIT", L"", style, x, y, row.width, row.height, parent, id);
  // No limit but the control's own maximum: long logs are appended to the collected-links box.
  if (edit != nullptr) ::SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
  return edit;
}

// The buttons share the bar's width, so that each is as easy to hit as the bar allows.
void SizeToolButtons(HWND bar, const ControlLayout& row) {
  const int share = row.width / std::max(static_cast<int>(LayoutLines(row.text).size()), 1);
  ::SendMessageW(bar, TB_SETBUTTONSIZE, 0, MAKELPARAM(share, row.height));
  ::SendMessageW(bar, TB_SETBUTTONWIDTH, 0, MAKELPARAM(share, share));
}

HWND MakeToolBar(const ControlLayout& row, ControlEntry& entry, HWND parent, int x, int y, int id, HFONT font) {
  const HWND bar = MakeChild(0, TOOLBARCLASSNAMEW, L"",
                             TBSTYLE_FLAT | TBSTYLE_LIST | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, x, y,
                             row.width, row.height, parent, id);
  if (bar == nullptr) return nullptr;
  ::SendMessageW(bar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  ::SendMessageW(bar, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  ::SendMessageW(bar, TB_SETBITMAPSIZE, 0, MAKELPARAM(0, 0));
  const std::vector<std::wstring> captions = WideLines(row.text);
  const int count = static_cast<int>(captions.size());
  SizeToolButtons(bar, row);
  std::vector<TBBUTTON> buttons(captions.size());
  for (int i = 0; i < count; ++i) {
    // A list of one string, ended by an empty one.
    std::wstring caption = captions[static_cast<std::size_t>(i)];
    caption.push_back(L'\0');
    const auto index = ::SendMessageW(bar, TB_ADDSTRINGW, 0, reinterpret_cast<LPARAM>(caption.c_str()));
    TBBUTTON& button = buttons[static_cast<std::size_t>(i)];
    button.iBitmap = I_IMAGENONE;
    button.idCommand = kFirstToolButtonId + i;
    button.fsState = TBSTATE_ENABLED;
    button.fsStyle = BTNS_CHECK | BTNS_SHOWTEXT;
    button.iString = index;
  }
  ::SendMessageW(bar, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
  entry.buttonStates.assign(captions.size(), TBSTATE_ENABLED);
  return bar;
}

// Every part but the last is `value` wide; the last takes the rest.
void SetStatusParts(HWND bar, const ControlLayout& row) {
  const std::size_t count = LayoutLines(row.text).size();
  std::vector<int> edges;
  for (std::size_t i = 0; i < count; ++i) edges.push_back(i + 1 < count ? row.value * static_cast<int>(i + 1) : -1);
  ::SendMessageW(bar, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
}

HWND MakeStatusBar(const ControlLayout& row, LiveWindow& live, int id) {
  RECT client{};
  ::GetClientRect(live.hwnd, &client);
  const HWND bar = MakeChild(0, STATUSCLASSNAMEW, L"", CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, 0,
                             client.bottom - row.height, client.right, row.height, live.hwnd, id);
  if (bar == nullptr) return nullptr;
  ::SendMessageW(bar, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultFont(live.dpi)), FALSE);
  const std::vector<std::wstring> parts = WideLines(row.text);
  SetStatusParts(bar, row);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    ::SendMessageW(bar, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(parts[i].c_str()));
  }
  live.state->SetStatusPartCount(static_cast<int>(parts.size()));
  live.statusBar = bar;
  return bar;
}

LRESULT CALLBACK PictureProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto bitmap = reinterpret_cast<HBITMAP>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (message) {
    case WM_ERASEBKGND:
      if (bitmap != nullptr) return 1;  // the picture covers it all
      break;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC dc = ::BeginPaint(hwnd, &paint);
      if (bitmap != nullptr) {
        const HDC memory = ::CreateCompatibleDC(dc);
        const HGDIOBJ previous = ::SelectObject(memory, bitmap);
        RECT client{};
        ::GetClientRect(hwnd, &client);
        ::BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
        ::SelectObject(memory, previous);
        ::DeleteDC(memory);
      }
      ::EndPaint(hwnd, &paint);
      return 0;
    }
    default:
      break;
  }
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

// The picture scaled to the box once, from the stored picture rather than from a smaller copy,
// over the window's background: the alpha of the picture needs no blending later.
void ShowPicture(HWND picture, const ControlLayout& row, LiveWindow& live) {
  if (row.picture == nullptr) return;
  HBITMAP bitmap = PictureBitmap(row.picture, row.width, row.height, ::GetSysColor(COLOR_BTNFACE));
  if (bitmap == nullptr) return;
  const auto previous = reinterpret_cast<HGDIOBJ>(::SetWindowLongPtrW(picture, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(bitmap)));
  if (previous != nullptr) {
    live.owned.erase(std::remove(live.owned.begin(), live.owned.end(), previous), live.owned.end());
    ::DeleteObject(previous);
  }
  live.owned.push_back(bitmap);
  ::InvalidateRect(picture, nullptr, FALSE);
}

HWND MakePicture(const ControlLayout& row, LiveWindow& live, int x, int y, int id) {
  const HWND picture = MakeChild(0, kPictureClass, L"", 0, x, y, row.width, row.height, live.hwnd, id);
  if (picture != nullptr) ShowPicture(picture, row, live);
  return picture;
}

// The font a row's control shows its text in at the window's DPI; a large or bold one is made
// for the entry, which owns it.
HFONT FontFor(const ControlLayout& row, ControlEntry& entry, const LiveWindow& live) {
  if ((row.properties & (kLargeFont | kBoldFont)) == 0) return DefaultFont(live.dpi);
  if (entry.font != nullptr) ::DeleteObject(entry.font);
  entry.font = MakeLargeFont((row.properties & kBoldFont) != 0, live.dpi);
  return entry.font;
}

// A check box or radio button grows to the right to the width its caption needs in the font in
// use: a font's width does not scale exactly with its height, and at 125 % a caption measured at
// 100 % may want a pixel more than its scaled box.
void WidenToCaption(HWND button, const ControlLayout& row) {
  SIZE ideal{};
  if (!::SendMessageW(button, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)) || ideal.cx <= row.width) return;
  ::SetWindowPos(button, nullptr, 0, 0, ideal.cx, row.height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Hands the left button's release over a control to its handler, after the control has had it.
LRESULT CALLBACK ReleaseProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  if (message != WM_LBUTTONUP) return ::DefSubclassProc(hwnd, message, wParam, lParam);
  const LRESULT result = ::DefSubclassProc(hwnd, message, wParam, lParam);
  if (LiveWindow* live = FindWindowByHandle(::GetAncestor(hwnd, GA_ROOT))) {
    if (auto entry = live->byHandle.find(hwnd); entry != live->byHandle.end()) {
      const std::string window(live->layout.name);
      const std::string control(entry->second->row->name);
      Dispatch(window, control, Event::LeftButtonReleased, 0);
    }
  }
  return result;
}

// Radio and check boxes report a click of their own; a radio button's click also clears the
// others of its group, so every choice of the window is read again.
void RefreshChoices(LiveWindow& live) {
  for (auto& [name, entry] : live.controls) {
    if (entry.row->kind != ControlKind::CheckBox && entry.row->kind != ControlKind::RadioButton) continue;
    live.state->SetChecked(name, ::SendMessageW(entry.hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED);
  }
}

}  // namespace

void CreateControl(const ControlLayout& row, LiveWindow& live, int x, int y, int id, bool shown) {
  const std::string window(live.layout.name);
  const std::string control(row.name);
  ControlEntry& entry = live.controls[control];
  entry.row = &row;
  entry.id = id;
  HFONT font = FontFor(row, entry, live);
  const HWND parent = live.hwnd;
  const bool released = Windows().Bound(window, control, Event::LeftButtonReleased);
  HWND hwnd = nullptr;
  switch (row.kind) {
    case ControlKind::Label:
      hwnd = MakeLabel(row, parent, x, y, id, font, released);
      break;
    case ControlKind::EditBox:
      hwnd = MakeEditBox(row, parent, x, y, id);
      break;
    case ControlKind::Button:
      hwnd = MakeChild(0, L"BUTTON", Wide(row.text), BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, x, y, row.width,
                       row.height, parent, id);
      break;
    case ControlKind::CheckBox:
    case ControlKind::RadioButton: {
      const bool radio = row.kind == ControlKind::RadioButton;
      // A run of radio buttons is one group: the first of the run starts it.
      const DWORD group = radio && live.lastWasRadio ? 0 : WS_GROUP | WS_TABSTOP;
      hwnd = MakeChild(0, L"BUTTON", Wide(row.text), (radio ? BS_AUTORADIOBUTTON : BS_AUTOCHECKBOX) | group, x, y,
                       row.width, row.height, parent, id);
      const bool checked = (row.properties & kChecked) != 0;
      if (hwnd != nullptr) ::SendMessageW(hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
      live.state->AddChoice(control, checked);
      break;
    }
    case ControlKind::ToolBar:
      hwnd = MakeToolBar(row, entry, parent, x, y, id, font);
      break;
    case ControlKind::StatusBar:
      hwnd = MakeStatusBar(row, live, id);
      break;
    case ControlKind::PageContainer:
      // A tab control with no tabs: pages change only through the program. Its pane is drawn in
      // the window's own colour, as the controls on it draw their backgrounds, not in a theme's.
      hwnd = MakeChild(0, WC_TABCONTROLW, L"", WS_CLIPSIBLINGS, x, y, row.width, row.height, parent, id);
      if (hwnd != nullptr) ::SetWindowTheme(hwnd, L" ", L" ");  // no theme answers to " "
      break;
    case ControlKind::PictureBox:
      hwnd = MakePicture(row, live, x, y, id);
      break;
    case ControlKind::Timer:
      if (row.value > 0) ::SetTimer(parent, static_cast<UINT_PTR>(id), static_cast<UINT>(row.value), nullptr);
      break;
    case ControlKind::Browser:
      hwnd = MakeBrowserArea(parent, x, y, row.width, row.height, id);
      break;
  }
  live.lastWasRadio = row.kind == ControlKind::RadioButton;
  entry.hwnd = hwnd;
  if (hwnd == nullptr) return;
  if (row.kind != ControlKind::ToolBar) ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  if (row.kind == ControlKind::CheckBox || row.kind == ControlKind::RadioButton) WidenToCaption(hwnd, row);
  if (shown) ::ShowWindow(hwnd, SW_SHOWNA);
  live.byHandle[hwnd] = &entry;
  if (released) ::SetWindowSubclass(hwnd, &ReleaseProc, 0, 0);
  if (row.kind == ControlKind::EditBox) {
    live.state->AddEditBox(control, Text(row.text));
    ShowEditText(entry, Text(row.text));
  }
}

LRESULT ControlColours(LiveWindow& live, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto found = live.byHandle.find(reinterpret_cast<HWND>(lParam));
  if (found == live.byHandle.end()) return ::DefWindowProcW(live.hwnd, message, wParam, lParam);
  const ControlLayout& row = *found->second->row;
  const auto dc = reinterpret_cast<HDC>(wParam);
  switch (row.kind) {
    case ControlKind::EditBox:
      // Read-only boxes too: every box is white.
      ::SetTextColor(dc, TextColour(row));
      ::SetBkColor(dc, RGB(255, 255, 255));
      return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
    case ControlKind::Label:
    case ControlKind::CheckBox:
    case ControlKind::RadioButton:
      ::SetTextColor(dc, TextColour(row));
      ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(live.background);
    default:
      return ::DefWindowProcW(live.hwnd, message, wParam, lParam);
  }
}

void ControlCommand(LiveWindow& live, HWND control, int id, int code) {
  const auto found = live.byHandle.find(control);
  if (found == live.byHandle.end()) return;
  ControlEntry& entry = *found->second;
  const std::string window(live.layout.name);
  const std::string name(entry.row->name);
  switch (entry.row->kind) {
    case ControlKind::ToolBar: {
      const int index = id - kFirstToolButtonId;
      if (index < 0 || index >= static_cast<int>(entry.buttonStates.size())) return;
      // A click toggles a check button by itself; only the state operations change its look.
      ::SendMessageW(control, TB_SETSTATE, id, MAKELPARAM(entry.buttonStates[static_cast<std::size_t>(index)], 0));
      Dispatch(window, name, Event::ToolButtonClicked, index);
      return;
    }
    case ControlKind::EditBox:
      if (code == EN_CHANGE && !ProgramEdit::Now()) live.state->MarkEdited(name);
      return;
    case ControlKind::CheckBox:
    case ControlKind::RadioButton:
      if (code == BN_CLICKED) RefreshChoices(live);
      return;
    case ControlKind::Button:
      if (code == BN_CLICKED) Dispatch(window, name, Event::Clicked, 0);
      return;
    default:
      return;
  }
}

void ReleaseControls(LiveWindow& live) {
  for (auto& [name, entry] : live.controls) {
    if (entry.row->kind == ControlKind::Timer) ::KillTimer(live.hwnd, static_cast<UINT_PTR>(entry.id));
    if (entry.font != nullptr) ::DeleteObject(entry.font);
    entry.font = nullptr;
  }
}

void RescaleControls(LiveWindow& live) {
  const ControlLayout* container = live.container != nullptr ? live.container->row : nullptr;
  RECT client{};
  ::GetClientRect(live.hwnd, &client);
  for (auto& [name, entry] : live.controls) {
    if (entry.hwnd == nullptr) continue;
    const ControlLayout& row = *entry.row;
    const bool onPage = row.page != kOnWindow && container != nullptr;
    const int x = row.left + (onPage ? container->left : 0);
    const int y = row.top + (onPage ? container->top : 0);
    const HFONT font = FontFor(row, entry, live);
    int height = row.height;
    switch (row.kind) {
      case ControlKind::Label: {
        const LabelShape shape = ShapeLabel(row, live.hwnd, font);
        const LONG style = ::GetWindowLongW(entry.hwnd, GWL_STYLE) & ~SS_TYPEMASK;
        ::SetWindowLongW(entry.hwnd, GWL_STYLE, style | static_cast<LONG>(LabelStyle(shape.oneLine)));
        height = shape.height;
        break;
      }
      case ControlKind::StatusBar:
        ::SendMessageW(entry.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        ::SetWindowPos(entry.hwnd, nullptr, 0, client.bottom - row.height, client.right, row.height,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        SetStatusParts(entry.hwnd, row);
        continue;
      case ControlKind::ToolBar:
        ::SendMessageW(entry.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        SizeToolButtons(entry.hwnd, row);
        break;
      case ControlKind::PictureBox:
        ShowPicture(entry.hwnd, row, live);
        break;
      default:
        break;
    }
    ::SetWindowPos(entry.hwnd, nullptr, x, y, row.width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (row.kind != ControlKind::ToolBar) ::SendMessageW(entry.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (row.kind == ControlKind::CheckBox || row.kind == ControlKind::RadioButton) WidenToCaption(entry.hwnd, row);
  }
  ::InvalidateRect(live.hwnd, nullptr, TRUE);
}

void RegisterPictureClass() {
  WNDCLASSEXW picture{};
  picture.cbSize = sizeof picture;
  picture.lpfnWndProc = &PictureProc;
  picture.hInstance = ::GetModuleHandleW(nullptr);
  picture.hCursor = SystemCursor(IDC_ARROW);
  picture.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  picture.lpszClassName = kPictureClass;
  ::RegisterClassExW(&picture);
}

}  // namespace kestrin::ui
