#include "runtime/runtime_error.h"

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "runtime/codepage.h"
#include "runtime/events.h"
#include "runtime/process.h"

namespace kestrin {
namespace {

std::atomic<ErrorBoxHook> g_errorBoxHook{nullptr};
std::atomic<bool> g_reportClaimed{false};
std::atomic<bool> g_outOfMemoryReported{false};
std::atomic<std::size_t> g_firstFailedSize{0};

// Kept back while memory lasts, so that the box of an out-of-memory report has room to show.
std::atomic<void*> g_reserve{nullptr};
constexpr std::size_t kReserveBytes = 256 * 1024;

[[noreturn]] void EndProcess() {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  std::_Exit(-1);
}

// Only the first report is shown; a thread failing alongside waits for the process to end.
// It keeps letting window events through: when it is the window thread, the first report's box
// may be queued to it by a worker, and would otherwise never be shown.
void ClaimTheReport() {
  if (!g_reportClaimed.exchange(true)) return;
  for (;;) {
    ProcessPendingEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::string_view AsChars(std::u8string_view text) {
  return {reinterpret_cast<const char*>(text.data()), text.size()};
}

// The out-of-memory report on standard error in UTF-8, from fixed texts and a number on the
// stack: nothing is allocated.
[[noreturn]] void WriteOutOfMemoryReport(std::size_t size) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, size).ptr;
  WriteStandardError(AsChars(u8"运行时出错!\r\n\r\n错误信息：分配 "));
  WriteStandardError(std::string_view(digits, static_cast<std::size_t>(end - digits)));
  WriteStandardError(AsChars(u8" 字节内存失败!\r\n"));
  EndProcess();
}

}  // namespace

Text RuntimeErrorText(int code, const Text& message) {
  Text text = "运行时出错!\r\n\r\n";
  if (code != 0) text += "错误代码：" + std::to_string(code) + "\r\n\r\n";
  if (!message.empty()) text += "错误信息：" + message + "\r\n";
  return text;
}

void ReportRuntimeError(int code, const Text& message) {
  // A fault inside the report itself (the box, the conversion) must not loop or deadlock.
  thread_local bool reportingHere = false;
  if (reportingHere) {
    WriteStandardError("runtime error while reporting a runtime error\n");
    EndProcess();
  }
  reportingHere = true;
  ClaimTheReport();

  const Text text = RuntimeErrorText(code, message);
  if (ErrorBoxHook hook = g_errorBoxHook.load()) {
    hook(text);
  } else {
    WriteStandardError(GbkToUtf8(text));
  }
  EndProcess();
}

void ReportRuntimeError(int code) {
  switch (code) {
    case 1:
      ReportRuntimeError(code, "数组成员引用下标超出定义范围");
    case 4:
      ReportRuntimeError(code, "数组成员引用下标必须大于等于1");
    default:
      ReportRuntimeError(code, Text());
  }
}

void SetErrorBoxHook(ErrorBoxHook hook) { g_errorBoxHook.store(hook); }

void KeepOutOfMemoryReserve() {
  if (g_reserve.load() != nullptr) return;
  void* reserve = std::malloc(kReserveBytes);
  void* expected = nullptr;
  if (!g_reserve.compare_exchange_strong(expected, reserve)) std::free(reserve);
}

void ReportOutOfMemory(std::size_t size) {
  // A request that fails while the report is made (inside the box, or on another thread once
  // memory is gone for good) ends the process with the first failure's report, written
  // without memory.
  std::size_t none = 0;
  g_firstFailedSize.compare_exchange_strong(none, size);
  if (g_outOfMemoryReported.exchange(true)) WriteOutOfMemoryReport(g_firstFailedSize.load());
  if (g_errorBoxHook.load() == nullptr) {
    ClaimTheReport();
    WriteOutOfMemoryReport(size);
  }
  // The box needs memory of its own: the reserve makes room for it.
  std::free(g_reserve.exchange(nullptr));
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, size).ptr;
  ReportRuntimeError(0, "分配 " + std::string(digits, end) + " 字节内存失败!");
}

}  // namespace kestrin
