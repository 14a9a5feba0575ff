/// @file
/// Form models: the state of a dialog and its controls (captions, texts,
/// positions, tab order, progress), without any drawing. The active user
/// interface backend (see Application.h) shows them.
#pragma once

#include <memory>
#include <vector>

#include "kwinet/core/Classes.h"
#include "kwinet/core/Picture.h"

namespace kwinet {

using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;
constexpr TModalResult mrAbort = 3;
constexpr TModalResult mrRetry = 4;
constexpr TModalResult mrIgnore = 5;
constexpr TModalResult mrYes = 6;
constexpr TModalResult mrNo = 7;

enum TAlignment : std::uint8_t { taLeftJustify, taRightJustify, taCenter };
enum TFormBorderStyle : std::uint8_t { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TPosition : std::uint8_t { poDesigned, poDefault, poScreenCenter, poMainFormCenter, poOwnerFormCenter };
enum TBevelShape : std::uint8_t { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };

class TCustomForm;

/// A caption without its accelerator marks ("&OK" -> "OK", "&&" -> "&"), as a
/// backend shows it where no key selects the control.
String StripAccelerators(const String& Caption);

/// A control on a form. Created with the form as owner, it takes its place in
/// the form's controls, in creation order.
class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  TCustomForm* Form() const { return FForm; }
  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  bool Visible() const { return FVisible; }
  void SetVisible(bool value);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value);
  int TabOrder() const { return FTabOrder; }  ///< -1: takes no focus
  void SetTabOrder(int value) { FTabOrder = value; }

  /// The text a backend shows for this control (empty for none).
  virtual String DisplayText() const { return String(); }

 protected:
  /// Tells the form that what it shows has changed.
  void Changed();

 private:
  friend class TCustomForm;
  TCustomForm* FForm = nullptr;
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  bool FVisible = true;
  bool FEnabled = true;
  int FTabOrder = -1;
};

class TLabel : public TControl {
 public:
  using TControl::TControl;
  const String& Caption() const { return FCaption; }
  void SetCaption(const String& value);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment value) { FAlignment = value; }
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool value) { FAutoSize = value; }
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool value) { FTransparent = value; }
  /// The control that this label names (a text-mode backend prompts with it).
  TControl* FocusControl() const { return FFocusControl; }
  void SetFocusControl(TControl* value) { FFocusControl = value; }
  String DisplayText() const override { return FCaption; }

 private:
  String FCaption;
  TAlignment FAlignment = taLeftJustify;
  bool FAutoSize = true;
  bool FTransparent = false;
  TControl* FFocusControl = nullptr;
};

class TEdit : public TControl {
 public:
  using TControl::TControl;
  const String& Text() const { return FText; }
  void SetText(const String& value);
  /// A masking character: when not 0, every character shows as this one.
  Char PasswordChar() const { return FPasswordChar; }
  void SetPasswordChar(Char value) { FPasswordChar = value; }
  /// The text as shown on screen: masked when PasswordChar is set.
  String DisplayText() const override;

 private:
  String FText;
  Char FPasswordChar = 0;
};

class TButton : public TControl {
 public:
  using TControl::TControl;
  const String& Caption() const { return FCaption; }
  void SetCaption(const String& value);
  bool Default() const { return FDefault; }
  void SetDefault(bool value) { FDefault = value; }
  bool Cancel() const { return FCancel; }
  void SetCancel(bool value) { FCancel = value; }
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult value) { FModalResult = value; }
  /// Fires OnClick, then gives the form this button's modal result.
  void Click();
  String DisplayText() const override { return FCaption; }
  TNotifyEvent OnClick;

 private:
  String FCaption;
  bool FDefault = false;
  bool FCancel = false;
  TModalResult FModalResult = mrNone;
};

class TBevel : public TControl {
 public:
  using TControl::TControl;
  TBevelShape Shape() const { return FShape; }
  void SetShape(TBevelShape value) { FShape = value; }

 private:
  TBevelShape FShape = bsBox;
};

/// An image. What it shows is either an embedded resource named by file name
/// (Picture(), as the dialogs use it) or a decoded picture (Graphic(), which
/// a program or a remote image fills); the form is told when either changes.
class TImage : public TControl {
 public:
  explicit TImage(TComponent* AOwner);
  ~TImage() override;

  const String& Picture() const { return FPicture; }
  void SetPicture(const String& resourceName);
  TPicture* Graphic() const { return FGraphic.get(); }
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool value) { FAutoSize = value; }
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool value) { FTransparent = value; }

 private:
  void GraphicChanged(TObject* Sender);

  String FPicture;
  std::unique_ptr<TPicture> FGraphic;
  bool FAutoSize = false;
  bool FTransparent = false;
};

class TProgressBar : public TControl {
 public:
  using TControl::TControl;
  int Min() const { return FMin; }
  int Max() const { return FMax; }
  int Position() const { return FPosition; }
  void SetMin(int value);
  void SetMax(int value);
  void SetPosition(int value);

 private:
  int FMin = 0, FMax = 100, FPosition = 0;
};

class TPanel : public TControl {
 public:
  using TControl::TControl;
  const String& Caption() const { return FCaption; }
  void SetCaption(const String& value);
  String DisplayText() const override { return FCaption; }

 private:
  String FCaption;
};

class TCustomForm : public TComponent {
 public:
  explicit TCustomForm(TComponent* AOwner);
  ~TCustomForm() override;

  const String& Caption() const { return FCaption; }
  void SetCaption(const String& value);
  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  void SetLeft(int value) { FLeft = value; }
  void SetTop(int value) { FTop = value; }
  int ClientWidth() const { return FClientWidth; }
  int ClientHeight() const { return FClientHeight; }
  void SetClientWidth(int value) { FClientWidth = value; }
  void SetClientHeight(int value) { FClientHeight = value; }
  TFormBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle value) { FBorderStyle = value; }
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition value) { FPosition = value; }
  int FontHeight() const { return FFontHeight; }
  void SetFontHeight(int value) { FFontHeight = value; }

  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult value) { FModalResult = value; }
  bool Visible() const { return FVisible; }

  /// Shows the form through the backend and waits for its answer. Raises
  /// EInvalidOperation, leaving the form as it was, when it is shown already.
  TModalResult ShowModal();
  /// Shows the form without waiting; Hide takes it away.
  void Show();
  void Hide();

  const std::vector<TControl*>& Controls() const { return FControls; }
  TControl* FindControl(const String& name) const;
  template <typename T>
  T* FindControl(const String& name) const {
    return dynamic_cast<T*>(FindControl(name));
  }
  /// Controls that take focus, in tab order.
  std::vector<TControl*> TabOrderList() const;
  TButton* DefaultButton() const;
  TButton* CancelButton() const;

  /// The one-line summary a text-mode backend shows for this form while it
  /// is displayed without waiting. The base joins its visible labels.
  virtual String StatusLine() const;

  /// Called by controls: what the form shows has changed.
  void Changed();

 private:
  friend class TControl;
  String FCaption;
  int FLeft = 0, FTop = 0, FClientWidth = 0, FClientHeight = 0;
  TFormBorderStyle FBorderStyle = bsSizeable;
  TPosition FPosition = poDesigned;
  int FFontHeight = 11;  // pixels
  TModalResult FModalResult = mrNone;
  bool FVisible = false;
  std::vector<TControl*> FControls;
};

}  // namespace kwinet
