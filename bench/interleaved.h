// Start-up shared by the benchmarks that compare a case with its baseline.
#pragma once

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace kestrin::bench {

// Initialises Google Benchmark with random interleaving switched on: other work on the machine
// drifts over a run, and interleaving lets each case see the same drift. False on a bad argument.
inline bool InitializeInterleaved(int argc, char** argv) {
  static std::string interleave = "--benchmark_enable_random_interleaving=true";
  std::vector<char*> args(argv, argv + argc);
  args.insert(args.begin() + 1, interleave.data());
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  return !benchmark::ReportUnrecognizedArguments(count, args.data());
}

}  // namespace kestrin::bench
