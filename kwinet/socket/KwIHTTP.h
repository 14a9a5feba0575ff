/// @file
/// A minimal HTTP/1.0 client on the socket base: one request per step, the
/// response split into its header lines and its body, redirects followed
/// when the application agrees.
#pragma once

#include <functional>
#include <memory>

#include "kwinet/core/StringList.h"
#include "kwinet/socket/KwInBase.h"

namespace kwinet {

/// The request method: HEAD, GET or POST.
enum TKwIHTTPAction : std::uint8_t { haHead, haGet, haPost };
/// @var haHead
/// HEAD: the headers only.
/// @var haGet
/// GET.
/// @var haPost
/// POST.

/// URL is the value of the Location header; clearing Abort follows it.
using TKwIHTTPRedirectEvent = std::function<void(TObject* Sender, String& URL, bool& Abort)>;

/// An HTTP/1.0 client: one request, its response headers and body.
class TKwIHTTPClient : public TKwInetBase {
 public:
  /// Creates the client: a HEAD request with no extra headers, RemoveHeaders
  /// set.
  explicit TKwIHTTPClient(TComponent* AOwner);
  ~TKwIHTTPClient() override;

  ///@{
  /// The request method (haHead at first).
  TKwIHTTPAction Action() const { return FAction; }
  void SetAction(TKwIHTTPAction value) { FAction = value; }
  ///@}
  ///@{
  /// The path and query of the request line, as sent.
  const String& Request() const { return FRequest; }
  void SetRequest(const String& value) { FRequest = value; }
  ///@}
  ///@{
  /// Header lines sent with the request; SetHeaders copies them.
  TStringList* Headers() const { return FHeaders.get(); }
  void SetHeaders(TStrings* value) { FHeaders->Assign(value); }
  ///@}
  ///@{
  /// Whether the text Execute returns is the body alone (true at first), the
  /// headers staying in ResponseHeaders.
  bool RemoveHeaders() const { return FRemoveHeaders; }
  void SetRemoveHeaders(bool value) { FRemoveHeaders = value; }
  ///@}
  ///@{
  /// Called on a redirect; without a handler no redirect is followed.
  const TKwIHTTPRedirectEvent& OnRedirect() const { return FOnRedirect; }
  void SetOnRedirect(TKwIHTTPRedirectEvent value) { FOnRedirect = std::move(value); }
  ///@}
  /// The status line and header lines of the last response.
  TStringList* ResponseHeaders() const { return FResponseHeaders.get(); }

  /// The request: request line, Host, the Headers lines, the proxy lines,
  /// and the empty line that ends the block. Through a proxy the request
  /// line names the whole URL.
  String GetQuery() override;
  /// The first response line that begins with Value (ASCII case ignored).
  String GetResponse(const String& Value) const;

  /// The status code of the last response, 0 when it did not begin with an
  /// HTTP status line.
  int StatusCode() const { return FStatusCode; }
  /// Why the last Execute gave no whole HTTP response: the message of the
  /// error that ended it, or what is wrong with the answer (not HTTP, its
  /// head or body cut short); empty when the response is whole. A 4xx or 5xx
  /// with its whole body is a whole response.
  const String& ResponseError() const { return FResponseError; }

  /// Whether Text can stand in a request line as it is: no space, no
  /// control character, nothing beyond one byte.
  static bool FitsRequestLine(const String& Text);

 protected:
  /// Refuses, before connecting, a Request or Host that does not fit in the
  /// request line and a Headers line with a line break or NUL in it.
  void BeforeExecute() override;
  void InternalExecute(String& Text) override;
  void AfterExecute(String& Text) override;
  bool SendsRawHeaders() const override { return false; }
  bool SpeaksHTTP() const override { return true; }

 private:
  // Fills ResponseHeaders from a response; with RemoveHeaders, leaves only
  // the body (the bytes after the empty line, exactly) in Text.
  void SplitResponse(String& Text);
  void ProcessResponse(String& Text);
  void FollowRedirect(const String& URL, String& Text);

  TKwIHTTPAction FAction = haHead;
  String FRequest;
  std::unique_ptr<TStringList> FHeaders;
  bool FRemoveHeaders = true;
  std::unique_ptr<TStringList> FResponseHeaders;
  TKwIHTTPRedirectEvent FOnRedirect;
  int FStatusCode = 0;
  String FResponseError;
};

}  // namespace kwinet
