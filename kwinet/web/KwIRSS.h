/// @file
/// The RSS parser: downloads a news feed (RSS 0.9x and 2.0, or RSS 1.0 in its
/// RDF form) with the updater into a private local copy and reads it into
/// channels, each with its items. The reading is done by the small tag scanner
/// of RssScanner.h, not by the XML engine; values are kept as the feed writes
/// them (trimmed, entities as written, dates as text).
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "kwinet/core/Classes.h"
#include "kwinet/web/kwiupdate.h"

namespace kwinet {

/// One item of a channel, its fields as the feed writes them.
class TKwIRSSItem : public TObject {
 public:
  /// Copies the five fields when Source is an item; otherwise does nothing.
  void Assign(TObject* Source);

  /// The item's title.
  String Title;
  /// The item's link.
  String Link;
  /// The item's description.
  String Description;
  /// The item's dc:creator.
  String Creator;
  /// The item's dc:date, as text.
  String Date;
};

/// A list of items that owns them.
class TKwIRSSItems : public TObject {
 public:
  ~TKwIRSSItems() override { ClearItems(); }

  /// The number of items.
  int Count() const { return FList.Count(); }
  /// Appends Item and takes it over; returns its index.
  int Add(TKwIRSSItem* Item);
  /// The item, or nothing when Index is outside 0 to Count-1.
  TKwIRSSItem* GetItem(int Index) const;
  /// Frees the item and removes it; an Index outside the list does nothing.
  void DeleteItem(int Index);
  /// Frees every item, the last first, and empties the list.
  void ClearItems();
  /// When Source is an item list: this list becomes a copy of it, a new item
  /// per source item in order. Otherwise does nothing.
  void AssignItems(TObject* Source);

 private:
  TObjectList<TKwIRSSItem> FList;
};

/// One channel of a feed: its fields as the feed writes them, and its items.
class TKwIRSSChannel : public TObject {
 public:
  TKwIRSSChannel();
  ~TKwIRSSChannel() override;

  /// Copies the fourteen fields and a copy of the items when Source is a
  /// channel; otherwise does nothing.
  void Assign(TObject* Source);

  ///@{
  /// The channel's element of the same name (lastBuildDate, managingEditor...
  /// in the feed), as the feed writes it; empty when absent.
  String Title;
  String Link;
  String Description;
  String Language;
  String Copyright;
  String Rating;
  String ManagingEditor;
  String WebMaster;
  String PubDate;
  String LastBuildDate;
  String Category;
  String Generator;
  String Docs;
  String Ttl;
  ///@}
  TKwIRSSItems* Items;  ///< owned
};

/// A list of channels that owns them.
class TKwIRSSChannels : public TObject {
 public:
  ~TKwIRSSChannels() override { ClearItems(); }

  /// The number of channels.
  int Count() const { return FList.Count(); }
  /// Appends Channel and takes it over; returns its index.
  int Add(TKwIRSSChannel* Channel);
  /// The channel, or nothing when Index is outside 0 to Count-1.
  TKwIRSSChannel* GetItem(int Index) const;
  /// Frees the channel and removes it; an Index outside the list does nothing.
  void DeleteItem(int Index);
  /// Frees every channel and empties the list.
  void ClearItems();

 private:
  TObjectList<TKwIRSSChannel> FList;
};

/// Fills Channels (which it clears first) from the text of a feed file, as
/// DecodeRssText and ScanRss read it.
void ParseRSSBytes(std::string_view Bytes, TKwIRSSChannels& Channels);

/// Downloads a news feed and reads it into channels.
class TKwIRSSParser : public TKwCustomWebUpdater {
 public:
  /// Creates the parser, with no channels and ContentMaxResponseSize as the
  /// bound.
  explicit TKwIRSSParser(TComponent* AOwner);
  /// Deletes the local copy if one is left.
  ~TKwIRSSParser() override;

  /// Downloads RemoteFileName into the local copy, reads it when the download
  /// finished, then deletes the copy. Returns the download's result; a failed
  /// download leaves the previous channels in place. A copy that cannot be
  /// opened raises EFOpenError (and stays until the next call or the
  /// destructor).
  bool Execute() override;

  /// A new remote name drops the old local copy and its name: the next
  /// Execute picks a fresh one with the new extension.
  void SetRemoteFileName(const String& Value) override;

  /// The channels of the last feed read.
  TKwIRSSChannels* Channels() const { return FChannels.get(); }

 protected:
  /// Clears Channels and reads the local copy into them.
  virtual void ParseRSS();

 private:
  void DeleteLocalFile();

  std::unique_ptr<TKwIRSSChannels> FChannels;
};

}  // namespace kwinet
