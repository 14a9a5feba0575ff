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

/// The answer a modal form closes with: mrNone while it is open, else one of
/// the mr values or a number of the program's own.
using TModalResult = int;
/// No answer yet: the form stays open.
constexpr TModalResult mrNone = 0;
/// OK.
constexpr TModalResult mrOk = 1;
/// Cancel.
constexpr TModalResult mrCancel = 2;
/// Abort.
constexpr TModalResult mrAbort = 3;
/// Retry.
constexpr TModalResult mrRetry = 4;
/// Ignore.
constexpr TModalResult mrIgnore = 5;
/// Yes.
constexpr TModalResult mrYes = 6;
/// No.
constexpr TModalResult mrNo = 7;

/// How a label places its text: left, right or centred.
enum TAlignment : std::uint8_t { taLeftJustify, taRightJustify, taCenter };
/// @var taLeftJustify
/// Against the left edge.
/// @var taRightJustify
/// Against the right edge.
/// @var taCenter
/// Centred.

/// A form's frame: none, fixed, sizeable, dialog, tool window, sizeable tool
/// window.
enum TFormBorderStyle : std::uint8_t { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
/// @var bsNone
/// No frame.
/// @var bsSingle
/// A frame that cannot be resized.
/// @var bsSizeable
/// A frame that can be resized.
/// @var bsDialog
/// A dialog's frame, not resizable.
/// @var bsToolWindow
/// A tool window's thin frame, not resizable.
/// @var bsSizeToolWin
/// A tool window's thin frame that can be resized.

/// Where a form appears: where designed, where the system puts it, centred on
/// the screen, on the main form or on its owner form.
enum TPosition : std::uint8_t { poDesigned, poDefault, poScreenCenter, poMainFormCenter, poOwnerFormCenter };
/// @var poDesigned
/// Where Left and Top say.
/// @var poDefault
/// Where the system puts it.
/// @var poScreenCenter
/// Centred on the screen.
/// @var poMainFormCenter
/// Centred on the application's main form.
/// @var poOwnerFormCenter
/// Centred on the form that owns it.

/// A bevel's shape: a box, a frame, one line on a side, or an empty spacer.
enum TBevelShape : std::uint8_t { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
/// @var bsBox
/// A raised or lowered box.
/// @var bsFrame
/// A frame around the area.
/// @var bsTopLine
/// A line along the top edge.
/// @var bsBottomLine
/// A line along the bottom edge.
/// @var bsLeftLine
/// A line along the left edge.
/// @var bsRightLine
/// A line along the right edge.
/// @var bsSpacer
/// Nothing drawn: it only takes room.

/// A panel's outer edge: none (flat), lowered, raised, or an empty space.
enum TBevelCut : std::uint8_t { bvNone, bvLowered, bvRaised, bvSpace };
/// @var bvNone
/// No edge: a flat panel.
/// @var bvLowered
/// An edge that looks pressed in.
/// @var bvRaised
/// An edge that looks raised.
/// @var bvSpace
/// An empty edge of the bevel's width.

/// A colour: 0x00RRGGBB, or one of the colours below that the backend picks
/// from the desktop's own.
using TColor = std::uint32_t;
constexpr TColor clDefault = 0xFF000000;    ///< What the control has by itself.
constexpr TColor clHighlight = 0xFF00000D;  ///< The desktop's selection colour.
constexpr TColor clBlack = 0x000000;        ///< Black.
constexpr TColor clNavy = 0x000080;         ///< Navy blue.
constexpr TColor clWhite = 0xFFFFFF;        ///< White.
/// Whether Color is one of the desktop's colours rather than 0x00RRGGBB.
constexpr bool IsSystemColor(TColor Color) {
  return (Color & 0xFF000000) != 0;
}

class TCustomForm;

/// A caption without its accelerator marks ("&OK" -> "OK", "&&" -> "&"), as a
/// backend shows it where no key selects the control.
String StripAccelerators(const String& Caption);

/// A control on a form. Created with the form as owner, it takes its place in
/// the form's controls, in creation order.
class TControl : public TComponent {
 public:
  /// Creates the control; when AOwner is a form, it joins the form's controls.
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  /// The form the control is on, or nullptr.
  TCustomForm* Form() const { return FForm; }
  ///@{
  /// Position and size in pixels; SetBounds sets all four and tells the form.
  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  ///@}
  ///@{
  /// Whether the control is shown (true at first).
  bool Visible() const { return FVisible; }
  void SetVisible(bool value);
  ///@}
  ///@{
  /// Whether the control takes input (true at first).
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value);
  ///@}
  ///@{
  int TabOrder() const { return FTabOrder; }  ///< -1: takes no focus
  void SetTabOrder(int value) { FTabOrder = value; }
  ///@}

  /// The text a backend shows for this control (empty for none).
  virtual String DisplayText() const { return String(); }

