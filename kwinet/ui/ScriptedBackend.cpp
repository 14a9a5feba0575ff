#include "kwinet/ui/ScriptedBackend.h"

#include <thread>

namespace kwinet {

String TFormSnapshot::Text(const String& controlName) const {
  for (const auto& [name, text] : Controls)
    if (SameText(name, controlName)) return text;
  return String();
}

TFormSnapshot TScriptedBackend::Snapshot(const TCustomForm& Form) {
  TFormSnapshot s;
  s.FormClass = Form.ClassName();
  s.Caption = Form.Caption();
  for (TControl* c : Form.Controls()) s.Controls.emplace_back(c->Name(), c->DisplayText());
  return s;
}

TModalResult TScriptedBackend::ShowModal(TCustomForm& Form) {
  ModalForms.push_back(Snapshot(Form));
  if (FModal.empty()) return mrCancel;
  TModalHandler handler = std::move(FModal.front());
  FModal.pop_front();
  return handler(Form);
}

void TScriptedBackend::ShowForm(TCustomForm& Form) { Shown.push_back(Snapshot(Form)); }

void TScriptedBackend::FormChanged(TCustomForm& Form) {
  Shown.push_back(Snapshot(Form));
  if (OnFormChanged) OnFormChanged(Form);
}

void TScriptedBackend::HideForm(TCustomForm&) { ++HiddenCount; }

int TScriptedBackend::MessageBox(const String& Text, const String& Caption, int Flags) {
  Messages.push_back({Text, Caption, Flags});
  if (FAnswers.empty()) return IDOK;
  int a = FAnswers.front();
  FAnswers.pop_front();
  return a;
}

void TScriptedBackend::ProcessMessages() {
  ++ProcessMessagesCount;
  if (OnProcessMessages) OnProcessMessages();
}

void TScriptedBackend::Idle(std::chrono::milliseconds Timeout) {
  WaitPosted(Timeout);
}

bool TScriptedBackend::OpenDocument(const String& FileName) {
  OpenedDocuments.push_back(FileName);
  return true;
}

}  // namespace kwinet
