/// @file
/// A backend for tests: modal forms are answered by handlers queued in
/// advance, and everything shown is recorded as it appeared on screen
/// (masked password boxes stay masked).
#pragma once

#include <deque>
#include <functional>
#include <utility>
#include <vector>

#include "kwinet/core/Application.h"

namespace kwinet {

/// A form as it was shown: its class, caption and each control's name with
/// the text it displayed.
struct TFormSnapshot {
  /// The form's class name.
  String FormClass;
  /// The form's caption.
  String Caption;
  /// Each control's name and displayed text, in the form's order.
  std::vector<std::pair<String, String>> Controls;
  /// The displayed text of the named control, empty when there is none.
  String Text(const String& controlName) const;
};

/// A message box as it was asked for.
struct TMessageRecord {
  /// The message.
  String Text;
  /// The caption.
  String Caption;
  /// The MB_ flags.
  int Flags = 0;
};

/// A backend that shows nothing: it answers forms and message boxes from queues
/// and records what it was asked to show, for tests.
class TScriptedBackend : public TUIBackend {
 public:
  /// Answers a modal form, and may fill its controls first.
  using TModalHandler = std::function<TModalResult(TCustomForm&)>;

  /// Answers the next modal form; without a queued handler a form gets Cancel.
  void QueueModal(TModalHandler handler) { FModal.push_back(std::move(handler)); }
  /// Answers the next message box; without one it gets IDOK.
  void QueueMessageAnswer(int answer) { FAnswers.push_back(answer); }
  /// How many queued modal handlers are still unused.
  int PendingModalHandlers() const { return static_cast<int>(FModal.size()); }

  ///@{
  /// Snapshots of modal forms as they were first shown, of non-modal forms as
  /// they were shown and at every change, and the message boxes.
  std::vector<TFormSnapshot> ModalForms;
  std::vector<TFormSnapshot> Shown;
  std::vector<TMessageRecord> Messages;
  ///@}
  /// How many times a form was hidden.
  int HiddenCount = 0;
  /// How many times ProcessMessages was called.
  int ProcessMessagesCount = 0;

  /// Called at every ProcessMessages: a test can click a shown form's button.
  std::function<void()> OnProcessMessages;
  /// Called at every change of a shown form.
  std::function<void(TCustomForm&)> OnFormChanged;

  TModalResult ShowModal(TCustomForm& Form) override;
  void ShowForm(TCustomForm& Form) override;
  void FormChanged(TCustomForm& Form) override;
  void HideForm(TCustomForm& Form) override;
  int MessageBox(const String& Text, const String& Caption, int Flags) override;
  void ProcessMessages() override;
  void Idle(std::chrono::milliseconds Timeout) override;
  bool OpenDocument(const String& FileName) override;

  /// The documents OpenDocument was asked to open.
  std::vector<String> OpenedDocuments;

  /// The snapshot of a form as it is now.
  static TFormSnapshot Snapshot(const TCustomForm& Form);

 private:
  std::deque<TModalHandler> FModal;
  std::deque<int> FAnswers;
};

/// Installs a backend for the life of a scope and puts the previous one back.
template <typename Backend>
class TBackendScope {
 public:
  TBackendScope() {
    auto b = std::make_unique<Backend>();
    FBackend = b.get();
    FPrevious = Application->SetBackend(std::move(b));
  }
  ~TBackendScope() { Application->SetBackend(std::move(FPrevious)); }
  /// The backend installed.
  Backend& operator*() const { return *FBackend; }
  /// The backend installed.
  Backend* operator->() const { return FBackend; }

 private:
  Backend* FBackend;
  std::unique_ptr<TUIBackend> FPrevious;
};

}  // namespace kwinet
