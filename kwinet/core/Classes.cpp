#include "kwinet/core/Classes.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <new>
#include <typeinfo>

#include "kwinet/core/Slab.h"

namespace kwinet {

String TObject::ClassName() const {
  const char* mangled = typeid(*this).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = (status == 0 && demangled) ? demangled : mangled;
  std::free(demangled);
  // Drop namespaces and template arguments' scope: keep the last component.
  auto tpl = name.find('<');
  auto scope = name.rfind("::", tpl == std::string::npos ? std::string::npos : tpl);
  if (scope != std::string::npos) name.erase(0, scope + 2);
  return Str(name);
}

// --- TPersistent --------------------------------------------------------------

void TPersistent::Assign(TPersistent* Source) {
  if (Source != nullptr)
    Source->AssignTo(this);
  else
    AssignError(nullptr);
}

void TPersistent::AssignTo(TPersistent* Dest) {
  Dest->AssignError(this);
}

void TPersistent::AssignError(TPersistent* Source) {
  String source = Source ? Source->ClassName() : String(u"nil");
  throw EConvertError(u"Cannot assign a %s to a %s", {source, ClassName()});
}

// --- TComponent ---------------------------------------------------------------

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  FDestroying = true;
  while (FLinks && FLinks->More && !FLinks->More->FreeNotifies.empty()) {
    TComponent* other = FLinks->More->FreeNotifies.back();
    FLinks->More->FreeNotifies.pop_back();
    other->RemoveNotification(this);
    other->Notification(this, opRemove);
  }
  DestroyComponents();
  if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::TComponentList::Grow(TComponent* c) {
  if (FCapacity > std::numeric_limits<std::int32_t>::max() / 2) throw std::bad_alloc();  // counts are ints
  // realloc: a large list grows by remapping, not by copying.
  auto* grown = static_cast<TComponent**>(std::realloc(FHeap, FCapacity * 2 * sizeof(TComponent*)));
  if (!grown) throw std::bad_alloc();
  if (!FHeap) std::copy(begin(), end(), grown);
  FHeap = grown;
  FCapacity *= 2;
  begin()[FCount++] = c;
}

void TComponent::TComponentList::erase(TComponent** at) {
  std::copy(at + 1, end(), at);
  --FCount;
}

// From the slabs: a tree of small owners makes one for each of them.
void* TComponent::TLinks::operator new(std::size_t Size) { return SlabAllocate(Size); }
void TComponent::TLinks::operator delete(void* P, std::size_t Size) noexcept { SlabFree(P, Size); }

TComponent::TLinks& TComponent::MakeLinks() {
  FLinks = std::make_unique<TLinks>();
  return *FLinks;
}

TComponent::TMore& TComponent::More() {
  TLinks& links = Links();
  if (!links.More) links.More = std::make_unique<TMore>();
  return *links.More;
}

const String& TComponent::Name() const {
  static const String empty;
  return FLinks && FLinks->More ? FLinks->More->Name : empty;
}

void TComponent::SetName(const String& value) {
  if ((FLinks && FLinks->More) || !value.empty()) More().Name = value;
}

void TComponent::SetTag(std::intptr_t value) {
  if ((FLinks && FLinks->More) || value != 0) More().Tag = value;
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) throw EListError(u"List index out of bounds (%d)", {index});
  return FLinks->Components[index];
}

TComponent* TComponent::FindComponent(const String& name) const {
  if (name.empty() || !FLinks) return nullptr;
  for (TComponent* c : FLinks->Components)
    if (SameText(c->Name(), name)) return c;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (AComponent->FOwner) AComponent->FOwner->RemoveComponent(AComponent);
  Links().Components.push_back(AComponent);
  AComponent->FOwner = this;
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (AComponent->FOwner != this) return;
  Notification(AComponent, opRemove);
  // Components usually leave in the reverse order of their arrival, so the
  // search starts at the back: freeing a whole tree stays linear.
  if (FLinks) {
    auto& components = FLinks->Components;
    for (auto at = components.end(); at != components.begin();)
      if (*--at == AComponent) {
        components.erase(at);
        break;
      }
  }
  AComponent->FOwner = nullptr;
}

