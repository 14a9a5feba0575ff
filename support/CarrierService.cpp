#include "support/CarrierService.h"

#include <cctype>
#include <chrono>
#include <cstring>
#include <thread>

#include <nlohmann/json.hpp>

namespace kwinet::support {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The value of a header (name without regard to case), or "" with Found
// false.
std::string Header(const std::string& Head, const std::string& Name, bool* Found = nullptr) {
  const std::string head = Lower(Head);
  const std::string key = "\r\n" + Lower(Name) + ":";
  const std::size_t p = head.find(key);
  if (Found) *Found = p != std::string::npos;
  if (p == std::string::npos) return std::string();
  std::size_t start = p + key.size();
  const std::size_t end = Head.find("\r\n", start);
  while (start < end && (Head[start] == ' ' || Head[start] == '\t')) ++start;
  std::string value = Head.substr(start, end - start);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
  return value;
}

std::string Unbase64(const std::string& s) {
  std::string out;
  unsigned v = 0;
  int bits = 0;
  for (const char c : s) {
    const char* table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const char* p = c ? std::strchr(table, c) : nullptr;
    if (!p) break;
    v = (v << 6) | static_cast<unsigned>(p - table);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((v >> bits) & 0xFF);
    }
  }
  return out;
}

// The fields of a form body, decoded ("+" a space, %XX a byte).
std::map<std::string, std::string> FormFields(const std::string& Body, bool& Ok) {
  std::map<std::string, std::string> fields;
  Ok = true;
  std::size_t start = 0;
  while (start <= Body.size()) {
    std::size_t end = Body.find('&', start);
    if (end == std::string::npos) end = Body.size();
    const std::string pair = Body.substr(start, end - start);
    const std::size_t eq = pair.find('=');
    if (eq == std::string::npos) {
      Ok = false;
      break;
    }
    auto decode = [&](const std::string& s) {
      std::string out;
      for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '+') {
          out += ' ';
        } else if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
                   std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
          out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
          i += 2;
        } else if (s[i] == '%') {
          Ok = false;
        } else {
          out += s[i];
        }
      }
      return out;
    };
    fields[decode(pair.substr(0, eq))] = decode(pair.substr(eq + 1));
    start = end + 1;
  }
  return fields;
}

std::string Reply(const std::string& Status, const std::string& Body, const std::string& Extra = std::string()) {
  return "HTTP/1.0 " + Status + "\r\nContent-Type: application/json\r\n" + Extra +
         "Content-Length: " + std::to_string(Body.size()) + "\r\n\r\n" + Body;
}

}  // namespace

TCarrierService::TCarrierService() : FServer([this](FakeConnection& c) { Serve(c); }) {
  FClients[kUPSClientId] = kClientSecret;
  FClients[kFedExClientId] = kClientSecret;
}

std::string TCarrierService::NginxLocations() const {
  const std::string upstream = "http://127.0.0.1:" + std::to_string(Port());
  std::string out;
  for (const char* path : {"/security/v1/oauth/", "/oauth/", "/api/track/", "/track/v1/"})
    out += std::string("    location ") + path + " { proxy_pass " + upstream + "; }\n";
  return out;
}

void TCarrierService::AddClient(const std::string& Id, const std::string& Secret) {
  std::lock_guard<std::mutex> hold(FLock);
  FClients[Id] = Secret;
}

void TCarrierService::SetExpiresIn(int Seconds) {
  std::lock_guard<std::mutex> hold(FLock);
  FExpiresIn = Seconds;
}

void TCarrierService::RevokeTokens() {
  std::lock_guard<std::mutex> hold(FLock);
  FRevoked.insert(FTokens.begin(), FTokens.end());
}

void TCarrierService::ThrottleOnce(int Seconds) {
  std::lock_guard<std::mutex> hold(FLock);
  FThrottle = Seconds;
}

void TCarrierService::SetTokenDelay(int Ms) {
  std::lock_guard<std::mutex> hold(FLock);
  FTokenDelay = Ms;
}

int TCarrierService::TokenRequests(const std::string& ClientId) const {
  std::lock_guard<std::mutex> hold(FLock);
  const auto it = FTokenRequests.find(ClientId);
  return it == FTokenRequests.end() ? 0 : it->second;
}

