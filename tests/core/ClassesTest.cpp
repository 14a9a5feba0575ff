#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "kwinet/core/Classes.h"
#include "peers/TestSupport.h"

using namespace kwinet;

namespace {

class TRecorder : public TComponent {
 public:
  using TComponent::TComponent;
  std::vector<std::pair<TComponent*, TOperation>> Seen;
  std::vector<String>* FreedLog = nullptr;
  ~TRecorder() override {
    if (FreedLog) FreedLog->push_back(Name());
  }

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override {
    Seen.emplace_back(AComponent, Operation);
  }
};

class TPoint : public TPersistent {
 public:
  int X = 0;
  void Assign(TPersistent* Source) override {
    if (auto* p = dynamic_cast<TPoint*>(Source)) X = p->X;
    else TPersistent::Assign(Source);
  }
};

class TOther : public TPersistent {};

class TNamedItem : public TCollectionItem {
 public:
  using TCollectionItem::TCollectionItem;
  String Value;
  void Assign(TPersistent* Source) override {
    if (auto* s = dynamic_cast<TNamedItem*>(Source)) Value = s->Value;
    else TCollectionItem::Assign(Source);
  }
};

}  // namespace

TEST(Persistent, AssignCopiesOrRefusesWithTheClassNames) {
  TPoint a, b;
  a.X = 5;
  b.Assign(&a);
  EXPECT_EQ(b.X, 5);
  TOther other;
  try {
    b.Assign(&other);
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), u"Cannot assign a TOther to a TPoint");
  }
  EXPECT_THROW(b.Assign(nullptr), EConvertError);
}

TEST(Component, OwnerFreesChildrenLastCreatedFirst) {
  std::vector<String> freed;
  auto owner = std::make_unique<TRecorder>(nullptr);
  for (const char16_t* n : {u"a", u"b", u"c"}) {
    auto* c = new TRecorder(owner.get());
    c->SetName(n);
    c->FreedLog = &freed;
  }
  ASSERT_EQ(owner->ComponentCount(), 3);
  EXPECT_EQ(owner->FindComponent(u"B"), owner->Components(1));
  // A child freed early leaves its owner.
  delete owner->Components(1);
  EXPECT_EQ(owner->ComponentCount(), 2);
  EXPECT_EQ(owner->Seen.back().second, opRemove);
  owner.reset();
  EXPECT_EQ(freed, (std::vector<String>{u"b", u"c", u"a"}));
}

TEST(Component, OrderSurvivesGrowthRemovalAndMoves) {
  // Enough children to outgrow any small in-place storage.
  TComponent owner(nullptr), other(nullptr);
  EXPECT_EQ(owner.Name(), u"");
  EXPECT_EQ(owner.Tag(), 0);
  std::vector<TComponent*> kids;
  for (int i = 0; i < 9; ++i) {
    kids.push_back(new TComponent(&owner));
    kids.back()->SetName(Str("k" + std::to_string(i)));
    kids.back()->SetTag(i * 10);
  }
  delete kids[1];
  delete kids[8];
  other.InsertComponent(kids[4]);  // moves it: it leaves its first owner
  EXPECT_EQ(kids[4]->Owner(), &other);
  EXPECT_EQ(other.ComponentCount(), 1);
  std::vector<String> names;
  for (int i = 0; i < owner.ComponentCount(); ++i) names.push_back(owner.Components(i)->Name());
  EXPECT_EQ(names, (std::vector<String>{u"k0", u"k2", u"k3", u"k5", u"k6", u"k7"}));
  EXPECT_EQ(owner.FindComponent(u"K6"), kids[6]);
  EXPECT_EQ(owner.FindComponent(u"k4"), nullptr);
  EXPECT_EQ(kids[7]->Tag(), 70);
  EXPECT_THROW(owner.Components(6), EListError);
}

