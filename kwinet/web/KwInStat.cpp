#include "kwinet/web/KwInStat.h"

#include "kwinet/core/Streams.h"
#include "kwinet/utils/KwInCnst.h"

namespace kwinet {

void TKwInetGraphic::SetData(const std::string& data, const String& name) {
  FData = data;
  FFileName = name;
}

void TKwInetGraphic::LoadFromFile(const String& FileName) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  FData = f.ReadAll();
  FFileName = FileName;
}

void TKwInetGraphic::Clear() {
  FData.clear();
  FFileName.clear();
}

void TKwInetGraphic::Assign(TPersistent* Source) {
  if (auto* g = dynamic_cast<TKwInetGraphic*>(Source)) {
    FData = g->FData;
    FFileName = g->FFileName;
    return;
  }
  if (!Source) {
    Clear();
    return;
  }
  TPersistent::Assign(Source);
}

TKwInetStatusDialog::TKwInetStatusDialog()
    : FPicture(std::make_unique<TKwInetGraphic>()), FIcon(std::make_unique<TKwInetGraphic>()) {}

TKwInetStatusDialog::~TKwInetStatusDialog() = default;

void TKwInetStatusDialog::Assign(TPersistent* Source) {
  if (auto* d = dynamic_cast<TKwInetStatusDialog*>(Source)) {
    FEnabled = d->FEnabled;
    FHelpContext = d->FHelpContext;
    FPicture->Assign(d->FPicture.get());
    FIcon->Assign(d->FIcon.get());
    FTitle = d->FTitle;
    FDescription = d->FDescription;
    return;
  }
  TPersistent::Assign(Source);
}

namespace {

template <typename T>
T* Make(TCustomForm* form, const char16_t* name, int left, int top, int width, int height) {
  auto* c = new T(form);
  c->SetName(name);
  c->SetBounds(left, top, width, height);
  return c;
}

TLabel* MakeLabel(TCustomForm* form, const char16_t* name, int left, int top, int width, int height,
                  const String& caption = String()) {
  auto* l = Make<TLabel>(form, name, left, top, width, height);
  l->SetAutoSize(false);
  l->SetCaption(caption);
  return l;
}

}  // namespace

TfrmKwInetUpdate::TfrmKwInetUpdate(TComponent* AOwner) : TCustomForm(AOwner) {
  SetName(u"frmKwInetUpdate");
  SetBorderStyle(bsSingle);
  SetClientWidth(491);
  SetClientHeight(286);
  SetPosition(poScreenCenter);
  SetFontHeight(-11);

  // The heading: a flat white band with the title in bold navy above the
  // description.
  pnlDescription = Make<TPanel>(this, u"pnlDescription", 0, 0, 491, 59);
  pnlDescription->SetColor(clWhite);
  pnlDescription->SetBevelOuter(bvNone);
  lblCaption = MakeLabel(this, u"lblCaption", 16, 5, 300, 13);
  lblCaption->SetFontBold(true);
  lblCaption->SetFontColor(clNavy);
  imgBackground = Make<TImage>(this, u"imgBackground", 353, 0, 138, 59);
  imgBackground->SetPicture(u"kwinet_update_background.png");
  imgDescription = Make<TImage>(this, u"imgDescription", 440, 6, 48, 48);
  imgDescription->SetTransparent(true);
  imgDescription->SetPicture(u"kwinet_update_description.png");
  lblDescription = MakeLabel(this, u"lblDescription", 32, 20, 360, 38);
  lblDescription->SetTransparent(true);
  lblDescription->SetFontColor(clNavy);
  lblDescription->SetWordWrap(true);
  imgLogo = Make<TImage>(this, u"imgLogo", 5, 65, 95, 206);
  imgLogo->SetPicture(u"kwinet_update_logo.png");
  lblRemote = MakeLabel(this, u"lblRemote", 105, 80, 70, 13, u"Remote file:");
  lblRemote->SetAlignment(taRightJustify);
  lblLocal = MakeLabel(this, u"lblLocal", 105, 96, 70, 13, u"Local file:");
  lblLocal->SetAlignment(taRightJustify);
  lblRemoteFileName = MakeLabel(this, u"lblRemoteFileName", 185, 80, 300, 13);
  lblRemoteFileName->SetFontColor(clHighlight);
  lblLocalFileName = MakeLabel(this, u"lblLocalFileName", 185, 96, 300, 13);
  lblLocalFileName->SetFontColor(clHighlight);
  TImage** steps[] = {&imgStep1, &imgStep2, &imgStep3, &imgStep4};
  const char16_t* stepNames[] = {u"imgStep1", u"imgStep2", u"imgStep3", u"imgStep4"};
  for (int i = 0; i < 4; ++i) {
    *steps[i] = Make<TImage>(this, stepNames[i], 179, 120 + 18 * i, 16, 16);
    (*steps[i])->SetTransparent(true);
  }
  lblStep1 = MakeLabel(this, u"lblStep1", 200, 122, 150, 13, u"Step 1: Connection/Logon");
  lblStep2 = MakeLabel(this, u"lblStep2", 200, 140, 150, 13, u"Step 2: File search");
  lblStep3 = MakeLabel(this, u"lblStep3", 200, 158, 150, 13, u"Step 3: Download");
  lblStep4 = MakeLabel(this, u"lblStep4", 200, 176, 150, 13, u"Step 4: Diconnect/Logoff");
  lblStatus = MakeLabel(this, u"lblStatus", 128, 200, 339, 13);
  pbStatus = Make<TProgressBar>(this, u"pbStatus", 130, 214, 337, 10);
  pbStatus->SetMin(0);
  pbStatus->SetMax(100);
  btnCancel = Make<TButton>(this, u"btnCancel", 408, 256, 75, 25);
  btnCancel->SetCaption(u"&Cancel");
  btnCancel->SetCancel(true);
  btnCancel->SetTabOrder(0);
  btnCancel->OnClick = [this](TObject*) { IsCanceled = true; };
  imgStatus = {u"kwinet_step_busy.png",  String(),
               u"kwinet_step1_done.png", u"kwinet_step2_done.png",
               u"kwinet_step3_done.png", u"kwinet_step4_done.png"};
  // The creation handler's caption.
  SetCaption(strKwInSoftwareUpdate);
}

String TfrmKwInetUpdate::StatusLine() const {
  return lblStatus->Caption();
}

}  // namespace kwinet
