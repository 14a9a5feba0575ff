// The console reporter of Google Benchmark, keeping each run's real time per
// iteration so that a benchmark program can print ratios after the runs.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> Times;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& r : runs) Times[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
};
