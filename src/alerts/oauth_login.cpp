#include "alerts/oauth_login.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <random>

#include "mail/body_encoders.h"
#include "platform/text.h"
#include "platform/unique_fd.h"
#include "settings/value_text.h"
#include "web/json.h"
#include "web/sha256.h"

namespace quorvex {

namespace {

constexpr char kDeviceGrant[] = "urn:ietf:params:oauth:grant-type:device_code";
// A browser sends its request at once; a connection that says nothing is
// dropped after this.
constexpr int kRequestTimeoutMs = 5000;
constexpr size_t kMaxRequest = 16 * 1024;

std::string randomText(size_t length) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~";
  std::random_device device;
  std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 2);
  std::string text;
  for (size_t i = 0; i < length; ++i) text += kAlphabet[pick(device)];
  return text;
}

// base64url without padding of the verifier's SHA-256 (the S256 method).
std::string codeChallenge(const std::string& verifier) {
  const auto digest = sha256(verifier);
  std::string text = TQxEncoderMIME::Encode(
      std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
  std::replace(text.begin(), text.end(), '+', '-');
  std::replace(text.begin(), text.end(), '/', '_');
  text.erase(std::remove(text.begin(), text.end(), '='), text.end());
  return text;
}

std::map<std::string, std::string> queryOf(const std::string& address) {
  std::map<std::string, std::string> query;
  const size_t start = address.find('?');
  if (start == std::string::npos) return query;
  std::string rest = address.substr(start + 1);
  rest = rest.substr(0, rest.find('#'));
  size_t at = 0;
  while (at <= rest.size()) {
    size_t end = rest.find('&', at);
    if (end == std::string::npos) end = rest.size();
    const std::string pair = rest.substr(at, end - at);
    const size_t equals = pair.find('=');
    if (!pair.empty())
      query[percentDecode(pair.substr(0, equals))] =
          equals == std::string::npos ? "" : percentDecode(pair.substr(equals + 1));
    at = end + 1;
  }
  return query;
}

std::string member(std::map<std::string, std::string>& answer, const char* name) {
  return answer[name];
}

// The answer of a device poll or a device authorisation request.
std::map<std::string, std::string> jsonAnswer(const THttpResponse& response) {
  try {
    return parseJsonObject(response.body);
  } catch (const EJsonError& e) {
    throw EOAuthError(u"The provider answered HTTP " +
                      int32ToText(static_cast<int32_t>(response.status)) + u", " + e.Message() +
                      u".");
  }
}

std::u16string refreshTokenOf(std::map<std::string, std::string>& answer) {
  const std::string refresh = member(answer, "refresh_token");
  if (refresh.empty())
    throw EOAuthError(
        u"The provider signed in but sent no refresh token (the scope needs "
        u"offline access).");
  return fromUtf8(refresh);
}

std::u16string expiredCode() {
  return u"The sign-in code expired before the sign-in was completed; run quorvex --oauth-login "
         u"again.";
}

int32_t numberOr(std::map<std::string, std::string>& answer, const char* name, int32_t fallback) {
  try {
    const std::string text = member(answer, name);
    return text.empty() ? fallback : textToInt32(fromUtf8(text));
  } catch (const Exception&) {
    return fallback;
  }
}

// The request line's target of one HTTP request on fd, or "" when none came.
std::string readRequestTarget(int fd) {
  std::string request;
  pollfd pfd{fd, POLLIN, 0};
  // Bounded: each read waits at most kRequestTimeoutMs.
  while (request.find("\r\n") == std::string::npos && request.size() < kMaxRequest &&
         ::poll(&pfd, 1, kRequestTimeoutMs) == 1) {
    char chunk[2048];
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    request.append(chunk, static_cast<size_t>(n));
  }
  const size_t first = request.find(' ');
  const size_t second = request.find(' ', first + 1);
  if (request.rfind("GET ", 0) != 0 || second == std::string::npos) return {};
  return request.substr(first + 1, second - first - 1);
}

void answerBrowser(int fd, bool found) {
  const std::string body = found ? "<html><body><p>Signed in. Quorvex has what it needs; this "
                                   "window may be closed.</p></body></html>"
                                 : "not found";
  const std::string reply = std::string(found ? "HTTP/1.1 200 OK" : "HTTP/1.1 404 Not Found") +
                            "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                            std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  [[maybe_unused]] const ssize_t sent = ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
}

}  // namespace

