// Tree building of the XML engine against pugixml and libxml2 in the same
// run, on generated documents of about 100 MB: time ratios warm and cold,
// peak memory, and the growth from 1 MB to 10 MB (entity decoding and tree
// building).
//
//   bench_xml [--size-mb=N]
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <pugixml.hpp>
#include <string>

#include "kwinet/xml/KwInetXML.h"

// Heap accounting for the memory figures: every allocation of the process
// passes through here; counting is switched on only in the child process
// that measures one parser.
extern "C" {
void* __libc_malloc(std::size_t);
void __libc_free(void*);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
}

namespace {
bool gCount = false;
long long gHeap = 0, gPeak = 0;
inline void Counted(void* p, long long sign) {
  if (!gCount || !p) return;
  gHeap += sign * static_cast<long long>(malloc_usable_size(p));
  if (gHeap > gPeak) gPeak = gHeap;
}
}  // namespace

extern "C" {
void* malloc(std::size_t n) {
  void* p = __libc_malloc(n);
  Counted(p, 1);
  return p;
}
void free(void* p) {
  Counted(p, -1);
  __libc_free(p);
}
void* calloc(std::size_t n, std::size_t m) {
  void* p = __libc_calloc(n, m);
  Counted(p, 1);
  return p;
}
void* realloc(void* old, std::size_t n) {
  Counted(old, -1);
  void* p = __libc_realloc(old, n);
  Counted(p ? p : old, 1);
  return p;
}
void* memalign(std::size_t a, std::size_t n) {
  void* p = __libc_memalign(a, n);
  Counted(p, 1);
  return p;
}
void* aligned_alloc(std::size_t a, std::size_t n) {
  return memalign(a, n);
}
int posix_memalign(void** out, std::size_t a, std::size_t n) {
  *out = memalign(a, n);
  return *out ? 0 : ENOMEM;
}
}

namespace {

using namespace kwinet;

// Many elements with attributes and short texts.
std::string ShortTexts(std::size_t bytes) {
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<catalog>\n";
  s.reserve(bytes + 256);
  for (std::size_t i = 0; s.size() < bytes; ++i) {
    const std::string n = std::to_string(i);
    s += "  <item id=\"" + n + "\" type=\"book\" price=\"" + std::to_string(i % 97) + ".50\"><name>Item " + n +
         "</name><qty>" + std::to_string(i % 13) + "</qty><note/></item>\n";
  }
  s += "</catalog>\n";
  return s;
}

// Fewer elements, each with a text of a few kilobytes.
std::string LongTexts(std::size_t bytes) {
  std::string s = "<?xml version=\"1.0\" ?>\n<documents>\n";
  s.reserve(bytes + 8192);
  std::string body;
  for (int i = 0; body.size() < 4000; ++i)
    body += "Lorem ipsum dolor sit amet, consectetur " + std::to_string(i) + ". ";
  for (std::size_t i = 0; s.size() < bytes; ++i)
    s += "  <doc id=\"" + std::to_string(i) + "\"><title>Document " + std::to_string(i) + "</title><body>" + body +
         "</body></doc>\n";
  s += "</documents>\n";
  return s;
}

std::size_t gSizeMB = 100;
std::map<std::string, std::string> gDocs;

const std::string& Doc(const std::string& name) {
  auto it = gDocs.find(name);
  if (it != gDocs.end()) return it->second;
  const std::size_t bytes = gSizeMB << 20;
  return gDocs[name] = name == "short" ? ShortTexts(bytes) : LongTexts(bytes);
}

// The document as a memory stream, made before any timing, as libxml2 and
// pugixml get theirs as a buffer.
TMemoryStream& StreamOf(const std::string& doc) {
  static std::map<const std::string*, std::unique_ptr<TMemoryStream>> streams;
  auto& s = streams[&doc];
  if (!s) {
    s = std::make_unique<TMemoryStream>();
    s->WriteBuffer(doc.data(), static_cast<std::int64_t>(doc.size()));
  }
  return *s;
}

// Each parser builds its tree from the bytes in memory; freeing is not timed.
struct Parser {
  const char* name;
  std::function<std::function<void()>(const std::string&)> build;  // returns the tree's freeing
  std::function<void(const std::string&)> prepare = [](const std::string&) {};
};

const Parser kParsers[] = {
    {"kwinet",
     [](const std::string& doc) -> std::function<void()> {
       auto engine = std::make_shared<TKwXMLEngine>(nullptr);
       TMemoryStream& stream = StreamOf(doc);
       stream.SetPosition(0);
       engine->LoadFromStream(0, &stream);
       return [engine]() mutable { engine.reset(); };
     },
     [](const std::string& doc) { StreamOf(doc); }},
    {"pugixml",
     [](const std::string& doc) -> std::function<void()> {
       auto d = std::make_shared<pugi::xml_document>();
       if (!d->load_buffer(doc.data(), doc.size())) std::abort();
       return [d]() mutable { d.reset(); };
     }},
    {"libxml2",
     [](const std::string& doc) -> std::function<void()> {
       xmlDocPtr d = xmlReadMemory(doc.data(), static_cast<int>(doc.size()), "bench.xml", nullptr,
                                   XML_PARSE_NONET | XML_PARSE_HUGE);
       if (!d) std::abort();
       return [d] { xmlFreeDoc(d); };
     }},
};

// Builds in a fresh process of their own, so that no parser inherits the
// state of malloc that another left behind: one build to warm up, then
// `runs` timed builds, each tree freed untimed. Freed memory stays with the
// process (for every parser alike): the figures are parsing and building,
// not the system's cost of handing out pages again, which the cold figures
// show.
struct Warm {
  double bestMs = -1, meanMs = -1;
};

// Runs Measure in a fresh child process and hands back what it returns (a
// plain struct); a default one when the child fails.
template <typename Result, typename Measure>
Result InChild(Measure measure) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const Result r = measure();
    if (write(fds[1], &r, sizeof r) != sizeof r) _exit(1);
    _exit(0);
  }
  close(fds[1]);
  Result r;
  if (read(fds[0], &r, sizeof r) != sizeof r) r = {};
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return r;
}

