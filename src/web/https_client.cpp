#include "web/https_client.h"

#include <curl/curl.h>

#include <memory>

#include "platform/text.h"

namespace quorvex {

namespace {

// An answer larger than this is no token response.
constexpr size_t kMaxBody = 1 << 20;

size_t collect(char* data, size_t size, size_t count, void* sink) {
  auto* body = static_cast<std::string*>(sink);
  if (body->size() + size * count > kMaxBody) return 0;  // ends the transfer with an error
  body->append(data, size * count);
  return size * count;
}

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

THttpResponse postForm(const std::string& url, const TFormFields& fields,
                       const THttpLimits& limits) {
  const bool loopback =
      url.rfind("http://127.0.0.1:", 0) == 0 || url.rfind("http://127.0.0.1/", 0) == 0;
  if (url.rfind("https://", 0) != 0 && !loopback)
    throw EHttpError(u"The address " + fromUtf8(url) + u" is not an https:// address.");
  const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(),
                                                                 curl_easy_cleanup);
  if (!curl) throw EHttpError(u"libcurl could not be set up.");
  const std::string body = formEncode(fields);
  THttpResponse response;
  char error[CURL_ERROR_SIZE] = {};
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, loopback ? "http,https" : "https");
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "https");
  curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(c, CURLOPT_SSLVERSION, CURL_SSLVERSION_TLSv1_2);
  if (!limits.caFile.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, limits.caFile.c_str());
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs);
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, limits.totalTimeoutMs);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);  // time-outs without SIGALRM, safe in threads
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &response.body);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(c, CURLOPT_USERAGENT, "quorvex");
  const CURLcode result = curl_easy_perform(c);
  if (result != CURLE_OK) {
    const std::string reason = error[0] ? error : curl_easy_strerror(result);
    throw EHttpError(u"The request to " + fromUtf8(url) + u" failed: " + fromUtf8(reason));
  }
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &response.status);
  return response;
}

}  // namespace quorvex
