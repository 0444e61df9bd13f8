#include "ui/qt/engine/browser_engine.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QWebEngineView>

#include <cstdlib>

#include "ui/qt/widget_access.h"

namespace kestrin::ui {

void UseWebEngineBrowsers() {
  // QtWebEngine refuses to start as root unless its sandbox is off. Without the sandbox its
  // zygote processes guard nothing: the page's process is then started directly.
  if (geteuid() == 0) {
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-zygote", 0);
  }
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  // The engine draws through OpenGL, whose shaders Qt and Mesa would keep in the user's cache
  // folder: the program writes nothing to disk, and a notice shown for 25 seconds gains nothing
  // from shaders kept for the next start.
  QCoreApplication::setAttribute(Qt::AA_DisableShaderDiskCache);
  setenv("MESA_SHADER_CACHE_DISABLE", "true", 0);
  setenv("MESA_GLSL_CACHE_DISABLE", "true", 0);
  SetBrowserFactory([](QWidget* parent) { return new QWebEngineView(parent); });
}

}  // namespace kestrin::ui
