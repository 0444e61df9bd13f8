// What the command-line tool's benchmarks push to: one local mock interface with a quota no run
// spends, and one scratch folder for lists and histories, both for the whole process.
#pragma once

#include <cstdint>

#include "tests/cli/cli_process.h"
#include "tests/cli/mock_engines.h"

namespace kestrin::bench {

inline constexpr const char* kCliSite = "http://127.0.0.1";
inline constexpr const char* kCliToken = "benchtoken123456";

inline testsupport::MockBaidu& CliMock() {
  static testsupport::MockBaidu mock(kCliSite, kCliToken, std::int64_t{1} << 40, 10);
  return mock;
}

inline testsupport::TempFolder& CliFolder() {
  static auto* folder = new testsupport::TempFolder;
  return *folder;
}

}  // namespace kestrin::bench
