#include "kwinet/web/KwIRSS.h"

#include <cstdio>
#include <string>

#include "kwinet/core/Streams.h"
#include "kwinet/utils/PrivateTemp.h"
#include "kwinet/web/RssScanner.h"
#include "kwinet/web/TempCopy.h"

namespace kwinet {

// --- items and channels ---------------------------------------------------------

void TKwIRSSItem::Assign(TObject* Source) {
  auto* src = dynamic_cast<TKwIRSSItem*>(Source);
  if (!src || src == this) return;
  Title = src->Title;
  Link = src->Link;
  Description = src->Description;
  Creator = src->Creator;
  Date = src->Date;
}

int TKwIRSSItems::Add(TKwIRSSItem* Item) {
  FList.Add(std::unique_ptr<TKwIRSSItem>(Item));
  return Count() - 1;
}

TKwIRSSItem* TKwIRSSItems::GetItem(int Index) const {
  return Index >= 0 && Index < Count() ? FList.Items(Index) : nullptr;
}

void TKwIRSSItems::DeleteItem(int Index) {
  if (Index < 0 || Index >= Count()) return;
  FList.Delete(Index);
}

void TKwIRSSItems::ClearItems() {
  while (Count() > 0) FList.Delete(Count() - 1);
}

void TKwIRSSItems::AssignItems(TObject* Source) {
  auto* src = dynamic_cast<TKwIRSSItems*>(Source);
  if (!src || src == this) return;
  ClearItems();
  for (const auto& from : src->FList) {
    auto item = std::make_unique<TKwIRSSItem>();
    item->Assign(from.get());
    FList.Add(std::move(item));
  }
}

TKwIRSSChannel::TKwIRSSChannel() : Items(new TKwIRSSItems()) {}

TKwIRSSChannel::~TKwIRSSChannel() {
  delete Items;
}

void TKwIRSSChannel::Assign(TObject* Source) {
  auto* src = dynamic_cast<TKwIRSSChannel*>(Source);
  if (!src || src == this) return;
  Title = src->Title;
  Link = src->Link;
  Description = src->Description;
  Language = src->Language;
  Copyright = src->Copyright;
  Rating = src->Rating;
  ManagingEditor = src->ManagingEditor;
  WebMaster = src->WebMaster;
  PubDate = src->PubDate;
  LastBuildDate = src->LastBuildDate;
  Category = src->Category;
  Generator = src->Generator;
  Docs = src->Docs;
  Ttl = src->Ttl;
  Items->AssignItems(src->Items);
}

int TKwIRSSChannels::Add(TKwIRSSChannel* Channel) {
  FList.Add(std::unique_ptr<TKwIRSSChannel>(Channel));
  return Count() - 1;
}

TKwIRSSChannel* TKwIRSSChannels::GetItem(int Index) const {
  return Index >= 0 && Index < Count() ? FList.Items(Index) : nullptr;
}

void TKwIRSSChannels::DeleteItem(int Index) {
  if (Index < 0 || Index >= Count()) return;
  FList.Delete(Index);
}

void TKwIRSSChannels::ClearItems() {
  while (Count() > 0) FList.Delete(Count() - 1);
}

// --- reading ----------------------------------------------------------------------

namespace {

// Fills the channel and item begun last.
class TChannelBuilder : public TRssScanHandler {
 public:
  explicit TChannelBuilder(TKwIRSSChannels& Channels) : FChannels(Channels) {}

  void NewChannel() override {
    auto channel = std::make_unique<TKwIRSSChannel>();
    FChannel = channel.get();
    FChannels.Add(channel.release());
    FItem = nullptr;
  }
  void NewItem() override {
    auto item = std::make_unique<TKwIRSSItem>();
    FItem = item.get();
    FChannel->Items->Add(item.release());
  }
  void ChannelField(TRssChannelField Field, String&& Value) override {
    String* const fields[] = {&FChannel->Title,          &FChannel->Link,      &FChannel->Description,
                              &FChannel->Language,       &FChannel->Copyright, &FChannel->Rating,
                              &FChannel->ManagingEditor, &FChannel->WebMaster, &FChannel->PubDate,
                              &FChannel->LastBuildDate,  &FChannel->Category,  &FChannel->Generator,
                              &FChannel->Docs,           &FChannel->Ttl};
    *fields[Field] = std::move(Value);
  }
  void ItemField(TRssItemField Field, String&& Value) override {
    String* const fields[] = {&FItem->Title, &FItem->Link, &FItem->Description, &FItem->Creator, &FItem->Date};
    *fields[Field] = std::move(Value);
  }

 private:
  TKwIRSSChannels& FChannels;
  TKwIRSSChannel* FChannel = nullptr;
  TKwIRSSItem* FItem = nullptr;
};

}  // namespace

void ParseRSSBytes(std::string_view Bytes, TKwIRSSChannels& Channels) {
  Channels.ClearItems();
  TChannelBuilder builder(Channels);
  ScanRss(DecodeRssText(Bytes), builder);
}

// --- the component ------------------------------------------------------------------

TKwIRSSParser::TKwIRSSParser(TComponent* AOwner)
    : TKwCustomWebUpdater(AOwner), FChannels(std::make_unique<TKwIRSSChannels>()) {
  SetMaxResponseSize(ContentMaxResponseSize);
}

TKwIRSSParser::~TKwIRSSParser() {
  EndJob();  // the job uses what goes below
  DropTempCopy(FLocalFileName);
}

void TKwIRSSParser::DeleteLocalFile() {
  if (!FLocalFileName.empty() && FileExists(FLocalFileName)) std::remove(FileNameToPath(FLocalFileName).c_str());
}

void TKwIRSSParser::SetRemoteFileName(const String& Value) {
  if (Value != RemoteFileName()) DropTempCopy(FLocalFileName);
  TKwCustomWebUpdater::SetRemoteFileName(Value);
}

bool TKwIRSSParser::Execute() {
  // A name of this component's own in the private folder, keeping the
  // remote extension; it stays for later calls.
  EnsureTempCopy(FLocalFileName, RemoteFileName());
  const bool result = TKwCustomWebUpdater::Execute();
  if (result && Status() == isFinished) ParseRSS();
  DeleteLocalFile();
  return result;
}

void TKwIRSSParser::ParseRSS() {
  FChannels->ClearItems();
  std::string bytes;
  bytes = OpenTempCopy(FLocalFileName)->ReadAll();
  ParseRSSBytes(bytes, *FChannels);
}

}  // namespace kwinet
