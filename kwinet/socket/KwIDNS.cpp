#include "kwinet/socket/KwIDNS.h"

#include <arpa/inet.h>
#include <idn2.h>

#include <algorithm>
#include <random>

#include "kwinet/socket/ClientSocket.h"

namespace kwinet {

namespace {

constexpr std::uint16_t kQueryTypes[] = {255, 1, 2, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 252, 253};
// More hops than a name can have labels means the pointers are a trap.
constexpr int kMaxPointerHops = 128;

std::uint16_t U16(std::string_view m, std::size_t p) {
  return static_cast<std::uint16_t>((std::uint8_t(m[p]) << 8) | std::uint8_t(m[p + 1]));
}

std::uint32_t U32(std::string_view m, std::size_t p) {
  return (std::uint32_t(std::uint8_t(m[p])) << 24) | (std::uint32_t(std::uint8_t(m[p + 1])) << 16) |
         (std::uint32_t(std::uint8_t(m[p + 2])) << 8) | std::uint32_t(std::uint8_t(m[p + 3]));
}

// One byte of a label or character string as dig shows it.
void AppendEscaped(String& out, unsigned char c, bool inLabel) {
  if (c < 0x20 || c > 0x7E) {
    out += u"\\";
    out.push_back(static_cast<Char>(u'0' + c / 100));
    out.push_back(static_cast<Char>(u'0' + c / 10 % 10));
    out.push_back(static_cast<Char>(u'0' + c % 10));
    return;
  }
  if (c == '\\' || c == '"' || (inLabel && c == '.')) out.push_back(u'\\');
  out.push_back(static_cast<Char>(c));
}

String Hex(std::string_view bytes) {
  static const char digits[] = "0123456789ABCDEF";
  String out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out.push_back(static_cast<Char>(digits[c >> 4]));
    out.push_back(static_cast<Char>(digits[c & 15]));
  }
  return out;
}

// Reads a possibly compressed name at pos; pos moves past it. Every pointer
// must point before the labels read so far, so the walk always ends.
bool ReadName(std::string_view m, std::size_t& pos, String& out, String& error) {
  out.clear();
  std::size_t p = pos;
  std::size_t lowest = pos;
  std::size_t end = 0;
  bool jumped = false;
  int hops = 0;
  std::size_t length = 1;
  for (;;) {
    if (p >= m.size()) {
      error = u"name runs past the end of the message";
      return false;
    }
    const std::uint8_t len = std::uint8_t(m[p]);
    if ((len & 0xC0) == 0xC0) {
      if (p + 1 >= m.size()) {
        error = u"name pointer runs past the end of the message";
        return false;
      }
      const std::size_t target = (std::size_t(len & 0x3F) << 8) | std::uint8_t(m[p + 1]);
      if (!jumped) end = p + 2;
      jumped = true;
      if (target >= lowest || ++hops > kMaxPointerHops) {
        error = u"name pointer loop";
        return false;
      }
      lowest = p = target;
      continue;
    }
    if (len & 0xC0) {
      error = u"unknown label type";
      return false;
    }
    if (len == 0) {
      if (!jumped) end = p + 1;
      break;
    }
    if (p + 1 + len > m.size()) {
      error = u"label runs past the end of the message";
      return false;
    }
    length += len + 1;
    if (length > 255) {
      error = u"name longer than 255 bytes";
      return false;
    }
    for (std::size_t i = 0; i < len; ++i) AppendEscaped(out, std::uint8_t(m[p + 1 + i]), true);
    out.push_back(u'.');
    p += 1 + len;
  }
  if (out.empty()) out = u".";
  pos = end;
  return true;
}

// A name inside record data: its labels must end within the record
// (pointers may still reach earlier names of the message).
bool ReadDataName(std::string_view m, std::size_t& pos, std::size_t limit, String& out, String& error) {
  return ReadName(m.substr(0, limit), pos, out, error);
}

bool RecordData(std::string_view m, std::uint16_t type, std::size_t start, std::size_t length, String& data,
                String& error) {
  const std::size_t limit = start + length;
  std::size_t p = start;
  String name;
  auto exact = [&]() {
    if (p != limit) {
      error = u"record data longer than its content";
      return false;
    }
    return true;
  };
  switch (type) {
    case 1:
      if (length != 4) break;
      data = Format(u"%d.%d.%d.%d",
                    {std::uint8_t(m[p]), std::uint8_t(m[p + 1]), std::uint8_t(m[p + 2]), std::uint8_t(m[p + 3])});
      return true;
    case 28: {
      if (length != 16) break;
      char buf[INET6_ADDRSTRLEN] = {};
      ::inet_ntop(AF_INET6, m.data() + p, buf, sizeof buf);
      data = Str(buf);
      return true;
    }
    case 2:
    case 5:
    case 12:
      if (!ReadDataName(m, p, limit, data, error)) return false;
      return exact();
    case 15:
      if (length < 3) break;
      data = IntToStr(U16(m, p)) + u" ";
      p += 2;
      if (!ReadDataName(m, p, limit, name, error)) return false;
      data += name;
      return exact();
    case 16:
      data.clear();
      while (p < limit) {
        const std::size_t len = std::uint8_t(m[p]);
        if (p + 1 + len > limit) {
          error = u"text runs past its record";
          return false;
        }
        if (!data.empty()) data.push_back(u' ');
        data.push_back(u'"');
        for (std::size_t i = 0; i < len; ++i) AppendEscaped(data, std::uint8_t(m[p + 1 + i]), false);
        data.push_back(u'"');
        p += 1 + len;
      }
      return true;
    case 6: {
      String mname, rname;
      if (!ReadDataName(m, p, limit, mname, error) || !ReadDataName(m, p, limit, rname, error)) return false;
      if (limit - p != 20) {
        error = u"start of authority record of the wrong length";
        return false;
      }
      data = mname + u" " + rname;
      for (int i = 0; i < 5; ++i, p += 4) data += u" " + IntToStr(U32(m, p));
      return true;
    }
    default:
      break;
  }
  data = Hex(m.substr(start, length));
  return true;
}

std::mt19937& Random() {
  thread_local std::mt19937 generator{std::random_device{}()};
  return generator;
}

}  // namespace

