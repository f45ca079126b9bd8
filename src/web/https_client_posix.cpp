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

// Failures that say nothing about the request itself: another try may work.
bool isTransient(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_SSL_CONNECT_ERROR:
      return true;
    default:
      return false;
  }
}

}  // namespace

THttpResponse postRequest(const THttpRequest& request, const THttpLimits& limits) {
  const std::string& url = request.url;
  const bool plainAllowed = checkedAddress(request);
  const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(),
                                                                 curl_easy_cleanup);
  if (!curl) throw EHttpError(u"libcurl could not be set up.");
  curl_slist* list = nullptr;
  for (const std::string& header : request.headers) {
    curl_slist* longer = curl_slist_append(list, header.c_str());
    if (!longer) {
      curl_slist_free_all(list);
      throw std::bad_alloc();
    }
    list = longer;
  }
  const std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headerList(list,
                                                                               curl_slist_free_all);
  THttpResponse response;
  char error[CURL_ERROR_SIZE] = {};
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, plainAllowed ? "http,https" : "https");
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "https");
  curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.body.c_str());
  curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.body.size()));
  if (list) curl_easy_setopt(c, CURLOPT_HTTPHEADER, list);
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
    std::string reason = error[0] ? error : curl_easy_strerror(result);
    // libcurl names hosts, not paths; the address is kept out all the same.
    if (!request.shownAs.empty())
      for (size_t at; (at = reason.find(url)) != std::string::npos;)
        reason.replace(at, url.size(), request.shownAs);
    throw EHttpError(u"The request to " + shownAddress(request) + u" failed: " + fromUtf8(reason),
                     isTransient(result));
  }
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &response.status);
  char* location = nullptr;
  if (curl_easy_getinfo(c, CURLINFO_REDIRECT_URL, &location) == CURLE_OK && location)
    response.location = location;
  return response;
}

}  // namespace quorvex
