#include "kwinet/core/Application.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <thread>

#include "kwinet/core/Streams.h"

namespace kwinet {

void TUIBackend::Idle(std::chrono::milliseconds Timeout) {
  if (Timeout.count() > 0) std::this_thread::sleep_for(Timeout);
}

namespace {

// What a program gets until it installs a backend of its own: it shows
// nothing. A modal form answers Cancel, and a message box writes one line to
// standard error and takes the answer that consents to nothing.
class TDefaultBackend final : public TUIBackend {
 public:
  TModalResult ShowModal(TCustomForm&) override { return mrCancel; }
  int MessageBox(const String& Text, const String& Caption, int Flags) override {
    std::string line = StringToUtf8(Caption.empty() ? Text : Caption + u": " + Text);
    for (char& c : line)
      if (c == '\r' || c == '\n') c = ' ';
    std::fprintf(stderr, "%s\n", line.c_str());
    if ((Flags & 0x0F) == MB_YESNO) return IDNO;
    if ((Flags & 0x0F) == MB_OKCANCEL) return IDCANCEL;
    return IDOK;
  }
};

}  // namespace

// --- TApplication ---------------------------------------------------------------

TApplication::TApplication() : TComponent(nullptr), FBackend(std::make_unique<TDefaultBackend>()) {}

const String& TApplication::Title() const {
  std::call_once(FTitleOnce, [this] { FTitle = ExtractFileName(ExeName()); });
  return FTitle;
}

void TApplication::SetTitle(const String& value) {
  std::call_once(FTitleOnce, [] {});
  FTitle = value;
}

TApplication::~TApplication() = default;

String TApplication::ExeName() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return String();
  return Utf8ToString(std::string_view(buf, static_cast<std::size_t>(n)));
}

std::unique_ptr<TUIBackend> TApplication::SetBackend(std::unique_ptr<TUIBackend> backend) {
  if (!backend) backend = std::make_unique<TDefaultBackend>();
  std::swap(backend, FBackend);
  return backend;
}

void TApplication::ProcessMessages() {
  FBackend->ProcessMessages();
  // Fire the timers that are due; a handler may free or stop any timer, so
  // each is checked against the live list before it fires.
  const auto now = std::chrono::steady_clock::now();
  std::vector<TTimer*> due;
  for (TTimer* t : FTimers)
    if (t->FDue <= now) due.push_back(t);
  for (TTimer* t : due) {
    if (std::find(FTimers.begin(), FTimers.end(), t) == FTimers.end()) continue;
    t->Restart();
    if (t->OnTimer) t->OnTimer(t);
  }
}

std::chrono::milliseconds TApplication::TimeToNextTimer(std::chrono::milliseconds limit) const {
  const auto now = std::chrono::steady_clock::now();
  auto wait = limit;
  for (TTimer* t : FTimers) {
    auto d = std::chrono::duration_cast<std::chrono::milliseconds>(t->FDue - now);
    if (d < wait) wait = d;
  }
  return std::max(wait, std::chrono::milliseconds(0));
}

void TApplication::HandleMessage(std::chrono::milliseconds Timeout) {
  FBackend->Idle(TimeToNextTimer(Timeout));
  ProcessMessages();
}

void TApplication::Run() {
  FTerminated = false;
  while (!FTerminated) HandleMessage();
}

void TApplication::RunFor(std::chrono::milliseconds Duration) {
  FTerminated = false;
  const auto end = std::chrono::steady_clock::now() + Duration;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (FTerminated || left.count() <= 0) break;
    HandleMessage(left);
  }
}

int TApplication::MessageBox(const String& Text, const String& Caption, int Flags) {
  return FBackend->MessageBox(Text, Caption.empty() ? Title() : Caption, Flags);
}

void TApplication::RegisterTimer(TTimer* timer) {
  if (std::find(FTimers.begin(), FTimers.end(), timer) == FTimers.end()) FTimers.push_back(timer);
}

void TApplication::UnregisterTimer(TTimer* timer) {
  FTimers.erase(std::remove(FTimers.begin(), FTimers.end(), timer), FTimers.end());
}

namespace {
// Never destroyed: components freed during static destruction may still
// unregister their timers from it.
TApplication& TheApplication() {
  static TApplication* app = new TApplication();
  return *app;
}
}  // namespace

TApplication* const Application = &TheApplication();

// --- TTimer -------------------------------------------------------------------

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) { Restart(); }

TTimer::~TTimer() { Application->UnregisterTimer(this); }

void TTimer::SetInterval(unsigned value) {
  FInterval = value;
  Restart();
}

void TTimer::SetEnabled(bool value) {
  FEnabled = value;
  Restart();
}

void TTimer::Restart() {
  if (FEnabled && FInterval > 0) {
    FDue = std::chrono::steady_clock::now() + std::chrono::milliseconds(FInterval);
    Application->RegisterTimer(this);
  } else {
    Application->UnregisterTimer(this);
  }
}

}  // namespace kwinet
