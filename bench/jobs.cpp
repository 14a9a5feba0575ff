// What running a component's job on a worker thread costs over the blocking
// Execute, measured in the same run: the web updater copies a 64 KiB file
// from a local path, blocking (the reference) and through ExecuteAsync with
// a Wait on the thread that owns the backend, which runs the job's events
// (status, action, progress) as they come. Prints each benchmark, then the
// ratio and the difference per job.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "RatioReporter.h"
#include "kwinet/core/Jobs.h"
#include "kwinet/web/kwiupdate.h"

using namespace kwinet;

namespace {

// A folder of this run with the remote file in it; removed at the end.
struct TFiles {
  std::filesystem::path Dir;
  std::filesystem::path Remote, Local;
  TFiles() {
    char name[] = "/tmp/kwinet-bench-jobs-XXXXXX";
    if (!::mkdtemp(name)) std::abort();
    Dir = name;
    Remote = Dir / "remote.bin";
    Local = Dir / "local.bin";
    std::ofstream(Remote, std::ios::binary) << std::string(64 * 1024, 'j');
  }
  ~TFiles() { std::filesystem::remove_all(Dir); }
};

TFiles& Files() {
  static TFiles files;
  return files;
}

// An updater that copies the remote file whole each time (no local copy).
void SetUp(TKwWebUpdater& updater, int& events) {
  updater.SetService(isNetwork);
  updater.SetRemoteFileName(String(Files().Remote.u16string()));
  updater.SetLocalFileName(String(Files().Local.u16string()));
  updater.OnStatusChange = [&events](TObject*) { ++events; };
  updater.OnProgress64 = [&events](TObject*, std::int64_t, std::int64_t, bool&) { ++events; };
}

void Check(TKwWebUpdater& updater, benchmark::State& state) {
  if (updater.Status() != isFinished) state.SkipWithError("the copy did not finish");
  std::filesystem::remove(Files().Local);
}

void BM_BlockingExecute(benchmark::State& state) {
  int events = 0;
  TKwWebUpdater updater(nullptr);
  SetUp(updater, events);
  for (auto _ : state) {
    updater.Execute();
    Check(updater, state);
  }
  state.counters["events/job"] = static_cast<double>(events) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_BlockingExecute)->Unit(benchmark::kMicrosecond);

void BM_ExecuteAsyncAndWait(benchmark::State& state) {
  int events = 0;
  TKwWebUpdater updater(nullptr);
  SetUp(updater, events);
  for (auto _ : state) {
    const TJobHandle job = updater.ExecuteAsync();
    if (!job->Wait(std::chrono::seconds(30)) || job->State() != jsDone) state.SkipWithError("the job did not end well");
    Check(updater, state);
  }
  state.counters["events/job"] = static_cast<double>(events) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ExecuteAsyncAndWait)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  double a = 0, b = 0;
  if (reporter.Pair("BM_ExecuteAsyncAndWait", "BM_BlockingExecute", a, b))
    std::printf("\nratio async / blocking = %.2f; one job on a worker thread costs %+.0f us over the blocking form\n",
                a / b, a - b);
  benchmark::Shutdown();
  return 0;
}
