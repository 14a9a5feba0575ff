#include "kwinet/translate/KwICustomTranslator.h"

#include "kwinet/utils/HttpHead.h"
#include "kwinet/utils/kwiutil.h"
#include "kwinet/web/KwInet.h"

namespace kwinet {

namespace {

// Raised by the bounded stream to stop the transfer; never leaves
// FetchAnswer.
struct TAnswerTooLarge {};

// Passes writes on to Target until Limit bytes have gone through; the write
// that would pass the limit raises TAnswerTooLarge instead.
class TBoundedStream : public TStream {
 public:
  TBoundedStream(TStream& Target, std::int64_t Limit) : FTarget(Target), FLimit(Limit) {}
  std::int64_t Read(void* Buffer, std::int64_t Count) override { return FTarget.Read(Buffer, Count); }
  std::int64_t Write(const void* Buffer, std::int64_t Count) override {
    if (FLimit > 0 && Count > FLimit - FWritten) throw TAnswerTooLarge();
    const std::int64_t n = FTarget.Write(Buffer, Count);
    FWritten += n;
    return n;
  }
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override { return FTarget.Seek(Offset, Origin); }
  void SetSize(std::int64_t NewSize) override { FTarget.SetSize(NewSize); }
  std::int64_t Size() override { return FTarget.Size(); }

 private:
  TStream& FTarget;
  std::int64_t FLimit;
  std::int64_t FWritten = 0;
};

}  // namespace

TKwCustomTranslator::TKwCustomTranslator(TComponent* AOwner) : TKwCustomWebComponent(AOwner) {
  // The services are reached over HTTPS (the key travels in every query);
  // Host carries the scheme, so a caller can still name a plain HTTP one.
  SetService(isHTTPS);
}

void TKwCustomTranslator::BeginCall() {
  // Every call's GET clears ErrorText as it starts.
  SetStatus(isInProgress);
}

void TKwCustomTranslator::EndCall(bool Ok, const String& Reason) {
  if (!Ok) {
    if (!Reason.empty()) SetErrorText(Reason);
    SetStatus(isFailed);
  } else if (Status() == isInProgress) {
    SetStatus(isFinished);
  }
}

bool TKwCustomTranslator::FetchAnswer(const String& URL, TStream& Stream) {
  TBoundedStream bounded(Stream, FMaxResponseSize);
  bool whole = false;
  try {
    whole = ReadHTTPGetResponse(URL, bounded);
  } catch (const TAnswerTooLarge&) {
    Stream.SetPosition(0);
    EndCall(false, Format(u"The answer is larger than MaxResponseSize (%d bytes)", {FMaxResponseSize}));
    return false;
  }
  if (!whole) {
    // ReadHTTPGetResponse has said why.
    EndCall(false);
    return false;
  }
  // The body arrived whole, so the status line of its answer is the last
  // one the transfer layer saw on this thread.
  const std::string line = StringToUtf8(InternetGetLastResponseInfo());
  THttpStatusLine status;
  if (StartsText(u"http", URL) && (!ParseHttpStatusLine(line, status) || status.Code < 200 || status.Code > 299)) {
    EndCall(false, u"The service answered " + Utf8ToString(line));
    return false;
  }
  return true;
}

String TranslatorQueryValue(const String& S) {
  return KwInetHTTPEncode(BytesToString(StringToUtf8(S)));
}

}  // namespace kwinet
