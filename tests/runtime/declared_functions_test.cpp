#include "runtime/declared_functions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <latch>
#include <memory>
#include <string>
#include <thread>

#include "runtime/run_directory.h"

namespace kestrin {
namespace {

std::string Utf8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

using StrlenFn = std::size_t (*)(const char*);
using CosFn = double (*)(double);

bool WorksAsStrlen(void* address) { return reinterpret_cast<StrlenFn>(address)("abcd") == 4; }
bool WorksAsCos(void* address) { return reinterpret_cast<CosFn>(address)(0.0) == 1.0; }

struct BindCase {
  const char* name;
  const char* library;
  const char* function;
  bool (*works)(void*);
};

const BindCase kBindCases[] = {
    {"named C library", "libc.so.6", "strlen", WorksAsStrlen},
    {"named maths library", "libm.so.6", "cos", WorksAsCos},
    {"unnamed, already loaded", nullptr, "strlen", WorksAsStrlen},
    {"empty name counts as unnamed", "", "cos", WorksAsCos},
};

TEST(DeclaredFunctionTest, BindsOnFirstCallAndKeepsTheBinding) {
  for (const BindCase& c : kBindCases) {
    DeclaredFunction entry{c.library, c.function};
    void* first = BindDeclaredFunction(entry);
    ASSERT_NE(first, nullptr) << c.name;
    EXPECT_TRUE(c.works(first)) << c.name;
    EXPECT_EQ(BindDeclaredFunction(entry), first) << c.name;
    EXPECT_EQ(entry.address.load(), first) << c.name;
  }
}

// A library that only the program's directory holds is found there before the system's search.
TEST(DeclaredFunctionTest, LooksInTheProgramDirectoryFirst) {
  const std::string name = "libkestrin-probe-" + std::to_string(::getpid()) + ".so";
  const std::filesystem::path copy = std::filesystem::path(RunDirectory()) / name;
  std::filesystem::copy_file("/lib/x86_64-linux-gnu/libm.so.6", copy,
                             std::filesystem::copy_options::overwrite_existing);
  DeclaredFunction entry{name.c_str(), "cos"};
  void* address = BindDeclaredFunction(entry);
  std::filesystem::remove(copy);
  ASSERT_NE(address, nullptr);
  EXPECT_TRUE(WorksAsCos(address));
}

struct FailureCase {
  const char* name;
  const char* library;
  const char* function;
  std::u8string_view report;
};

const FailureCase kFailureCases[] = {
    {"function missing from a real library", "libc.so.6", "KestrinNoSuchFunction",
     u8"运行时出错!\r\n\r\n错误信息：无法找到指定DLL库文件“libc.so.6”中的输出命令“KestrinNoSuchFunction”\r\n"},
    {"library that does not exist", "libkestrin-missing.so.9", "strlen",
     u8"运行时出错!\r\n\r\n错误信息：无法找到指定DLL库文件“libkestrin-missing.so.9”中的输出命令“strlen”\r\n"},
    {"unnamed function found nowhere", nullptr, "KestrinNoSuchFunction",
     u8"运行时出错!\r\n\r\n错误信息：无法找到指定DLL库文件中的输出命令“KestrinNoSuchFunction”\r\n"},
};

TEST(DeclaredFunctionDeathTest, AFunctionThatCannotBeBoundEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const FailureCase& c : kFailureCases) {
    auto bind = [&c] {
      DeclaredFunction entry{c.library, c.function};
      (void)BindDeclaredFunction(entry);
    };
    EXPECT_EXIT(bind(), testing::ExitedWithCode(255), testing::HasSubstr(Utf8(c.report))) << c.name;
  }
}

TEST(ConcurrentDeclaredFunctionTest, TwoThreadsBindingOneEntryGetOneAddress) {
  constexpr int kRounds = 50;
  const BindCase& named = kBindCases[0];
  const BindCase& unnamed = kBindCases[3];
  for (int round = 0; round < kRounds; ++round) {
    const BindCase& c = round % 2 == 0 ? named : unnamed;
    DeclaredFunction entry{c.library, c.function};
    void* seen[2] = {nullptr, nullptr};
    std::latch start(2);
    auto bind = [&](int slot) {
      start.arrive_and_wait();
      seen[slot] = BindDeclaredFunction(entry);
    };
    std::thread a(bind, 0);
    std::thread b(bind, 1);
    a.join();
    b.join();
    ASSERT_NE(seen[0], nullptr) << c.name;
    EXPECT_EQ(seen[0], seen[1]) << c.name;
    EXPECT_TRUE(c.works(seen[1])) << c.name;
  }
}

}  // namespace
}  // namespace kestrin
