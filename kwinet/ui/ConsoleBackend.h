/// @file
/// A backend for terminal programs. A modal form becomes a prompt on the
/// terminal: one line per edit box in tab order, named by its label; a
/// password box is read without echo. Enter on the last box is the default
/// button, end of input (Ctrl-D) the cancel button; a tree view is written
/// out, one node a line. A form shown without waiting becomes a status line
/// on standard error, with a bar for its progress bar, redrawn in place on a
/// terminal.
#pragma once

#include <chrono>
#include <cstdio>

#include "kwinet/core/Application.h"

namespace kwinet {

/// A backend for a terminal: forms become prompts and status lines, message
/// boxes a line and, where an answer is needed, a question.
class TConsoleBackend : public TUIBackend {
 public:
  /// Input is read from `in` (a terminal for hidden passwords) and every
  /// prompt and status line goes to `out`.
  explicit TConsoleBackend(int inFd = 0, std::FILE* out = stderr);

  TModalResult ShowModal(TCustomForm& Form) override;
  void ShowForm(TCustomForm& Form) override;
  void FormChanged(TCustomForm& Form) override;
  void HideForm(TCustomForm& Form) override;
  int MessageBox(const String& Text, const String& Caption, int Flags) override;
  /// Starts xdg-open without a shell and waits for its answer a moment only:
  /// true when it is still running then, or ended well.
  bool OpenDocument(const String& FileName) override;

 private:
  bool ReadLine(std::string& line, bool hidden);
  void Draw(TCustomForm& Form, bool force);

  int FIn;
  std::FILE* FOut;
  bool FOutIsTty;
  String FLastLine;
  std::chrono::steady_clock::time_point FLastDraw{};
  bool FLineOpen = false;
  // A form whose last change is not drawn yet.
  const TCustomForm* FPending = nullptr;
};

}  // namespace kwinet
