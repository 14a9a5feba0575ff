#include "kwinet/ui/ConsoleBackend.h"

#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <thread>

#include "kwinet/core/ComCtrls.h"
#include "kwinet/core/Forms.h"
#include "kwinet/ui/TerminalText.h"

extern char** environ;

namespace kwinet {

namespace {

// The label that names Edit: one whose FocusControl is it, otherwise the
// nearest label on the same row to its left.
TLabel* LabelFor(const TCustomForm& form, const TControl* edit) {
  TLabel* best = nullptr;
  for (TControl* c : form.Controls()) {
    auto* l = dynamic_cast<TLabel*>(c);
    if (!l) continue;
    if (l->FocusControl() == edit) return l;
    bool sameRow = l->Top() < edit->Top() + edit->Height() && edit->Top() < l->Top() + l->Height();
    if (sameRow && l->Left() < edit->Left() && (!best || l->Left() > best->Left())) best = l;
  }
  return best;
}

// While a password is typed the terminal does not echo. A signal that ends
// or stops the program then would leave it so (the shell gets back a
// terminal that shows nothing typed), so while the prompt is open these
// handlers put the terminal back, let the signal do what it did before, and
// switch echo off again if the program carries on. One prompt at a time
// installs them.
constexpr int kEchoSignals[] = {SIGINT, SIGTERM, SIGTSTP, SIGCONT};
std::atomic<bool> gEchoGuarded{false};
int gEchoFd = -1;
struct termios gEchoSaved;
struct termios gEchoQuiet;
struct sigaction gEchoPrevious[std::size(kEchoSignals)];

int EchoSignalIndex(int sig) noexcept {
  for (std::size_t i = 0; i < std::size(kEchoSignals); ++i)
    if (kEchoSignals[i] == sig) return static_cast<int>(i);
  return -1;
}

// Only async-signal-safe calls here: tcsetattr, sigaction, pthread_sigmask, raise.
void OnEchoSignal(int sig, siginfo_t* info, void* context) noexcept {
  const int savedErrno = errno;
  const int i = EchoSignalIndex(sig);
  const int fd = gEchoFd;
  if (sig == SIGCONT) {
    if (fd >= 0) ::tcsetattr(fd, TCSANOW, &gEchoQuiet);
    const struct sigaction& previous = gEchoPrevious[i];
    if (previous.sa_flags & SA_SIGINFO) {
      if (previous.sa_sigaction) previous.sa_sigaction(sig, info, context);
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
      previous.sa_handler(sig);
    }
  } else {
    if (fd >= 0) ::tcsetattr(fd, TCSANOW, &gEchoSaved);
    // Deliver the signal again as it was handled before the prompt: with the
    // default action the program stops here or ends.
    struct sigaction ours;
    ::sigaction(sig, &gEchoPrevious[i], &ours);
    sigset_t set;
    ::sigemptyset(&set);
    ::sigaddset(&set, sig);
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(sig);
    // Continued after a stop, or the program's own handling returned: the
    // prompt is still open.
    ::sigaction(sig, &ours, nullptr);
    if (gEchoFd >= 0) ::tcsetattr(gEchoFd, TCSANOW, &gEchoQuiet);
  }
  errno = savedErrno;
}

// Installs the handlers for the life of a hidden prompt on Fd.
class TEchoGuard {
 public:
  TEchoGuard(int fd, const struct termios& saved, const struct termios& quiet) {
    if (fd < 0 || gEchoGuarded.exchange(true)) return;
    FActive = true;
    gEchoSaved = saved;
    gEchoQuiet = quiet;
    gEchoFd = fd;
    struct sigaction ours{};
    ours.sa_sigaction = OnEchoSignal;
    ours.sa_flags = SA_SIGINFO | SA_RESTART;
    ::sigemptyset(&ours.sa_mask);
    for (std::size_t i = 0; i < std::size(kEchoSignals); ++i) ::sigaction(kEchoSignals[i], &ours, &gEchoPrevious[i]);
  }
  ~TEchoGuard() {
    if (!FActive) return;
    for (std::size_t i = 0; i < std::size(kEchoSignals); ++i) ::sigaction(kEchoSignals[i], &gEchoPrevious[i], nullptr);
    gEchoFd = -1;
    gEchoGuarded = false;
  }
  TEchoGuard(const TEchoGuard&) = delete;
  TEchoGuard& operator=(const TEchoGuard&) = delete;

