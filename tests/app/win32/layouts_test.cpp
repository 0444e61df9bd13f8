// The main window and the notice window as the Win32 backend builds them from their layouts,
// with no handler bound: what the user sees before anything has run, and that every caption fits
// its box in the font the system gives. At the screen's DPI: ctest runs them again with the Wine
// prefix at 120, 144 and 192 DPI (tests/app/CMakeLists.txt), every place, size and font scaled.
#include <gtest/gtest.h>

#include "runtime/windows/windows_api.h"

#include <commctrl.h>

#include <cstdio>
#include <optional>
#include <string>

#include "app/layouts.h"
#include "runtime/codepage.h"
#include "tests/ui/win32/win32_helpers.h"
#include "ui/win32/win32_access.h"
#include "ui/window_framework.h"

namespace kestrin::app {
namespace {

using ui::ControlKind;
using ui::ControlLayout;

std::wstring Wide(std::string_view gbk) {
  const std::u16string wide = GbkToUtf16(gbk);
  return std::wstring(wide.begin(), wide.end());
}

// The screen's DPI, as the program sees it.
int ScreenDpi() {
  const HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return dpi;
}

// Layout pixels at the screen's DPI.
int Px(int layoutPixels) { return ::MulDiv(layoutPixels, ScreenDpi(), 96); }

// The client size a window's layout means: its outer size less the frame at 96 DPI, scaled.
SIZE ClientAtDpi(int outerWidth, int outerHeight) {
  RECT frame{};
  ::AdjustWindowRectExForDpi(&frame, ui::kFormStyle, FALSE, 0, 96);
  return {Px(outerWidth - (frame.right - frame.left)), Px(outerHeight - (frame.bottom - frame.top))};
}

HWND Control(std::string_view control, std::string_view window = kMainWindow) {
  return ui::ControlHandle(window, control);
}

// A control's place in its window's client area.
RECT PlaceOf(HWND control) {
  RECT rect{};
  ::GetWindowRect(control, &rect);
  ::MapWindowPoints(nullptr, ::GetAncestor(control, GA_ROOT), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// Where the layout puts a row at the screen's DPI: page rows lie in the page container, at (8, 186).
// Each edge scaled from its place in the window, a page's offset by the container at (8, 186).
RECT LayoutPlace(const ControlLayout& row) {
  const int x = row.left + (row.page == ui::kOnWindow ? 0 : 8);
  const int y = row.top + (row.page == ui::kOnWindow ? 0 : 186);
  return {Px(x), Px(y), Px(x + row.width), Px(y + row.height)};
}

// A device context with the control's own font selected.
class ControlDc {
 public:
  explicit ControlDc(HWND control)
      : control_(control),
        dc_(::GetDC(control)),
        previous_(::SelectObject(dc_, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)))) {}
  ~ControlDc() {
    ::SelectObject(dc_, previous_);
    ::ReleaseDC(control_, dc_);
  }
  ControlDc(const ControlDc&) = delete;
  ControlDc& operator=(const ControlDc&) = delete;
  [[nodiscard]] HDC Get() const { return dc_; }

  // How far the ink of `text` reaches on one line: its advance less the blank after its last
  // character (the right half of a full-width colon).
  [[nodiscard]] int InkReach(const std::wstring& text) const {
    SIZE size{};
    ::GetTextExtentPoint32W(dc_, text.c_str(), static_cast<int>(text.size()), &size);
    ABC last{};
    if (!text.empty() && ::GetCharABCWidthsW(dc_, text.back(), text.back(), &last) && last.abcC > 0) {
      return size.cx - last.abcC;
    }
    return size.cx;
  }
  [[nodiscard]] std::wstring Face() const {
    wchar_t face[LF_FACESIZE] = {};
    ::GetTextFaceW(dc_, LF_FACESIZE, face);
    return face;
  }

 private:
  HWND control_;
  HDC dc_;
  HGDIOBJ previous_;
};

// The colour the window gives a control's text.
COLORREF TextColourOf(HWND control) {
  const HDC dc = ::CreateCompatibleDC(nullptr);
  const UINT message = ui::ControlHandle(kMainWindow, names::编辑框9) == control ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC;
  ::SendMessageW(::GetParent(control), message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
  const COLORREF colour = ::GetTextColor(dc);
  ::DeleteDC(dc);
  return colour;
}

class LayoutsTest : public testing::Test {
 protected:
  void SetUp() override {
    ui::InstallProgram({WindowLayouts(), {}, kMainWindow});
    ASSERT_TRUE(ui::LoadWindow(kMainWindow));
    main_ = ui::WindowHandle(kMainWindow);
    testwin::Pump();
  }
  void TearDown() override {
    if (main_ != nullptr) ::DestroyWindow(main_);
    testwin::Pump();
  }

  HWND main_ = nullptr;
};

TEST_F(LayoutsTest, EveryControlStandsAtItsPlaceWithItsText) {
  for (const ControlLayout& row : MainWindowLayout().controls) {
    SCOPED_TRACE(GbkToUtf8(row.name));
    const HWND control = Control(row.name);
    ASSERT_NE(control, nullptr);
    const RECT place = PlaceOf(control);
    if (row.kind == ControlKind::StatusBar) {
      RECT client{};
      ::GetClientRect(main_, &client);
      EXPECT_EQ(place.bottom, client.bottom);
      EXPECT_EQ(place.right - place.left, client.right);
      EXPECT_EQ(place.bottom - place.top, Px(row.height));
      continue;
    }
    const RECT at = LayoutPlace(row);
    EXPECT_EQ(place.left, at.left);
    EXPECT_EQ(place.top, at.top);
    if (row.kind != ControlKind::CheckBox && row.kind != ControlKind::RadioButton) {
      EXPECT_EQ(place.right, at.right);
    }
    // A label may grow downwards to the lines its text needs, a check box or radio button to the
    // right to its caption's width; nothing else changes size.
    if (row.kind == ControlKind::Label) {
      EXPECT_GE(place.bottom, at.bottom);
    } else if (row.kind == ControlKind::CheckBox || row.kind == ControlKind::RadioButton) {
      EXPECT_GE(place.right, at.right);
      EXPECT_EQ(place.bottom, at.bottom);
    } else {
      EXPECT_EQ(place.bottom, at.bottom);
    }
    if (row.kind == ControlKind::EditBox) {
      EXPECT_EQ(ui::FormControls(kMainWindow).ReadText(row.name), row.text);
    } else if (row.kind == ControlKind::Label || row.kind == ControlKind::Button || row.kind == ControlKind::CheckBox ||
               row.kind == ControlKind::RadioButton) {
      EXPECT_EQ(testwin::TextOf(control), Wide(row.text));
    }
    EXPECT_EQ(::IsWindowVisible(control) != FALSE, row.page == ui::kOnWindow || row.page == kCollectPage);
  }
}

TEST_F(LayoutsTest, TheWindowStartsAsTheLayoutSays) {
  std::printf("screen at %d DPI\n", ScreenDpi());
  RECT outer{};
  ::GetWindowRect(main_, &outer);
  if (ScreenDpi() == 96) {
    EXPECT_EQ(outer.right - outer.left, 757);
    EXPECT_EQ(outer.bottom - outer.top, 665);
  }
  RECT client{};
  ::GetClientRect(main_, &client);
  const SIZE scaled = ClientAtDpi(757, 665);
  EXPECT_EQ(client.right, scaled.cx);
  EXPECT_EQ(client.bottom, scaled.cy);
  EXPECT_EQ(testwin::TextOf(main_), L"Kestrin百度推送");
  EXPECT_FALSE(::GetWindowLongW(main_, GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX)) << "fixed size";
  EXPECT_NE(::SendMessageW(main_, WM_GETICON, ICON_BIG, 0), 0) << "its icon";

  Controls& form = ui::FormControls(kMainWindow);
  EXPECT_TRUE(form.ReadState(names::选择框1));
  EXPECT_FALSE(form.ReadState(names::选择框2));
  EXPECT_FALSE(form.ReadState(names::单选框1));
  EXPECT_TRUE(form.ReadState(names::单选框2));
  EXPECT_EQ(ui::CurrentPage(kMainWindow, names::选择夹1), kCollectPage);
  EXPECT_EQ(::SendMessageW(Control(names::选择夹1), TCM_GETITEMCOUNT, 0, 0), 0) << "no tabs";

  const HWND bar = Control(names::工具条1);
  EXPECT_EQ(::SendMessageW(bar, TB_BUTTONCOUNT, 0, 0), 2);
  const wchar_t* captions[] = {L"列表采集", L"自助推送"};
  for (int i = 0; i < 2; ++i) {
    TBBUTTON button{};
    ::SendMessageW(bar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button));
    wchar_t text[32] = {};
    ::SendMessageW(bar, TB_GETBUTTONTEXTW, button.idCommand, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, captions[i]);
    EXPECT_TRUE(button.fsStyle & BTNS_CHECK) << "checkable";
    EXPECT_EQ(button.fsState, TBSTATE_ENABLED) << "nothing pressed before the start-up routine";
  }
  wchar_t status[32] = {};
  ::SendMessageW(Control(names::状态条1), SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(status));
  EXPECT_STREQ(status, L"状态提示：");
  EXPECT_EQ(::SendMessageW(Control(names::状态条1), SB_GETTEXTLENGTHW, 1, 0) & 0xFFFF, 0);

  EXPECT_EQ(TextColourOf(Control(names::编辑框9)), RGB(128, 128, 128));
  EXPECT_EQ(TextColourOf(Control("标签2")), RGB(255, 0, 0));
  EXPECT_EQ(TextColourOf(Control(names::标签16)), RGB(255, 0, 0));
  EXPECT_EQ(TextColourOf(Control("标签1")), RGB(0, 0, 0));
  EXPECT_TRUE(::GetWindowLongW(Control("编辑框13"), GWL_STYLE) & ES_READONLY);
  EXPECT_TRUE(::GetWindowLongW(Control(names::编辑框8), GWL_STYLE) & WS_VSCROLL);
}

TEST_F(LayoutsTest, TextsAreInSimSunAt12PixelsAndTheLargeOnesAt20ScaledToTheDpi) {
  struct Case {
    const char* control;
    LONG height;
    LONG weight;
  };
  const Case cases[] = {
      {"标签1", -12, FW_NORMAL},
      {"编辑框1", -12, FW_NORMAL},
      {"按钮1", -12, FW_NORMAL},
      {"标签16", 20, FW_NORMAL},
      {"工具条1", 20, FW_BOLD},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.control);
    LOGFONTW font{};
    ASSERT_TRUE(::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(Control(c.control), WM_GETFONT, 0, 0)), sizeof font,
                             &font));
    EXPECT_STREQ(font.lfFaceName, L"SimSun");
    EXPECT_EQ(font.lfCharSet, GB2312_CHARSET);
    EXPECT_EQ(font.lfHeight, c.height < 0 ? -Px(-c.height) : Px(c.height));
    EXPECT_EQ(font.lfWeight, c.weight);
  }
}