int TCarrierService::DataRequests() const {
  std::lock_guard<std::mutex> hold(FLock);
  return FDataRequests;
}

std::vector<std::string> TCarrierService::Problems() const {
  std::lock_guard<std::mutex> hold(FLock);
  return FProblems;
}

std::vector<std::pair<bool, std::string>> TCarrierService::Requests() const {
  std::lock_guard<std::mutex> hold(FLock);
  return FRequests;
}

std::vector<std::string> TCarrierService::Tokens() const {
  std::lock_guard<std::mutex> hold(FLock);
  return FIssued;
}

void TCarrierService::Serve(FakeConnection& c) {
  if (!c.ReadHttpRequest()) return;
  c.Send(Answer(c.Data()));
}

std::string TCarrierService::Refuse(const std::string& Why) {
  FProblems.push_back(Why);
  nlohmann::json body = {{"errors", {{{"code", "BAD.REQUEST"}, {"message", Why}}}}};
  return Reply("400 Bad Request", body.dump());
}

std::string TCarrierService::Answer(const std::string& Request) {
  const std::size_t headEnd = Request.find("\r\n\r\n");
  const std::string head = Request.substr(0, headEnd + 2);
  const std::string body = Request.substr(headEnd + 4);
  const std::string line = head.substr(0, head.find("\r\n"));
  const std::size_t sp1 = line.find(' '), sp2 = line.rfind(' ');
  const std::string method = line.substr(0, sp1);
  const std::string target = sp1 == sp2 ? std::string() : line.substr(sp1 + 1, sp2 - sp1 - 1);
  const bool upsToken = target == "/security/v1/oauth/token";
  const bool fedexToken = target == "/oauth/token";
  int delay = 0;
  {
    std::lock_guard<std::mutex> hold(FLock);
    FRequests.emplace_back(upsToken || fedexToken, Request);
    delay = upsToken || fedexToken ? FTokenDelay : 0;
  }
  if (delay) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  std::lock_guard<std::mutex> hold(FLock);
  if (upsToken || fedexToken) {
    if (method != "POST") return Refuse("a token request is a POST, not " + method);
    return TokenAnswer(upsToken, head, body);
  }
  const bool upsTrack = target.rfind("/api/track/v1/details/", 0) == 0;
  const bool fedexTrack = target == "/track/v1/trackingnumbers";
  if (!upsTrack && !fedexTrack) return Refuse("no such path: " + target);
  if (method != (upsTrack ? "GET" : "POST")) return Refuse("wrong method " + method + " for " + target);
  return TrackAnswer(upsTrack, head, target, body);
}

std::string TCarrierService::TokenAnswer(bool Ups, const std::string& Head, const std::string& Body) {
  if (Lower(Header(Head, "Content-Type")) != "application/x-www-form-urlencoded")
    return Refuse("a token request's body is form-encoded");
  bool ok = false;
  auto fields = FormFields(Body, ok);
  if (!ok || fields["grant_type"] != "client_credentials") return Refuse("grant_type=client_credentials expected");
  std::string id, secret;
  bool basic = false;
  const std::string authorization = Header(Head, "Authorization", &basic);
  if (Ups) {
    if (fields.size() != 1) return Refuse("UPS takes the credentials by HTTP Basic, not in the body");
    if (!basic || authorization.rfind("Basic ", 0) != 0) return Refuse("UPS wants HTTP Basic credentials");
    const std::string pair = Unbase64(authorization.substr(6));
    const std::size_t colon = pair.find(':');
    id = pair.substr(0, colon);
    const auto known = FClients.find(id);
    if (colon == std::string::npos || known == FClients.end() || known->second != pair.substr(colon + 1)) {
      ++FTokenRequests[id];
      return Reply("401 Unauthorized", kUPSRestBadClient);
    }
  } else {
    if (basic) return Refuse("FedEx takes the credentials as form fields");
    if (fields.size() != 3 || !fields.count("client_id") || !fields.count("client_secret"))
      return Refuse("FedEx wants grant_type, client_id and client_secret");
    id = fields["client_id"];
    const auto known = FClients.find(id);
    if (known == FClients.end() || known->second != fields["client_secret"]) {
      ++FTokenRequests[id];
      return Reply("401 Unauthorized", kFedExRestBadClient);
    }
  }
  ++FTokenRequests[id];
  const std::string token = (Ups ? "ups-token-" : "fedex-token-") + std::to_string(++FSerial) + "-" + id;
  FTokens.insert(token);
  FIssued.push_back(token);
  nlohmann::json answer;
  if (Ups)
    answer = {{"token_type", "Bearer"},   {"issued_at", "1765400000000"}, {"client_id", id},
              {"access_token", token},    {"expires_in", std::to_string(FExpiresIn)},
              {"status", "approved"}};
  else
    answer = {{"access_token", token}, {"token_type", "bearer"}, {"expires_in", FExpiresIn}, {"scope", "CXS"}};
  return Reply("200 OK", answer.dump());
}

