#include "runtime/declared_functions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include "runtime/run_directory.h"
#include "tests/runtime/death_report.h"
#include "tests/runtime/start_gate.h"
#include "tests/runtime/library_cases.h"

namespace kestrin {
namespace {

std::string Utf8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

TEST(DeclaredFunctionTest, BindsOnFirstCallAndKeepsTheBinding) {
  for (const BindCase& c : BindCases()) {
    DeclaredFunction entry{c.library, c.function};
    void* first = BindDeclaredFunction(entry);
    ASSERT_NE(first, nullptr) << c.name;
    EXPECT_TRUE(c.works(first)) << c.name;
    EXPECT_EQ(BindDeclaredFunction(entry), first) << c.name;
    EXPECT_EQ(entry.address.load(), first) << c.name;
  }
}

// A library that only the program's directory holds is found there.
TEST(DeclaredFunctionTest, LooksInTheProgramDirectory) {
  const LibraryBesideProgram library = PlaceLibraryBesideProgram();
  DeclaredFunction entry{library.name.c_str(), library.function};
  void* address = BindDeclaredFunction(entry);
  ASSERT_NE(address, nullptr);
  EXPECT_TRUE(library.works(address));
  if (library.removeAfterwards) std::filesystem::remove(std::filesystem::path(RunDirectory()) / library.name);
}

// A library of the system's, planted beside the program, is neither bound nor even loaded: not
// when the system's copy serves, nor when the system's copy fails to load.
TEST(DeclaredFunctionTest, NeverLoadsASystemLibraryFromTheProgramDirectory) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::filesystem::path folder(RunDirectory());
  const std::filesystem::path plant = folder / PlantedBesideProgram().front().name;
  ASSERT_TRUE(std::filesystem::exists(plant)) << "the build plants " << plant;
  for (const PlantedSystemLibrary& planted : PlantedBesideProgram()) {
    const std::filesystem::path file = folder / planted.name;
    // Not over a copy already there: the death test's child comes by here again, and mingw-w64's
    // copy_file refuses to overwrite.
    if (file != plant && !std::filesystem::exists(file)) std::filesystem::copy_file(plant, file);
    std::filesystem::path loaded = file;
    loaded += ".loaded";
    std::filesystem::remove(loaded);
    auto bind = [&planted] {
      DeclaredFunction entry{planted.name, planted.function};
      return BindDeclaredFunction(entry);
    };
    if (planted.isTheSystems != nullptr) {
      EXPECT_TRUE(planted.isTheSystems(bind())) << planted.name;
    } else {
      EXPECT_EXIT(bind(), testing::ExitedWithCode(kRuntimeErrorExitCode), testing::_) << planted.name;
    }
    EXPECT_FALSE(std::filesystem::exists(loaded)) << "the planted " << planted.name << " was loaded";
    if (file != plant) std::filesystem::remove(file);
  }
}

TEST(DeclaredFunctionDeathTest, AFunctionThatCannotBeBoundEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const FailureCase& c : FailureCases()) {
    auto bind = [&c] {
      DeclaredFunction entry{c.library, c.function};
      (void)BindDeclaredFunction(entry);
    };
    EXPECT_EXIT(bind(), testing::ExitedWithCode(kRuntimeErrorExitCode), testing::HasSubstr(AsDeathTestReads(Utf8(c.report))))
        << c.name;
  }
}

TEST(ConcurrentDeclaredFunctionTest, TwoThreadsBindingOneEntryGetOneAddress) {
  constexpr int kRounds = 50;
  const BindCase& named = BindCases().front();
  const BindCase& unnamed = BindCases().back();
  for (int round = 0; round < kRounds; ++round) {
    const BindCase& c = round % 2 == 0 ? named : unnamed;
    DeclaredFunction entry{c.library, c.function};
    void* seen[2] = {nullptr, nullptr};
    StartGate start(2);
    auto bind = [&](int slot) {
      start.ArriveAndWait();
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
