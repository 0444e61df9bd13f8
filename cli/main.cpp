// kestrin-cli: the collector and the submission of addresses for cron jobs and deploy hooks.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/commands.h"
#include "cli/console/messages.h"
#include "cli/console/report.h"
#include "cli/console/stamped_lines.h"

#ifndef KESTRIN_VERSION
#define KESTRIN_VERSION "1.0"
#endif

namespace kestrin::cli {
namespace {

void Localise(CLI::App& app) {
  if (!ChineseLocale()) return;
  auto formatter = app.get_formatter();
  for (const auto& [key, chinese] : {std::pair{"Usage", "用法"}, {"OPTIONS", "选项"}, {"SUBCOMMAND", "子命令"},
                                      {"SUBCOMMANDS", "子命令"}, {"Positionals", "位置参数"}, {"REQUIRED", "必填"},
                                      {"TEXT", "文本"}, {"INT", "整数"}, {"Needs", "需要"}, {"Excludes", "排除"}}) {
    formatter->label(key, Tr(key, chinese));
  }
  app.option_defaults()->group(Tr("Options", "选项"));
  app.get_help_ptr()->group(Tr("Options", "选项"))->description(Tr("Print this help message and exit", "显示本帮助并退出"));
}

// A parse error in the reader's language; what the user typed is kept as CLI11 quotes it.
std::string UsageError(const CLI::ParseError& error) {
  const std::string text = error.what();
  const auto colon = text.find(": ");
  std::string detail = colon == std::string::npos ? "" : text.substr(colon + 2);
  if (constexpr std::string_view kRequired = " is required"; detail.empty() && text.ends_with(kRequired)) {
    detail = text.substr(0, text.size() - kRequired.size());
  }
  if (!ChineseLocale() || detail.empty()) return text;
  if (detail == "A subcommand") return Tr("", "需要一个子命令：collect、sitemap、push、history 或 help");
  // The error's name is that of the subcommand it came from: its type tells what it is.
  if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) return Tr("", "多余的参数：") + detail;
  if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) return Tr("", "缺少必需的选项或参数：") + detail;
  if (dynamic_cast<const CLI::ConversionError*>(&error) != nullptr ||
      dynamic_cast<const CLI::ValidationError*>(&error) != nullptr) {
    return Tr("", "取值无效：") + detail;
  }
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) return Tr("", "参数个数不对：") + detail;
  return Tr("", "用法错误：") + text;
}

int Main(int argc, char** argv) {
  // A log file gets the time of every line; a terminal shows it already.
  StampedLines stamped(std::cerr.rdbuf());
  if (isatty(STDERR_FILENO) != 1) std::cerr.rdbuf(&stamped);
  struct Restore {
    std::streambuf* buffer;
    ~Restore() { std::cerr.rdbuf(buffer); }
  } restore{stamped.Target()};

  CLI::App app(Tr("Collects page addresses and submits them to Baidu and IndexNow.",
                  "采集网页地址并推送到百度和 IndexNow。"),
               "kestrin-cli");
  Localise(app);
  app.require_subcommand(1);
  app.set_version_flag("--version", "kestrin-cli " KESTRIN_VERSION, Tr("print the version and exit", "显示版本并退出"));
  app.get_version_ptr()->group(Tr("Options", "选项"));
  app.set_help_all_flag("--help-all", Tr("print the help of every subcommand and exit", "显示所有子命令的帮助并退出"))
      ->group(Tr("Options", "选项"));

  const Command commands[] = {AddCollect(app), AddSitemap(app), AddPush(app), AddHistory(app)};

  std::vector<std::string> helpTopic;
  CLI::App* helpCommand = app.add_subcommand("help", Tr("show the help of kestrin-cli or of a subcommand",
                                                         "显示 kestrin-cli 或某个子命令的帮助"));
  helpCommand->add_option("SUBCOMMAND", helpTopic, Tr("collect, sitemap, push or history", "collect、sitemap、push 或 history"));

  for (CLI::App* command : app.get_subcommands({})) {
    command->group(Tr("Subcommands", "子命令"));
    command->get_help_ptr()->group(Tr("Options", "选项"))->description(Tr("Print this help message and exit", "显示本帮助并退出"));
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForVersion& version) {
    return app.exit(version);
  } catch (const CLI::ParseError& error) {
    std::cerr << "kestrin-cli: " << UsageError(error) << '\n'
              << Tr("Run with --help for more information.", "用 --help 查看用法。") << '\n';
    return kExitUsage;
  }

  if (*helpCommand) {
    // help() of a parsed app shows the subcommand chosen, which is this one.
    if (helpTopic.empty()) {
      std::cout << app.get_formatter()->make_help(&app, "kestrin-cli", CLI::AppFormatMode::Normal);
      return kExitOk;
    }
    try {
      CLI::App* topic = app.get_subcommand(helpTopic.front());
      std::cout << topic->get_formatter()->make_help(topic, helpTopic.front(), CLI::AppFormatMode::Normal);
    } catch (const CLI::OptionNotFound&) {
      std::cerr << "kestrin-cli: " << Tr("no subcommand {}", "没有子命令 {}", {helpTopic.front()})
                << '\n';
      return kExitUsage;
    }
    return kExitOk;
  }

  for (const Command& command : commands) {
    if (*command.app) return command.run();
  }
  return kExitUsage;
}

}  // namespace
}  // namespace kestrin::cli

int main(int argc, char** argv) { return kestrin::cli::Main(argc, argv); }