std::string TCarrierService::TrackAnswer(bool Ups, const std::string& Head, const std::string& Target,
                                         const std::string& Body) {
  ++FDataRequests;
  const std::string authorization = Header(Head, "Authorization");
  if (authorization.rfind("Bearer ", 0) != 0) return Refuse("a track request carries a bearer token");
  const std::string token = authorization.substr(7);
  if (!FTokens.count(token) || FRevoked.count(token) || token.rfind(Ups ? "ups-" : "fedex-", 0) != 0)
    return Reply("401 Unauthorized", Ups ? kUPSRestBadToken : kFedExRestBadToken);
  if (FThrottle >= 0) {
    const int wait = FThrottle;
    FThrottle = -1;
    return Reply("429 Too Many Requests",
                 R"({"errors":[{"code":"RATE.LIMIT.EXCEEDED","message":"We have received too many requests."}]})",
                 "Retry-After: " + std::to_string(wait) + "\r\n");
  }
  std::string number;
  if (Ups) {
    bool has = false;
    const std::string transId = Header(Head, "transId", &has);
    if (!has || transId.empty() || transId.size() > 32) return Refuse("transId of 1 to 32 characters expected");
    if (Header(Head, "transactionSrc").empty()) return Refuse("transactionSrc expected");
    const std::string prefix = "/api/track/v1/details/";
    const std::size_t query = Target.find('?');
    if (query == std::string::npos || Target.substr(query) != "?locale=en_US&returnSignature=false")
      return Refuse("locale=en_US&returnSignature=false expected");
    number = Target.substr(prefix.size(), query - prefix.size());
    if (number.find_first_of("/ ") != std::string::npos) return Refuse("the number is one path segment");
    return number == kUPSRestNumber ? Reply("200 OK", kUPSRestAnswer) : Reply("404 Not Found", kUPSRestUnknown);
  }
  if (Lower(Header(Head, "Content-Type")).rfind("application/json", 0) != 0)
    return Refuse("a FedEx track request is JSON");
  const auto json = nlohmann::json::parse(Body, nullptr, false);
  if (json.is_discarded() || !json.is_object()) return Refuse("the body is no JSON object");
  const auto info = json.find("trackingInfo");
  if (info == json.end() || !info->is_array() || info->empty() || info->size() > 30)
    return Refuse("trackingInfo holds 1 to 30 numbers");
  const auto& first = (*info)[0];
  if (!first.is_object() || !first.contains("trackingNumberInfo") ||
      !first["trackingNumberInfo"].is_object() || !first["trackingNumberInfo"].contains("trackingNumber") ||
      !first["trackingNumberInfo"]["trackingNumber"].is_string())
    return Refuse("trackingInfo[].trackingNumberInfo.trackingNumber expected");
  if (json.contains("includeDetailedScans") && !json["includeDetailedScans"].is_boolean())
    return Refuse("includeDetailedScans is a Boolean");
  number = first["trackingNumberInfo"]["trackingNumber"].get<std::string>();
  return Reply("200 OK", number == kFedExRestNumber ? kFedExRestAnswer : kFedExRestUnknown);
}

}  // namespace kwinet::support
