#include "web/https_client.h"

#include <algorithm>

#include "platform/text.h"

namespace quorvex {

namespace {

bool isHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

}  // namespace

std::string percentEncode(std::string_view text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    const bool unreserved = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                            (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
    if (unreserved) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kDigits[c >> 4];
      out += kDigits[c & 15];
    }
  }
  return out;
}

std::string percentDecode(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2])) {
      out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string formEncode(const TFormFields& fields) {
  std::string out;
  for (const auto& [name, value] : fields)
    out += (out.empty() ? "" : "&") + percentEncode(name) + "=" + percentEncode(value);
  return out;
}

std::u16string shownAddress(const THttpRequest& request) {
  return fromUtf8(request.shownAs.empty() ? request.url : request.shownAs);
}

bool checkedAddress(const THttpRequest& request) {
  const std::string& url = request.url;
  const bool plain = url.rfind("http://", 0) == 0;
  const bool loopback =
      url.rfind("http://127.0.0.1:", 0) == 0 || url.rfind("http://127.0.0.1/", 0) == 0;
  const bool plainAllowed = request.plainHttpAllowed || loopback;
  if (url.rfind("https://", 0) != 0 && !(plain && plainAllowed))
    throw EHttpError(u"The address " + shownAddress(request) +
                     (request.plainHttpAllowed ? u" is not an http:// or https:// address."
                                               : u" is not an https:// address."));
  return plainAllowed;
}

THttpResponse postForm(const std::string& url, const TFormFields& fields,
                       const THttpLimits& limits) {
  THttpRequest request{
      url, {"Content-Type: application/x-www-form-urlencoded"}, formEncode(fields)};
  return postRequest(request, limits);
}

std::string urlHost(const std::string& url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string::npos) return "(no host)";
  const size_t start = scheme + 3;
  const size_t stop = std::min(url.find_first_of("/?#", start), url.size());
  std::string_view authority = std::string_view(url).substr(start, stop - start);
  // The user and password before "@" are a secret like the path.
  if (const size_t at = authority.rfind('@'); at != std::string_view::npos)
    authority.remove_prefix(at + 1);
  return authority.empty() ? "(no host)" : std::string(authority);
}

}  // namespace quorvex
