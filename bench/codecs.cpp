// Throughput of the text codecs against the references measured in the same
// run: OpenSSL's EVP_EncodeBlock for Base64 and iconv for UTF-8 decoding.
// Prints each benchmark, then the ratios (kwinet time / reference time).
#include <benchmark/benchmark.h>
#include <iconv.h>
#include <openssl/evp.h>

#include <cstdio>
#include <random>
#include <string>

#include "RatioReporter.h"
#include "kwinet/utils/kwiutil.h"

using namespace kwinet;

namespace {

constexpr std::size_t kSize = 4 << 20;

const std::string& RandomBytes() {
  static const std::string bytes = [] {
    std::string s(kSize, '\0');
    std::mt19937 rng(42);
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
  }();
  return bytes;
}

// Mostly ASCII with two- and three-byte sequences, as real text is.
const std::string& Utf8Text() {
  static const std::string text = [] {
    std::string s;
    const char* pieces[] = {"plain ascii words ", "caf\xC3\xA9 ", "20\xE2\x82\xAC ", "\xD0\x9F\xD1\x80\xD0\xB8 "};
    std::mt19937 rng(7);
    while (s.size() < kSize) s += pieces[rng() % 4];
    return s;
  }();
  return text;
}

void BM_Encode64(benchmark::State& state) {
  const String input = BytesToString(RandomBytes());
  for (auto _ : state) benchmark::DoNotOptimize(Encode64(input));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

void BM_Encode64Bytes(benchmark::State& state) {
  const std::string& input = RandomBytes();
  std::string out(Base64Length(input.size()), '\0');
  for (auto _ : state) {
    Encode64Bytes(reinterpret_cast<const unsigned char*>(input.data()), input.size(), out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

void BM_OpenSSL_EncodeBlock(benchmark::State& state) {
  const std::string& input = RandomBytes();
  std::string out(Base64Length(input.size()) + 1, '\0');
  for (auto _ : state) {
    EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), reinterpret_cast<const unsigned char*>(input.data()),
                    static_cast<int>(input.size()));
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

void BM_Utf8Decode(benchmark::State& state) {
  const String input = BytesToString(Utf8Text());
  for (auto _ : state) benchmark::DoNotOptimize(Utf8Decode(input));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Utf8Text().size()));
}

void BM_iconv_Utf8ToUtf16(benchmark::State& state) {
  const std::string& input = Utf8Text();
  std::string out(input.size() * 2, '\0');
  iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
  for (auto _ : state) {
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size(), outLeft = out.size();
    char* o = out.data();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    iconv(cd, &in, &inLeft, &o, &outLeft);
    benchmark::DoNotOptimize(out.data());
  }
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

BENCHMARK(BM_Encode64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode64Bytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenSSL_EncodeBlock)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Utf8Decode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_iconv_Utf8ToUtf16)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto ratio = [&](const char* ours, const char* ref) {
    double a = 0, b = 0;
    if (reporter.Pair(ours, ref, a, b))
      std::printf("ratio %-18s / %-24s = %.2f (below 1: kwinet is faster)\n", ours, ref, a / b);
  };
  std::printf("\n");
  ratio("BM_Encode64", "BM_OpenSSL_EncodeBlock");
  ratio("BM_Encode64Bytes", "BM_OpenSSL_EncodeBlock");
  ratio("BM_Utf8Decode", "BM_iconv_Utf8ToUtf16");
  benchmark::Shutdown();
  return 0;
}
