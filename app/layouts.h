// The program's two windows as layout descriptions, and the names of their controls.
#pragma once

#include <span>
#include <string_view>

#include "runtime/controls.h"
#include "ui/layout.h"

namespace kestrin::app {

inline constexpr std::string_view kMainWindow = "main";
inline constexpr std::string_view kNoticeWindow = "notice";
// The program beside this one that shows the notice window (app/notice_main.cpp).
inline constexpr std::string_view kNoticeHelper = "kestrin-notice";

namespace names {
using namespace kestrin::names;  // the boxes the workers read and write
inline constexpr ControlName 工具条1 = "工具条1";
inline constexpr ControlName 选择夹1 = "选择夹1";
inline constexpr ControlName 图片框1 = "图片框1";
inline constexpr ControlName 按钮1 = "按钮1";  // start collecting
inline constexpr ControlName 按钮2 = "按钮2";  // submit the collected links
inline constexpr ControlName 按钮3 = "按钮3";  // submit the pasted links
inline constexpr ControlName 标签16 = "标签16";  // the site link
inline constexpr ControlName 时钟1 = "时钟1";
inline constexpr ControlName 超文本浏览框1 = "超文本浏览框1";
}  // namespace names

// Pages of 选择夹1.
inline constexpr int kCollectPage = 0;
inline constexpr int kSubmitPage = 1;

// Both windows, the main window first.
[[nodiscard]] std::span<const ui::WindowLayout> WindowLayouts();
[[nodiscard]] const ui::WindowLayout& MainWindowLayout();
[[nodiscard]] const ui::WindowLayout& NoticeWindowLayout();

}  // namespace kestrin::app
