// The baseline of the window measurements under Wine: a plain Win32 window showing one Chinese
// label in the system's default font, built and started as kestrin.exe is.
#include "runtime/windows/windows_api.h"

namespace {

LRESULT CALLBACK HelloProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC dc = ::BeginPaint(hwnd, &paint);
      RECT client{};
      ::GetClientRect(hwnd, &client);
      ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
      ::SetBkMode(dc, TRANSPARENT);
      ::DrawTextW(dc, L"你好，世界", -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      ::EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

}  // namespace

int main() {
  WNDCLASSEXW hello{};
  hello.cbSize = sizeof hello;
  hello.lpfnWndProc = &HelloProc;
  hello.hInstance = ::GetModuleHandleW(nullptr);
  hello.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  hello.lpszClassName = L"Hello";
  ::RegisterClassExW(&hello);
  ::CreateWindowExW(0, hello.lpszClassName, L"hello", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                    320, 120, nullptr, nullptr, hello.hInstance, nullptr);
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
  return 0;
}
