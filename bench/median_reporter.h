// A console reporter that also keeps each case's median wall time and counters, so that a
// benchmark can print its comparison with the baseline of the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>

namespace kestrin::bench {

class MedianReporter : public benchmark::ConsoleReporter {
 public:
  struct Median {
    double seconds = 0;  // real time of one iteration
    std::map<std::string, double> counters;
  };

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if (!median && !single) continue;
      std::string name = run.run_name.function_name;
      if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
      Median& kept = medians_[name];
      kept.seconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      for (const auto& [name, counter] : run.counters) kept.counters[name] = counter.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // The median of a case by its function name, with "/" and its arguments when it has any;
  // nullptr when it did not run or failed.
  [[nodiscard]] const Median* Of(const std::string& name) const {
    const auto found = medians_.find(name);
    return found != medians_.end() ? &found->second : nullptr;
  }

 private:
  std::map<std::string, Median> medians_;
};

}  // namespace kestrin::bench
