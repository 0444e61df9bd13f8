#include <unistd.h>

#include <iostream>

#include "cli/commands.h"
#include "cli/console_form.h"
#include "links/collector.h"
#include "runtime/codepage.h"
#include "runtime/text_ops.h"

namespace kestrin::cli {
namespace {

// The collection page as the window opens it: these boxes hold these texts until the user
// types over them.
struct WindowDefault {
  ControlName box;
  const char* text;
};
constexpr WindowDefault kWindowDefaults[] = {
    {names::编辑框2, "2"},
    {names::编辑框3, "10"},
    {names::编辑框4, "<div class=\"cca\">\r"},
    {names::编辑框5, "</ul>"},
    {names::编辑框6, "<li><a href=\""},
    {names::编辑框7, "\""},
};

}  // namespace

int RunCollect(const CollectSettings& settings) {
  const bool terminal = isatty(STDERR_FILENO) == 1;
  ConsoleForm form(std::cout, terminal ? &std::cerr : nullptr);
  for (const WindowDefault& box : kWindowDefaults) form.Put(box.box, box.text);

  const auto put = [&form](ControlName box, const std::optional<std::string>& utf8) {
    if (utf8) form.Put(box, Utf8ToGbkText(*utf8));
  };
  form.Put(names::编辑框1, Utf8ToGbkText(settings.pattern));
  if (settings.from) form.Put(names::编辑框2, ToText(*settings.from));
  if (settings.to) form.Put(names::编辑框3, ToText(*settings.to));
  put(names::编辑框4, settings.listStart);
  put(names::编辑框5, settings.listEnd);
  put(names::编辑框6, settings.linkStart);
  put(names::编辑框7, settings.linkEnd);
  form.PutState(names::选择框1, !settings.single);
  form.PutState(names::选择框2, settings.reverse);
  form.PutState(names::单选框1, settings.gbk);
  form.PutState(names::单选框2, !settings.gbk);

  CollectLinks(form);
  form.EndStatus();
  return std::cout.good() ? 0 : 1;
}

}  // namespace kestrin::cli