std::uint16_t DNSQueryType(TKwIDNSRequest Request) {
  return kQueryTypes[Request];
}

bool DNSNameToAscii(const String& Name, std::string& Ascii, String& Error) {
  std::string name = StringToUtf8(Name);
  if (!name.empty() && name.back() == '.') name.pop_back();
  if (name.empty()) {
    Error = u"The DNS name is empty";
    return false;
  }
  if (std::any_of(name.begin(), name.end(), [](char c) { return std::uint8_t(c) >= 0x80; })) {
    char* out = nullptr;
    int rc = idn2_to_ascii_8z(name.c_str(), &out, IDN2_NONTRANSITIONAL);
    if (rc != IDN2_OK) rc = idn2_to_ascii_8z(name.c_str(), &out, IDN2_TRANSITIONAL);
    if (rc != IDN2_OK) {
      Error = u"The DNS name is not a valid international name: " + Utf8ToString(idn2_strerror(rc));
      return false;
    }
    name = out;
    idn2_free(out);
    if (!name.empty() && name.back() == '.') name.pop_back();
  }
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = std::min(name.find('.', start), name.size());
    if (dot == start) {
      Error = u"The DNS name has an empty label";
      return false;
    }
    if (dot - start > 63) {
      Error = u"A label of the DNS name is longer than 63 bytes";
      return false;
    }
    if (dot == name.size()) break;
    start = dot + 1;
  }
  // Each label carries a length byte, and the root label ends the name.
  if (name.size() + 2 > 255) {
    Error = u"The DNS name is longer than 255 bytes";
    return false;
  }
  Ascii = std::move(name);
  return true;
}

String DNSTypeName(std::uint16_t Type) {
  static const struct {
    std::uint16_t type;
    const char16_t* name;
  } names[] = {{1, u"A"},      {2, u"NS"},     {3, u"MD"},      {4, u"MF"},    {5, u"CNAME"}, {6, u"SOA"},
               {7, u"MB"},     {8, u"MG"},     {9, u"MR"},      {10, u"NULL"}, {11, u"WKS"},  {12, u"PTR"},
               {13, u"HINFO"}, {14, u"MINFO"}, {15, u"MX"},     {16, u"TXT"},  {28, u"AAAA"}, {33, u"SRV"},
               {41, u"OPT"},   {252, u"AXFR"}, {253, u"MAILB"}, {255, u"ANY"}};
  for (const auto& n : names)
    if (n.type == Type) return n.name;
  return u"TYPE" + IntToStr(Type);
}

String DNSClassName(std::uint16_t Class) {
  switch (Class) {
    case 1:
      return u"IN";
    case 3:
      return u"CH";
    case 4:
      return u"HS";
    default:
      return u"CLASS" + IntToStr(Class);
  }
}

