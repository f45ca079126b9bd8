#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/exception.h"

namespace quorvex {

// The request could not be made or its answer not read: no connection,
// refused certificate, time-out.
class EHttpError : public Exception {
 public:
  explicit EHttpError(std::u16string message, bool transient = false)
      : Exception(std::move(message)), _transient(transient) {}
  // The same request may well succeed a moment later (no connection, no
  // answer in time); a refused certificate or a bad address will not.
  bool Transient() const { return _transient; }

 private:
  bool _transient;
};

struct THttpLimits {
  long connectTimeoutMs = 10000;
  long totalTimeoutMs = 30000;  // the whole exchange, answer included
  // A PEM file of the authorities to trust; empty: the system's trust store.
  std::string caFile;
};

struct THttpResponse {
  long status = 0;
  std::string body{};
  std::string location{};  // where a redirect points, which is never followed
};

struct THttpRequest {
  std::string url{};
  std::vector<std::string> headers{};  // "Name: value" lines
  std::string body{};
  // How errors name the address: empty for the whole URL. An address that
  // carries a secret in its path names its host only.
  std::string shownAs{};
  // http:// is taken as well as https://; otherwise only for 127.0.0.1.
  bool plainHttpAllowed = false;
};

using TFormFields = std::vector<std::pair<std::string, std::string>>;

// "a=1&b=x%20y": each name and value percent-encoded.
std::string formEncode(const TFormFields& fields);
std::string percentEncode(std::string_view text);
// Percent-decoding with "+" as a blank; malformed escapes stay as they are.
std::string percentDecode(std::string_view text);

// Raises EHttpError unless the address is https://, or http:// where the
// request allows it or to 127.0.0.1 (a peer on this machine); true when
// plain http:// may be used.
bool checkedAddress(const THttpRequest& request);
// The address as errors name it.
std::u16string shownAddress(const THttpRequest& request);

// POSTs the form to an https:// address (http:// only for 127.0.0.1), with
// certificate and host name checks on and every wait bounded by the limits.
// Any status is returned; only a failed exchange raises EHttpError.
THttpResponse postForm(const std::string& url, const TFormFields& fields,
                       const THttpLimits& limits = {});
// POSTs the body with the headers, with the same checks and bounds. Any
// status is returned and a redirect is not followed; only a failed exchange
// raises EHttpError.
THttpResponse postRequest(const THttpRequest& request, const THttpLimits& limits = {});

// "host" or "host:port" of an address, without the user, path or query (which
// may hold a secret); "(no host)" when there is none to be found.
std::string urlHost(const std::string& url);

}  // namespace quorvex
