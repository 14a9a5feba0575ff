#include "kwinet/core/ComCtrls.h"

#include "kwinet/core/Resources.h"

namespace kwinet {

// --- TImageList -------------------------------------------------------------------

bool PngSize(std::string_view bytes, int& width, int& height) {
  // The signature, then the IHDR chunk: length, type, width, height.
  if (bytes.size() < 24 || bytes.substr(0, 8) != "\x89PNG\r\n\x1a\n" || bytes.substr(12, 4) != "IHDR") return false;
  auto be32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
    return v;
  };
  const std::uint32_t w = be32(16), h = be32(20);
  if (w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) return false;
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}

const String& TImageList::Images(int index) const {
  if (index < 0 || index >= Count()) throw EListError(u"List index out of bounds (" + IntToStr(index) + u")");
  return FImages[static_cast<std::size_t>(index)].Resource;
}

std::uint32_t TImageList::MaskColor(int index) const {
  Images(index);
  return FImages[static_cast<std::size_t>(index)].Mask;
}

int TImageList::AddMasked(const String& resourceName, std::uint32_t maskColor) {
  int width = 0, height = 0;
  if (!PngSize(FindResource(StringToUtf8(resourceName)), width, height))
    throw EInvalidOperation(u"No picture named " + resourceName);
  if (FImages.empty()) {
    FWidth = width;
    FHeight = height;
  } else if (width != FWidth || height != FHeight) {
    throw EInvalidOperation(u"Picture " + resourceName + u" is not " + IntToStr(FWidth) + u"x" + IntToStr(FHeight));
  }
  FImages.push_back({resourceName, maskColor});
  return Count() - 1;
}

// --- TTreeNode --------------------------------------------------------------------

void TTreeNode::Changed() {
  FOwner->Changed();
}

void TTreeNode::SetText(const String& value) {
  FText = value;
  Changed();
}

void TTreeNode::SetImageIndex(int value) {
  FImageIndex = value;
  Changed();
}

void TTreeNode::SetSelectedIndex(int value) {
  FSelectedIndex = value;
  Changed();
}

void TTreeNode::SetBold(bool value) {
  FBold = value;
  Changed();
}

void TTreeNode::SetExpanded(bool value) {
  FExpanded = value;
  Changed();
}

void TTreeNode::Expand(bool Recurse) {
  FExpanded = true;
  if (Recurse) {
    // The subtree is the walk in display order up to the first node after
    // it; no recursion, so the depth of a tree is no limit.
    TTreeNode* after = nullptr;
    for (const TTreeNode* n = this; n && !after; n = n->FParent) after = n->GetNextSibling();
    for (TTreeNode* n = GetFirstChild(); n && n != after; n = n->GetNext()) n->FExpanded = true;
  }
  Changed();
}

int TTreeNode::Level() const {
  int level = 0;
  for (TTreeNode* p = FParent; p; p = p->FParent) ++level;
  return level;
}

TTreeNode* TTreeNode::Item(int index) const {
  if (index < 0 || index >= Count()) throw EListError(u"Tree node index out of bounds (" + IntToStr(index) + u")");
  return FChildren[static_cast<std::size_t>(index)].get();
}

TTreeNode* TTreeNode::GetNextSibling() const {
  const auto& siblings = FOwner->ChildrenOf(FParent);
  return FIndex + 1 < siblings.size() ? siblings[FIndex + 1].get() : nullptr;
}

TTreeNode* TTreeNode::GetNext() const {
  if (TTreeNode* child = GetFirstChild()) return child;
  for (const TTreeNode* n = this; n; n = n->FParent)
    if (TTreeNode* sibling = n->GetNextSibling()) return sibling;
  return nullptr;
}

int TTreeNode::AbsoluteIndex() const {
  int index = 0;
  for (TTreeNode* n = FOwner->GetFirstNode(); n; n = n->GetNext(), ++index)
    if (n == this) return index;
  return -1;
}

void TTreeNode::MakeVisible() {
  for (TTreeNode* p = FParent; p; p = p->FParent) p->FExpanded = true;
  Changed();
}

TTreeView* TTreeNode::TreeView() const {
  return FOwner->Owner();
}

// --- TTreeNodes -------------------------------------------------------------------

TTreeNodes::~TTreeNodes() {
  Clear();
}

TTreeNode* TTreeNodes::Item(int index) const {
  if (index < 0 || index >= FCount) throw EListError(u"Tree node index out of bounds (" + IntToStr(index) + u")");
  TTreeNode* n = GetFirstNode();
  for (int i = 0; i < index; ++i) n = n->GetNext();
  return n;
}

TTreeNode* TTreeNodes::Add(TTreeNode* Sibling, const String& S) {
  return AddObject(Sibling, S, nullptr);
}

TTreeNode* TTreeNodes::AddObject(TTreeNode* Sibling, const String& S, TObject* Ptr) {
  return AddChildObject(Sibling ? Sibling->FParent : nullptr, S, Ptr);
}

TTreeNode* TTreeNodes::AddChild(TTreeNode* Parent, const String& S) {
  return AddChildObject(Parent, S, nullptr);
}

TTreeNode* TTreeNodes::AddChildObject(TTreeNode* Parent, const String& S, TObject* Ptr) {
  auto& list = ChildrenOf(Parent);
  std::unique_ptr<TTreeNode> node(new TTreeNode(this, Parent));
  node->FIndex = list.size();
  node->FText = S;
  node->FData = Ptr;
  list.push_back(std::move(node));
  ++FCount;
  Changed();
  return list.back().get();
}

void TTreeNodes::Clear() {
  if (FOwner) FOwner->FSelected = nullptr;
  // Freed without recursion: children are taken out before their parent goes.
  std::vector<std::unique_ptr<TTreeNode>> pending = std::move(FRoots);
  FRoots.clear();
  while (!pending.empty()) {
    std::unique_ptr<TTreeNode> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->FChildren) pending.push_back(std::move(child));
    node->FChildren.clear();
  }
  FCount = 0;
  Changed();
}

void TTreeNodes::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) Changed();
}

void TTreeNodes::Changed() {
  if (FUpdateCount == 0 && FOwner) FOwner->NodesChanged();
}

// --- TTreeView --------------------------------------------------------------------

TTreeView::TTreeView(TComponent* AOwner) : TControl(AOwner), FItems(std::make_unique<TTreeNodes>(this)) {}

TTreeView::~TTreeView() {
  // The nodes go without telling a form that is itself going.
  FItems->BeginUpdate();
  FItems.reset();
}

void TTreeView::SetSelected(TTreeNode* value) {
  FSelected = value;
  NodesChanged();
}

void TTreeView::FullExpand() {
  for (TTreeNode* n = FItems->GetFirstNode(); n; n = n->GetNext()) n->FExpanded = true;
  NodesChanged();
}

void TTreeView::Click() {
  if (OnClick) OnClick(this);
}

String TTreeView::DisplayText() const {
  String text;
  for (TTreeNode* n = FItems->GetFirstNode(); n;) {
    if (!text.empty()) text += u'\n';
    text += String(static_cast<std::size_t>(n->Level()) * 2, u' ');
    if (n->Bold()) text += u'*';
    text += n->Text();
    // A collapsed node hides what is under it.
    TTreeNode* next = n->Expanded() ? n->GetFirstChild() : nullptr;
    for (const TTreeNode* m = n; !next && m; m = m->Parent()) next = m->GetNextSibling();
    n = next;
  }
  return text;
}

void TTreeView::NodesChanged() {
  if (FItems && FItems->UpdateCount() == 0) Changed();
}

}  // namespace kwinet
