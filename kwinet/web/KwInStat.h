/// @file
/// The progress dialog of the web components: its settings record
/// (TKwInetStatusDialog) and the form model (TfrmKwInetUpdate) that the user
/// interface backend shows while a job runs.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "kwinet/core/Forms.h"

namespace kwinet {

/// A picture or icon given by the application: the bytes of an image file.
class TKwInetGraphic : public TPersistent {
 public:
  bool Empty() const { return FData.empty(); }
  const std::string& Data() const { return FData; }
  const String& FileName() const { return FFileName; }
  void SetData(const std::string& data, const String& name = String());
  /// Raises EFOpenError when the file cannot be read.
  void LoadFromFile(const String& FileName);
  void Clear();
  /// Copies another graphic's content; anything else is refused.
  void Assign(TPersistent* Source) override;

 private:
  std::string FData;
  String FFileName;
};

class TKwInetStatusDialog : public TPersistent {
 public:
  TKwInetStatusDialog();
  ~TKwInetStatusDialog() override;

  /// Copies every setting of another TKwInetStatusDialog, the picture and the
  /// icon by content; any other source is refused.
  void Assign(TPersistent* Source) override;

  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value) { FEnabled = value; }
  std::int32_t HelpContext() const { return FHelpContext; }
  void SetHelpContext(std::int32_t value) { FHelpContext = value; }
  TKwInetGraphic* Picture() const { return FPicture.get(); }
  void SetPicture(TKwInetGraphic* value) { FPicture->Assign(value); }
  TKwInetGraphic* Icon() const { return FIcon.get(); }
  void SetIcon(TKwInetGraphic* value) { FIcon->Assign(value); }
  const String& Title() const { return FTitle; }
  void SetTitle(const String& value) { FTitle = value; }
  const String& Description() const { return FDescription; }
  void SetDescription(const String& value) { FDescription = value; }

 private:
  bool FEnabled = false;
  std::int32_t FHelpContext = 0;
  String FTitle;
  String FDescription;
  std::unique_ptr<TKwInetGraphic> FPicture;
  std::unique_ptr<TKwInetGraphic> FIcon;
};

class TfrmKwInetUpdate : public TCustomForm {
 public:
  explicit TfrmKwInetUpdate(TComponent* AOwner);

  /// Set by the Cancel button; read at the next progress call.
  bool IsCanceled = false;

  TPanel* pnlDescription;
  TLabel* lblCaption;
  TImage* imgBackground;
  TImage* imgDescription;
  TLabel* lblDescription;
  TImage* imgLogo;
  TLabel* lblRemote;
  TLabel* lblLocal;
  TLabel* lblRemoteFileName;
  TLabel* lblLocalFileName;
  TImage* imgStep1;
  TImage* imgStep2;
  TImage* imgStep3;
  TImage* imgStep4;
  TLabel* lblStep1;
  TLabel* lblStep2;
  TLabel* lblStep3;
  TLabel* lblStep4;
  TLabel* lblStatus;
  TProgressBar* pbStatus;
  TButton* btnCancel;
  /// The step marks: 0 a step under way, 2 to 5 steps 1 to 4 done (1 unused).
  std::array<String, 6> imgStatus;

  /// The application's own images, when it gave any.
  std::string LogoGraphic;
  std::string IconGraphic;

  /// A terminal shows the step or progress text.
  String StatusLine() const override;
};

}  // namespace kwinet