TEST(Component, FreeNotificationTellsTheOtherSide) {
  TRecorder watcher(nullptr);
  auto* watched = new TRecorder(nullptr);
  const auto address = reinterpret_cast<std::uintptr_t>(watched);
  watched->FreeNotification(&watcher);
  delete watched;
  ASSERT_EQ(watcher.Seen.size(), 1u);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(watcher.Seen[0].first), address);
  EXPECT_EQ(watcher.Seen[0].second, opRemove);
  // Freeing the watcher first must not leave a dangling entry behind.
  auto* w2 = new TRecorder(nullptr);
  TRecorder target(nullptr);
  target.FreeNotification(w2);
  delete w2;
  SUCCEED();
}

TEST(Component, FreeingAMillionChildrenIsLinear) {
  // Quadratic removal would take minutes here; linear takes well under a second.
  auto owner = std::make_unique<TComponent>(nullptr);
  for (int i = 0; i < 1000000; ++i) new TComponent(owner.get());
  EXPECT_EQ(owner->ComponentCount(), 1000000);
  owner.reset();
}

TEST(Component, OwnersMadeAndFreedByTurnsLeaveTheKeptOnesTogether) {
  // An owner's list of components comes from the shared slabs. A program
  // that makes owners and frees most of them soon after must not have each
  // one it keeps pin a slab (and with it a megabyte group) of its own.
  auto inUse = test::HeapInUse;
  const long long kGroup = 1024 * 1024, kSlack = 256 * 1024;
  const long long before = inUse();
  std::vector<std::unique_ptr<TComponent>> kept;
  long long whileFilling = 0;
  std::thread([&] {
    for (int i = 0; i < 200000; ++i) {
      auto owner = std::make_unique<TComponent>(nullptr);
      new TComponent(owner.get());
      if (i % 2000 == 0) kept.push_back(std::move(owner));
    }
    whileFilling = inUse() - before;
  }).join();
  ASSERT_EQ(kept.size(), 100u);
  EXPECT_LT(whileFilling, kGroup + kSlack);
  EXPECT_LT(inUse() - before, kGroup + kSlack);
  // Freed on another thread than the one that made them: all goes back.
  kept.clear();
  EXPECT_LT(inUse() - before, kSlack);
}

TEST(Collection, AddInsertDeleteAssignAndUpdates) {
  struct TCounting : TTypedCollection<TNamedItem> {
    int Updates = 0;
    void Update(TCollectionItem*) override { ++Updates; }
  } list;
  list.Add()->Value = u"a";
  list.Add()->Value = u"c";
  list.Insert(1)->Value = u"b";
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Items(1)->Value, u"b");
  EXPECT_EQ(list.Items(2)->Index(), 2);

  list.Updates = 0;
  list.BeginUpdate();
  list.Add();
  list.Delete(3);
  EXPECT_EQ(list.Updates, 0);
  list.EndUpdate();
  EXPECT_EQ(list.Updates, 1);

  TTypedCollection<TNamedItem> copy;
  copy.Add()->Value = u"old";
  copy.Assign(&list);
  ASSERT_EQ(copy.Count(), 3);
  EXPECT_EQ(copy.Items(2)->Value, u"c");
  EXPECT_NE(copy.Items(0), list.Items(0));

  delete list.Items(0);  // an item freed directly leaves its collection
  EXPECT_EQ(list.Count(), 2);
  EXPECT_THROW(list.Items(2), EListError);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(Set, IncludeExcludeAndOperators) {
  enum TColor : std::uint8_t { clRed, clGreen, clBlue };
  TSet<TColor> s{clRed, clBlue};
  EXPECT_TRUE(s.Contains(clBlue));
  EXPECT_FALSE(s.Contains(clGreen));
  s.Exclude(clRed);
  s.Include(clGreen);
  EXPECT_EQ(s, (TSet<TColor>{clGreen, clBlue}));
  EXPECT_EQ(s * TSet<TColor>{clBlue}, TSet<TColor>{clBlue});
  EXPECT_TRUE((s - s).Empty());
}