  /// Counts the changes of what this control shows: a backend redraws only
  /// the controls whose count moved since it last looked.
  std::uint64_t Revision() const { return FRevision; }

 protected:
  /// Tells the form that what it shows has changed.
  void Changed();

 private:
  friend class TCustomForm;
  TCustomForm* FForm = nullptr;
  std::uint64_t FRevision = 0;
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  bool FVisible = true;
  bool FEnabled = true;
  int FTabOrder = -1;
};

/// A line of text on a form.
class TLabel : public TControl {
 public:
  /// Creates the label, as TControl does.
  using TControl::TControl;
  ///@{
  /// The text shown; accelerator marks as in StripAccelerators.
  const String& Caption() const { return FCaption; }
  void SetCaption(const String& value);
  ///@}
  ///@{
  /// How the text is placed (left at first).
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment value);
  ///@}
  ///@{
  /// Whether the label sizes itself to its text (true at first).
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool value) { FAutoSize = value; }
  ///@}
  ///@{
  /// Whether the label has no background of its own (false at first).
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool value);
  ///@}
  ///@{
  /// Long text broken into lines at spaces, within the label's width.
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool value);
  ///@}
  ///@{
  /// The caption in bold.
  bool FontBold() const { return FFontBold; }
  void SetFontBold(bool value);
  ///@}
  ///@{
  /// The caption's colour (clDefault: the desktop's text colour).
  TColor FontColor() const { return FFontColor; }
  void SetFontColor(TColor value);
  ///@}
  ///@{
  /// The control that this label names (a text-mode backend prompts with it).
  TControl* FocusControl() const { return FFocusControl; }
  void SetFocusControl(TControl* value) { FFocusControl = value; }
  ///@}
  String DisplayText() const override { return FCaption; }

 private:
  String FCaption;
  TAlignment FAlignment = taLeftJustify;
  bool FAutoSize = true;
  bool FTransparent = false;
  bool FWordWrap = false;
  bool FFontBold = false;
  TColor FFontColor = clDefault;
  TControl* FFocusControl = nullptr;
};

/// A one-line text field.
class TEdit : public TControl {
 public:
  /// Creates the field, as TControl does.
  using TControl::TControl;
  ///@{
  /// The text in the field.
  const String& Text() const { return FText; }
  void SetText(const String& value);
  ///@}
  ///@{
  /// A masking character: when not 0, every character shows as this one.
  Char PasswordChar() const { return FPasswordChar; }
  void SetPasswordChar(Char value) { FPasswordChar = value; }
  ///@}
  /// The text as shown on screen: masked when PasswordChar is set.
  String DisplayText() const override;

 private:
  String FText;
  Char FPasswordChar = 0;
};

/// A push button.
class TButton : public TControl {
 public:
  /// Creates the button, as TControl does.
  using TControl::TControl;
  ///@{
  /// The button's text, with its accelerator marks.
  const String& Caption() const { return FCaption; }
  void SetCaption(const String& value);
  ///@}
  ///@{
  /// Whether Enter presses this button.
  bool Default() const { return FDefault; }
  void SetDefault(bool value);
  ///@}
  ///@{
  /// Whether Escape presses this button.
  bool Cancel() const { return FCancel; }
  void SetCancel(bool value) { FCancel = value; }
  ///@}
  ///@{
  /// The answer Click gives the form (mrNone: the form stays open).
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult value) { FModalResult = value; }
  ///@}
  /// Fires OnClick, then gives the form this button's modal result.
  void Click();
  String DisplayText() const override { return FCaption; }
  /// Called by Click, before the modal result is given.
  TNotifyEvent OnClick;

 private:
  String FCaption;
  bool FDefault = false;
  bool FCancel = false;
  TModalResult FModalResult = mrNone;
};

/// A frame or line that groups controls visually.
class TBevel : public TControl {
 public:
  /// Creates the bevel, as TControl does.
  using TControl::TControl;
  ///@{
  /// The bevel's shape (a box at first).
  TBevelShape Shape() const { return FShape; }
  void SetShape(TBevelShape value);
  ///@}

 private:
  TBevelShape FShape = bsBox;
};

/// An image. What it shows is either an embedded resource named by file name
/// (Picture(), as the dialogs use it) or a decoded picture (Graphic(), which
/// a program or a remote image fills); the form is told when either changes.
class TImage : public TControl {
 public:
  /// Creates the image, empty, with an empty Graphic.
  explicit TImage(TComponent* AOwner);
  ~TImage() override;

  ///@{
  /// The file name of the embedded resource shown (empty for none).
  const String& Picture() const { return FPicture; }
  void SetPicture(const String& resourceName);
  ///@}
  /// The decoded picture shown; the form is told when it changes.
  TPicture* Graphic() const { return FGraphic.get(); }
  ///@{
  /// Whether the image takes the size of a picture loaded into Graphic (false
  /// at first).
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool value) { FAutoSize = value; }
  ///@}
  ///@{
  /// Whether the picture is drawn transparent (false at first).
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool value);
  ///@}

 private:
  void GraphicChanged(TObject* Sender);

  String FPicture;
  std::unique_ptr<TPicture> FGraphic;
  bool FAutoSize = false;
  bool FTransparent = false;
};

