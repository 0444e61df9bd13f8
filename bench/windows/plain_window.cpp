// The like-with-like baseline of the start figure under Wine: the main window's first page built
// directly as the system's own controls, with kestrin.exe's manifest, font and picture, and shown;
// no window framework, no start-up routine, no notice. What kestrin.exe takes beyond it is the
// framework's; what this takes beyond the hello world is the controls' own.
//   plain_window.exe [--picture-only]   the window with its picture and no other control
#include "runtime/windows/windows_api.h"

#include <commctrl.h>
#include <ole2.h>
#include <uxtheme.h>

#include <cstring>

#include "app/layouts.h"
#include "ui/win32/framework.h"

namespace {

using kestrin::ui::ControlKind;
using kestrin::ui::ControlLayout;
using kestrin::ui::Wide;

LRESULT CALLBACK PlainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

struct Made {
  const wchar_t* windowClass;
  DWORD style;
  DWORD exStyle;
};

// The class and styles kestrin.exe gives a row's control; Timer and Browser rows make none.
bool ControlFor(ControlKind kind, Made& made) {
  switch (kind) {
    case ControlKind::Label: made = {L"STATIC", SS_LEFT | SS_NOPREFIX, 0}; return true;
    case ControlKind::EditBox:
      made = {L"EDIT", ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
      return true;
    case ControlKind::Button: made = {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0}; return true;
    case ControlKind::CheckBox: made = {L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, 0}; return true;
    case ControlKind::RadioButton: made = {L"BUTTON", BS_AUTORADIOBUTTON, 0}; return true;
    case ControlKind::ToolBar:
      made = {TOOLBARCLASSNAMEW, TBSTYLE_FLAT | TBSTYLE_LIST | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, 0};
      return true;
    case ControlKind::StatusBar: made = {STATUSCLASSNAMEW, CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, 0}; return true;
    case ControlKind::PageContainer: made = {WC_TABCONTROLW, WS_CLIPSIBLINGS, 0}; return true;
    case ControlKind::PictureBox: made = {L"STATIC", SS_BITMAP, 0}; return true;
    default: return false;
  }
}

void AddToolButtons(HWND bar, const ControlLayout& row) {
  ::SendMessageW(bar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  ::SendMessageW(bar, TB_SETBITMAPSIZE, 0, MAKELPARAM(0, 0));
  int command = 40000;
  for (const std::string_view caption : kestrin::ui::LayoutLines(row.text)) {
    std::wstring text = Wide(caption);
    text.push_back(L'\0');
    TBBUTTON button{};
    button.iBitmap = I_IMAGENONE;
    button.idCommand = command++;
    button.fsState = TBSTATE_ENABLED;
    button.fsStyle = BTNS_CHECK | BTNS_SHOWTEXT;
    button.iString = ::SendMessageW(bar, TB_ADDSTRINGW, 0, reinterpret_cast<LPARAM>(text.c_str()));
    ::SendMessageW(bar, TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&button));
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool pictureOnly = argc > 1 && std::strcmp(argv[1], "--picture-only") == 0;
  ::OleInitialize(nullptr);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  WNDCLASSEXW plain{};
  plain.cbSize = sizeof plain;
  plain.lpfnWndProc = &PlainProc;
  plain.hInstance = ::GetModuleHandleW(nullptr);
  plain.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  plain.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  plain.lpszClassName = L"Plain";
  ::RegisterClassExW(&plain);

  const kestrin::ui::WindowLayout& layout = kestrin::app::MainWindowLayout();
  const int left = (::GetSystemMetrics(SM_CXSCREEN) - layout.outerWidth) / 2;
  const int top = (::GetSystemMetrics(SM_CYSCREEN) - layout.outerHeight) / 2;
  const HWND window = ::CreateWindowExW(0, plain.lpszClassName, Wide(layout.caption).c_str(), kestrin::ui::kFormStyle,
                                        left, top, layout.outerWidth, layout.outerHeight, nullptr, nullptr,
                                        plain.hInstance, nullptr);
  RECT client{};
  ::GetClientRect(window, &client);
  const HFONT font = ::CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                                   CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"SimSun");
  const ControlLayout* container = kestrin::ui::PageContainerOf(layout);
  int id = 100;
  for (const ControlLayout& row : layout.controls) {
    Made made{};
    if (row.page > 0 || !ControlFor(row.kind, made)) continue;
    if (pictureOnly && row.kind != ControlKind::PictureBox) continue;
    const bool onPage = row.page == 0 && container != nullptr;
    int x = row.left + (onPage ? container->left : 0);
    int y = row.top + (onPage ? container->top : 0);
    if (row.kind == ControlKind::StatusBar) x = 0, y = client.bottom - row.height;
    const bool titled = row.kind == ControlKind::Label || row.kind == ControlKind::Button ||
                        row.kind == ControlKind::CheckBox || row.kind == ControlKind::RadioButton;
    const HWND control = ::CreateWindowExW(made.exStyle, made.windowClass, titled ? Wide(row.text).c_str() : L"",
                                           WS_CHILD | WS_VISIBLE | made.style, x, y,
                                           row.kind == ControlKind::StatusBar ? client.right : row.width, row.height,
                                           window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)), plain.hInstance,
                                           nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    switch (row.kind) {
      case ControlKind::EditBox: ::SetWindowTextW(control, Wide(row.text).c_str()); break;
      case ControlKind::ToolBar: AddToolButtons(control, row); break;
      case ControlKind::StatusBar: ::SendMessageW(control, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(Wide(row.text).c_str())); break;
      case ControlKind::PageContainer:
        ::SetWindowTheme(control, L" ", L" ");
        ::SetWindowPos(control, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        break;
      case ControlKind::PictureBox:
        ::SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP,
                       reinterpret_cast<LPARAM>(kestrin::ui::PictureBitmap(row.picture, row.width, row.height,
                                                                          ::GetSysColor(COLOR_BTNFACE))));
        break;
      default: break;
    }
  }
  ::ShowWindow(window, SW_SHOW);
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return 0;
}
