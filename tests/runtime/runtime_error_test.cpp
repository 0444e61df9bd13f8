#include "runtime/runtime_error.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <new>
#include <string>
#include <thread>

#include "runtime/allocation.h"
#include "runtime/text.h"
#include "tests/runtime/death_report.h"
#include "tests/runtime/start_gate.h"

// A failed malloc must come back as null under the sanitizers too, so that the allocation
// routines (and not the sanitizer) meet the failure.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
extern "C" const char* __tsan_default_options() { return "allocator_may_return_null=1"; }

namespace kestrin {
namespace {

using testing::HasSubstr;

std::string Utf8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

struct ReportCase {
  const char* name;
  std::function<void()> fail;
  std::u8string_view stderrText;  // how standard error ends
};

const TextArray kTwoItems({"first", "second"});

TEST(RuntimeErrorDeathTest, ReportsOnStandardErrorAndExitsMinusOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const ReportCase cases[] = {
      {"code 0 and a message", [] { ReportRuntimeError(0, "载入启动窗口失败"); },
       u8"运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n"},
      {"code 1 alone", [] { ReportRuntimeError(1); },
       u8"运行时出错!\r\n\r\n错误代码：1\r\n\r\n错误信息：数组成员引用下标超出定义范围\r\n"},
      {"code 4 alone", [] { ReportRuntimeError(4); },
       u8"运行时出错!\r\n\r\n错误代码：4\r\n\r\n错误信息：数组成员引用下标必须大于等于1\r\n"},
      {"another code alone", [] { ReportRuntimeError(7); }, u8"运行时出错!\r\n\r\n错误代码：7\r\n\r\n"},
      {"index 0", [] { (void)kTwoItems.At(0); },
       u8"错误代码：4\r\n\r\n错误信息：数组成员引用下标必须大于等于1\r\n"},
      {"lowest index", [] { (void)kTwoItems.At(-2147483647 - 1); },
       u8"错误代码：4\r\n\r\n错误信息：数组成员引用下标必须大于等于1\r\n"},
      {"index past the count", [] { (void)kTwoItems.At(3); },
       u8"错误代码：1\r\n\r\n错误信息：数组成员引用下标超出定义范围\r\n"},
  };
  for (const ReportCase& c : cases) {
    EXPECT_EXIT(c.fail(), testing::ExitedWithCode(kRuntimeErrorExitCode),
                testing::EndsWith(AsDeathTestReads(Utf8(c.stderrText))))
        << c.name;
  }
}

// The report's own bytes, which a death test on Windows reads with its CR LF made LF.
TEST(RuntimeErrorTest, TheReportTextEndsItsLinesInCrLf) {
  EXPECT_EQ(RuntimeErrorText(0, "M"), "运行时出错!\r\n\r\n错误信息：M\r\n");
  EXPECT_EQ(RuntimeErrorText(1, "M"), "运行时出错!\r\n\r\n错误代码：1\r\n\r\n错误信息：M\r\n");
  EXPECT_EQ(RuntimeErrorText(7, ""), "运行时出错!\r\n\r\n错误代码：7\r\n\r\n");
}

void HookThatWritesMarker(const Text& text) {
  const std::string line = text == RuntimeErrorText(0, "boom") ? "hook saw the report\n" : "hook saw other text\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

void HookThatFailsAgain(const Text&) { ReportRuntimeError(1); }

// The hook shows the report instead of standard error; a failure inside it must not hang.
TEST(RuntimeErrorDeathTest, AnInstalledHookShowsTheReport) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto reportThrough = [](ErrorBoxHook hook) {
    SetErrorBoxHook(hook);
    ReportRuntimeError(0, "boom");
  };
  EXPECT_EXIT(reportThrough(HookThatWritesMarker), testing::ExitedWithCode(kRuntimeErrorExitCode),
              testing::AllOf(HasSubstr("hook saw the report"), testing::Not(HasSubstr(Utf8(u8"运行时出错!")))));
  EXPECT_EXIT(reportThrough(HookThatFailsAgain), testing::ExitedWithCode(kRuntimeErrorExitCode), "");
}

TEST(ConcurrentRuntimeErrorDeathTest, OnlyTheFirstOfTwoReportsIsShown) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto twoFailures = [] {
    StartGate start(2);
    std::thread a([&] {
      start.ArriveAndWait();
      ReportRuntimeError(0, "A");
    });
    std::thread b([&] {
      start.ArriveAndWait();
      ReportRuntimeError(0, "B");
    });
    a.join();
    b.join();
  };
  for (int round = 0; round < 5; ++round) {
    EXPECT_EXIT(twoFailures(), testing::ExitedWithCode(kRuntimeErrorExitCode), testing::Truly([](const std::string& err) {
                  const std::string banner = Utf8(u8"运行时出错!");
                  const std::size_t first = err.find(banner);
                  return first != std::string::npos && err.find(banner, first + 1) == std::string::npos;
                }));
  }
}

struct AllocationCase {
  const char* name;
  void* (*allocate)(std::size_t);
};

const AllocationCase kAllocationCases[] = {
    {"new", [](std::size_t n) { return ::operator new(n); }},
    {"new[]", [](std::size_t n) { return ::operator new[](n); }},
    {"nothrow new", [](std::size_t n) { return ::operator new(n, std::nothrow); }},
    {"aligned new", [](std::size_t n) { return ::operator new(n, std::align_val_t{64}); }},
};

// Large enough that no allocator can serve it; volatile so the request is really made.
volatile std::size_t g_hugeRequest = SIZE_MAX / 4;

TEST(RuntimeErrorDeathTest, ExhaustedMemoryReportsTheRequestedSize) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::size_t huge = g_hugeRequest;
  const std::string expected =
      AsDeathTestReads(Utf8(u8"错误信息：分配 ") + std::to_string(huge) + Utf8(u8" 字节内存失败!\r\n"));
  for (const AllocationCase& c : kAllocationCases) {
    EXPECT_EXIT(
        {
          InstallOutOfMemoryReport();
          void* block = c.allocate(g_hugeRequest);
          std::fprintf(stderr, "returned %p\n", block);
          std::_Exit(0);
        },
        testing::ExitedWithCode(kRuntimeErrorExitCode), HasSubstr(expected))
        << c.name;
  }
}