 private:
  bool FActive = false;
};

}  // namespace

TConsoleBackend::TConsoleBackend(int inFd, std::FILE* out)
    : FIn(inFd), FOut(out), FOutIsTty(::isatty(::fileno(out)) != 0) {}

bool TConsoleBackend::ReadLine(std::string& line, bool hidden) {
  line.clear();
  struct termios saved{};
  struct termios quiet{};
  const bool hide = hidden && ::isatty(FIn) != 0 && ::tcgetattr(FIn, &saved) == 0;
  if (hide) {
    quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
  }
  bool got = false;
  bool restore = false;
  {
    // Handlers first: a signal in between finds the terminal as it was.
    TEchoGuard guard(hide ? FIn : -1, saved, quiet);
    restore = hide && ::tcsetattr(FIn, TCSAFLUSH, &quiet) == 0;
    for (;;) {
      char c;
      ssize_t n = ::read(FIn, &c, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got = true;
      if (c == '\n') break;
      if (c == '\x1b') {  // Escape cancels
        got = false;
        break;
      }
      if (c != '\r') line.push_back(c);
    }
  }
  if (restore) ::tcsetattr(FIn, TCSAFLUSH, &saved);
  return got;
}

// What a form shows comes from a form file or a server (captions, names in
// a tree, a status line, a message): it reaches the terminal escaped, a line
// at a time.
TModalResult TConsoleBackend::ShowModal(TCustomForm& Form) {
  if (FLineOpen) {
    std::fputc('\n', FOut);
    FLineOpen = false;
  }
  std::fprintf(FOut, "%s\n", TerminalLine(Form.Caption()).c_str());
  // A tree is shown as text, one node a line.
  for (TControl* c : Form.Controls())
    if (auto* t = dynamic_cast<TTreeView*>(c); t && t->Visible() && t->Items()->Count() > 0) {
      const String text = t->DisplayText();
      for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find(u'\n', at);
        if (end == String::npos) end = text.size();
        std::fprintf(FOut, "%s\n", TerminalLine(text.substr(at, end - at)).c_str());
        at = end + 1;
      }
    }
  for (TControl* c : Form.TabOrderList()) {
    auto* edit = dynamic_cast<TEdit*>(c);
    if (!edit || !edit->Visible() || !edit->Enabled()) continue;
    TLabel* label = LabelFor(Form, edit);
    String prompt = label ? StripAccelerators(label->Caption()) : edit->Name();
    while (!prompt.empty() && prompt.back() == u':') prompt.pop_back();
    std::string current = TerminalLine(edit->DisplayText());
    if (!current.empty()) std::fprintf(FOut, "%s [%s]: ", TerminalLine(prompt).c_str(), current.c_str());
    else std::fprintf(FOut, "%s: ", TerminalLine(prompt).c_str());
    std::fflush(FOut);
    std::string line;
    if (!ReadLine(line, edit->PasswordChar() != 0)) {
      std::fputc('\n', FOut);
      if (TButton* b = Form.CancelButton()) b->Click();
      return Form.ModalResult() != mrNone ? Form.ModalResult() : mrCancel;
    }
    // An empty answer keeps what the box holds.
    if (!line.empty()) edit->SetText(Utf8ToString(line));
  }
  if (TButton* b = Form.DefaultButton()) b->Click();
  return Form.ModalResult() != mrNone ? Form.ModalResult() : mrOk;
}

void TConsoleBackend::Draw(TCustomForm& Form, bool force) {
  const auto now = std::chrono::steady_clock::now();
  // A terminal is redrawn at most ten times a second, a log written at most
  // about thirty times: a fast transfer changes its form far more often
  // than that, so look before building. What is left out is drawn when the
  // form goes.
  const auto frame = FOutIsTty ? std::chrono::milliseconds(100) : std::chrono::milliseconds(33);
  if (!force && now - FLastDraw < frame) {
    FPending = &Form;
    return;
  }
  FPending = nullptr;
  TProgressBar* bar = nullptr;
  for (TControl* c : Form.Controls())
    if (auto* p = dynamic_cast<TProgressBar*>(c); p && p->Visible()) bar = p;
  String line;
  if (bar) {
    const int width = 30;
    long long range = static_cast<long long>(bar->Max()) - bar->Min();
    int filled = range > 0 ? static_cast<int>((static_cast<long long>(bar->Position()) - bar->Min()) * width / range) : 0;
    line = u"[" + String(filled, u'#') + String(width - filled, u'-') + u"] ";
  }
  line += Form.StatusLine();
  if (FOutIsTty) {
    // Redraw in place, at most ten times a second unless forced.
    if (!force && line == FLastLine) return;
    std::fprintf(FOut, "\r\x1b[2K%s", TerminalLine(line).c_str());
    FLineOpen = true;
  } else {
    // Not a terminal: a new line only when the text besides the bar changes.
    if (Form.StatusLine() == FLastLine) return;
    std::fprintf(FOut, "%s\n", TerminalLine(line).c_str());
    line = Form.StatusLine();
  }
  std::fflush(FOut);
  FLastLine = line;
  FLastDraw = now;
}

namespace {

// What a terminal shows of a form's heading, in words: its bold labels, then
// its wrapped texts, then what its pictures are. Empty when it has none.
String HeadingInWords(const TCustomForm& Form) {
  String bold, wrapped, pictures;
  auto add = [](String& to, const String& text) {
    if (text.empty()) return;
    if (!to.empty()) to += u"  ";
    to += text;
  };
  for (TControl* c : Form.Controls()) {
    if (!c->Visible()) continue;
    if (auto* l = dynamic_cast<TLabel*>(c)) {
      if (l->FontBold())
        add(bold, l->Caption());
      else if (l->WordWrap())
        add(wrapped, l->Caption());
    } else if (auto* i = dynamic_cast<TImage*>(c); i && !i->Graphic()->Empty()) {
      const TPicture& p = *i->Graphic();
      add(pictures, u"(a " + PictureFormatName(p.Format()) + u" picture, " + IntToStr(p.Width()) + u" x " +
                        IntToStr(p.Height()) + u" pixels)");
    }
  }
  String line = bold;
  if (!wrapped.empty()) line += (line.empty() ? u"" : u": ") + wrapped;
  if (!pictures.empty()) line += (line.empty() ? u"" : u" ") + pictures;
  return line;
}

}  // namespace

void TConsoleBackend::ShowForm(TCustomForm& Form) {
  if (FOutIsTty && !Form.Caption().empty()) std::fprintf(FOut, "%s\n", TerminalLine(Form.Caption()).c_str());
  if (FOutIsTty)
    if (const String heading = HeadingInWords(Form); !heading.empty())
      std::fprintf(FOut, "%s\n", TerminalLine(heading).c_str());
  FLastLine.clear();
  Draw(Form, true);
}

void TConsoleBackend::FormChanged(TCustomForm& Form) { Draw(Form, false); }

void TConsoleBackend::HideForm(TCustomForm& Form) {
  if (FOutIsTty) {
    Draw(Form, true);
    std::fputc('\n', FOut);
    FLineOpen = false;
  } else if (FPending == &Form) {
    Draw(Form, true);
  }
  FPending = nullptr;
  std::fflush(FOut);
  FLastLine.clear();
}

int TConsoleBackend::MessageBox(const String& Text, const String& Caption, int Flags) {
  if (FLineOpen) {
    std::fputc('\n', FOut);
    FLineOpen = false;
  }
  std::fprintf(FOut, "%s: %s\n", TerminalLine(Caption).c_str(), TerminalLine(Text).c_str());
  const int buttons = Flags & 0x0F;
  if (buttons != MB_YESNO && buttons != MB_OKCANCEL) return IDOK;
  std::fprintf(FOut, "%s [y/N] ", buttons == MB_YESNO ? "Yes or no?" : "Continue?");
  std::fflush(FOut);
  std::string line;
  bool yes = ReadLine(line, false) && !line.empty() && (line[0] == 'y' || line[0] == 'Y');
  if (buttons == MB_YESNO) return yes ? IDYES : IDNO;
  return yes ? IDOK : IDCANCEL;
}

bool TConsoleBackend::OpenDocument(const String& FileName) {
  std::string path = StringToUtf8(FileName);
  char prog[] = "xdg-open";
  char* argv[] = {prog, path.data(), nullptr};
  pid_t pid;
  // No shell: the name reaches xdg-open as one argument, whatever it holds.
  if (::posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0) return false;
  // xdg-open may stay until the program it starts ends (a browser, say).
  // Its answer is awaited for a moment only; after that a thread of its own
  // collects it, so that no finished child is left behind.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (done < 0 && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= until) break;
    ::usleep(10000);
  }
  std::thread([pid] {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

}  // namespace kwinet