Warm WarmBuilds(const Parser& parser, const std::string& doc, int runs) {
  parser.prepare(doc);
  return InChild<Warm>([&] {
    // No block of any size is mapped on its own, and nothing is trimmed.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    parser.build(doc)();
    Warm w{1e300, 0};
    for (int i = 0; i < runs; ++i) {
      auto t0 = std::chrono::steady_clock::now();
      auto release = parser.build(doc);
      auto t1 = std::chrono::steady_clock::now();
      release();
      const double ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
      w.bestMs = std::min(w.bestMs, ms);
      w.meanMs += ms / runs;
    }
    return w;
  });
}

// A first build in a fresh process: its time (the memory is new to the
// process, so this includes the system's cost of handing out pages) and the
// peak heap that it adds, in MB. A child process keeps the parsers apart.
struct Cold {
  double ms = -1, peakMB = -1;
};

Cold ColdBuild(const Parser& parser, const std::string& doc) {
  parser.prepare(doc);
  return InChild<Cold>([&] {
    gHeap = gPeak = 0;
    gCount = true;
    auto t0 = std::chrono::steady_clock::now();
    auto release = parser.build(doc);
    auto t1 = std::chrono::steady_clock::now();
    gCount = false;
    return Cold{std::chrono::duration<double, std::milli>(t1 - t0).count(), gPeak / 1048576.0};
  });
}

// Best of a few runs, in milliseconds.
double BestMs(const std::function<void()>& work, int runs = 5) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    work();
    auto t1 = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
  }
  return best;
}

void Growth() {
  std::printf("\nGrowth from 1 MB to 10 MB (best of 5; linear cost gives about 10):\n");
  auto entities = [](std::size_t bytes) {
    String s;
    while (s.size() * 2 < bytes) s += u"&amp;";  // bytes of UTF-16 text
    return s;
  };
  const String e1 = entities(1 << 20), e10 = entities(10 << 20);
  const double d1 = BestMs([&] { benchmark::DoNotOptimize(DecodeXMLEntities(e1)); });
  const double d10 = BestMs([&] { benchmark::DoNotOptimize(DecodeXMLEntities(e10)); });
  std::printf("  decoding a value of \"&amp;\": %8.2f ms -> %8.2f ms  ratio %.1f\n", d1, d10, d10 / d1);

  const std::string t1 = ShortTexts(1 << 20), t10 = ShortTexts(10 << 20);
  auto build = [](const std::string& doc) {
    kParsers[0].prepare(doc);
    kParsers[0].build(doc)();
  };
  const double b1 = BestMs([&] { build(t1); });
  const double b10 = BestMs([&] { build(t10); });
  std::printf("  building the tree (with freeing): %8.2f ms -> %8.2f ms  ratio %.1f\n", b1, b10, b10 / b1);

  const std::string w1 = "<r>" + [] {
    std::string s;
    for (int i = 0; i < 50000; ++i) s += "<i/>";
    return s;
  }() + "</r>";
  std::string w10 = "<r>";
  for (int i = 0; i < 500000; ++i) w10 += "<i/>";
  w10 += "</r>";
  const double f1 = BestMs([&] { build(w1); });
  const double f10 = BestMs([&] { build(w10); });
  std::printf("  a flat tree of 50,000 and 500,000 children: %8.2f ms -> %8.2f ms  ratio %.1f\n", f1, f10, f10 / f1);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--size-mb=", 10) == 0)
      gSizeMB = std::strtoul(argv[i] + 10, nullptr, 10);
    else
      args.push_back(argv[i]);
  }
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());
  xmlInitParser();
  constexpr int kRuns = 5;
  std::printf("Tree building on about %zu MB, warm, best and mean of %d builds, kwinet / other:\n", gSizeMB, kRuns);
  for (const char* doc : {"short", "long"}) {
    Warm w[3];
    for (int i = 0; i < 3; ++i) w[i] = WarmBuilds(kParsers[i], Doc(doc), kRuns);
    for (const bool best : {true, false}) {
      auto ms = [&](int i) { return best ? w[i].bestMs : w[i].meanMs; };
      std::printf(
          "  %-5s texts, %-4s: kwinet %.0f ms, pugixml %.0f ms, libxml2 %.0f ms -> %.2fx pugixml, %.2fx libxml2\n", doc,
          best ? "best" : "mean", ms(0), ms(1), ms(2), ms(0) / ms(1), ms(0) / ms(2));
    }
  }
  std::printf("\nFirst build in a fresh process (cold) and the peak heap it adds:\n");
  for (const char* doc : {"short", "long"}) {
    Cold c[3];
    for (int i = 0; i < 3; ++i) c[i] = ColdBuild(kParsers[i], Doc(doc));
    std::printf("  %-5s texts (%.0f MB):", doc, Doc(doc).size() / 1048576.0);
    for (int i = 0; i < 3; ++i) std::printf("  %s %.0f ms %.0f MB;", kParsers[i].name, c[i].ms, c[i].peakMB);
    std::printf("  kwinet / pugixml %.2fx, kwinet / libxml2 %.2fx\n", c[0].ms / c[1].ms, c[0].ms / c[2].ms);
  }
  // As for the warm builds: growth is the work's, not the system's cost of
  // mapping fresh pages for each large block.
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  Growth();
  xmlCleanupParser();
  return 0;
}
