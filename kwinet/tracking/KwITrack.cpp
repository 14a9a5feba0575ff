#include "kwinet/tracking/KwITrack.h"

#include <string>
#include <vector>

#include "kwinet/core/Application.h"
#include "kwinet/tracking/OAuthToken.h"
#include "kwinet/tracking/TrackRest.h"
#include "kwinet/web/KwInet.h"

namespace kwinet {

namespace {

// Piece size of the answer: one progress call each, against a fixed
// maximum (the size of an answer is not known in advance).
constexpr std::uint32_t kPieceSize = 2050;
constexpr std::uint32_t kProgressMax = 10240;

}  // namespace

// --- TKwInetActivityAddress -----------------------------------------------------

String TKwInetActivityAddress::Text() const {
  String out;
  for (const String* field :
       {&FAddressLine1, &FAddressLine2, &FAddressLine3, &FCity, &FPostalCode, &FState, &FCountry}) {
    if (field->empty()) continue;
    if (!out.empty()) out += u' ';
    out += *field;
  }
  return out;
}

void TKwInetActivityAddress::Assign(TPersistent* Source) {
  if (auto* s = dynamic_cast<TKwInetActivityAddress*>(Source)) {
    FAddressLine1 = s->FAddressLine1;
    FAddressLine2 = s->FAddressLine2;
    FAddressLine3 = s->FAddressLine3;
    FCity = s->FCity;
    FPostalCode = s->FPostalCode;
    FState = s->FState;
    FCountry = s->FCountry;
    return;
  }
  TPersistent::Assign(Source);
}

// --- TKwInetActivity ------------------------------------------------------------

TKwInetActivity::TKwInetActivity(TCollection* Collection)
    : TCollectionItem(Collection), FLocation(std::make_unique<TKwInetActivityAddress>()) {}

void TKwInetActivity::Assign(TPersistent* Source) {
  auto* s = dynamic_cast<TKwInetActivity*>(Source);
  if (!s) {
    TCollectionItem::Assign(Source);
    return;
  }
  if (s == this) return;
  TCollection* c = Collection();
  if (c) c->BeginUpdate();
  FLocationCode = s->FLocationCode;
  FLocation->Assign(s->FLocation.get());
  FLocationDescription = s->FLocationDescription;
  FLocationSignedForByName = s->FLocationSignedForByName;
  FStatusTypeCode = s->FStatusTypeCode;
  FStatusTypeDescription = s->FStatusTypeDescription;
  FStatusCode = s->FStatusCode;
  FDateTime = s->FDateTime;
  if (c) c->EndUpdate();
}

// --- TKwShipmentValues ----------------------------------------------------------

TKwShipmentValues::TKwShipmentValues()
    : ShipperAddress(std::make_unique<TKwInetActivityAddress>()),
      ShipToAddress(std::make_unique<TKwInetActivityAddress>()) {}

// --- TKwInetCustomTracker -------------------------------------------------------

TKwInetCustomTracker::TKwInetCustomTracker(TComponent* AOwner)
    : TKwCustomWebComponent(AOwner), FActivities(std::make_unique<TKwInetActivities>(this)) {
  SetAgent(u"Moravelle Tracker");
  SetService(isHTTPS);
  SetPort(443);
  SetMaxResponseSize(ContentMaxResponseSize);
}

TKwInetCustomTracker::~TKwInetCustomTracker() {
  EndJob();  // the job uses what goes below
  FActivities.reset();
}

void TKwInetCustomTracker::SetTrackingNumber(const String& Value) {
  if (Value != FTrackingNumber) FTrackingNumber = Value;
  Clear();
}

void TKwInetCustomTracker::Clear() {
  FActivities->Clear();
  FLastXMLRequest.clear();
  FLastXMLResponse.clear();
}

String TKwInetCustomTracker::GetLastXMLRequest() {
  FLastXMLRequestChanged = false;
  return FLastXMLRequest;
}

void TKwInetCustomTracker::SetLastXMLRequest(const String& Value) {
  if (Value == FLastXMLRequest) return;
  FLastXMLRequest = Value;
  FLastXMLRequestChanged = true;
}

bool TKwInetCustomTracker::Exchange() {
  // Certificates are checked as everywhere else: the chain against
  // CACertFile (or the system's store) and the name against Host. Numbers
  // and credentials go nowhere else: not even where a redirection points.
  const bool https = Service() == isHTTPS;
  hFindFile = HttpOpenRequest(hURL, u"POST", GetTrackAppHeader(), String(),
                              (https ? INTERNET_FLAG_SECURE : INTERNET_FLAG_RELOAD) | INTERNET_FLAG_NO_AUTO_REDIRECT);
  if (!hFindFile) {
    SetErrorText(u"Cannot make the request for " + GetTrackAppHeader());
    return false;
  }
  String header1, header2, body;
  BuildRequestHeader(header1, header2, body);
  // A document can hold no control character but tab, line feed and
  // carriage return, not even as a reference: a value with one (a number
  // pasted with an escape, a key with a zero) would make an ill-formed
  // request, which is refused here rather than sent.
  for (Char c : body)
    if (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') {
      SetErrorText(u"The request cannot carry the control character U+" + IntToHex(c, 4) +
                   u" (in the tracking number or a setting)");
      return false;
    }
  for (const String* line : {&header1, &header2}) {
    if (!line->empty() && !HttpAddRequestHeaders(hFindFile, *line)) {
      SetErrorText(u"Cannot add the request header \"" + *line + u"\"");
      return false;
    }
  }
  FLastXMLRequest = body;
  FLastXMLRequestChanged = true;
  if (!HttpSendRequest(hFindFile, BytesToString(StringToUtf8(body)))) {
    // No answer: refused, an untrusted or misnamed certificate, no word
    // within Timeout.
    SetErrorText();
    if (ErrorText().empty()) SetErrorText(u"No answer from " + Host());
    return false;
  }
  int code = 0;
  if (HttpQueryStatusCode(hFindFile, code) && code >= 300 && code < 400) {
    SetErrorText(u"The service answered " + IntToStr(code) +
                 u" (a redirection); the request goes to no other place than " + Host());
    return false;
  }
  // Any other answer is read: a carrier's fault document comes with an
  // error status, and its walk simply finds no shipment in it.
  std::vector<char> piece(kPieceSize);
  std::uint32_t total = 0;
  bool abort = false;
  for (;;) {
    std::uint32_t n = 0;
    if (!InternetReadFile(hFindFile, piece.data(), kPieceSize, n)) {
      SetErrorText();
      if (ErrorText().empty()) SetErrorText(u"The answer was cut short");
      return false;
    }
    if (n == 0) break;
    FLastXMLResponse.append(BytesToString(piece.data(), n));
    total += n;
    UpdateProgress(total, kProgressMax, abort);
    if (abort) {
      SetErrorText(u"Cancelled");
      return false;
    }
  }
  SetAction(iaDownloaded);
  return true;
}

void TKwInetCustomTracker::ReportFailure() {
  SetStatus(isFailed);
  // Nothing of a partial answer stays: a cut document would still yield
  // part of a shipment.
  FLastXMLResponse = u"Error: " + ErrorText() + u"\r\n";
  if (FErrorDialog &&
      Application->MessageBox(ErrorText(), u"Shipment tracking", MB_OKCANCEL | MB_ICONERROR) == IDCANCEL)
    FLastXMLResponse += u"Abort the operation\r\n";
}

TRestTrackResult TKwInetCustomTracker::ReadRestAnswer(std::string_view Answer) {
  (void)Answer;
  return TRestTrackResult();
}

bool TKwInetCustomTracker::RestOrigin(TServiceOrigin& Origin) {
  const String host = Host();
  if (host.empty() || SameText(host, ClassicDefaultHost())) {
    Origin = TServiceOrigin();
    Origin.Host = RestProductionHost();
    return true;
  }
  if (ParseServiceOrigin(host, Origin)) return true;
  // A bare name keeps the component's own scheme and port.
  if (host.find(u"://") == String::npos && host.find_first_of(u"/?#@ ") == String::npos &&
      !InetHasControlCharacter(host)) {
    Origin.Secure = Service() != isHTTP;
    Origin.Host = host;
    Origin.Port = Port();
    return true;
  }
  SetErrorText(u"Host must be scheme://host[:port] for the REST interface, not " + host);
  return false;
}

bool TKwInetCustomTracker::RestExchange() {
  // A control character cannot stand in a path or a header, and no
  // carrier's number holds one.
  for (Char c : FTrackingNumber)
    if (c < 0x20 || c == 0x7F) {
      SetErrorText(u"The request cannot carry the control character U+" + IntToHex(c, 4) + u" (in the tracking number)");
      return false;
    }
  TOAuthClient client;
  if (!RestOrigin(client.Origin)) return false;
  if (FClientId.empty() || FClientSecret.empty()) {
    SetErrorText(u"The REST interface needs ClientId and ClientSecret");
    return false;
  }
  client.ClientId = FClientId;
  client.ClientSecret = FClientSecret;
  RestTokenEndpoint(client);
  TServiceRequest request;
  request.Origin = client.Origin;
  BuildRestRequest(request);
  // What was asked, never with the token: the body, or the request line of
  // a request without one.
  FLastXMLRequest = request.Body.empty() ? request.Method + u" " + request.Path : Utf8ToString(request.Body);
  FLastXMLRequestChanged = true;
  SetAction(iaConnecting);
  TServiceAnswer answer;
  String error;
  if (!CallWithToken(*this, client, request, answer, error)) {
    // A refused client is the service's word, not a failed exchange.
    FNoShipmentAnswer = answer.Status == 401 || answer.Status == 403 || answer.Status == 400;
    SetErrorText(error);
    return false;
  }
  FLastXMLResponse = BytesToString(answer.Body);
  bool abort = false;
  UpdateProgress(answer.Body.size(), kProgressMax, abort);
  if (abort) {
    SetErrorText(u"Cancelled");
    return false;
  }
  if (answer.Status >= 200 && answer.Status < 300) {
    const TRestTrackResult result = ReadRestAnswer(answer.Body);
    if (result.Found) {
      SetAction(iaDownloaded);
      return true;
    }
    FNoShipmentAnswer = true;
    SetErrorText(result.Error.empty() ? String(u"The service's answer holds no shipment") : result.Error);
    return false;
  }
  const String message = ReadServiceErrorMessage(answer.Body);
  FNoShipmentAnswer = answer.Status == 401 || answer.Status == 403 || answer.Status == 404;
  SetErrorText(u"The service answered " + IntToStr(answer.Status) + (message.empty() ? String() : u": " + message));
  return false;
}

void TKwInetCustomTracker::InternalExecute() {
  FLastXMLRequest.clear();
  FLastXMLResponse.clear();
  FNoShipmentAnswer = false;
  if (FApiKind == akRest) {
    const bool ok = RestExchange();
    if (!ok) ReportFailure();
    SetAction(iaDisconnected);
    return;
  }
  ConnectToInet(false);
  bool ok = false;
  if (!hInet || !hURL) {
    SetErrorText();
    if (ErrorText().empty()) SetErrorText(Host().empty() ? String(u"No host given") : u"Cannot connect to " + Host());
  } else {
    ok = Exchange();
  }
  hFindFile.Reset();
  if (!ok) ReportFailure();
  DisconnectFromInet();
  ParseXMLResponse();
}

}  // namespace kwinet
