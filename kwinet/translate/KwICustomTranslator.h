// What the translation clients share: the web component's settings and its
// one-shot GET, with a bound on the answer's size and the answer's status
// checked, so that an error page is never taken for a translation or for
// audio.
#pragma once

#include <cstdint>

#include "kwinet/core/Streams.h"
#include "kwinet/web/kwiupdate.h"

namespace kwinet {

class TKwCustomTranslator : public TKwCustomWebComponent {
 public:
  explicit TKwCustomTranslator(TComponent* AOwner);

 protected:
  // The clients are called directly; Execute has nothing to do.
  void InternalExecute() override {}

  // Starts a call: Status isInProgress, no error text.
  void BeginCall();
  // The whole answer to a GET of URL into Stream (from position 0; left at
  // position 0). False, with Status isFailed and ErrorText set, when the
  // service could not be reached, did not answer whole within Timeout, sent
  // more than MaxResponseSize bytes or answered with an error status.
  bool FetchAnswer(const String& URL, TStream& Stream);
  // Ends a call: Status isFinished, or isFailed with Reason.
  void EndCall(bool Ok, const String& Reason = String());
};

// URL query value: the UTF-8 bytes of S, form-encoded.
String TranslatorQueryValue(const String& S);

}  // namespace kwinet
