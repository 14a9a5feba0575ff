#include "kwinet/web/ProgressPresenter.h"

#include <algorithm>

#include "kwinet/core/Application.h"
#include "kwinet/core/Jobs.h"
#include "kwinet/graphics/PictureLoader.h"
#include "kwinet/utils/KwInCnst.h"
#include "kwinet/web/kwiupdate.h"

namespace kwinet {

namespace {

// The controls set for one new state of the dialog make one redraw.
class TOneChange {
 public:
  explicit TOneChange(TCustomForm& form) : FForm(form) { FForm.BeginUpdate(); }
  ~TOneChange() { FForm.EndUpdate(); }
  TOneChange(const TOneChange&) = delete;
  TOneChange& operator=(const TOneChange&) = delete;

 private:
  TCustomForm& FForm;
};

// The application's picture or icon, decoded into Target; one that is not a
// picture of ours leaves Target as it was (the dialog's own then shows).
void ShowGraphic(const TKwInetGraphic& Source, TPicture& Target) {
  if (Source.Empty()) return;
  try {
    LoadPictureFromBytes(Target, Source.Data(), Source.FileName());
  } catch (const Exception&) {
  }
}

}  // namespace

TKwProgressPresenter::TKwProgressPresenter(std::unique_ptr<TfrmKwInetUpdate>& Form, const TKwInetStatusDialog& Settings)
    : FForm(Form), FSettings(Settings) {}

bool TKwProgressPresenter::Active() const {
  return FForm && FSettings.Enabled();
}

void TKwProgressPresenter::Show(const std::optional<TKwProgressFiles>& Files) {
  if (!FSettings.Enabled()) return;
  JobSynchronize([&] { ShowNow(Files); });
}

void TKwProgressPresenter::ShowNow(const std::optional<TKwProgressFiles>& Files) {
  if (!FForm) FForm = std::make_unique<TfrmKwInetUpdate>(nullptr);
  TfrmKwInetUpdate& d = *FForm;
  TOneChange change(d);
  if (Files) {
    d.lblRemoteFileName->SetVisible(true);
    d.lblRemoteFileName->SetCaption(Files->Remote);
    d.lblLocalFileName->SetVisible(true);
    d.lblLocalFileName->SetCaption(Files->Local);
  } else {
    d.lblRemoteFileName->SetVisible(false);
    d.lblLocalFileName->SetVisible(false);
  }
  d.lblCaption->SetCaption(FSettings.Title().empty() ? Application->Title() : FSettings.Title());
  if (!FSettings.Description().empty()) d.lblDescription->SetCaption(FSettings.Description());
  ShowGraphic(*FSettings.Icon(), *d.Icon());
  ShowGraphic(*FSettings.Picture(), *d.imgLogo->Graphic());
  d.IsCanceled = false;
  d.Show();
}

void TKwProgressPresenter::Step(TKwIAction Action) {
  if (!Active()) return;
  JobSynchronize([&] { StepNow(Action); });
  // (Nothing on a job's thread: the backend's own thread handles them.)
  Application->ProcessMessages();
}

void TKwProgressPresenter::StepNow(TKwIAction Action) {
  struct TStep {
    const String* Message;
    int Image;  // 1 to 4, 0 for none
    int Index;
  };
  static const TStep steps[] = {
      {nullptr, 0, 0},                // iaIdle
      {&strKwInConnecting, 1, 0},     // iaConnecting
      {&strKwInConnected, 1, 2},      // iaConnected
      {&strKwInDisconnecting, 4, 0},  // iaDisconnecting
      {&strKwInDisconnected, 4, 5},   // iaDisconnected
      {&strKwInFileSearch, 2, 0},     // iaFileSearch
      {&strKwInFileFound, 2, 0},      // iaFileFound
      {&strKwInFileComparing, 2, 0},  // iaComparing
      {&strKwInFileCompared, 2, 3},   // iaCompared
      {&strKwInDownloading, 3, 0},    // iaDownloading
      {&strKwInDownloaded, 3, 4},     // iaDownloaded
  };
  const TStep& step = steps[Action];
  if (step.Message) {
    TfrmKwInetUpdate& d = *FForm;
    TOneChange change(d);
    TImage* images[] = {nullptr, d.imgStep1, d.imgStep2, d.imgStep3, d.imgStep4};
    d.lblStatus->SetCaption(*step.Message);
    images[step.Image]->SetPicture(String());
    images[step.Image]->SetPicture(d.imgStatus[step.Index]);
  }
}

std::optional<bool> TKwProgressPresenter::Update(std::uint64_t CurValue, std::uint64_t MaxValue) {
  const std::optional<bool> canceled = Apply(CurValue, MaxValue);
  if (canceled) Application->ProcessMessages();
  return canceled;
}

std::optional<bool> TKwProgressPresenter::Apply(std::uint64_t CurValue, std::uint64_t MaxValue) {
  if (!Active()) return std::nullopt;
  // The bar holds signed values: totals past 2 GiB are scaled down.
  std::int32_t scaledCur = 0, scaledMax = 0;
  KwIScaleProgress(CurValue, MaxValue, scaledCur, scaledMax);
  TfrmKwInetUpdate& d = *FForm;
  // Cancel as it stood before this turn of the message loop: a press during
  // it counts at the next call.
  const bool canceled = d.IsCanceled;
  {
    TOneChange change(d);
    d.pbStatus->SetMax(scaledMax);
    d.pbStatus->SetPosition(scaledCur);
    // The text counts the bytes as they are; an unknown total (0) shows 0 %.
    const std::uint64_t percent = MaxValue == 0                  ? 0
                                  : CurValue <= UINT64_MAX / 100 ? CurValue * 100 / MaxValue
                                                                 : CurValue / std::max<std::uint64_t>(MaxValue / 100, 1);
    d.lblStatus->SetCaption(Format(strKwInProgress, {CurValue, MaxValue, percent}));
  }
  return canceled;
}

void TKwProgressPresenter::Close() {
  if (!FForm) return;
  if (!InJob()) {
    FForm->Hide();
    FForm.reset();
    return;
  }
  // The backend may hold the shown form: it is hidden and freed on the
  // backend's thread, after the events posted before it, and also when the
  // job is cancelled (which drops the job's own events).
  std::shared_ptr<TfrmKwInetUpdate> form(FForm.release());
  Application->Post([form] { form->Hide(); });
}

}  // namespace kwinet