/// A bar that shows how far a job has gone.
class TProgressBar : public TControl {
 public:
  /// Creates the bar, as TControl does.
  using TControl::TControl;
  ///@{
  /// The range (0 to 100 at first) and the position in it; the position is kept
  /// within the range.
  int Min() const { return FMin; }
  int Max() const { return FMax; }
  int Position() const { return FPosition; }
  void SetMin(int value);
  void SetMax(int value);
  void SetPosition(int value);
  ///@}

 private:
  int FMin = 0, FMax = 100, FPosition = 0;
};

/// A plain area with a caption.
class TPanel : public TControl {
 public:
  /// Creates the panel, as TControl does.
  using TControl::TControl;
  ///@{
  /// The panel's text.
  const String& Caption() const { return FCaption; }
  void SetCaption(const String& value);
  ///@}
  ///@{
  /// The fill (clDefault: the light colour of text areas).
  TColor Color() const { return FColor; }
  void SetColor(TColor value);
  ///@}
  ///@{
  /// The outer edge (bvRaised by default; bvNone for a flat panel).
  TBevelCut BevelOuter() const { return FBevelOuter; }
  void SetBevelOuter(TBevelCut value);
  ///@}
  String DisplayText() const override { return FCaption; }

 private:
  String FCaption;
  TColor FColor = clDefault;
  TBevelCut FBevelOuter = bvRaised;
};

/// A form: a window's state and its controls, shown by the user interface
/// backend.
class TCustomForm : public TComponent {
 public:
  /// Creates an empty, hidden form.
  explicit TCustomForm(TComponent* AOwner);
  ~TCustomForm() override;

  ///@{
  /// The title of the form's window.
  const String& Caption() const { return FCaption; }
  void SetCaption(const String& value);
  ///@}
  ///@{
  /// The form's position on the screen in pixels.
  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  void SetLeft(int value) { FLeft = value; }
  void SetTop(int value) { FTop = value; }
  ///@}
  ///@{
  /// The size of the form's inside in pixels.
  int ClientWidth() const { return FClientWidth; }
  int ClientHeight() const { return FClientHeight; }
  void SetClientWidth(int value) { FClientWidth = value; }
  void SetClientHeight(int value) { FClientHeight = value; }
  ///@}
  ///@{
  /// The form's frame (sizeable at first).
  TFormBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle value) { FBorderStyle = value; }
  ///@}
  ///@{
  /// Where the form appears (where designed at first).
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition value) { FPosition = value; }
  ///@}
  ///@{
  /// The height of the form's font in pixels (11 at first).
  int FontHeight() const { return FFontHeight; }
  void SetFontHeight(int value) { FFontHeight = value; }
  ///@}
  /// The window's icon; empty for the desktop's own. The form is told when
  /// it changes.
  TPicture* Icon() const { return FIcon.get(); }

  ///@{
  /// The form's answer; anything but mrNone closes a modal form.
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult value) { FModalResult = value; }
  ///@}
  /// Whether the form is shown.
  bool Visible() const { return FVisible; }

  /// Shows the form through the backend and waits for its answer. Raises
  /// EInvalidOperation, leaving the form as it was, when it is shown already.
  TModalResult ShowModal();
  /// Shows the form without waiting; Hide takes it away.
  void Show();
  /// Takes the form off the screen when it is shown.
  void Hide();

  /// The form's controls, in creation order.
  const std::vector<TControl*>& Controls() const { return FControls; }
  /// The control with this name (case-insensitive), nullptr when none.
  TControl* FindControl(const String& name) const;
  template <typename T>
  /// FindControl, typed: nullptr also when the control is not a T.
  T* FindControl(const String& name) const {
    return dynamic_cast<T*>(FindControl(name));
  }
  /// Controls that take focus, in tab order.
  std::vector<TControl*> TabOrderList() const;
  /// The first button whose Default is set, nullptr when none.
  TButton* DefaultButton() const;
  /// The first button whose Cancel is set, nullptr when none.
  TButton* CancelButton() const;

  /// The one-line summary a text-mode backend shows for this form while it
  /// is displayed without waiting. The base joins its visible labels.
  virtual String StatusLine() const;

  /// Called by controls: what the form shows has changed.
  void Changed();
  ///@{
  /// Between BeginUpdate and the matching EndUpdate the backend is told of
  /// changes once, at the end: several controls set for one new state make
  /// one redraw.
  void BeginUpdate() { ++FUpdating; }
  void EndUpdate();
  ///@}

 private:
  friend class TControl;
  std::unique_ptr<TPicture> FIcon;
  int FUpdating = 0;
  bool FChangedWhileUpdating = false;
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
