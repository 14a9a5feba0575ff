#include "kwinet/web/kwiimage.h"

#include <unistd.h>

#include <algorithm>

#include "kwinet/core/Jobs.h"
#include "kwinet/core/Streams.h"
#include "kwinet/graphics/PictureLoader.h"
#include "kwinet/utils/PrivateTemp.h"
#include "kwinet/web/TempCopy.h"

namespace kwinet {

TKwRemoteImage::TKwRemoteImage(TComponent* AOwner) : TKwCustomWebUpdater(AOwner), FTimer(new TTimer(this)) {
  FTimer->SetEnabled(false);
  SetMaxResponseSize(ContentMaxResponseSize);
}

TKwRemoteImage::~TKwRemoteImage() {
  EndJob();  // the job uses what goes below
  delete FTimer;
  FTimer = nullptr;
  DeleteLocalFile();
  SetImage(nullptr);
}

void TKwRemoteImage::DeleteLocalFile() {
  RemoveTempCopy(FLocalFileName);
}

void TKwRemoteImage::SetRemoteFileName(const String& Value) {
  TKwCustomWebUpdater::SetRemoteFileName(Value);
  // Should no private folder be had, no old name remains.
  RenewTempCopy(FLocalFileName, Value);
}

void TKwRemoteImage::SetImage(TImage* value) {
  if (value == FImage) return;
  if (FImage) FImage->RemoveFreeNotification(this);
  FImage = value;
  if (FImage) FImage->FreeNotification(this);
}

void TKwRemoteImage::Notification(TComponent* AComponent, TOperation Operation) {
  TKwCustomWebUpdater::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  if (AComponent == FImage) FImage = nullptr;
  if (AComponent == FTimer) FTimer = nullptr;
}

void TKwRemoteImage::SetActive(bool value) {
  if (value == FActive) return;
  FActive = value;
  if (!FTimer) return;
  if (value)
    FTimer->OnTimer = [this](TObject* Sender) { TimerHandler(Sender); };
  else
    FTimer->OnTimer = nullptr;
  // While a job runs the timer stays off; the job's end starts it.
  FTimer->SetEnabled(value && FRunning == 0);
}

void TKwRemoteImage::SetInterval(std::int32_t value) {
  if (FTimer) FTimer->SetInterval(static_cast<unsigned>(std::max<std::int32_t>(value, 0)));
}

void TKwRemoteImage::TimerHandler(TObject*) {
  // Not while a job of the picture runs (ExecuteAsync): it refreshes it.
  const TJobHandle& job = Job();
  if (FRunning == 0 && (!job || job->Finished())) Execute();
}

bool TKwRemoteImage::Execute() {
  ++FRunning;
  if (FTimer) FTimer->SetEnabled(false);
  // However the job ends, the timer starts counting again from here.
  struct TEnd {
    TKwRemoteImage* Self;
    ~TEnd() {
      if (--Self->FRunning == 0 && Self->FTimer) Self->FTimer->SetEnabled(Self->FActive);
    }
  } end{this};
  bool result = TKwCustomWebUpdater::Execute();
  if (FImage && !FLocalFileName.empty() && FileExists(FLocalFileName)) {
    try {
      // The message names the remote file: the local copy is ours alone.
      // Decoded here (a job's thread, maybe); the control, which a shown
      // form may hold, takes it where its events run.
      TFileStream file(FLocalFileName, fmOpenRead | fmShareDenyWrite);
      TPicture picture;
      LoadPictureFromStream(picture, file, FRemoteFileName);
      JobSynchronize([&] {
        if (FImage) FImage->Graphic()->Assign(&picture);
      });
    } catch (const Exception& e) {
      SetErrorText(e.Message());
      SetStatus(isFailed);
      result = false;
    }
  }
  return result;
}

}  // namespace kwinet
