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
  using Exception::Exception;
};

struct THttpLimits {
  long connectTimeoutMs = 10000;
  long totalTimeoutMs = 30000;  // the whole exchange, answer included
  // A PEM file of the authorities to trust; empty: the system's trust store.
  std::string caFile;
};

struct THttpResponse {
  long status = 0;
  std::string body;
};

using TFormFields = std::vector<std::pair<std::string, std::string>>;

// "a=1&b=x%20y": each name and value percent-encoded.
std::string formEncode(const TFormFields& fields);
std::string percentEncode(std::string_view text);
// Percent-decoding with "+" as a blank; malformed escapes stay as they are.
std::string percentDecode(std::string_view text);

// Raises EHttpError unless the address is https://, or http:// to 127.0.0.1
// (a peer on this machine); true for the latter.
bool checkedAddress(const std::string& url);

// POSTs the form to an https:// address (http:// only for 127.0.0.1), with
// certificate and host name checks on and every wait bounded by the limits.
// Any status is returned; only a failed exchange raises EHttpError.
THttpResponse postForm(const std::string& url, const TFormFields& fields,
                       const THttpLimits& limits = {});

}  // namespace quorvex
