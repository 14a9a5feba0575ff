/// @file
/// TKwWebDirect: keeps the application's news file up to date from a server
/// and shows it as a tree (categories, then their links), marking the items
/// that the previous copy did not have. A click opens a web or mail link.
#pragma once

#include <cstdint>

#include "kwinet/core/ComCtrls.h"
#include "kwinet/web/kwiupdate.h"

namespace kwinet {

/// When Execute shows the dialog: always, never, or only when the news file
/// changed.
enum TKwIShowMode : std::uint8_t { omAlways, omNever, omIfChanged };
/// @var omAlways
/// After every Execute.
/// @var omNever
/// Never: the application calls Show or ShowModal.
/// @var omIfChanged
/// When Execute brought a new copy of the news file.

/// The message shown for a link that is not opened; %s is the link. Texts an
/// application may replace.
extern String strKwInLinkRefused;

/// The tree view of the dialog: the item under the mouse is highlighted.
class TKwITreeView : public TTreeView {
 public:
  /// Creates the tree view with HotTrack set.
  explicit TKwITreeView(TComponent* AOwner) : TTreeView(AOwner) { SetHotTrack(true); }
};

/// The link of one item, kept with its node.
class TKwINodeData : public TObject {
 public:
  /// The link.
  String Url;
};

class TKwWebDirect;

/// The dialog's form: on its own, or filling ParentControl. It frees itself
/// when closed; as it goes it frees its node data and the image list.
class TfrmKwWebDirect : public TCustomForm {
 public:
  /// Creates the form for AOwner, embedded in AParent when not null.
  TfrmKwWebDirect(TKwWebDirect* AOwner, TControl* AParent);
  ~TfrmKwWebDirect() override;

  /// The control it is embedded in, or null for a window of its own.
  TControl* Parent() const { return FParent; }
  ///@{
  /// Where the form sits in its parent (alClient when embedded).
  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign value) { FAlign = value; }
  ///@}
  ///@{
  /// Whether the form fills its parent (set when embedded).
  bool Maximized() const { return FMaximized; }
  void SetMaximized(bool value) { FMaximized = value; }
  ///@}
  ///@{
  /// Whether the window has its title-bar buttons (not when embedded).
  bool BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(bool value) { FBorderIcons = value; }
  ///@}
  ///@{
  /// Whether hints show (in a window of its own).
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool value) { FShowHint = value; }
  ///@}
  /// What the close box does: the form goes away and is freed. Nothing of it
  /// may be used afterwards.
  void Close();

 private:
  TKwWebDirect* FDirect;
  TControl* FParent;
  TAlign FAlign = alNone;
  bool FMaximized = false;
  bool FBorderIcons = true;
  bool FShowHint = false;
};

/// Keeps the application's news file current and shows it as a tree of links.
class TKwWebDirect : public TKwCustomWebUpdater {
 public:
  /// The news file is "<data folder>/<executable>/<executable>.sin", where the
  /// data folder is $XDG_DATA_HOME or, when that is not an absolute path,
  /// ~/.local/share; the previous copy is beside it with ".~sin".
  explicit TKwWebDirect(TComponent* AOwner);
  ~TKwWebDirect() override;

  /// Keeps the previous copy, runs the updater's job and shows the dialog
  /// modally as ShowMode says. The result is the updater's.
  bool Execute() override;
  ///@{
  /// Builds the dialog from the news file and shows it without waiting, or
  /// waits until it is closed. A dialog still open is closed first. An
  /// embedded dialog is never modal.
  void Show();
  void ShowModal();
  ///@}

  ///@{
  /// When Execute shows the dialog (omAlways at first).
  TKwIShowMode ShowMode() const { return FShowMode; }
  void SetShowMode(TKwIShowMode value) { FShowMode = value; }
  ///@}
  ///@{
  /// The caption of the dialog's window.
  const String& Title() const { return FTitle; }
  void SetTitle(const String& value) { FTitle = value; }
  ///@}
  ///@{
  /// The control the dialog is embedded in, or null for a window of its own;
  /// the dialog goes with it.
  TControl* ParentControl() const { return FParentControl; }
  void SetParentControl(TControl* value);
  ///@}

  /// The previous copy of the news file.
  String PreviousFileName() const;
  /// The dialog while it exists, else null.
  TfrmKwWebDirect* Form() const { return frm; }
  /// The dialog's tree while it exists, else null.
  TKwITreeView* Tree() const { return tree; }
  /// The dialog's pictures while it exists, else null.
  TImageList* ImageList() const { return FImageList; }

  /// Opens a link through the user-interface backend: only http, https, ftp
  /// and mailto links, which a server may well send. Anything else (a file,
  /// a program, another scheme) is refused with a message box, and so is a
  /// link holding a control character. False when refused.
  bool OpenLink(const String& Url);

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  friend class TfrmKwWebDirect;
  void BuildAndShow(bool modal);
  void TreeClick(TObject* Sender);
  // Called by the form as it goes, while its tree still stands.
  void DialogDestroying(TfrmKwWebDirect* form);
  // Copies the news file over the previous copy, through a complete copy
  // that is renamed into place.
  void KeepPreviousCopy();

  String FTitle;
  TfrmKwWebDirect* frm = nullptr;
  TKwITreeView* tree = nullptr;
  TImageList* FImageList = nullptr;
  TKwIShowMode FShowMode = omAlways;
  TControl* FParentControl = nullptr;
};

/// The folder of this application's own files: $XDG_DATA_HOME (when it is an
/// absolute path) or ~/.local/share, then the executable's name.
String ApplicationDataFolder();

}  // namespace kwinet
