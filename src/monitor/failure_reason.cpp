#include "monitor/failure_reason.h"

namespace quorvex {

namespace {

bool contains(std::u16string_view text, std::u16string_view part) {
  return text.find(part) != std::u16string_view::npos;
}

bool containsAny(std::u16string_view text, std::initializer_list<std::u16string_view> parts) {
  for (std::u16string_view part : parts)
    if (contains(text, part)) return true;
  return false;
}

}  // namespace

std::u16string TFailureReason::text() const {
  if (kind == TFailureKind::NotStarted && !startError.empty()) return startError;
  return word();
}

std::u16string TFailureReason::word() const {
  switch (kind) {
    case TFailureKind::None:
      return u"";
    case TFailureKind::TimedOut:
      return u"timed out";
    case TFailureKind::Refused:
      return u"refused";
    case TFailureKind::AuthenticationRefused:
      return u"authentication refused";
    case TFailureKind::TLSFailed:
      return u"TLS failed";
    case TFailureKind::NameNotResolved:
      return u"name not resolved";
    case TFailureKind::ConfigurationError:
      return u"configuration error";
    case TFailureKind::Device:
      return u"device";
    case TFailureKind::Ended:
      return u"ended";
    case TFailureKind::NotStarted:
      return u"not started";
  }
  return u"ended";
}

TFailureReason notStarted(std::u16string error) {
  return {TFailureKind::NotStarted, std::move(error)};
}

// The words are openvpn 2.6's own, as it prints them on Linux.
void TFailureSigns::see(std::u16string_view output) {
  _authFailed = _authFailed || contains(output, u"AUTH_FAILED");
  _optionsError = _optionsError || contains(output, u"Options error:");
  _tlsFailed =
      _tlsFailed || containsAny(output, {u"VERIFY ERROR", u"certificate verify failed",
                                         u"TLS_ERROR: BIO read", u"TLS Error: TLS object"});
  _nameNotResolved = _nameNotResolved || contains(output, u"Cannot resolve host address");
  _refused = _refused || containsAny(output, {u"Connection refused", u"ECONNREFUSED",
                                              u"No route to host", u"EHOSTUNREACH"});
  _device = _device || containsAny(output, {u"TUNSETIFF", u"Cannot allocate TUN/TAP",
                                            u"Cannot open TUN/TAP", u"/dev/net/tun"});
}

TFailureReason TFailureSigns::judge(bool childEnded) const {
  // The most telling sign first: a server that refused the login was
  // reached, and a handshake that failed came after the port answered. A
  // handshake that merely never finished is a silent peer, not a TLS fault.
  if (_authFailed) return {TFailureKind::AuthenticationRefused};
  if (_optionsError) return {TFailureKind::ConfigurationError};
  if (_tlsFailed) return {TFailureKind::TLSFailed};
  if (_nameNotResolved) return {TFailureKind::NameNotResolved};
  if (_refused) return {TFailureKind::Refused};
  if (_device) return {TFailureKind::Device};
  return {childEnded ? TFailureKind::Ended : TFailureKind::TimedOut};
}

}  // namespace quorvex
