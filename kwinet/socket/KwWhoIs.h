/// @file
/// Whois client: picks the registry's whois server from the domain's last
/// label and returns the server's text as it came.
#pragma once

#include <memory>

#include "kwinet/core/StringList.h"
#include "kwinet/socket/KwInBase.h"

namespace kwinet {

/// RIPE NCC's whois server: used for addresses and as the last fallback.
extern const Char* const KwRipeWhoisServer;

/// The whois client component: one query, the server's answer as text.
class TKwWhoIs : public TKwInetBase {
 public:
  /// Creates the client on port 43 with the built-in server list.
  explicit TKwWhoIs(TComponent* AOwner);
  ~TKwWhoIs() override;

  /// "domain " and Domain for the RIPE NCC server, Domain alone otherwise;
  /// one line.
  String GetQuery() override;

  ///@{
  /// Whether setting Domain also picks Host from the server list (true at
  /// first).
  bool AutoSelectServer() const { return FAutoSelectServer; }
  void SetAutoSelectServer(bool value) { FAutoSelectServer = value; }
  ///@}
  /// The domain (or address) asked about.
  const String& Domain() const { return FDomain; }
  /// Stores the domain and, with AutoSelectServer, sets Host to the server
  /// of the domain's last label ("*" line, then RIPE NCC, as fallbacks).
  void SetDomain(const String& value);
  ///@{
  /// The servers by last label, one "label=server" a line, "*" naming the
  /// fallback;
  /// SetServerList copies the lines.
  TStringList* ServerList() const { return FServerList.get(); }
  void SetServerList(TStrings* value);
  ///@}

 protected:
  /// A whois server reads one line; anything after it is taken as input.
  bool SendsRawHeaders() const override { return false; }

 private:
  String FDomain;
  std::unique_ptr<TStringList> FServerList;
  bool FAutoSelectServer = true;
};

}  // namespace kwinet
