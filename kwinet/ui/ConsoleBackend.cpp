#include "kwinet/ui/ConsoleBackend.h"

#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "kwinet/core/Forms.h"

extern char** environ;

namespace kwinet {

namespace {

// A caption without its accelerator marks ("&OK" -> "OK").
String StripAmpersands(const String& s) {
  String out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'&' && i + 1 < s.size()) ++i;
    out.push_back(s[i]);
  }
  return out;
}

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

}  // namespace

TConsoleBackend::TConsoleBackend(int inFd, std::FILE* out)
    : FIn(inFd), FOut(out), FOutIsTty(::isatty(::fileno(out)) != 0) {}

bool TConsoleBackend::ReadLine(std::string& line, bool hidden) {
  line.clear();
  struct termios saved{};
  const bool tty = ::isatty(FIn) != 0;
  bool restore = false;
  if (hidden && tty && ::tcgetattr(FIn, &saved) == 0) {
    struct termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    restore = ::tcsetattr(FIn, TCSAFLUSH, &quiet) == 0;
  }
  bool got = false;
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
  if (restore) ::tcsetattr(FIn, TCSAFLUSH, &saved);
  return got;
}

TModalResult TConsoleBackend::ShowModal(TCustomForm& Form) {
  if (FLineOpen) {
    std::fputc('\n', FOut);
    FLineOpen = false;
  }
  std::fprintf(FOut, "%s\n", StringToUtf8(Form.Caption()).c_str());
  for (TControl* c : Form.TabOrderList()) {
    auto* edit = dynamic_cast<TEdit*>(c);
    if (!edit || !edit->Visible() || !edit->Enabled()) continue;
    TLabel* label = LabelFor(Form, edit);
    String prompt = label ? StripAmpersands(label->Caption()) : edit->Name();
    while (!prompt.empty() && prompt.back() == u':') prompt.pop_back();
    std::string current = StringToUtf8(edit->DisplayText());
    if (!current.empty()) std::fprintf(FOut, "%s [%s]: ", StringToUtf8(prompt).c_str(), current.c_str());
    else std::fprintf(FOut, "%s: ", StringToUtf8(prompt).c_str());
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
  // A terminal is redrawn at most ten times a second: a fast transfer
  // changes its form far more often than that, so look before building.
  if (FOutIsTty && !force && now - FLastDraw < std::chrono::milliseconds(100)) return;
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
    std::fprintf(FOut, "\r\x1b[2K%s", StringToUtf8(line).c_str());
    FLineOpen = true;
  } else {
    // Not a terminal: a new line only when the text besides the bar changes.
    if (Form.StatusLine() == FLastLine) return;
    std::fprintf(FOut, "%s\n", StringToUtf8(line).c_str());
    line = Form.StatusLine();
  }
  std::fflush(FOut);
  FLastLine = line;
  FLastDraw = now;
}

void TConsoleBackend::ShowForm(TCustomForm& Form) {
  if (FOutIsTty && !Form.Caption().empty()) std::fprintf(FOut, "%s\n", StringToUtf8(Form.Caption()).c_str());
  FLastLine.clear();
  Draw(Form, true);
}

void TConsoleBackend::FormChanged(TCustomForm& Form) { Draw(Form, false); }

void TConsoleBackend::HideForm(TCustomForm& Form) {
  if (FOutIsTty) {
    Draw(Form, true);
    std::fputc('\n', FOut);
    FLineOpen = false;
  }
  std::fflush(FOut);
  FLastLine.clear();
}

int TConsoleBackend::MessageBox(const String& Text, const String& Caption, int Flags) {
  if (FLineOpen) {
    std::fputc('\n', FOut);
    FLineOpen = false;
  }
  std::fprintf(FOut, "%s: %s\n", StringToUtf8(Caption).c_str(), StringToUtf8(Text).c_str());
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
  if (::posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0) return false;
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace kwinet
