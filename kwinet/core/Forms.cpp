#include "kwinet/core/Forms.h"

#include <algorithm>

#include "kwinet/core/Application.h"
#include "kwinet/core/Exceptions.h"

namespace kwinet {

String StripAccelerators(const String& Caption) {
  String out;
  for (std::size_t i = 0; i < Caption.size(); ++i) {
    if (Caption[i] == u'&' && i + 1 < Caption.size()) ++i;
    out.push_back(Caption[i]);
  }
  return out;
}

// --- TControl -------------------------------------------------------------------

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {
  if (auto* form = dynamic_cast<TCustomForm*>(AOwner)) {
    FForm = form;
    form->FControls.push_back(this);
  }
}

TControl::~TControl() {
  if (FForm) {
    auto& list = FForm->FControls;
    auto it = std::find(list.rbegin(), list.rend(), this);
    if (it != list.rend()) list.erase(std::next(it).base());
  }
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  FLeft = ALeft, FTop = ATop, FWidth = AWidth, FHeight = AHeight;
  Changed();
}

void TControl::SetVisible(bool value) {
  if (FVisible == value) return;
  FVisible = value;
  Changed();
}

void TControl::SetEnabled(bool value) {
  if (FEnabled == value) return;
  FEnabled = value;
  Changed();
}

void TControl::Changed() {
  ++FRevision;
  if (FForm) FForm->Changed();
}

void TLabel::SetCaption(const String& value) {
  if (FCaption == value) return;
  FCaption = value;
  Changed();
}

void TLabel::SetAlignment(TAlignment value) {
  if (FAlignment == value) return;
  FAlignment = value;
  Changed();
}

void TLabel::SetTransparent(bool value) {
  if (FTransparent == value) return;
  FTransparent = value;
  Changed();
}

void TLabel::SetWordWrap(bool value) {
  if (FWordWrap == value) return;
  FWordWrap = value;
  Changed();
}

void TLabel::SetFontBold(bool value) {
  if (FFontBold == value) return;
  FFontBold = value;
  Changed();
}

void TLabel::SetFontColor(TColor value) {
  if (FFontColor == value) return;
  FFontColor = value;
  Changed();
}

void TEdit::SetText(const String& value) {
  if (FText == value) return;
  FText = value;
  Changed();
}

String TEdit::DisplayText() const {
  if (FPasswordChar == 0) return FText;
  return String(FText.size(), FPasswordChar);
}

void TButton::SetCaption(const String& value) {
  if (FCaption == value) return;
  FCaption = value;
  Changed();
}

void TButton::SetDefault(bool value) {
  if (FDefault == value) return;
  FDefault = value;
  Changed();
}

void TBevel::SetShape(TBevelShape value) {
  if (FShape == value) return;
  FShape = value;
  Changed();
}

void TButton::Click() {
  if (OnClick) OnClick(this);
  if (FModalResult != mrNone && Form()) Form()->SetModalResult(FModalResult);
}

TImage::TImage(TComponent* AOwner) : TControl(AOwner), FGraphic(std::make_unique<TPicture>()) {
  FGraphic->OnChange = [this](TObject* Sender) { GraphicChanged(Sender); };
}

TImage::~TImage() = default;

void TImage::GraphicChanged(TObject*) {
  // An autosized image takes the picture's size.
  if (FAutoSize && !FGraphic->Empty()) {
    SetBounds(Left(), Top(), FGraphic->Width(), FGraphic->Height());
    return;
  }
  Changed();
}

void TImage::SetPicture(const String& resourceName) {
  FPicture = resourceName;
  Changed();
}

void TImage::SetTransparent(bool value) {
  if (FTransparent == value) return;
  FTransparent = value;
  Changed();
}

void TProgressBar::SetMin(int value) {
  if (FMin == value) return;
  FMin = value;
  if (FPosition < FMin) FPosition = FMin;
  Changed();
}

void TProgressBar::SetMax(int value) {
  if (FMax == value) return;
  FMax = value;
  if (FPosition > FMax) FPosition = FMax;
  Changed();
}

void TProgressBar::SetPosition(int value) {
  value = std::clamp(value, FMin, std::max(FMin, FMax));
  if (value == FPosition) return;
  FPosition = value;
  Changed();
}

void TPanel::SetCaption(const String& value) {
  if (FCaption == value) return;
  FCaption = value;
  Changed();
}

void TPanel::SetColor(TColor value) {
  if (FColor == value) return;
  FColor = value;
  Changed();
}

void TPanel::SetBevelOuter(TBevelCut value) {
  if (FBevelOuter == value) return;
  FBevelOuter = value;
  Changed();
}

// --- TCustomForm ----------------------------------------------------------------

TCustomForm::TCustomForm(TComponent* AOwner) : TComponent(AOwner), FIcon(std::make_unique<TPicture>()) {
  FIcon->OnChange = [this](TObject*) { Changed(); };
}

TCustomForm::~TCustomForm() {
  if (FVisible) Hide();
  // The controls go first, while the form is still whole.
  for (TControl* c : FControls) c->FForm = nullptr;
  FControls.clear();
  DestroyComponents();
}

void TCustomForm::SetCaption(const String& value) {
  if (FCaption == value) return;
  FCaption = value;
  Changed();
}

TModalResult TCustomForm::ShowModal() {
  // A form shown already (modeless, or modal further up the stack) has its
  // window in the backend: Hide it first.
  if (FVisible) throw EInvalidOperation(u"cannot make a visible form modal");
  FModalResult = mrNone;
  FVisible = true;
  TModalResult r;
  try {
    r = Application->Backend().ShowModal(*this);
  } catch (...) {
    FVisible = false;
    throw;
  }
  FVisible = false;
  if (r == mrNone) r = mrCancel;
  FModalResult = r;
  return r;
}

void TCustomForm::Show() {
  if (FVisible) return;
  FVisible = true;
  Application->Backend().ShowForm(*this);
}

void TCustomForm::Hide() {
  if (!FVisible) return;
  FVisible = false;
  Application->Backend().HideForm(*this);
}

void TCustomForm::Changed() {
  if (FUpdating > 0) {
    FChangedWhileUpdating = true;
    return;
  }
  if (FVisible) Application->Backend().FormChanged(*this);
}

void TCustomForm::EndUpdate() {
  if (FUpdating == 0 || --FUpdating > 0) return;
  if (!FChangedWhileUpdating) return;
  FChangedWhileUpdating = false;
  Changed();
}

TControl* TCustomForm::FindControl(const String& name) const {
  for (TControl* c : FControls)
    if (SameText(c->Name(), name)) return c;
  return nullptr;
}

std::vector<TControl*> TCustomForm::TabOrderList() const {
  std::vector<TControl*> list;
  for (TControl* c : FControls)
    if (c->TabOrder() >= 0) list.push_back(c);
  std::stable_sort(list.begin(), list.end(), [](TControl* a, TControl* b) { return a->TabOrder() < b->TabOrder(); });
  return list;
}

TButton* TCustomForm::DefaultButton() const {
  for (TControl* c : FControls)
    if (auto* b = dynamic_cast<TButton*>(c); b && b->Default()) return b;
  return nullptr;
}

TButton* TCustomForm::CancelButton() const {
  for (TControl* c : FControls)
    if (auto* b = dynamic_cast<TButton*>(c); b && b->Cancel()) return b;
  return nullptr;
}

String TCustomForm::StatusLine() const {
  String line;
  for (TControl* c : FControls) {
    auto* l = dynamic_cast<TLabel*>(c);
    if (!l || !l->Visible() || l->Caption().empty()) continue;
    if (!line.empty()) line += u"  ";
    line += l->Caption();
  }
  return line;
}

}  // namespace kwinet
