/// @file
/// Common controls beside the form models of Forms.h: an image list and a
/// tree view with its nodes. Models only: what a backend draws and what a
/// click selects.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "kwinet/core/Forms.h"

namespace kwinet {

enum TAlign : std::uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient };

/// Pictures of one size, each an embedded resource named by file name.
class TImageList : public TComponent {
 public:
  explicit TImageList(TComponent* AOwner) : TComponent(AOwner) {}

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  int Count() const { return static_cast<int>(FImages.size()); }
  const String& Images(int index) const;
  /// The colour drawn as transparent for each image (0xRRGGBB).
  std::uint32_t MaskColor(int index) const;
  /// Adds the PNG resource with the colour to draw transparent and returns
  /// its index. An empty list takes the picture's size; a picture of
  /// another size, or no such resource, raises EInvalidOperation.
  int AddMasked(const String& resourceName, std::uint32_t maskColor);

 private:
  struct TEntry {
    String Resource;
    std::uint32_t Mask;
  };
  int FWidth = 0, FHeight = 0;
  std::vector<TEntry> FImages;
};

/// The width and height of a PNG file in memory; false when it is not one.
bool PngSize(std::string_view bytes, int& width, int& height);

class TTreeNodes;
class TTreeView;

class TTreeNode {
 public:
  TTreeNode(const TTreeNode&) = delete;
  TTreeNode& operator=(const TTreeNode&) = delete;

  const String& Text() const { return FText; }
  void SetText(const String& value);
  /// What the application keeps with the node; not owned.
  TObject* Data() const { return FData; }
  void SetData(TObject* value) { FData = value; }
  int ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int value);
  int SelectedIndex() const { return FSelectedIndex; }
  void SetSelectedIndex(int value);
  bool Bold() const { return FBold; }
  void SetBold(bool value);
  bool Expanded() const { return FExpanded; }
  void SetExpanded(bool value);
  /// Expands this node, and with Recurse every node under it.
  void Expand(bool Recurse);

  TTreeNode* Parent() const { return FParent; }
  int Level() const;
  int Count() const { return static_cast<int>(FChildren.size()); }
  TTreeNode* Item(int index) const;
  TTreeNode* GetFirstChild() const { return FChildren.empty() ? nullptr : FChildren.front().get(); }
  TTreeNode* GetNextSibling() const;
  /// The next node in display order: first child, next sibling, or the next
  /// sibling of the nearest parent that has one.
  TTreeNode* GetNext() const;
  /// Its place among all nodes in display order.
  int AbsoluteIndex() const;
  /// Expands its parents, so that the node can be seen.
  void MakeVisible();
  TTreeView* TreeView() const;

 private:
  friend class TTreeNodes;
  friend class TTreeView;
  TTreeNode(TTreeNodes* owner, TTreeNode* parent) : FOwner(owner), FParent(parent) {}
  void Changed();

  TTreeNodes* FOwner;
  TTreeNode* FParent;
  std::vector<std::unique_ptr<TTreeNode>> FChildren;
  std::size_t FIndex = 0;  // among its parent's children
  String FText;
  TObject* FData = nullptr;
  int FImageIndex = -1;
  int FSelectedIndex = -1;
  bool FBold = false;
  bool FExpanded = false;
};

/// The nodes of one tree view. Node pointers stay valid until the node is
/// deleted or the list cleared.
class TTreeNodes {
 public:
  explicit TTreeNodes(TTreeView* owner) : FOwner(owner) {}
  ~TTreeNodes();
  TTreeNodes(const TTreeNodes&) = delete;
  TTreeNodes& operator=(const TTreeNodes&) = delete;

  TTreeView* Owner() const { return FOwner; }
  /// All nodes, in display order.
  int Count() const { return FCount; }
  TTreeNode* Item(int index) const;
  TTreeNode* GetFirstNode() const { return FRoots.empty() ? nullptr : FRoots.front().get(); }
  /// A node after the last child of Sibling's parent (a top-level node when
  /// Sibling is null or itself top-level).
  TTreeNode* Add(TTreeNode* Sibling, const String& S);
  TTreeNode* AddObject(TTreeNode* Sibling, const String& S, TObject* Ptr);
  TTreeNode* AddChild(TTreeNode* Parent, const String& S);
  TTreeNode* AddChildObject(TTreeNode* Parent, const String& S, TObject* Ptr);
  void Clear();
  /// Repainting waits until the last EndUpdate.
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

 private:
  friend class TTreeNode;
  void Changed();
  std::vector<std::unique_ptr<TTreeNode>>& ChildrenOf(TTreeNode* parent) { return parent ? parent->FChildren : FRoots; }

  TTreeView* FOwner;
  std::vector<std::unique_ptr<TTreeNode>> FRoots;
  int FCount = 0;
  int FUpdateCount = 0;
};

class TTreeView : public TControl {
 public:
  explicit TTreeView(TComponent* AOwner);
  ~TTreeView() override;

  TTreeNodes* Items() const { return FItems.get(); }
  TImageList* Images() const { return FImages; }
  void SetImages(TImageList* value) { FImages = value; }
  TTreeNode* Selected() const { return FSelected; }
  void SetSelected(TTreeNode* value);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value) { FReadOnly = value; }
  /// The item under the mouse is highlighted.
  bool HotTrack() const { return FHotTrack; }
  void SetHotTrack(bool value) { FHotTrack = value; }
  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign value) { FAlign = value; }
  void FullExpand();
  /// What a click does: OnClick.
  void Click();
  TNotifyEvent OnClick;

  /// The tree as text: one line per node that can be seen, indented two
  /// blanks per level, "*" before a bold node's text.
  String DisplayText() const override;

 private:
  friend class TTreeNodes;
  friend class TTreeNode;
  void NodesChanged();

  std::unique_ptr<TTreeNodes> FItems;
  TImageList* FImages = nullptr;
  TTreeNode* FSelected = nullptr;
  bool FReadOnly = false;
  bool FHotTrack = false;
  TAlign FAlign = alNone;
};

}  // namespace kwinet
