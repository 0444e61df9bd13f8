// The web-browser control. Kept in a file of its own: QtWebEngine's headers are heavy and only
// the notice window needs them.
#include <QWebEngineView>

#include "ui/widget_access.h"

namespace kestrin::ui {
namespace {

BrowserFactory& Factory() {
  static auto* factory = new BrowserFactory;
  return *factory;
}

}  // namespace

void SetBrowserFactory(BrowserFactory factory) {
  RunOnWindowThread([&] { Factory() = std::move(factory); });
}

QWidget* MakeBrowser(QWidget* parent) {
  if (Factory()) return Factory()(parent);
  return new QWebEngineView(parent);
}

}  // namespace kestrin::ui