void TComponent::DestroyComponents() {
  while (FLinks && !FLinks->Components.empty()) delete FLinks->Components.back();
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  auto& mine = More().FreeNotifies;
  if (std::find(mine.begin(), mine.end(), AComponent) == mine.end()) mine.push_back(AComponent);
  auto& theirs = AComponent->More().FreeNotifies;
  if (std::find(theirs.begin(), theirs.end(), this) == theirs.end()) theirs.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (!AComponent) return;
  RemoveNotification(AComponent);
  AComponent->RemoveNotification(this);
}

void TComponent::RemoveNotification(TComponent* AComponent) {
  if (!FLinks || !FLinks->More) return;
  auto& notifies = FLinks->More->FreeNotifies;
  auto it = std::find(notifies.rbegin(), notifies.rend(), AComponent);
  if (it != notifies.rend()) notifies.erase(std::next(it).base());
}

void TComponent::Notification(TComponent*, TOperation) {}

// --- TCollectionItem ------------------------------------------------------------

TCollectionItem::TCollectionItem(TCollection* Collection) {
  if (Collection) Collection->InsertItem(this);
}

TCollectionItem::~TCollectionItem() {
  if (FCollection) FCollection->RemoveItem(this);
}

void TCollectionItem::SetCollection(TCollection* value) {
  if (value == FCollection) return;
  if (FCollection) FCollection->RemoveItem(this);
  if (value) value->InsertItem(this);
}

int TCollectionItem::Index() const {
  if (!FCollection) return -1;
  const auto& items = FCollection->FItems;
  auto it = std::find(items.begin(), items.end(), this);
  return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

void TCollectionItem::SetIndex(int value) {
  int cur = Index();
  if (cur < 0 || value == cur) return;
  auto& items = FCollection->FItems;
  if (value < 0 || value >= static_cast<int>(items.size())) throw EListError(u"List index out of bounds (%d)", {value});
  items.erase(items.begin() + cur);
  items.insert(items.begin() + value, this);
  Changed(true);
}

String TCollectionItem::DisplayName() const {
  return ClassName();
}

void TCollectionItem::Changed(bool AllItems) {
  if (FCollection && FCollection->FUpdateCount == 0) FCollection->Update(AllItems ? nullptr : this);
}

// --- TCollection -----------------------------------------------------------------

TCollection::TCollection(TItemFactory factory) : FFactory(std::move(factory)) {}

TCollection::~TCollection() {
  FUpdateCount = 1;  // no change notifications while going away
  while (!FItems.empty()) delete FItems.back();
}

TCollectionItem* TCollection::Add() {
  TCollectionItem* item = FFactory(this);
  if (item->FCollection != this) item->SetCollection(this);
  Changed();
  return item;
}

TCollectionItem* TCollection::Insert(int index) {
  if (index < 0 || index > Count()) throw EListError(u"List index out of bounds (%d)", {index});
  BeginUpdate();
  TCollectionItem* item;
  try {
    item = Add();
    item->SetIndex(index);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  return item;
}

void TCollection::Delete(int index) {
  delete Items(index);
  Changed();
}

void TCollection::Clear() {
  if (FItems.empty()) return;
  BeginUpdate();
  while (!FItems.empty()) delete FItems.back();
  EndUpdate();
}

TCollectionItem* TCollection::Items(int index) const {
  if (index < 0 || index >= Count()) throw EListError(u"List index out of bounds (%d)", {index});
  return FItems[index];
}

void TCollection::Assign(TPersistent* Source) {
  auto* src = dynamic_cast<TCollection*>(Source);
  if (!src) {
    TPersistent::Assign(Source);
    return;
  }
  if (src == this) return;
  BeginUpdate();
  try {
    while (!FItems.empty()) delete FItems.back();
    for (TCollectionItem* item : src->FItems) Add()->Assign(item);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TCollection::BeginUpdate() {
  ++FUpdateCount;
}

void TCollection::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) Changed();
}

void TCollection::Update(TCollectionItem*) {}

void TCollection::Changed() {
  if (FUpdateCount == 0) Update(nullptr);
}

void TCollection::InsertItem(TCollectionItem* item) {
  FItems.push_back(item);
  item->FCollection = this;
}

void TCollection::RemoveItem(TCollectionItem* item) {
  auto it = std::find(FItems.rbegin(), FItems.rend(), item);
  if (it != FItems.rend()) FItems.erase(std::next(it).base());
  item->FCollection = nullptr;
}

}  // namespace kwinet
