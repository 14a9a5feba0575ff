#include "FakeHttp.h"

namespace kwinet::test {

TFakeHttp::TFakeHttp(std::string head, std::string body, std::size_t bodyBytes, TMode mode)
    : FAnswer(head.empty() ? std::string() : head + body.substr(0, bodyBytes)),
      FStall(mode == fmStallAfter),
      FServer([this](FakeConnection& c) { Serve(c); }) {}

void TFakeHttp::Serve(FakeConnection& c) const {
  c.ReadUntil("\r\n\r\n", 2000);
  if (FAnswer.empty()) return;
  c.Send(FAnswer);
  // A stall lasts until the client gives up or the server stops.
  if (FStall) c.WaitForClientClose(60000);
}

}  // namespace kwinet::test