// When every allocation fails, the report is still made, without memory, and the process ends
// with -1; it once built its text with strings and recursed until the stack overflowed.
void ShowBoxCopy(const Text& text) {
  const Text copy = text + " (shown)";
  std::fputs(copy.c_str(), stderr);
}

TEST(RuntimeErrorDeathTest, TheReportNeedsNoMemoryWhenNoneIsLeft) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string expected = AsDeathTestReads(Utf8(u8"运行时出错!\r\n\r\n错误信息：分配 24 字节内存失败!\r\n"));
  for (ErrorBoxHook box : {ErrorBoxHook{nullptr}, ErrorBoxHook{&ShowBoxCopy}}) {
    EXPECT_EXIT(
        {
          SetErrorBoxHook(box);
          InstallOutOfMemoryReport();
          FailEveryAllocationForTesting();
          void* block = ::operator new(24);
          std::fprintf(stderr, "returned %p\n", block);
          std::_Exit(0);
        },
        testing::ExitedWithCode(kRuntimeErrorExitCode), testing::EndsWith(expected))
        << (box == nullptr ? "no box" : "a box that needs memory");
  }
}

// The replaced allocation functions keep the language's rules when no report is installed.
TEST(RuntimeErrorTest, WithoutTheReportAllocationFailsAsUsual) {
  std::new_handler previous = std::set_new_handler(nullptr);
  EXPECT_THROW(::operator delete(::operator new(g_hugeRequest)), std::bad_alloc);
  EXPECT_EQ(::operator new[](g_hugeRequest, std::align_val_t{64}, std::nothrow), nullptr);
  void* aligned = ::operator new(100, std::align_val_t{256});
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(aligned) % 256, 0u);
  ::operator delete(aligned, std::align_val_t{256});
  std::set_new_handler(previous);
}

}  // namespace
}  // namespace kestrin
