// The Qt side of the window framework: what its own files share and what tests use to look at
// and steer the widgets. The program's logic never includes this header.
#pragma once

#include <functional>
#include <string_view>

#include <QSize>
#include <QString>
#include <QUrl>

#include "runtime/text.h"
#include "ui/window_services.h"
#include "ui/window_thread.h"

class QObject;
class QToolButton;
class QWidget;

namespace kestrin::ui {

// GBK <-> Qt's UTF-16.
[[nodiscard]] QString ToQString(std::string_view gbk);
[[nodiscard]] Text FromQString(const QString& text);

// The top-level widget of a loaded window, or nullptr.
[[nodiscard]] QWidget* WindowWidget(std::string_view window);
// A control of a loaded window: its widget, or the QTimer of a timer; nullptr when absent.
[[nodiscard]] QObject* ControlObject(std::string_view window, std::string_view control);
// The button at `index` of a tool bar of a loaded window; nullptr when absent.
[[nodiscard]] QToolButton* ToolButtonOf(std::string_view window, std::string_view toolBar, int index);

// How web-browser controls are made. The default embeds QtWebEngine; tests put a plain widget in
// its place. The control's address is written to its "url" property (a QUrl). An empty function
// restores the default.
using BrowserFactory = std::function<QWidget*(QWidget* parent)>;
void SetBrowserFactory(BrowserFactory factory);
[[nodiscard]] QWidget* MakeBrowser(QWidget* parent);

// SetScreenSizeOverride and SetAddressOpener: ui/window_services.h.

}  // namespace kestrin::ui