// Every caption against its box, in the font this system gives for SimSun: a label's ink on one
// line, or its broken lines within the box; a check box, radio button or button as wide as it
// says it needs; a tool-bar button's text within its button. The measurements are printed.
TEST_F(LayoutsTest, NoCaptionIsClipped) {
  {
    const ControlDc dc(Control("标签1"));
    const std::wstring face = dc.Face();
    std::printf("captions measured in \"%s\" (asked for SimSun %d px at %d DPI):\n",
                GbkToUtf8(Utf16ToGbk(std::u16string(face.begin(), face.end()))).c_str(), Px(12), ScreenDpi());
  }
  for (const ControlLayout& row : MainWindowLayout().controls) {
    const HWND control = Control(row.name);
    ASSERT_NE(control, nullptr);
    RECT client{};
    ::GetClientRect(control, &client);
    const std::string name = GbkToUtf8(row.name);
    SCOPED_TRACE(name);
    const ControlDc dc(control);
    const std::wstring text = Wide(row.text);
    switch (row.kind) {
      case ControlKind::Label: {
        const LONG type = ::GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK;
        if (type == SS_LEFTNOWORDWRAP) {
          const int ink = dc.InkReach(text);
          std::printf("  %-10s one line: ink %3d of %3ld\n", name.c_str(), ink, client.right);
          EXPECT_LE(ink, client.right);
        } else {
          RECT needed{0, 0, client.right, 0};
          ::DrawTextW(dc.Get(), text.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
          std::printf("  %-10s broken: %3ld x %3ld of %3ld x %3ld\n", name.c_str(), needed.right, needed.bottom,
                      client.right, client.bottom);
          EXPECT_LE(needed.right, client.right);
          EXPECT_LE(needed.bottom, client.bottom);
        }
        break;
      }
      case ControlKind::Button:
      case ControlKind::CheckBox:
      case ControlKind::RadioButton: {
        SIZE ideal{};
        ASSERT_TRUE(::SendMessageW(control, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)));
        std::printf("  %-10s needs %3ld x %2ld of %3ld x %2ld\n", name.c_str(), ideal.cx, ideal.cy, client.right,
                    client.bottom);
        EXPECT_LE(ideal.cx, client.right);
        EXPECT_LE(ideal.cy, client.bottom);
        break;
      }
      case ControlKind::ToolBar: {
        const DWORD padding = static_cast<DWORD>(::SendMessageW(control, TB_GETPADDING, 0, 0));
        for (int i = 0; i < 2; ++i) {
          RECT item{};
          ::SendMessageW(control, TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&item));
          const std::wstring caption = i == 0 ? L"列表采集" : L"自助推送";
          const int ink = dc.InkReach(caption);
          std::printf("  %-10s button %d: ink %3d + padding %d of %3ld\n", name.c_str(), i, ink, LOWORD(padding),
                      item.right - item.left);
          EXPECT_LE(ink + LOWORD(padding), item.right - item.left);
          EXPECT_LE(item.right, client.right);
          EXPECT_LE(item.bottom, client.bottom);
        }
        break;
      }
      case ControlKind::StatusBar: {
        RECT part{};
        ::SendMessageW(control, SB_GETRECT, 0, reinterpret_cast<LPARAM>(&part));
        const int ink = dc.InkReach(L"状态提示：");
        // The bar draws a part's text a few pixels in from the part's edges.
        std::printf("  %-10s part 0: ink %3d of %3ld\n", name.c_str(), ink, part.right - part.left);
        EXPECT_LE(ink + 6, part.right - part.left);
        break;
      }
      default:
        break;
    }
  }
}

