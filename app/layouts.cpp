// The layouts of the main window and the notice window, row by row.
#include "app/layouts.h"

#include "resources/resources.h"

namespace kestrin::app {
namespace {

using ui::ControlKind;
using ui::ControlLayout;
using ui::kOnWindow;
using enum ui::ControlProperty;

constexpr int kPage0 = kCollectPage;
constexpr int kPage1 = kSubmitPage;

// clang-format off
constexpr ControlLayout kMainControls[] = {
  // name          kind                        text                                          left  top  width height properties            page
  {"工具条1",      ControlKind::ToolBar,       "列表采集\n自助推送",                         16,   15,  248,  32,   kBoldFont},
  {"标签15",       ControlKind::Label,         "推送接口请到百度站长获取，地址如下：",       32,   56,  216,  32},
  {"编辑框13",     ControlKind::EditBox,       "https://ziyuan.baidu.com/linksubmit/index", 32,   96,  208,  24,   kReadOnly},
  {"标签10",       ControlKind::Label,         "推送接口：",                                 37,   154, 56,   16},
  {"编辑框9",      ControlKind::EditBox,
   "如：http://data.zz.baidu.com/urls?site=www.example-site.cn&token=xxxxxxxxxxxxxxxx",       93,   151, 464,  24,   kGreyText},
  {"图片框1",      ControlKind::PictureBox,    "",                                           312,  -8,  432,  152,  0, kOnWindow, 0, &MainPicturePng},
  {"选择夹1",      ControlKind::PageContainer, "列表采集\n自助推送",                         8,    186, 736,  448},
  // The status bar's first part is 60 wide; the last takes the rest of the window's width.
  {"状态条1",      ControlKind::StatusBar,     "状态提示：\n",                               0,    0,   0,    20,   0, kOnWindow, 60},

  // Page 0, list collection.
  {"标签1",        ControlKind::Label,         "列表分页地址：",                             8,    21,  80,   24,   0, kPage0},
  {"编辑框1",      ControlKind::EditBox,       "http://www.example-site.cn/news/index_$.html", 88, 20,  448,  24,   0, kPage0},
  {"标签2",        ControlKind::Label,         "分页数字用$代替",                            550,  18,  88,   24,   kRedText, kPage0},
  {"选择框1",      ControlKind::CheckBox,      "分页",                                       32,   64,  47,   24,   kChecked, kPage0},
  {"标签3",        ControlKind::Label,         "从",                                         163,  64,  16,   24,   0, kPage0},
  {"编辑框2",      ControlKind::EditBox,       "2",                                          187,  64,  32,   24,   0, kPage0},
  {"标签4",        ControlKind::Label,         "到",                                         235,  64,  16,   24,   0, kPage0},
  {"编辑框3",      ControlKind::EditBox,       "10",                                         251,  64,  32,   24,   0, kPage0},
  {"标签5",        ControlKind::Label,         "页",                                         291,  64,  16,   24,   0, kPage0},
  {"单选框1",      ControlKind::RadioButton,   "gb2312编码",                                 331,  65,  80,   24,   0, kPage0},
  {"单选框2",      ControlKind::RadioButton,   "UTF-8编码",                                  427,  66,  80,   24,   kChecked, kPage0},
  {"选择框2",      ControlKind::CheckBox,      "倒序采集",                                   88,   64,  72,   24,   0, kPage0},
  {"标签6",        ControlKind::Label,         "文章列表开始代码：",                         16,   104, 104,  24,   0, kPage0},
  // The marker ends in a lone CR, which the collector searches for with the rest.
  {"编辑框4",      ControlKind::EditBox,       "<div class=\"cca\">\r",                      136,  104, 112,  32,   kMultiLine, kPage0},
  {"标签7",        ControlKind::Label,         "文章列表结束代码：",                         264,  104, 104,  24,   0, kPage0},
  {"编辑框5",      ControlKind::EditBox,       "</ul>",                                      376,  104, 112,  32,   kMultiLine, kPage0},
  {"标签8",        ControlKind::Label,         "文章地址开始代码：",                         19,   164, 104,  24,   0, kPage0},
  {"编辑框6",      ControlKind::EditBox,       "<li><a href=\"",                             136,  161, 112,  32,   kMultiLine, kPage0},
  {"标签9",        ControlKind::Label,         "文章地址结束代码：",                         264,  164, 104,  24,   0, kPage0},
  {"编辑框7",      ControlKind::EditBox,       "\"",                                         376,  160, 112,  32,   kMultiLine, kPage0},
  {"标签16",       ControlKind::Label,         "官网：kestrin.example",                  536,  102, 184,  48,   kRedText | kLargeFont, kPage0},
  {"标签11",       ControlKind::Label,         "采集链接列表：",                             16,   200, 80,   16,   0, kPage0},
  {"编辑框8",      ControlKind::EditBox,       "",                                           16,   224, 360,  168,  kMultiLine, kPage0},
  {"标签12",       ControlKind::Label,         "推送失败列表：",                             400,  200, 80,   16,   0, kPage0},
  {"编辑框10",     ControlKind::EditBox,       "",                                           384,  224, 344,  168,  kMultiLine, kPage0},
  {"按钮1",        ControlKind::Button,        "开始采集",                                   184,  396, 72,   24,   0, kPage0},
  {"按钮2",        ControlKind::Button,        "开始推送",                                   524,  396, 72,   24,   0, kPage0},

  // Page 1, self-service submission.
  {"标签13",       ControlKind::Label,         "请把您要推送的链接粘贴在下面，多个链接请换行，否则会出错。", 40, 8, 360, 24, 0, kPage1},
  {"编辑框11",     ControlKind::EditBox,       "",                                           16,   40,  704,  232,  kMultiLine, kPage1},
  {"标签14",       ControlKind::Label,         "推送失败列表：",                             24,   336, 96,   32,   0, kPage1},
  {"编辑框12",     ControlKind::EditBox,       "",                                           128,  288, 448,  120,  kMultiLine, kPage1},
  {"按钮3",        ControlKind::Button,        "开始推送",                                   616,  312, 80,   32,   0, kPage1},
};

constexpr ControlLayout kNoticeControls[] = {
  {"时钟1",        ControlKind::Timer,         "",                                           98,   8,   64,   24,   0, kOnWindow, 1000},
  {"超文本浏览框1", ControlKind::Browser,      "",                                           0,    8,   330,  312},
};
// clang-format on

const ui::WindowLayout kWindows[] = {
    {kMainWindow, "Kestrin百度推送", 757, 665, kMainControls, &WindowIconPng},
    // The notice window's browser keeps a web engine of some hundred megabytes in its process,
    // so the window has a process of its own that ends with it.
    {kNoticeWindow, "", 349, 357, kNoticeControls, nullptr, true, kNoticeHelper},
};

}  // namespace

std::span<const ui::WindowLayout> WindowLayouts() { return kWindows; }
const ui::WindowLayout& MainWindowLayout() { return kWindows[0]; }
const ui::WindowLayout& NoticeWindowLayout() { return kWindows[1]; }

}  // namespace kestrin::app
