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

}  // namespace

THttpResponse postForm(const std::string& url, const TFormFields& fields,
                       const THttpLimits& limits) {
  const bool loopback = checkedAddress(url);
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