// Moved to a screen of another DPI, the window takes the place and size Windows suggests, and
// its controls their places, sizes and fonts at that DPI; back again, as they were.
TEST_F(LayoutsTest, ADpiChangeTakesTheSuggestedRectangleAndScalesTheControls) {
  const struct {
    int dpi;
    RECT suggested;
  } cases[] = {
      {144, {100, 50, 100 + 1136, 50 + 998}},
      {192, {0, 0, 1514, 1330}},
      {ScreenDpi(), {20, 30, 20 + 757, 30 + 665}},
  };
  const HWND pattern = Control(names::编辑框1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dpi);
    ::SendMessageW(main_, WM_DPICHANGED, MAKEWPARAM(c.dpi, c.dpi), reinterpret_cast<LPARAM>(&c.suggested));
    testwin::Pump();
    RECT outer{};
    ::GetWindowRect(main_, &outer);
    EXPECT_EQ(outer.left, c.suggested.left);
    EXPECT_EQ(outer.top, c.suggested.top);
    EXPECT_EQ(outer.right, c.suggested.right);
    EXPECT_EQ(outer.bottom, c.suggested.bottom);
    const auto at = [&c](int pixels) { return ::MulDiv(pixels, c.dpi, 96); };
    const RECT place = PlaceOf(pattern);
    EXPECT_EQ(place.left, at(8) + at(88));
    EXPECT_EQ(place.top, at(186) + at(20));
    EXPECT_EQ(place.right - place.left, at(448));
    EXPECT_EQ(place.bottom - place.top, at(24));
    LOGFONTW font{};
    ASSERT_TRUE(::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(pattern, WM_GETFONT, 0, 0)), sizeof font, &font));
    EXPECT_EQ(font.lfHeight, -at(12));
    RECT client{};
    ::GetClientRect(main_, &client);
    EXPECT_EQ(PlaceOf(Control(names::状态条1)).bottom, client.bottom) << "the status bar stays at the bottom";
  }
}

