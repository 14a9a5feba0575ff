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

/// Where a control sits in its parent: as placed, along one side, or filling
/// it.
enum TAlign : std::uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient };
/// @var alNone
/// Placed by its own position and size.
/// @var alTop
/// Along the top edge, the parent's full width.
/// @var alBottom
/// Along the bottom edge, the parent's full width.
/// @var alLeft
/// Along the left edge, the parent's full height.
/// @var alRight
/// Along the right edge, the parent's full height.
/// @var alClient
/// Filling what the other controls leave.

/// Pictures of one size, each an embedded resource named by file name.
class TImageList : public TComponent {
 public:
  /// Creates an empty list; the first picture added sets Width and Height.
  explicit TImageList(TComponent* AOwner) : TComponent(AOwner) {}

  ///@{
  /// The size of every picture in pixels (0 while the list is empty).
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  ///@}
  /// The number of pictures.
  int Count() const { return static_cast<int>(FImages.size()); }
  /// The resource name of the picture at index; EListError out of range.
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

/// A node of a tree view: text, pictures and state, with child nodes. Made
/// through TTreeNodes.
class TTreeNode {
 public:
  TTreeNode(const TTreeNode&) = delete;
  TTreeNode& operator=(const TTreeNode&) = delete;

  ///@{
  /// The node's text.
  const String& Text() const { return FText; }
  void SetText(const String& value);
  ///@}
  ///@{
  /// What the application keeps with the node; not owned.
  TObject* Data() const { return FData; }
  void SetData(TObject* value) { FData = value; }
  ///@}
  ///@{
  /// The picture of the node in the tree view's Images (-1: none).
  int ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int value);
  ///@}
  ///@{
  /// The picture shown while the node is selected (-1: none).
  int SelectedIndex() const { return FSelectedIndex; }
  void SetSelectedIndex(int value);
  ///@}
  ///@{
  /// Whether the text shows in bold.
  bool Bold() const { return FBold; }
  void SetBold(bool value);
  ///@}
  ///@{
  /// Whether the children show.
  bool Expanded() const { return FExpanded; }
  void SetExpanded(bool value);
  ///@}
  /// Expands this node, and with Recurse every node under it.
  void Expand(bool Recurse);

  /// The parent node, nullptr for a top-level node.
  TTreeNode* Parent() const { return FParent; }
  /// The depth: 0 for a top-level node.
  int Level() const;
  /// The number of children.
  int Count() const { return static_cast<int>(FChildren.size()); }
  /// The child at index; EListError out of range.
  TTreeNode* Item(int index) const;
  /// The first child, nullptr when none.
  TTreeNode* GetFirstChild() const { return FChildren.empty() ? nullptr : FChildren.front().get(); }
  /// The next node under the same parent, nullptr after the last.
  TTreeNode* GetNextSibling() const;
  /// The next node in display order: first child, next sibling, or the next
  /// sibling of the nearest parent that has one.
  TTreeNode* GetNext() const;
  /// Its place among all nodes in display order.
  int AbsoluteIndex() const;
  /// Expands its parents, so that the node can be seen.
  void MakeVisible();
  /// The tree view that shows the node.
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
  /// An empty node list of the tree view owner.
  explicit TTreeNodes(TTreeView* owner) : FOwner(owner) {}
  ~TTreeNodes();
  TTreeNodes(const TTreeNodes&) = delete;
  TTreeNodes& operator=(const TTreeNodes&) = delete;

  /// The tree view the nodes belong to.
  TTreeView* Owner() const { return FOwner; }
  /// All nodes, in display order.
  int Count() const { return FCount; }
  /// The node at index in display order (all nodes, expanded or not);
  /// EListError out of range.
  TTreeNode* Item(int index) const;
  /// The first top-level node, nullptr when the tree is empty.
  TTreeNode* GetFirstNode() const { return FRoots.empty() ? nullptr : FRoots.front().get(); }
  /// A node after the last child of Sibling's parent (a top-level node when
  /// Sibling is null or itself top-level).
  TTreeNode* Add(TTreeNode* Sibling, const String& S);
  /// Add, with Ptr as the node's Data.
  TTreeNode* AddObject(TTreeNode* Sibling, const String& S, TObject* Ptr);
  /// A node after Parent's last child (a top-level node when Parent is null).
  TTreeNode* AddChild(TTreeNode* Parent, const String& S);
  /// AddChild, with Ptr as the node's Data.
  TTreeNode* AddChildObject(TTreeNode* Parent, const String& S, TObject* Ptr);
  /// Frees every node; the tree view has no selection afterwards.
  void Clear();
  /// Repainting waits until the last EndUpdate.
  void BeginUpdate() { ++FUpdateCount; }
  /// Ends a BeginUpdate; the last one repaints.
  void EndUpdate();
  /// How many BeginUpdate calls are still open.
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

/// A tree of text nodes with pictures; a click selects a node.
class TTreeView : public TControl {
 public:
  /// Creates the view with an empty node list.
  explicit TTreeView(TComponent* AOwner);
  ~TTreeView() override;

  /// The nodes.
  TTreeNodes* Items() const { return FItems.get(); }
  ///@{
  /// The pictures the nodes' ImageIndex and SelectedIndex refer to; not owned.
  TImageList* Images() const { return FImages; }
  void SetImages(TImageList* value) { FImages = value; }
  ///@}
  ///@{
  /// The selected node, nullptr for none.
  TTreeNode* Selected() const { return FSelected; }
  void SetSelected(TTreeNode* value);
  ///@}
  ///@{
  /// Whether node texts can be edited in place (false: editable).
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value) { FReadOnly = value; }
  ///@}
  ///@{
  /// The item under the mouse is highlighted.
  bool HotTrack() const { return FHotTrack; }
  void SetHotTrack(bool value) { FHotTrack = value; }
  ///@}
  ///@{
  /// Where the view sits on its form (alNone at first).
  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign value) { FAlign = value; }
  ///@}
  /// Expands every node.
  void FullExpand();
  /// What a click does: OnClick.
  void Click();
  /// Called by Click.
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
