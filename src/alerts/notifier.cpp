#include "alerts/notifier.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <thread>

#include "mail/body_encoders.h"
#include "platform/exception.h"
#include "platform/host_name.h"
#include "platform/text.h"
#include "platform/text_encoding.h"
#include "process/split_command_line.h"
#include "web/json.h"

namespace quorvex {

namespace {

// Discord refuses a message longer than this.
constexpr size_t kDiscordLimit = 2000;
// How much of a service's answer an error keeps.
constexpr size_t kWordsKept = 200;

// "2026-12-11T16:40:00Z", by the calendar alone: no zone, no C library.
std::string utcText(TWallTime time) {
  using namespace std::chrono;
  const auto secondsTime = floor<seconds>(time);
  const auto day = floor<days>(secondsTime);
  const year_month_day date(day);
  const hh_mm_ss clock(secondsTime - day);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

std::string utf8(const std::u16string& text) { return toUtf8(text); }

// A name from outside on one line: it cannot break a header or a line.
std::u16string shown(const std::u16string& name) { return EscapeControls(name); }

// "Quorvex on vpnwatch, 2026-12-11 17:40:00": where and when.
std::u16string footer(const TNotificationFacts& f) {
  std::u16string text = u"Quorvex";
  if (!f.monitorHost.empty()) text += u" on " + shown(f.monitorHost);
  if (!f.localTime.empty()) text += u", " + f.localTime;
  return text;
}

// Slack's text escapes these three, whatever follows them.
std::u16string slackEscaped(std::u16string_view text) {
  std::u16string out;
  for (const char16_t c : text) {
    if (c == u'&')
      out += u"&amp;";
    else if (c == u'<')
      out += u"&lt;";
    else if (c == u'>')
      out += u"&gt;";
    else
      out += c;
  }
  return out;
}

// A header value: ASCII as it is, anything else as an RFC 2047 word.
std::string headerText(const std::u16string& text) {
  const std::string bytes = utf8(shown(text));
  for (const char c : bytes)
    if (static_cast<unsigned char>(c) >= 0x80)
      return "=?UTF-8?B?" + TQxEncoderMIME::Encode(bytes) + "?=";
  return bytes;
}

std::optional<std::u16string> outageText(const TNotificationFacts& f) {
  if (!f.outage) return std::nullopt;
  return formatOutageLength(*f.outage);
}

// ntfy's priorities: 1..5 or their words.
std::string ntfyPriority(const TNotifierConfig& n, TNotifyEvent event) {
  const bool urgent = event == TNotifyEvent::Down || event == TNotifyEvent::Reminder;
  if (!urgent) return "default";
  if (n.priority.empty()) return "high";
  static const char16_t* const kWords[] = {u"1",   u"2",       u"3",    u"4",      u"5",  u"min",
                                           u"low", u"default", u"high", u"urgent", u"max"};
  for (const char16_t* word : kWords)
    if (n.priority == word) return utf8(n.priority);
  throw Exception(u"the priority \"" + shown(n.priority) +
                  u"\" is none of 1 to 5, min, low, default, high and urgent");
}

// Gotify's priorities: 0..10.
int gotifyPriority(const TNotifierConfig& n, TNotifyEvent event) {
  const bool urgent = event == TNotifyEvent::Down || event == TNotifyEvent::Reminder;
  if (!urgent) return 4;
  if (n.priority.empty()) return 8;
  const auto value = ParseWholeNumber(n.priority, 0, 10, false);
  if (!value) throw Exception(u"the priority \"" + shown(n.priority) + u"\" is not 0 to 10");
  return static_cast<int>(*value);
}

std::string webhookBody(const TNotificationFacts& f) {
  const auto orNull = [](const std::u16string& text) {
    return text.empty() ? std::string("null") : jsonString(utf8(text));
  };
  return jsonObject({
      {"version", std::to_string(kWebhookSchemaVersion)},
      {"event", jsonString(utf8(std::u16string(eventWord(f.event))))},
      {"server", orNull(f.server)},
      {"status", orNull(f.status)},
      {"reason", orNull(f.reason)},
      {"time", jsonString(utcText(f.time))},
      {"outage_seconds", f.outage ? std::to_string(f.outage->count()) : "null"},
      {"monitor", orNull(f.monitorHost)},
      {"text", jsonString(utf8(notificationSentence(f)))},
  });
}

// A Workflows webhook posts a message with one Adaptive Card.
std::string teamsBody(const TNotificationFacts& f) {
  std::vector<std::string> facts;
  const auto fact = [&facts](const char* title, const std::u16string& value) {
    if (!value.empty())
      facts.push_back(
          jsonObject({{"title", jsonString(title)}, {"value", jsonString(utf8(value))}}));
  };
  fact("Server", f.server);
  fact("Status", f.status);
  fact("Reason", f.reason);
  fact("Outage", outageText(f).value_or(u""));
  fact("Time", f.localTime);
  fact("Monitor", f.monitorHost);
  const char* colour = f.event == TNotifyEvent::Up     ? "Good"
                       : f.event == TNotifyEvent::Test ? "Default"
                                                       : "Attention";
  const std::string card = jsonObject({
      {"$schema", jsonString("http://adaptivecards.io/schemas/adaptive-card.json")},
      {"type", jsonString("AdaptiveCard")},
      {"version", jsonString("1.4")},
      {"body", jsonArray({
                   jsonObject({{"type", jsonString("TextBlock")},
                               {"text", jsonString(utf8(notificationTitle(f)))},
                               {"weight", jsonString("Bolder")},
                               {"size", jsonString("Medium")},
                               {"color", jsonString(colour)},
                               {"wrap", "true"}}),
                   jsonObject({{"type", jsonString("TextBlock")},
                               {"text", jsonString(utf8(notificationSentence(f)))},
                               {"wrap", "true"}}),
                   jsonObject({{"type", jsonString("FactSet")}, {"facts", jsonArray(facts)}}),
               })},
  });
  return jsonObject({
      {"type", jsonString("message")},
      {"attachments", jsonArray({jsonObject(
                          {{"contentType", jsonString("application/vnd.microsoft.card.adaptive")},
                           {"contentUrl", "null"},
                           {"content", card}})})},
  });
}

std::u16string plainText(const TNotificationFacts& f) {
  return notificationSentence(f) + u"\n" + footer(f);
}

std::string discordBody(const TNotificationFacts& f) {
  std::u16string text = plainText(f);
  if (text.size() > kDiscordLimit) text = text.substr(0, kDiscordLimit - 1) + u"\u2026";
  // A server name cannot ping anyone.
  return jsonObject({{"content", jsonString(utf8(text))},
                     {"allowed_mentions", jsonObject({{"parse", jsonArray({})}})}});
}

const char* ntfyTags(TNotifyEvent event) {
  switch (event) {
    case TNotifyEvent::Down:
      return "rotating_light";
    case TNotifyEvent::Reminder:
      return "warning";
    case TNotifyEvent::Up:
      return "white_check_mark";
    case TNotifyEvent::Test:
      break;
  }
  return "test_tube";
}

// gotify takes messages at /message below its address.
std::string gotifyUrl(const std::string& base) {
  const size_t query = base.find('?');
  std::string path = base.substr(0, query);
  while (!path.empty() && path.back() == '/') path.pop_back();
  if (path.size() < 8 || path.compare(path.size() - 8, 8, "/message") != 0) path += "/message";
  return query == std::string::npos ? path : path + base.substr(query);
}

TNotificationMessage httpMessage(const TNotifierConfig& n, const TNotificationFacts& f) {
  TNotificationMessage m;
  THttpRequest& r = m.http;
  r.url = utf8(Trim(n.url));
  r.plainHttpAllowed = true;  // a service on the local network may have no certificate
  r.shownAs = urlHost(r.url);
  const auto bearer = [&] {
    if (!n.token.empty()) r.headers.push_back("Authorization: Bearer " + utf8(n.token));
  };
  const std::string json = "Content-Type: application/json";
  switch (n.kind) {
    case TNotifierKind::Webhook:
      r.headers.push_back(json);
      bearer();
      r.body = webhookBody(f);
      break;
    case TNotifierKind::Slack:
      r.headers.push_back(json);
      r.body = jsonObject({{"text", jsonString(utf8(slackEscaped(plainText(f))))}});
      break;
    case TNotifierKind::Teams:
      r.headers.push_back(json);
      r.body = teamsBody(f);
      break;
    case TNotifierKind::Discord:
      r.headers.push_back(json);
      r.body = discordBody(f);
      break;
    case TNotifierKind::Ntfy:
      r.headers.push_back("Content-Type: text/plain; charset=utf-8");
      r.headers.push_back("Title: " + headerText(notificationTitle(f)));
      r.headers.push_back("Priority: " + ntfyPriority(n, f.event));
      r.headers.push_back(std::string("Tags: ") + ntfyTags(f.event));
      bearer();
      r.body = utf8(plainText(f));
      break;
    case TNotifierKind::Gotify:
      r.url = gotifyUrl(r.url);
      r.headers.push_back(json);
      // In a header rather than the address, so that no log of a proxy keeps it.
      r.headers.push_back("X-Gotify-Key: " + utf8(n.token));
      r.body = jsonObject({{"title", jsonString(utf8(notificationTitle(f)))},
                           {"message", jsonString(utf8(plainText(f)))},
                           {"priority", std::to_string(gotifyPriority(n, f.event))}});
      break;
    case TNotifierKind::Command:
      break;
  }
  // The notifier's own headers replace those of the same name above.
  const auto nameOf = [](std::string_view header) {
    return fromUtf8(header.substr(0, header.find(':')));
  };
  for (const std::u16string& header : n.headers) {
    const std::u16string name = Trim(header.substr(0, header.find(u':')));
    std::erase_if(r.headers,
                  [&](const std::string& own) { return EqualsNoCase(Trim(nameOf(own)), name); });
  }
  for (const std::u16string& header : n.headers) r.headers.push_back(utf8(header));
  return m;
}

TNotificationMessage commandMessage(const TNotifierConfig& n, const TNotificationFacts& f) {
  TNotificationMessage m;
  const TEncoding& local = TEncoding::System();
  for (const std::u16string& arg : splitCommandLine(n.command))
    m.args.push_back(local.GetBytes(arg));
  const auto set = [&](const char* name, const std::u16string& value) {
    m.environment.emplace_back(name, local.GetBytes(value));
  };
  set("QUORVEX_EVENT", std::u16string(eventWord(f.event)));
  set("QUORVEX_SERVER", f.server);
  set("QUORVEX_STATUS", f.status);
  set("QUORVEX_REASON", f.reason);
  set("QUORVEX_TIME", u16(utcText(f.time)));
  set("QUORVEX_LOCAL_TIME", f.localTime);
  set("QUORVEX_OUTAGE_SECONDS", f.outage ? u16(std::to_string(f.outage->count())) : u"");
  set("QUORVEX_MONITOR_HOST", f.monitorHost);
  set("QUORVEX_NOTIFIER", n.name);
  set("QUORVEX_TEXT", notificationSentence(f));
  return m;
}

// What a service said, kept short: the message of a JSON error, or the
// first line of the text.
std::u16string serviceWords(const std::string& body) {
  std::u16string words;
  try {
    const auto members = parseJsonObject(body);
    for (const char* key : {"message", "error_description", "errorDescription", "error"}) {
      const auto found = members.find(key);
      if (found != members.end() && !found->second.empty()) {
        words = fromUtf8(found->second);
        break;
      }
    }
  } catch (const EJsonError&) {
  }
  if (words.empty()) words = fromUtf8(body.substr(0, body.find_first_of("\r\n")));
  words = EscapeControls(Trim(words));
  if (words.size() > kWordsKept) words = words.substr(0, kWordsKept) + u"\u2026";
  return words;
}

// One exchange; returns normally when the service took the notification.
// `retryable` tells the caller whether a second try may help.
void postOnce(const THttpRequest& request, const TNotifyLimits& limits, bool& retryable) {
  retryable = false;
  THttpResponse response;
  try {
    response = postRequest(request, limits.http);
  } catch (const EHttpError& e) {
    retryable = e.Transient();
    throw ENotifyError(e.Message());
  }
  if (response.status >= 200 && response.status < 300) return;
  const std::u16string host = fromUtf8(request.shownAs);
  const std::u16string code = u"HTTP " + u16(std::to_string(response.status));
  if (response.status >= 300 && response.status < 400) {
    const std::u16string target =
        response.location.empty() ? u"" : u" to " + fromUtf8(urlHost(response.location));
    throw ENotifyError(host + u" answered " + code + u", a redirect" + target +
                       u", which is not followed: put the address it points to in <url>");
  }
  retryable = response.status >= 500;
  const std::u16string words = serviceWords(response.body);
  throw ENotifyError(host + u" answered " + code + (words.empty() ? u"" : u": " + words));
}

// "30 s", or "250 ms" for a bound that is not whole seconds.
std::u16string boundText(int ms) {
  return u16(ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms");
}

void runCommand(const TNotificationMessage& m, const TNotifyLimits& limits) {
  if (m.args.empty()) throw ENotifyError(u"no command is set (<command>)");
  // The program only: its arguments may hold a secret.
  const std::u16string program = TEncoding::System().GetString(m.args.front());
  TCommandResult result;
  try {
    result = runOutputCommand(m.args, limits.commandTimeoutMs, m.environment);
  } catch (const Exception& e) {
    throw ENotifyError(e.Message());
  }
  if (result.timedOut)
    throw ENotifyError(u"the command " + shown(program) + u" did not end within " +
                       boundText(limits.commandTimeoutMs) + u" and was stopped");
  if (result.exitCode == 0) return;
  std::u16string firstLine;
  const std::u16string err = TEncoding::System().GetString(result.err);
  for (std::u16string_view rest = err; !rest.empty();) {
    const size_t end = rest.find(u'\n');
    firstLine = Trim(rest.substr(0, end));
    if (!firstLine.empty() || end == std::u16string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  throw ENotifyError(u"the command " + shown(program) + u" ended with exit code " +
                     u16(std::to_string(result.exitCode)) +
                     (firstLine.empty() ? u"" : u": " + EscapeControls(firstLine)));
}

}  // namespace

TNotificationFacts testNotificationFacts(const TClock& clock) {
  TNotificationFacts f;
  f.event = TNotifyEvent::Test;
  f.time = clock.WallNow();
  f.localTime = u16(TimestampText(clock.Now()));
  f.monitorHost = LocalFullyQualifiedName();
  return f;
}

std::u16string notificationSubject(const TNotifierConfig& notifier,
                                   const TNotificationFacts& facts) {
  return shown(notifier.name) +
         (facts.event == TNotifyEvent::Test ? u" test" : u" for " + shown(facts.server));
}

std::u16string notificationTitle(const TNotificationFacts& f) {
  switch (f.event) {
    case TNotifyEvent::Down:
      return shown(f.server) + u" is down";
    case TNotifyEvent::Reminder:
      return shown(f.server) + u" is still down";
    case TNotifyEvent::Up:
      return shown(f.server) + u" is up again";
    case TNotifyEvent::Test:
      break;
  }
  return u"Quorvex test notification";
}

std::u16string notificationSentence(const TNotificationFacts& f) {
  const std::u16string because = f.reason.empty() ? u"" : u" (" + f.reason + u")";
  const auto outage = outageText(f);
  switch (f.event) {
    case TNotifyEvent::Down:
      return notificationTitle(f) + because + u".";
    case TNotifyEvent::Reminder:
      return notificationTitle(f) + (outage ? u" after " + *outage : u"") + because + u".";
    case TNotifyEvent::Up:
      return notificationTitle(f) + (outage ? u" after " + *outage : u"") + u".";
    case TNotifyEvent::Test:
      break;
  }
  return u"This is a test notification from Quorvex" +
         (f.monitorHost.empty() ? u"" : u" on " + shown(f.monitorHost)) + u".";
}

TNotificationMessage buildNotification(const TNotifierConfig& notifier,
                                       const TNotificationFacts& facts) {
  if (const std::u16string problem = notifierProblem(notifier); !problem.empty())
    throw Exception(problem);
  return notifier.kind == TNotifierKind::Command ? commandMessage(notifier, facts)
                                                 : httpMessage(notifier, facts);
}

void sendNotification(const TNotifierConfig& notifier, const TNotificationFacts& facts,
                      const TNotifyLimits& limits) {
  TNotificationMessage message;
  try {
    message = buildNotification(notifier, facts);
  } catch (const Exception& e) {
    throw ENotifyError(e.Message());
  }
  if (notifier.kind == TNotifierKind::Command) return runCommand(message, limits);
  TNotifyLimits own = limits;
  if (!notifier.caFile.empty()) own.http.caFile = TEncoding::System().GetBytes(notifier.caFile);
  bool retryable = false;
  try {
    return postOnce(message.http, own, retryable);
  } catch (const ENotifyError&) {
    if (!retryable) throw;
  }
  // Bounded: one short pause, then the one retry with its own bounds.
  std::this_thread::sleep_for(own.retryPause);
  try {
    postOnce(message.http, own, retryable);
  } catch (const ENotifyError& second) {
    throw ENotifyError(second.Message() + u" (tried twice)");
  }
}

}  // namespace quorvex