TEST(NoticeLayoutTest, TheNoticeWindowHoldsItsBrowserAreaAndNoIconOfItsOwn) {
  ui::InstallProgram({WindowLayouts(), {}, kMainWindow});
  ASSERT_TRUE(ui::LoadWindow(kMainWindow));
  ASSERT_TRUE(ui::LoadWindow(kNoticeWindow, kMainWindow, false));
  const HWND notice = ui::WindowHandle(kNoticeWindow);
  RECT outer{};
  ::GetWindowRect(notice, &outer);
  if (ScreenDpi() == 96) {
    EXPECT_EQ(outer.right - outer.left, 349);
    EXPECT_EQ(outer.bottom - outer.top, 357);
  }
  RECT client{};
  ::GetClientRect(notice, &client);
  const SIZE scaled = ClientAtDpi(349, 357);
  EXPECT_EQ(client.right, scaled.cx);
  EXPECT_EQ(client.bottom, scaled.cy);
  EXPECT_EQ(testwin::TextOf(notice), L"");
  EXPECT_EQ(::GetWindow(notice, GW_OWNER), ui::WindowHandle(kMainWindow));
  EXPECT_EQ(::SendMessageW(notice, WM_GETICON, ICON_BIG, 0), 0);
  const RECT browser = PlaceOf(Control(names::超文本浏览框1, kNoticeWindow));
  EXPECT_EQ(browser.left, 0);
  EXPECT_EQ(browser.top, Px(8));
  EXPECT_EQ(browser.right - browser.left, Px(330));
  EXPECT_EQ(browser.bottom - browser.top, Px(312));
  EXPECT_EQ(Control(names::时钟1, kNoticeWindow), nullptr) << "a timer is not a window";
  ::DestroyWindow(ui::WindowHandle(kMainWindow));
  testwin::Pump();
  EXPECT_FALSE(ui::IsWindowLoaded(kNoticeWindow)) << "it goes with its owner";
}

}  // namespace
}  // namespace kestrin::app
