/// @file
/// DNS resolver: one query message per requested record type, over UDP with
/// a fall-back to TCP for truncated answers, returning the raw answers and a
/// parsed list of their answer records.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kwinet/core/Classes.h"
#include "kwinet/socket/KwInBase.h"

namespace kwinet {

/// The record types a resolver can ask for, one query each; irAll asks with
/// type ANY (255).
enum TKwIDNSRequest : std::uint8_t {
  irAll,              ///< Every record (ANY, 255).
  irA,                ///< An IPv4 address (A, 1).
  irNS,               ///< A name server (NS, 2).
  irName,             ///< The canonical name (CNAME, 5).
  irSOA,              ///< The start of authority (SOA, 6).
  irMB,               ///< A mailbox domain (MB, 7).
  irMG,               ///< A mail group member (MG, 8).
  irMR,               ///< A mail rename domain (MR, 9).
  irRR,               ///< A null record (NULL, 10).
  irWKS,              ///< A well-known service (WKS, 11).
  irPTR,              ///< A domain name pointer (PTR, 12).
  irHostInfo,         ///< Host information (HINFO, 13).
  irMailInfo,         ///< Mailbox information (MINFO, 14).
  irMX,               ///< A mail exchanger (MX, 15).
  irText,             ///< Text (TXT, 16).
  irTransferRequest,  ///< A zone transfer (AXFR, 252).
  irMailB             ///< Mailbox records (MAILB, 253).
};
/// A set of record types to ask for.
using TKwIDNSRequests = TSet<TKwIDNSRequest>;

/// The query type (QTYPE) written for a request.
std::uint16_t DNSQueryType(TKwIDNSRequest Request);
///@{
/// "A", "MX", "TYPE99"... for a record type; "IN", "CH", "CLASS9"... for a class.
String DNSTypeName(std::uint16_t Type);
String DNSClassName(std::uint16_t Class);
///@}

/// One resource record of an answer section. Data is text for A, AAAA, NS,
/// CNAME, PTR, MX, TXT and SOA (as dig shows it), hexadecimal otherwise.
struct TKwIDNSRecord {
  /// The owner name, dotted.
  String Name;
  /// The record type (TYPE).
  std::uint16_t RecordType = 0;
  /// The class (CLASS).
  std::uint16_t RecordClass = 0;
  /// Seconds the record may be cached.
  std::uint32_t TTL = 0;
  /// The record's data, as text or hexadecimal.
  String Data;
};

/// Appends the answer records of one DNS message to Records. Returns false
/// (with Error set) for a message that is cut short or malformed: a name
/// pointer that does not point backwards, an offset outside the message, a
/// name longer than 255 bytes, a record running past its length.
bool ParseDNSAnswer(std::string_view Message, std::vector<TKwIDNSRecord>& Records, String& Error);

/// The name as it goes on the wire, dotted, without a trailing dot: an ASCII
/// name unchanged, any other turned into its ASCII form with IDNA
/// (nontransitional first, then transitional as browsers do). False, with
/// Error set, for a name IDNA refuses, an empty label ("a..b", ".a"), a label
/// over 63 bytes or a name over 255 bytes in its wire form.
bool DNSNameToAscii(const String& Name, std::string& Ascii, String& Error);

/// A DNS client: for each requested type one query to the server, the answer
/// records collected in Answers.
class TKwIDNSResolver : public TKwInetBase {
 public:
  /// Creates the resolver on port 53, asking for nothing yet.
  explicit TKwIDNSResolver(TComponent* AOwner);
  /// Ends a running job first (EndJob).
  ~TKwIDNSResolver() override { EndJob(); }

  /// The query message of the current step: a random identifier, one
  /// question for the step's request type (requests in ordinal order).
  /// Empty when Requests or Domain is empty, or no server is given. A
  /// Domain that DNSNameToAscii refuses raises Exception: nothing is sent.
  String GetQuery() override;

  ///@{
  /// The record types to ask for.
  TKwIDNSRequests Requests() const { return FRequests; }
  void SetRequests(TKwIDNSRequests value) { FRequests = value; }
  ///@}
  ///@{
  /// The name asked about.
  const String& Domain() const { return FDomain; }
  void SetDomain(const String& value) { FDomain = value; }
  ///@}
  ///@{
  /// Send every message over TCP (with its length field) instead of UDP.
  bool UseTCP() const { return FUseTCP; }
  void SetUseTCP(bool value) { FUseTCP = value; }
  ///@}

  /// The answer records of the last Execute, in the order of the messages.
  const std::vector<TKwIDNSRecord>& Answers() const { return FAnswers; }

 protected:
  /// One step per requested type.
  void BeforeExecute() override;
  void InternalExecute(String& Text) override;
  /// A TCP connection is made only when a message needs one.
  void Connect() override {}
  bool SendsRawHeaders() const override { return false; }

 private:
  std::string ExchangeOverTCP(const std::string& Message);
  bool Matches(const std::string& Answer, const std::string& Message) const;

  TKwIDNSRequests FRequests;
  String FDomain;
  bool FUseTCP = false;
  std::vector<TKwIDNSRecord> FAnswers;
  std::string FLastQuery;  // bytes of the message GetQuery built last
};

}  // namespace kwinet
