#include "kwinet/core/Application.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <thread>

#include "kwinet/core/Jobs.h"
#include "kwinet/core/Streams.h"

namespace kwinet {

void TUIBackend::Idle(std::chrono::milliseconds Timeout) {
  WaitPosted(Timeout);
}

void TUIBackend::Post(std::function<void()> Event) {
  {
    std::lock_guard lock(FPostLock);
    FPostQueue.push_back(std::move(Event));
  }
  FPosted.notify_all();
}

void TUIBackend::RunPosted() {
  // Only what was queued before: an event that posts another does not keep
  // the loop here.
  std::deque<std::function<void()>> batch;
  {
    std::lock_guard lock(FPostLock);
    batch.swap(FPostQueue);
  }
  while (!batch.empty()) {
    std::function<void()> event = std::move(batch.front());
    batch.pop_front();
    event();
  }
}

bool TUIBackend::WaitPosted(std::chrono::milliseconds Timeout) {
  std::unique_lock lock(FPostLock);
  if (Timeout.count() > 0) FPosted.wait_for(lock, Timeout, [this] { return !FPostQueue.empty(); });
  return !FPostQueue.empty();
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

// What a job's worker thread gets for Application->Backend(): every call is
// handed over to the backend's thread and waited for there, so that a dialog
// or a logon prompt of a job is shown by the one thread that may show it.
class TJobBackend final : public TUIBackend {
 public:
  TModalResult ShowModal(TCustomForm& Form) override {
    TModalResult r = mrCancel;
    JobSynchronize([&] { r = Application->Backend().ShowModal(Form); });
    return r;
  }
  void ShowForm(TCustomForm& Form) override {
    JobSynchronize([&] { Application->Backend().ShowForm(Form); });
  }
  void FormChanged(TCustomForm& Form) override {
    JobSynchronize([&] { Application->Backend().FormChanged(Form); });
  }
  void HideForm(TCustomForm& Form) override {
    JobSynchronize([&] { Application->Backend().HideForm(Form); });
  }
  int MessageBox(const String& Text, const String& Caption, int Flags) override {
    // A box that no one answers (a cancelled job) consents to nothing.
    int r = (Flags & 0x0F) == MB_YESNO ? IDNO : (Flags & 0x0F) == MB_OKCANCEL ? IDCANCEL : IDOK;
    JobSynchronize([&] { r = Application->Backend().MessageBox(Text, Caption, Flags); });
    return r;
  }
  // The backend's thread handles the messages; a job has none of its own.
  void ProcessMessages() override {}
  void Idle(std::chrono::milliseconds Timeout) override { JobSleep(Timeout); }
  void Post(std::function<void()> Event) override { Application->Post(std::move(Event)); }
  bool OpenDocument(const String& FileName) override {
    bool r = false;
    JobSynchronize([&] { r = Application->Backend().OpenDocument(FileName); });
    return r;
  }
  bool Attended() const override {
    bool r = false;
    JobSynchronize([&] { r = Application->Backend().Attended(); });
    return r;
  }
};

}  // namespace

// --- TApplication ---------------------------------------------------------------

TApplication::TApplication()
    : TComponent(nullptr), FBackend(std::make_unique<TDefaultBackend>()), FOwner(std::this_thread::get_id()) {}

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

TUIBackend& TApplication::Backend() const {
  if (InJob() && !OnOwnerThread()) {
    static TJobBackend* forwarder = new TJobBackend();  // stateless; never freed
    return *forwarder;
  }
  return *FBackend;
}

std::unique_ptr<TUIBackend> TApplication::SetBackend(std::unique_ptr<TUIBackend> backend) {
  if (!backend) backend = std::make_unique<TDefaultBackend>();
  {
    std::lock_guard lock(FBackendLock);
    std::swap(backend, FBackend);
    FOwner = std::this_thread::get_id();
  }
  // Events posted to the backend that goes are not lost.
  if (backend) backend->RunPosted();
  return backend;
}

void TApplication::Post(std::function<void()> Event) {
  std::lock_guard lock(FBackendLock);
  FBackend->Post(std::move(Event));
}

void TApplication::ProcessMessages() {
  // A job's thread has no messages of its own: its events are posted to
  // the owner's thread.
  if (InJob() && !OnOwnerThread()) return;
  FBackend->RunPosted();
  FBackend->ProcessMessages();
  // Fire the timers that are due; a handler may free or stop any timer, so
  // each is checked against the live list before it fires.
  const auto now = std::chrono::steady_clock::now();
  std::vector<TTimer*> due;
  {
    std::lock_guard lock(FTimerLock);
    for (TTimer* t : FTimers)
      if (t->FDue <= now) due.push_back(t);
  }
  for (TTimer* t : due) {
    {
      std::lock_guard lock(FTimerLock);
      if (std::find(FTimers.begin(), FTimers.end(), t) == FTimers.end()) continue;
    }
    t->Restart();
    if (t->OnTimer) t->OnTimer(t);
  }
}

std::chrono::milliseconds TApplication::TimeToNextTimer(std::chrono::milliseconds limit) const {
  std::lock_guard lock(FTimerLock);
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
  return Backend().MessageBox(Text, Caption.empty() ? Title() : Caption, Flags);
}

// Both with FTimerLock held.
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

TTimer::~TTimer() {
  std::lock_guard lock(Application->FTimerLock);
  Application->UnregisterTimer(this);
}

void TTimer::SetInterval(unsigned value) {
  FInterval = value;
  Restart();
}

void TTimer::SetEnabled(bool value) {
  FEnabled = value;
  Restart();
}

void TTimer::Restart() {
  std::lock_guard lock(Application->FTimerLock);
  if (FEnabled && FInterval > 0) {
    FDue = std::chrono::steady_clock::now() + std::chrono::milliseconds(FInterval);
    Application->RegisterTimer(this);
  } else {
    Application->UnregisterTimer(this);
  }
}

}  // namespace kwinet
