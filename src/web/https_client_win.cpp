#include <windows.h>
#include <winhttp.h>

#include "platform/text.h"
#include "web/https_client.h"

namespace quorvex {

namespace {

// An answer larger than this is no token response.
constexpr size_t kMaxBody = 1 << 20;

class TInternetHandle {
 public:
  explicit TInternetHandle(HINTERNET handle) : _handle(handle) {}
  ~TInternetHandle() {
    if (_handle) WinHttpCloseHandle(_handle);
  }
  TInternetHandle(const TInternetHandle&) = delete;
  TInternetHandle& operator=(const TInternetHandle&) = delete;
  HINTERNET get() const { return _handle; }
  explicit operator bool() const { return _handle != nullptr; }

 private:
  HINTERNET _handle;
};

std::wstring wide(const std::string& utf8) {
  const std::u16string text = fromUtf8(utf8);
  return std::wstring(text.begin(), text.end());
}

std::u16string systemText(DWORD error) {
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                     FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 GetModuleHandleW(L"winhttp.dll"), error, 0, reinterpret_cast<wchar_t*>(&text), 0,
                 nullptr);
  std::u16string result;
  for (const wchar_t* c = text; c && *c; ++c) result += static_cast<char16_t>(*c);
  LocalFree(text);
  while (!result.empty() &&
         (result.back() == u'\n' || result.back() == u'\r' || result.back() == u' '))
    result.pop_back();
  return result.empty() ? u"error " + u16(std::to_string(error)) : result;
}

// Failures that say nothing about the request itself: another try may work.
bool isTransient(DWORD error) {
  switch (error) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
    case ERROR_WINHTTP_CANNOT_CONNECT:
    case ERROR_WINHTTP_TIMEOUT:
    case ERROR_WINHTTP_CONNECTION_ERROR:
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
      return true;
    default:
      return false;
  }
}

}  // namespace

// Through the system's own HTTP client, WinHTTP: certificates and host names
// are checked against the system's trust store.
THttpResponse postRequest(const THttpRequest& request, const THttpLimits& limits) {
  const std::string& url = request.url;
  checkedAddress(request);
  if (!limits.caFile.empty())
    throw EHttpError(
        u"A file of certificate authorities is not used on Windows; the system's "
        u"trust store decides.");
  const auto failed = [&request](DWORD error) {
    return EHttpError(u"The request to " + shownAddress(request) + u" failed: " + systemText(error),
                      isTransient(error));
  };
  std::wstring address = wide(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
  if (!WinHttpCrackUrl(address.c_str(), 0, 0, &parts)) throw failed(GetLastError());
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  const std::wstring path =
      std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
      std::wstring(parts.lpszExtraInfo ? parts.lpszExtraInfo : L"", parts.dwExtraInfoLength);

  TInternetHandle session(WinHttpOpen(L"quorvex", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                      WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) throw failed(GetLastError());
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
  WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
  // A redirect is answered, never followed.
  DWORD redirects = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  WinHttpSetOption(session.get(), WINHTTP_OPTION_REDIRECT_POLICY, &redirects, sizeof redirects);
  // Every wait bounded: resolving and connecting by the connect limit, each
  // send and receive by the total one.
  const int connectMs = static_cast<int>(limits.connectTimeoutMs);
  const int totalMs = static_cast<int>(limits.totalTimeoutMs);
  WinHttpSetTimeouts(session.get(), connectMs, connectMs, totalMs, totalMs);
  TInternetHandle connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
  if (!connection) throw failed(GetLastError());
  TInternetHandle exchange(
      WinHttpOpenRequest(connection.get(), L"POST", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                         WINHTTP_DEFAULT_ACCEPT_TYPES,
                         parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
  if (!exchange) throw failed(GetLastError());
  std::string body = request.body;
  std::string headerLines;
  for (const std::string& header : request.headers) headerLines += header + "\r\n";
  const std::wstring headers = wide(headerLines);
  if (!WinHttpSendRequest(exchange.get(),
                          headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                          static_cast<DWORD>(-1L), body.data(), static_cast<DWORD>(body.size()),
                          static_cast<DWORD>(body.size()), 0) ||
      !WinHttpReceiveResponse(exchange.get(), nullptr))
    throw failed(GetLastError());
  THttpResponse response;
  DWORD status = 0, size = sizeof status;
  WinHttpQueryHeaders(exchange.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                      WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
  response.status = static_cast<long>(status);
  if (status >= 300 && status < 400) {
    DWORD length = 0;
    WinHttpQueryHeaders(exchange.get(), WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX,
                        WINHTTP_NO_OUTPUT_BUFFER, &length, WINHTTP_NO_HEADER_INDEX);
    std::wstring location(length / sizeof(wchar_t), L'\0');
    if (length &&
        WinHttpQueryHeaders(exchange.get(), WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX,
                            location.data(), &length, WINHTTP_NO_HEADER_INDEX)) {
      location.resize(length / sizeof(wchar_t));
      response.location = toUtf8(std::u16string(location.begin(), location.end()));
    }
  }
  while (true) {
    char chunk[8192];
    DWORD got = 0;
    if (!WinHttpReadData(exchange.get(), chunk, sizeof chunk, &got)) throw failed(GetLastError());
    if (got == 0) break;
    if (response.body.size() + got > kMaxBody)
      throw EHttpError(u"The answer of " + shownAddress(request) + u" is too large.");
    response.body.append(chunk, got);
  }
  return response;
}

}  // namespace quorvex
