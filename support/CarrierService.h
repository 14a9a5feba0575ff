// An in-process emulator of the carriers' REST interfaces (UPS and FedEx:
// their OAuth token endpoints and their track requests), for the tests and
// the tool's demo. It listens on plain HTTP on loopback; nginx with the test
// CA stands in front of it (NginxLocations()).
//
// Each request is checked as the services check it: method, path, headers,
// the body's shape, the client's credentials on a token request (HTTP Basic
// at UPS, form fields at FedEx) and a bearer token that the emulator issued
// on a data request. A request that is not as the services want it is
// answered 400 and recorded in Problems(). The answers are those of
// CarrierAnswers.h: a shipment for the known numbers, the unknown-number
// answers for any other, 401 for a refused client or token.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "support/CarrierAnswers.h"
#include "support/FakeServer.h"

namespace kwinet::support {

class TCarrierService {
 public:
  // The clients it knows from the start: kUPSClientId / kFedExClientId with
  // kClientSecret. Throws std::runtime_error when it cannot listen.
  TCarrierService();

  int Port() const { return FServer.Port(); }
  FakeServer& Server() { return FServer; }
  // nginx location blocks that send the carriers' paths to this emulator.
  std::string NginxLocations() const;

  // One more client (id and secret) that the token endpoints accept.
  void AddClient(const std::string& Id, const std::string& Secret);
  // The lifetime of the tokens it issues from now on, in seconds.
  void SetExpiresIn(int Seconds);
  // Every token issued so far is refused (401) from now on.
  void RevokeTokens();
  // The next data request is answered 429 with Retry-After: Seconds.
  void ThrottleOnce(int Seconds);
  // A token request is answered only after this many milliseconds.
  void SetTokenDelay(int Ms);

  // Token requests made for a client id (accepted or not).
  int TokenRequests(const std::string& ClientId) const;
  // Data requests (track) received.
  int DataRequests() const;
  // What was not as the services want it, one line a request.
  std::vector<std::string> Problems() const;
  // Every request, raw, and whether it was a token request.
  std::vector<std::pair<bool, std::string>> Requests() const;
  // Every token issued so far.
  std::vector<std::string> Tokens() const;

  static constexpr const char* kUPSClientId = "ups-client";
  static constexpr const char* kFedExClientId = "fedex-client";
  static constexpr const char* kClientSecret = "s3cr3t+/=&";

 private:
  void Serve(FakeConnection& c);
  // Status line, headers and body of the answer to one request.
  std::string Answer(const std::string& Request);
  std::string TokenAnswer(bool Ups, const std::string& Head, const std::string& Body);
  std::string TrackAnswer(bool Ups, const std::string& Head, const std::string& Target, const std::string& Body);
  std::string Refuse(const std::string& Why);

  mutable std::mutex FLock;
  std::map<std::string, std::string> FClients;
  std::map<std::string, int> FTokenRequests;
  std::set<std::string> FTokens, FRevoked;
  std::vector<std::string> FIssued;
  std::vector<std::string> FProblems;
  std::vector<std::pair<bool, std::string>> FRequests;
  int FExpiresIn = 3600;
  int FThrottle = -1;
  int FTokenDelay = 0;
  int FDataRequests = 0;
  int FSerial = 0;
  FakeServer FServer;
};

}  // namespace kwinet::support
