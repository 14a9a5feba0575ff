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
  /// Whether there are no bytes.
  bool Empty() const { return FData.empty(); }
  /// The bytes of the image file.
  const std::string& Data() const { return FData; }
  /// The name the bytes came with (empty when none).
  const String& FileName() const { return FFileName; }
  /// Takes the bytes of an image file and, optionally, its name.
  void SetData(const std::string& data, const String& name = String());
  /// Raises EFOpenError when the file cannot be read.
  void LoadFromFile(const String& FileName);
  /// Drops the bytes and the name.
  void Clear();
  /// Copies another graphic's content; anything else is refused.
  void Assign(TPersistent* Source) override;

 private:
  std::string FData;
  String FFileName;
};

/// The settings of the progress dialog a web component shows while its job
/// runs.
class TKwInetStatusDialog : public TPersistent {
 public:
  TKwInetStatusDialog();
  ~TKwInetStatusDialog() override;

  /// Copies every setting of another TKwInetStatusDialog, the picture and the
  /// icon by content; any other source is refused.
  void Assign(TPersistent* Source) override;

  ///@{
  /// Whether the dialog shows at all (false at first).
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value) { FEnabled = value; }
  ///@}
  ///@{
  /// A help topic number, kept and copied with the settings (0 at first).
  std::int32_t HelpContext() const { return FHelpContext; }
  void SetHelpContext(std::int32_t value) { FHelpContext = value; }
  ///@}
  ///@{
  /// The logo shown in the dialog (none at first); SetPicture copies it.
  TKwInetGraphic* Picture() const { return FPicture.get(); }
  void SetPicture(TKwInetGraphic* value) { FPicture->Assign(value); }
  ///@}
  ///@{
  /// The dialog's icon (none at first); SetIcon copies it.
  TKwInetGraphic* Icon() const { return FIcon.get(); }
  void SetIcon(TKwInetGraphic* value) { FIcon->Assign(value); }
  ///@}
  ///@{
  /// The dialog's heading; empty: the application's title.
  const String& Title() const { return FTitle; }
  void SetTitle(const String& value) { FTitle = value; }
  ///@}
  ///@{
  /// A line of text under the heading.
  const String& Description() const { return FDescription; }
  void SetDescription(const String& value) { FDescription = value; }
  ///@}

 private:
  bool FEnabled = false;
  std::int32_t FHelpContext = 0;
  String FTitle;
  String FDescription;
  std::unique_ptr<TKwInetGraphic> FPicture;
  std::unique_ptr<TKwInetGraphic> FIcon;
};

/// The progress dialog's form: four steps, the file names, a bar and a Cancel
/// button.
class TfrmKwInetUpdate : public TCustomForm {
 public:
  /// Creates the form and all its controls.
  explicit TfrmKwInetUpdate(TComponent* AOwner);

  /// Set by the Cancel button; read at the next progress call.
  bool IsCanceled = false;

  ///@{
  /// The dialog's controls, made by the constructor and owned by the form.
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
  ///@}
  /// The step marks: 0 a step under way, 2 to 5 steps 1 to 4 done (1 unused).
  std::array<String, 6> imgStatus;

  /// A terminal shows the step or progress text.
  String StatusLine() const override;
};

}  // namespace kwinet
