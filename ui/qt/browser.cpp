// The web-browser control. This library embeds no web engine, so that a program showing no
// browser never loads one: by default a browser is an empty area that keeps its address, and a
// program that shows pages installs the web engine's factory (ui/browser_engine.h).
#include <QWidget>

#include "ui/qt/widget_access.h"

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
  return new QWidget(parent);
}

}  // namespace kestrin::ui
