// Benchmark entry point: runs the selected cases with the usual console
// output, then prints a summary with ns per pixel and the ratio of each case
// to its memory floor (see bench_support.h), the floors measured in this run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace {

struct CaseResult {
  std::string name;
  double nsPerIteration = 0.0;
  double pixels = 0.0;
  size_t floorBytes = 0;
};

// Passes everything on to the console and keeps the figures of each case.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  SummaryReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const auto pixels = run.counters.find(quor::bench::kPixelsCounter);
      const auto floor = run.counters.find(quor::bench::kFloorBytesCounter);
      if (pixels == run.counters.end() || floor == run.counters.end()) continue;
      const double ns = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
      // With repetitions, keep the best one.
      CaseResult& result = byName_[run.benchmark_name()];
      if (result.name.empty() || ns < result.nsPerIteration) {
        result = {run.benchmark_name(), ns, pixels->second.value,
                  static_cast<size_t>(floor->second.value)};
      }
      if (!seen_.contains(run.benchmark_name())) {
        seen_.emplace(run.benchmark_name(), order_.size());
        order_.push_back(run.benchmark_name());
      }
    }
  }

  void PrintSummary() const {
    if (order_.empty()) return;
    std::map<size_t, double> floorNs;
    for (const auto& [name, result] : byName_) {
      if (!floorNs.contains(result.floorBytes)) {
        floorNs[result.floorBytes] = quor::bench::MeasureMemcpyNs(result.floorBytes);
      }
    }
    std::printf("\n%-48s %12s %14s %9s\n", "case", "ns/pixel", "floor ns/pixel", "x floor");
    for (const std::string& name : order_) {
      const CaseResult& r = byName_.at(name);
      const double floor = floorNs.at(r.floorBytes);
      const double pixels = r.pixels > 0 ? r.pixels : 1.0;
      std::printf("%-48s %12.4f %14.4f %9.2f\n", r.name.c_str(), r.nsPerIteration / pixels, floor / pixels,
                  floor > 0 ? r.nsPerIteration / floor : 0.0);
    }
    std::fflush(stdout);
  }

 private:
  std::map<std::string, CaseResult> byName_;
  std::map<std::string, size_t> seen_;
  std::vector<std::string> order_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintSummary();
  benchmark::Shutdown();
  return 0;
}