std::u16string deviceLogin(const TOptions& options, const TOAuthLoginIO& io) {
  const TOAuthEndpoints endpoints = oauthEndpoints(options);
  if (endpoints.loginUrl.empty())
    throw EOAuthError(
        u"The provider needs its device sign-in address (the option "
        u"oauth_device_url).");
  const std::u16string& provider = options.Text(TOptionId::OAuthProvider);
  TFormFields start = oauthClientFields(options);
  start.emplace_back("scope", endpoints.scope);
  const THttpResponse started = postForm(endpoints.loginUrl, start, io.http);
  auto device = jsonAnswer(started);
  if (started.status != 200 || member(device, "device_code").empty())
    tokenAnswer(started, provider);
  io.show("To sign in, open " + member(device, "verification_uri") +
          " in a browser and enter the code " + member(device, "user_code") + "\n");
  auto interval = std::chrono::seconds(std::max(1, numberOr(device, "interval", 5)));
  const auto deadline = io.clock() + std::chrono::seconds(numberOr(device, "expires_in", 900));
  TFormFields poll = oauthClientFields(options);
  poll.emplace_back("grant_type", kDeviceGrant);
  poll.emplace_back("device_code", member(device, "device_code"));
  // Bounded by the code's lifetime the provider stated.
  while (true) {
    if (io.clock() + interval > deadline) throw EOAuthError(expiredCode());
    io.sleep(interval);
    const THttpResponse response = postForm(endpoints.tokenUrl, poll, io.http);
    auto answer = jsonAnswer(response);
    const std::string error = member(answer, "error");
    if (error == "authorization_pending") continue;
    if (error == "slow_down") {
      interval += std::chrono::seconds(5);
      continue;
    }
    if (error == "expired_token") throw EOAuthError(expiredCode());
    auto tokens = tokenAnswer(response, provider);
    return refreshTokenOf(tokens);
  }
}

std::u16string loopbackLogin(const TOptions& options, const TOAuthLoginIO& io) {
  const TOAuthEndpoints endpoints = oauthEndpoints(options);
  if (endpoints.loginUrl.empty())
    throw EOAuthError(u"The provider needs its sign-in address (the option oauth_device_url).");
  TUniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (!listener.valid() ||
      ::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(listener.get(), 4) != 0 ||
      ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw EOAuthError(u"No port on 127.0.0.1 can take the sign-in's redirect.");
  const std::string redirect = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
  const std::string verifier = randomText(64);
  const std::string state = randomText(32);
  TFormFields query = {{"response_type", "code"}};
  for (const auto& field : oauthClientFields(options))
    if (field.first == "client_id") query.push_back(field);
  query.insert(query.end(), {{"redirect_uri", redirect},
                             {"scope", endpoints.scope},
                             {"state", state},
                             {"code_challenge", codeChallenge(verifier)},
                             {"code_challenge_method", "S256"},
                             {"access_type", "offline"},
                             {"prompt", "consent"}});
  const char separator = endpoints.loginUrl.find('?') == std::string::npos ? '?' : '&';
  io.show("To sign in, open this address in a browser:\n\n  " + endpoints.loginUrl + separator +
          formEncode(query) +
          "\n\nWhen the browser runs on another machine, it ends on an address starting with " +
          redirect + " that it cannot open: paste that address here and press Enter.\n");

  std::map<std::string, std::string> answer;
  std::string pasted;
  int inputFd = io.inputFd;
  const auto deadline = io.clock() + std::chrono::milliseconds(io.redirectTimeoutMs);
  // Bounded by redirectTimeoutMs.
  while (answer.empty()) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - io.clock()).count();
    pollfd fds[2] = {{listener.get(), POLLIN, 0}, {inputFd, POLLIN, 0}};
    if (left <= 0 || ::poll(fds, inputFd >= 0 ? 2 : 1, static_cast<int>(left)) <= 0)
      throw EOAuthError(u"No sign-in arrived within " + durationText(io.redirectTimeoutMs) +
                        u"; run quorvex --oauth-login again.");
    if (fds[0].revents & POLLIN) {
      TUniqueFd browser(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
      if (!browser.valid()) continue;
      auto found = queryOf(readRequestTarget(browser.get()));
      const bool useful = found.count("code") || found.count("error");
      answerBrowser(browser.get(), useful);
      if (useful) answer = std::move(found);
    }
    if (inputFd >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
      char chunk[4096];
      const ssize_t n = ::read(inputFd, chunk, sizeof chunk);
      if (n > 0) pasted.append(chunk, static_cast<size_t>(n));
      for (size_t end = pasted.find('\n'); end != std::string::npos && answer.empty();
           end = pasted.find('\n')) {
        const std::string line = toUtf8(Trim(fromUtf8(pasted.substr(0, end))));
        pasted.erase(0, end + 1);
        if (line.empty()) continue;
        answer = queryOf(line);
        if (!answer.count("code") && !answer.count("error")) {
          answer.clear();
          io.show("That is not the redirect address; paste the whole address.\n");
        }
      }
      // Input ended (no terminal, say): only the browser can answer now.
      if (n <= 0) inputFd = -1;
    }
  }
  if (answer["state"] != state)
    throw EOAuthError(
        u"The sign-in answer belongs to another sign-in (its state differs); run "
        u"quorvex --oauth-login again.");
  if (!answer["error"].empty())
    throw EOAuthError(u"The sign-in was refused (" + fromUtf8(answer["error"]) +
                      (answer["error_description"].empty()
                           ? u""
                           : u": " + fromUtf8(answer["error_description"])) +
                      u").");
  TFormFields trade = oauthClientFields(options);
  trade.insert(trade.end(), {{"grant_type", "authorization_code"},
                             {"code", answer["code"]},
                             {"code_verifier", verifier},
                             {"redirect_uri", redirect}});
  auto tokens = tokenAnswer(postForm(endpoints.tokenUrl, trade, io.http),
                            options.Text(TOptionId::OAuthProvider));
  return refreshTokenOf(tokens);
}

}  // namespace quorvex
