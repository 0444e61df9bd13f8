// The binding table: (window, control, event) -> handler.
#include "app/bindings.h"

#include "app/handlers.h"
#include "app/layouts.h"
#include "notice/update_check.h"

namespace kestrin::app {
namespace {

using ui::Event;

// Handlers take no argument except the tool bar's; the others drop it here.
constexpr ui::Binding kBindings[] = {
    {kMainWindow, "", Event::Created, [](int) { MainWindowCreated(); }},
    {kMainWindow, names::工具条1, Event::ToolButtonClicked, [](int index) { PageButtonClicked(index); }},
    {kMainWindow, names::按钮1, Event::Clicked, [](int) { CollectButtonClicked(); }},
    {kMainWindow, names::按钮2, Event::Clicked, [](int) { SubmitCollectedClicked(); }},
    {kMainWindow, names::按钮3, Event::Clicked, [](int) { SubmitPastedClicked(); }},
    {kMainWindow, names::编辑框9, Event::LeftButtonReleased, [](int) { InterfaceBoxReleased(); }},
    {kMainWindow, names::标签16, Event::LeftButtonReleased, [](int) { SiteLabelReleased(); }},
    {kNoticeWindow, "", Event::Created, [](int) { NoticeWindowCreated(); }},
    {kNoticeWindow, names::时钟1, Event::TimerTick, [](int) { NoticeTimerTick(); }},
};

}  // namespace

std::span<const ui::Binding> Bindings() { return kBindings; }

ui::Program KestrinProgram() { return {WindowLayouts(), Bindings(), kMainWindow, &ExitCleanup}; }

}  // namespace kestrin::app
