// Workers through the real main window on a virtual screen, against the in-memory form in the
// same run: the collector over 1,000 list pages of 50 links and over one page of 200,000 links,
// and 100,000 failure lines appended as the submitter appends them, with and without a status
// text for each. A window run counts until the window shows the last line; the worker's own time
// is given beside it. Every window run must end with the texts of the in-memory form's run.
// Run by bench/window_measure.sh.
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStatusBar>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/layouts.h"
#include "links/collector.h"
#include "runtime/text_ops.h"
#include "tests/app/e2e/desktop.h"
#include "tests/support/list_site.h"
#include "tests/support/memory_form.h"
#include "ui/form_states.h"
#include "ui/qt/widget_access.h"
#include "ui/window_framework.h"

namespace kestrin {
namespace {

using Clock = std::chrono::steady_clock;
using app::kMainWindow;
using testsupport::LinkForm;
using testsupport::ListSite;
using testsupport::MemoryForm;
using testsupport::PageEncoding;

constexpr int kRepetitions = 5;
constexpr int kFailureLines = 100000;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The boxes a run reads, as the user would fill them; the same for both forms.
struct Inputs {
  Text pattern;
  int from;
  int to;
};

const ControlName kInputBoxes[] = {names::编辑框1, names::编辑框2, names::编辑框3, names::编辑框4,
                                   names::编辑框5, names::编辑框6, names::编辑框7};

std::vector<Text> InputTexts(const Inputs& in) {
  return {in.pattern, ToText(in.from), ToText(in.to), "<div class=\"cca\">\r", "</ul>", "<li><a href=\"", "\""};
}

// What a run leaves: the box it appends to and the status bar's message part.
struct Outcome {
  Text box;
  Text status;
};

struct Timing {
  double worker = 0;  // until the worker returned
  double shown = 0;   // until the window showed everything too
};

// One run on a worker thread, with this (the window) thread handling events until the worker has
// returned and the window shows all it was given.
Timing RunThroughWindow(const std::function<void(Controls&)>& work) {
  Controls& form = ui::FormControls(kMainWindow);
  std::atomic<bool> done{false};
  Timing timing;
  const auto start = Clock::now();
  std::thread worker([&] {
    work(form);
    timing.worker = Ms(Clock::now() - start);
    done = true;
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] {}, Qt::QueuedConnection);  // wakes the loop
  });
  while (!done || ui::HasChangesToShow(kMainWindow)) {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  timing.shown = Ms(Clock::now() - start);
  worker.join();
  QCoreApplication::processEvents();  // paint the last frame outside the timing
  return timing;
}

double RunInMemory(MemoryForm& form, const std::function<void(Controls&)>& work) {
  const auto start = Clock::now();
  std::thread worker([&] { work(form); });
  worker.join();
  return Ms(Clock::now() - start);
}

Text ShownBox(ControlName box) {
  auto* edit = qobject_cast<QPlainTextEdit*>(ui::ControlObject(kMainWindow, box));
  QString text = edit->toPlainText();
  text.replace(QChar(u'\n'), QStringLiteral("\r\n"));
  return ui::FromQString(text);
}

Text ShownStatus() {
  auto* bar = qobject_cast<QStatusBar*>(ui::ControlObject(kMainWindow, names::状态条1));
  return ui::FromQString(bar->findChildren<QLabel*>().at(1)->text());
}

struct Case {
  const char* name;
  ControlName box;
  std::function<void()> prepare;            // sets both forms' inputs
  std::function<void(Controls&)> work;
};

struct Result {
  double memory = 0;
  Timing window;
  bool equal = true;
};

Result Measure(const Case& c, MemoryForm& memory) {
  std::vector<double> inMemory;
  std::vector<double> worker;
  std::vector<double> shown;
  Result result;
  Outcome expected;
  // Interleaved, so that whatever else the machine does falls on both alike.
  for (int run = 0; run < kRepetitions; ++run) {
    c.prepare();
    memory.Put(c.box, "");
    inMemory.push_back(RunInMemory(memory, c.work));
    expected = {memory.TextOf(c.box), memory.StatusText(1)};

    c.prepare();
    ui::FormControls(kMainWindow).SetText(c.box, "");
    const Timing timing = RunThroughWindow(c.work);
    worker.push_back(timing.worker);
    shown.push_back(timing.shown);
    result.equal = result.equal && ui::FormControls(kMainWindow).ReadText(c.box) == expected.box &&
                   ShownBox(c.box) == expected.box && ShownStatus() == expected.status;
  }
  result.memory = Median(inMemory);
  result.window = {Median(worker), Median(shown)};
  return result;
}

int Run() {
  e2e::VirtualScreen screen;
  if (!screen.Ready()) {
    std::fprintf(stderr, "Xvfb did not start\n");
    return 1;
  }
  for (const std::string& variable : screen.Environment()) putenv(strdup(variable.c_str()));
  static int argc = 1;
  static char name[] = "kestrin";
  static char* argv[] = {name, nullptr};
  QApplication application(argc, argv);
  ui::InstallWindowServices();
  ui::InstallProgram({app::WindowLayouts(), {}, kMainWindow});
  if (!ui::LoadWindow(kMainWindow)) return 1;
  QCoreApplication::processEvents();

  ListSite site;
  site.AddNumberedListPages("/list/index_$.html", 1, 1000, 50, PageEncoding::kUtf8, LinkForm::kMixed);
  site.AddNumberedListPages("/big/index_$.html", 1, 1, 200000, PageEncoding::kUtf8, LinkForm::kMixed);

  MemoryForm memory;
  memory.SetRecording(false);
  Controls& window = ui::FormControls(kMainWindow);
  auto inputs = [&](const Inputs& in) {
    return [&, in] {
      const std::vector<Text> texts = InputTexts(in);
      for (std::size_t i = 0; i < texts.size(); ++i) {
        memory.Put(kInputBoxes[i], texts[i]);
        window.SetText(kInputBoxes[i], texts[i]);
      }
      memory.PutState(names::选择框1, true);
      memory.PutState(names::选择框2, false);
      memory.PutState(names::单选框1, false);
      CollectedTotal = 0;  // the progress texts count from it
    };
  };
  auto failures = [](bool withStatus) {
    return [withStatus](Controls& form) {
      for (int i = 1; i <= kFailureLines; ++i) {
        const Text line = JoinTexts("http://www.example.com/article/", ToText(i), ".html");
        form.AppendEditText(names::编辑框10, {JoinTexts("推送失败", line, "\r\n")});
        if (withStatus) {
          form.SetStatusPartText(1, JoinTexts("今日推送还剩：", ToText(kFailureLines - i), "推送完毕，百度返回文本为：",
                                              "{\"remain\":1,\"success\":1}", " 软件已为您成功推送", ToText(i), "条数据"));
        }
      }
    };
  };
  const Case cases[] = {
      {"collector, 1,000 pages x 50 links", names::编辑框8, inputs({site.Address("/list/index_$.html"), 1, 1000}),
       [](Controls& form) { CollectLinks(form); }},
      {"collector, one page of 200,000 links", names::编辑框8, inputs({site.Address("/big/index_$.html"), 1, 1}),
       [](Controls& form) { CollectLinks(form); }},
      {"100,000 failure lines", names::编辑框10, [] {}, failures(false)},
      {"100,000 failure lines, a status text each", names::编辑框10, [] {}, failures(true)},
  };

  std::printf("Through the real window (Xvfb) against the in-memory form, medians of %d interleaved runs:\n",
              kRepetitions);
  bool allEqual = true;
  for (const Case& c : cases) {
    const Result r = Measure(c, memory);
    allEqual = allEqual && r.equal;
    std::printf("  %-44s memory %8.1f ms  window %8.1f ms (worker done %8.1f ms)  window/memory %.2f%s\n", c.name,
                r.memory, r.window.shown, r.window.worker, r.window.shown / r.memory,
                r.equal ? "" : "  TEXTS DIFFER");
    if (c.box == names::编辑框10) {
      std::printf("  %-44s window over the 2 s target %.2f\n", "", r.window.shown / 2000.0);
    }
  }
  std::printf("  final box and status texts equal the in-memory form's byte for byte: %s\n", allEqual ? "yes" : "NO");
  return allEqual ? 0 : 1;
}

}  // namespace
}  // namespace kestrin

int main() { return kestrin::Run(); }
