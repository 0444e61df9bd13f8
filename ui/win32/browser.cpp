// The web-browser control: the system's WebBrowser hosted by OLE in-place activation in an area
// of the window, or, where no HTML engine works (Wine without Gecko), the address shown as a
// link in that area, so that the window still appears, counts down and closes as it should.
#include "ui/win32/framework.h"

#include <exdisp.h>
#include <ole2.h>

#include "ui/win32/win32_access.h"
#include "ui/window_framework.h"

namespace kestrin::ui {
namespace {

// mingw-w64's libuuid has no CLSID_HTMLDocument.
constexpr CLSID kHtmlDocument = {0x25336920, 0x03F9, 0x11CF, {0x8F, 0xD0, 0x00, 0xAA, 0x00, 0x68, 0x6F, 0x13}};

// Room between the area's edge and the link.
constexpr int kLinkMargin = 8;

// The smallest in-place site the WebBrowser control accepts. It lives as long as its area, so
// the references it hands out are not counted.
class Site final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
 public:
  explicit Site(HWND area) : area_(area) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) {
      *object = static_cast<IOleClientSite*>(this);
    } else if (riid == IID_IOleInPlaceSite || riid == IID_IOleWindow) {
      *object = static_cast<IOleInPlaceSite*>(this);
    } else if (riid == IID_IOleInPlaceFrame || riid == IID_IOleInPlaceUIWindow) {
      *object = static_cast<IOleInPlaceFrame*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  // IOleClientSite
  STDMETHODIMP SaveObject() override { return S_OK; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    *moniker = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** container) override {
    *container = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
  // IOleWindow
  STDMETHODIMP GetWindow(HWND* window) override {
    *window = area_;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
    *frame = this;
    *document = nullptr;
    ::GetClientRect(area_, position);
    ::GetClientRect(area_, clip);
    info->fMDIApp = FALSE;
    info->hwndFrame = ::GetAncestor(area_, GA_ROOT);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }
  // IOleInPlaceUIWindow, IOleInPlaceFrame
  STDMETHODIMP GetBorder(LPRECT) override { return E_NOTIMPL; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return E_NOTIMPL; }

 private:
  HWND area_;
};

struct Area {
  explicit Area(HWND hwnd) : site(hwnd) {}
  Site site;
  IWebBrowser2* browser = nullptr;
  bool degraded = false;  // the address is shown as a link
  Text address;
  RECT link{};            // where the link's text lies
  HFONT linkFont = nullptr;
  int linkFontDpi = 0;    // the DPI the link's font was made for
};

Area* AreaOf(HWND hwnd) { return reinterpret_cast<Area*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

void Unembed(Area& area) {
  if (area.browser == nullptr) return;
  IOleObject* object = nullptr;
  if (SUCCEEDED(area.browser->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object)))) {
    object->Close(OLECLOSE_NOSAVE);
    object->SetClientSite(nullptr);
    object->Release();
  }
  area.browser->Release();
  area.browser = nullptr;
}

// The WebBrowser control, in place in the area; nullptr when any step fails.
IWebBrowser2* Embed(HWND hwnd, Area& area) {
  IWebBrowser2* browser = nullptr;
  if (FAILED(::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IWebBrowser2,
                                reinterpret_cast<void**>(&browser)))) {
    return nullptr;
  }
  area.browser = browser;
  IOleObject* object = nullptr;
  bool placed = false;
  if (SUCCEEDED(browser->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object)))) {
    RECT client{};
    ::GetClientRect(hwnd, &client);
    placed = SUCCEEDED(object->SetClientSite(&area.site)) &&
             SUCCEEDED(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &area.site, 0, hwnd, &client));
    object->Release();
  }
  if (!placed) {
    Unembed(area);
    return nullptr;
  }
  // A pop-up page's script errors and prompts are no business of the user's.
  browser->put_Silent(VARIANT_TRUE);
  return browser;
}

bool Navigate(IWebBrowser2* browser, const Text& address) {
  VARIANT target;
  ::VariantInit(&target);
  target.vt = VT_BSTR;
  target.bstrVal = ::SysAllocString(Wide(address).c_str());
  const HRESULT result = browser->Navigate2(&target, nullptr, nullptr, nullptr, nullptr);
  ::VariantClear(&target);
  return SUCCEEDED(result);
}

// Where the link's text goes: from the area's top-left corner, broken where the area ends, as an
// edit box breaks a word (an address has no spaces).
constexpr UINT kLinkFormat = DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX | DT_LEFT;

HFONT LinkFont(HWND hwnd, Area& area) {
  const int dpi = DpiOfWindow(hwnd);
  if (area.linkFont != nullptr && area.linkFontDpi != dpi) {
    ::DeleteObject(area.linkFont);
    area.linkFont = nullptr;
  }
  if (area.linkFont == nullptr) {
    area.linkFontDpi = dpi;
    LOGFONTW font{};
    ::GetObjectW(DefaultFont(dpi), sizeof font, &font);
    font.lfUnderline = TRUE;
    area.linkFont = ::CreateFontIndirectW(&font);
  }
  return area.linkFont;
}

