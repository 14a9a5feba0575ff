/// @file
/// What the translation clients share: the web component's settings and its
/// one-shot GET, with a bound on the answer's size and the answer's status
/// checked, so that an error page is never taken for a translation or for
/// audio.
#pragma once

#include <cstdint>

#include "kwinet/core/Streams.h"
#include "kwinet/web/ServiceCall.h"
#include "kwinet/web/kwiupdate.h"

namespace kwinet {

/// The base of the translation clients.
class TKwCustomTranslator : public TKwCustomWebComponent {
 public:
  /// Creates the client for HTTPS, with ContentMaxResponseSize as the bound.
  explicit TKwCustomTranslator(TComponent* AOwner);
  /// Ends a running job first (EndJob).
  ~TKwCustomTranslator() override { EndJob(); }

 protected:
  /// The clients are called directly; Execute has nothing to do.
  void InternalExecute() override {}

  /// Starts a call: Status isInProgress, no error text. Raises
  /// EInvalidOperation while a job of the client runs on another thread.
  void BeginCall();
  /// The whole answer to a GET of URL into Stream (from position 0; left at
  /// position 0). False, with Status isFailed and ErrorText set, when the
  /// service could not be reached, did not answer whole within Timeout, sent
  /// more than MaxResponseSize bytes or answered with an error status.
  bool FetchAnswer(const String& URL, TStream& Stream);
  /// Ends a call: Status isFinished, or isFailed with Reason.
  void EndCall(bool Ok, const String& Reason = String());

  /// Today's interfaces. Where the service lives: with a Host that is empty
  /// or still ClassicHost, the production origin Production; otherwise Host,
  /// which must then be scheme://host[:port]. False, with the call ended
  /// isFailed, for a Host of another form.
  bool RestOrigin(const String& ClassicHost, const String& Production, TServiceOrigin& Origin);
  /// One exchange through CallService. True for an answer of status 2xx;
  /// otherwise false with the call ended isFailed and ErrorText holding why:
  /// the status and the service's own message from its error document
  /// ({"error":{"code":...,"message":...}}), with Secret, should the message
  /// hold it, blotted out.
  bool RestExchange(const TServiceRequest& Request, TServiceAnswer& Answer, const String& Secret);
};

/// URL query value: the UTF-8 bytes of S, form-encoded.
String TranslatorQueryValue(const String& S);

}  // namespace kwinet