bool ParseDNSAnswer(std::string_view Message, std::vector<TKwIDNSRecord>& Records, String& Error) {
  const std::string_view m = Message;
  if (m.size() < 12) {
    Error = u"message shorter than its header";
    return false;
  }
  const unsigned questions = U16(m, 4);
  const unsigned answers = U16(m, 6);
  std::size_t p = 12;
  String name;
  for (unsigned i = 0; i < questions; ++i) {
    if (!ReadName(m, p, name, Error)) return false;
    if (p + 4 > m.size()) {
      Error = u"question runs past the end of the message";
      return false;
    }
    p += 4;
  }
  std::vector<TKwIDNSRecord> found;
  for (unsigned i = 0; i < answers; ++i) {
    TKwIDNSRecord r;
    if (!ReadName(m, p, r.Name, Error)) return false;
    if (p + 10 > m.size()) {
      Error = u"record runs past the end of the message";
      return false;
    }
    r.RecordType = U16(m, p);
    r.RecordClass = U16(m, p + 2);
    r.TTL = U32(m, p + 4);
    const std::size_t length = U16(m, p + 8);
    p += 10;
    if (p + length > m.size()) {
      Error = u"record data runs past the end of the message";
      return false;
    }
    if (!RecordData(m, r.RecordType, p, length, r.Data, Error)) return false;
    p += length;
    found.push_back(std::move(r));
  }
  Records.insert(Records.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
  return true;
}

// --- TKwIDNSResolver --------------------------------------------------------------

TKwIDNSResolver::TKwIDNSResolver(TComponent* AOwner) : TKwInetBase(AOwner) {
  SetPort(53);
}

void TKwIDNSResolver::BeforeExecute() {
  TKwInetBase::BeforeExecute();
  FAnswers.clear();
  int count = 0;
  for (int o = irAll; o <= irMailB; ++o)
    if (FRequests.Contains(static_cast<TKwIDNSRequest>(o))) ++count;
  StepCount = count > 0 ? count : 1;
}

String TKwIDNSResolver::GetQuery() {
  FLastQuery.clear();
  if (FRequests.Empty() || FDomain.empty()) return String();
  if (Host().empty() && Address().empty()) return String();
  int index = 0;
  int request = -1;
  for (int o = irAll; o <= irMailB; ++o) {
    if (!FRequests.Contains(static_cast<TKwIDNSRequest>(o))) continue;
    if (index++ == CurrentStep) {
      request = o;
      break;
    }
  }
  if (request < 0) return String();

  const unsigned id = Random()() & 0xFFFF;
  String q;
  q.push_back(static_cast<Char>(id >> 8));
  q.push_back(static_cast<Char>(id & 0xFF));
  q += String(u"\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00", 10);

  std::string domain;
  String error;
  if (!DNSNameToAscii(FDomain, domain, error)) throw Exception(error);
  std::vector<std::string> labels;
  std::size_t start = 0;
  for (std::size_t dot; (dot = domain.find('.', start)) != std::string::npos; start = dot + 1)
    labels.push_back(domain.substr(start, dot - start));
  labels.push_back(domain.substr(start));
  if (request == irPTR) {
    std::reverse(labels.begin(), labels.end());
    labels.push_back("in-addr");
    labels.push_back("arpa");
  }
  std::size_t wire = 1;
  for (const std::string& label : labels) wire += label.size() + 1;
  if (wire > 255) throw Exception(u"The DNS name is longer than 255 bytes");
  for (const std::string& label : labels) {
    q.push_back(static_cast<Char>(label.size()));
    q += BytesToString(label);
  }
  const std::uint16_t type = kQueryTypes[request];
  q.push_back(0);
  q.push_back(static_cast<Char>(type >> 8));
  q.push_back(static_cast<Char>(type & 0xFF));
  q.push_back(0);
  q.push_back(1);
  FLastQuery = StringToBytes(q);
  return q;
}

bool TKwIDNSResolver::Matches(const std::string& Answer, const std::string& Message) const {
  if (Answer.size() < Message.size() || Message.size() < 12) return false;
  if (Answer[0] != Message[0] || Answer[1] != Message[1]) return false;
  if (!(std::uint8_t(Answer[2]) & 0x80)) return false;  // a query, not an answer
  if (U16(Answer, 4) != 1) return false;
  for (std::size_t i = 12; i < Message.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; };
    if (lower(Answer[i]) != lower(Message[i])) return false;
  }
  return true;
}

std::string TKwIDNSResolver::ExchangeOverTCP(const std::string& Message) {
  TClientSocket* socket = ClientSocket();
  if (!Connected() || !socket->Socket()->PeerAlive()) socket->Open();
  std::string framed;
  framed.push_back(static_cast<char>(Message.size() >> 8));
  framed.push_back(static_cast<char>(Message.size() & 0xFF));
  framed += Message;
  if (SendToSocket(BytesToString(framed)) <= 0) return std::string();

  auto readExactly = [&](std::size_t count) {
    std::string out;
    char buf[4096];
    while (out.size() < count) {
      const int want = static_cast<int>(std::min(sizeof buf, count - out.size()));
      const int n = ReceiveFromSocket(buf, want);
      if (n <= 0) throw ESocketError(u"The server closed the connection before the whole answer arrived");
      out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
  };
  const std::string length = readExactly(2);
  std::string answer = readExactly(U16(length, 0));
  if (!Matches(answer, Message)) throw ESocketError(u"The answer does not match the query");
  return answer;
}

void TKwIDNSResolver::InternalExecute(String& Text) {
  Text.clear();
  const String query = GetQuery();
  if (query.empty()) return;
  const std::string message = FLastQuery;
  std::string answer;
  bool overTCP = FUseTCP;
  if (!overTCP) {
    answer = DatagramExchange(Host(), Address(), Port(), message, Timeout(),
                              [&](const std::string& a) { return Matches(a, message); });
    overTCP = (std::uint8_t(answer[2]) & 0x02) != 0;  // truncated: ask again over TCP
  }
  if (overTCP) {
    answer = ExchangeOverTCP(message);
    if (answer.empty()) {
      Text = u"No answer from server";
      return;
    }
  }
  String error;
  if (!ParseDNSAnswer(answer, FAnswers, error)) throw Exception(u"Malformed DNS answer: " + error);
  Text = BytesToString(answer);
}

}  // namespace kwinet