RECT LayOutLink(HWND hwnd, Area& area, HDC dc) {
  RECT client{};
  ::GetClientRect(hwnd, &client);
  const int margin = AtDpi(kLinkMargin, DpiOfWindow(hwnd));
  RECT link{margin, margin, client.right - margin, client.bottom - margin};
  const HGDIOBJ previous = ::SelectObject(dc, LinkFont(hwnd, area));
  const std::wstring text = Wide(area.address);
  ::DrawTextW(dc, text.c_str(), -1, &link, kLinkFormat | DT_CALCRECT);
  ::SelectObject(dc, previous);
  return link;
}

void PaintLink(HWND hwnd, Area& area, HDC dc) {
  RECT client{};
  ::GetClientRect(hwnd, &client);
  ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_BTNFACE));
  if (!area.degraded || area.address.empty()) return;
  area.link = LayOutLink(hwnd, area, dc);
  const HGDIOBJ previous = ::SelectObject(dc, LinkFont(hwnd, area));
  ::SetTextColor(dc, RGB(0, 0, 255));
  ::SetBkMode(dc, TRANSPARENT);
  const std::wstring text = Wide(area.address);
  RECT link = area.link;
  ::DrawTextW(dc, text.c_str(), -1, &link, kLinkFormat);
  ::SelectObject(dc, previous);
}

bool OverLink(HWND hwnd, const Area& area) {
  POINT point{};
  ::GetCursorPos(&point);
  ::ScreenToClient(hwnd, &point);
  return area.degraded && ::PtInRect(&area.link, point);
}

LRESULT CALLBACK BrowserProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Area* area = AreaOf(hwnd);
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // painted whole in WM_PAINT
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC dc = ::BeginPaint(hwnd, &paint);
      if (area != nullptr) PaintLink(hwnd, *area, dc);
      ::EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_SETCURSOR:
      if (area != nullptr && OverLink(hwnd, *area)) {
        ::SetCursor(SystemCursor(IDC_HAND));
        return TRUE;
      }
      break;
    case WM_LBUTTONUP: {
      const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      // OpenAddress lets only http and https addresses through to the shell.
      if (area != nullptr && area->degraded && ::PtInRect(&area->link, point)) OpenAddress(area->address);
      return 0;
    }
    case WM_SIZE:
      // Resized at another DPI: the page fills the area again.
      if (area != nullptr && area->browser != nullptr) {
        IOleInPlaceObject* inPlace = nullptr;
        if (SUCCEEDED(area->browser->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
          RECT client{};
          ::GetClientRect(hwnd, &client);
          inPlace->SetObjectRects(&client, &client);
          inPlace->Release();
        }
      }
      break;
    case WM_DESTROY:
      if (area != nullptr) Unembed(*area);
      break;
    case WM_NCDESTROY:
      if (area != nullptr) {
        if (area->linkFont != nullptr) ::DeleteObject(area->linkFont);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        delete area;
      }
      break;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

bool HtmlEngineAvailable() {
  // The WebBrowser control creates and navigates without an engine but never shows a page;
  // an HTML document of its own fails at once when there is none.
  static const bool available = [] {
    IUnknown* document = nullptr;
    if (FAILED(::CoCreateInstance(kHtmlDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  reinterpret_cast<void**>(&document)))) {
      return false;
    }
    document->Release();
    return true;
  }();
  return available;
}

void RegisterBrowserClass() {
  WNDCLASSEXW browser{};
  browser.cbSize = sizeof browser;
  browser.lpfnWndProc = &BrowserProc;
  browser.hInstance = ::GetModuleHandleW(nullptr);
  browser.hCursor = SystemCursor(IDC_ARROW);
  browser.lpszClassName = kBrowserClass;
  ::RegisterClassExW(&browser);
}

HWND MakeBrowserArea(HWND parent, int x, int y, int width, int height, int id) {
  const HWND hwnd = ::CreateWindowExW(0, kBrowserClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, x, y, width,
                                      height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                      ::GetModuleHandleW(nullptr), nullptr);
  if (hwnd != nullptr) ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new Area(hwnd)));
  return hwnd;
}

void ShowBrowserAddress(HWND hwnd, const Text& address) {
  Area* area = AreaOf(hwnd);
  if (area == nullptr) return;
  area->address = address;
  if (!area->degraded && HtmlEngineAvailable()) {
    IWebBrowser2* browser = area->browser != nullptr ? area->browser : Embed(hwnd, *area);
    // Loads by itself, while the window goes on.
    if (browser != nullptr && Navigate(browser, address)) return;
    Unembed(*area);
  }
  area->degraded = true;
  const HDC dc = ::GetDC(hwnd);
  area->link = LayOutLink(hwnd, *area, dc);
  ::ReleaseDC(hwnd, dc);
  ::InvalidateRect(hwnd, nullptr, TRUE);
}

Text BrowserLinkAddress(HWND hwnd) {
  const Area* area = AreaOf(hwnd);
  return area != nullptr && area->degraded ? area->address : Text();
}

}  // namespace kestrin::ui
