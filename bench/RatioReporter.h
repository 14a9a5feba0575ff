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
  // The times of Ours and of Ref; false unless both ran (and Ref took time).
  bool Pair(const char* Ours, const char* Ref, double& OursTime, double& RefTime) const {
    auto a = Times.find(Ours), b = Times.find(Ref);
    if (a == Times.end() || b == Times.end() || b->second <= 0) return false;
    OursTime = a->second;
    RefTime = b->second;
    return true;
  }
};
