#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/commands.h"
#include "cli/console/console_form.h"
#include "cli/console/messages.h"
#include "cli/console/report.h"
#include "cli/net/http_client.h"
#include "links/collector.h"
#include "web/page_fetch.h"
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

// What the options set; what they leave unset keeps the window's default.
struct CollectSettings {
  std::string pattern;  // UTF-8, "$" for the page number
  std::optional<int> from, to;
  bool single = false;  // fetch the pattern once, as with 分页 unchecked
  bool reverse = false;
  bool gbk = false;     // the pages are GBK already
  std::optional<std::string> listStart, listEnd, linkStart, linkEnd;  // UTF-8
};

// Prints the addresses found, one per line, each once, and on standard error each page that
// could not be read (address and cause) and how many addresses came from how many pages. 0; 1
// when a page failed or nothing was found, so that a cron job hears of changed markers.
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

  // Pages are read with the window's very request, so that a site that answers the window answers
  // the tool; but a page that did not come is told, not taken for an empty one.
  int pages = 0;
  int failedPages = 0;
  CollectLinks(form, [&](const Text& address) {
    ++pages;
    const WebResponse response = FetchPage(address);
    HttpReply reply{TransferOf(response.outcome, address, RequestRoute{}), response.status, ToText(response.body)};
    if (reply.transfer != Transfer::kComplete || reply.status < 200 || reply.status > 299) {
      ++failedPages;
      form.EndStatus();
      std::cerr << "kestrin-cli: " << GbkToUtf8(address) << ": " << DescribeReply(reply) << '\n';
    }
    return Text(reply.body.substr(0, reply.body.find('\0')));
  });
  form.EndStatus();
  const std::int64_t found = form.Printed();
  if (found == 0) {
    std::cerr << "kestrin-cli: "
              << Tr("found no address on " + std::to_string(pages) +
                        " pages: check the pattern and the markers (kestrin-cli collect --help shows them)",
                    "在 " + std::to_string(pages) + " 页中没有采集到地址：请检查地址模式和标记（kestrin-cli collect --help 列出它们）")
              << '\n';
  } else {
    std::cerr << "kestrin-cli: "
              << Tr("collected " + std::to_string(found) + " addresses from " + std::to_string(pages) + " pages",
                    "从 " + std::to_string(pages) + " 页中采集到 " + std::to_string(found) + " 个地址")
              << (failedPages > 0 ? Tr(", " + std::to_string(failedPages) + " pages failed",
                                       "，" + std::to_string(failedPages) + " 页失败")
                                  : std::string())
              << '\n';
  }
  return std::cout.good() && found > 0 && failedPages == 0 ? kExitOk : kExitProblems;
}

}  // namespace

Command AddCollect(CLI::App& app) {
  auto collect = std::make_shared<CollectSettings>();
  CLI::App* command = app.add_subcommand(
      "collect", Tr("collect article addresses from paginated list pages, as the window does",
                    "从分页列表页采集文章地址，与窗口版相同"));
  command->add_option("PATTERN", collect->pattern,
                      Tr("list-page address, with $ for the page number", "列表分页地址，分页数字用$代替"))
      ->required();
  command->add_option("--from", collect->from, Tr("first page (2)", "起始页（默认 2）"));
  command->add_option("--to", collect->to, Tr("last page (10)", "结束页（默认 10）"));
  command->add_flag("--reverse", collect->reverse, Tr("from the last page down", "倒序采集"));
  command->add_flag("--gbk", collect->gbk, Tr("the pages are GBK (gb2312) rather than UTF-8", "页面为 gb2312 编码"));
  command->add_flag("--single", collect->single, Tr("fetch the pattern once, without pages", "不分页，只采集该地址"));
  // The defaults are the window's boxes as it opens; the list start ends in a line break.
  command->add_option("--list-start", collect->listStart, Tr("where the article list starts", "文章列表开始代码"))
      ->default_str("<div class=\"cca\">\\r");
  command->add_option("--list-end", collect->listEnd, Tr("where the article list ends", "文章列表结束代码"))
      ->default_str("</ul>");
  command->add_option("--link-start", collect->linkStart, Tr("where an article address starts", "文章地址开始代码"))
      ->default_str("<li><a href=\"");
  command->add_option("--link-end", collect->linkEnd, Tr("where an article address ends", "文章地址结束代码"))
      ->default_str("\"");
  return {command, [collect] { return RunCollect(*collect); }};
}

}  // namespace kestrin::cli
