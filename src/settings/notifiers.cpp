#include "settings/notifiers.h"

#include <set>

#include "platform/exception.h"
#include "platform/text.h"

namespace quorvex {

namespace {

struct TKindRow {
  TNotifierKind kind;
  std::u16string_view word;
};

constexpr TKindRow kKinds[] = {
    {TNotifierKind::Webhook, u"webhook"}, {TNotifierKind::Slack, u"slack"},
    {TNotifierKind::Teams, u"teams"},     {TNotifierKind::Discord, u"discord"},
    {TNotifierKind::Ntfy, u"ntfy"},       {TNotifierKind::Gotify, u"gotify"},
    {TNotifierKind::Command, u"command"},
};

}  // namespace

std::u16string_view kindWord(TNotifierKind kind) {
  for (const TKindRow& row : kKinds)
    if (row.kind == kind) return row.word;
  return u"webhook";
}

std::optional<TNotifierKind> kindFromWord(std::u16string_view word) {
  for (const TKindRow& row : kKinds)
    if (row.word == word) return row.kind;
  return std::nullopt;
}

std::u16string_view eventWord(TNotifyEvent event) {
  switch (event) {
    case TNotifyEvent::Down:
      return u"down";
    case TNotifyEvent::Up:
      return u"up";
    case TNotifyEvent::Reminder:
      return u"reminder";
    case TNotifyEvent::Test:
      return u"test";
  }
  return u"test";
}

TNotifyEvents TNotifyEvents::parse(std::u16string_view text) {
  const std::u16string_view whole = text;
  unsigned bits = 0;
  while (true) {
    const size_t comma = text.find(u',');
    const std::u16string word = Trim(text.substr(0, comma));
    if (word == u"down")
      bits |= kDown;
    else if (word == u"up")
      bits |= kUp;
    else if (word == u"reminder")
      bits |= kReminder;
    else
      throw Exception(u"The events \"" + EscapeControls(whole) +
                      u"\" are not a list of down, up and reminder");
    if (comma == std::u16string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return TNotifyEvents(bits);
}

bool TNotifyEvents::has(TNotifyEvent event) const {
  switch (event) {
    case TNotifyEvent::Down:
      return _bits & kDown;
    case TNotifyEvent::Up:
      return _bits & kUp;
    case TNotifyEvent::Reminder:
      return _bits & kReminder;
    case TNotifyEvent::Test:
      return true;
  }
  return false;
}

std::u16string TNotifyEvents::text() const {
  std::u16string out;
  for (const TNotifyEvent e : {TNotifyEvent::Down, TNotifyEvent::Up, TNotifyEvent::Reminder})
    if (has(e)) out += (out.empty() ? u"" : u",") + std::u16string(eventWord(e));
  return out;
}

std::u16string notifierProblem(const TNotifierConfig& n) {
  if (n.kind == TNotifierKind::Command)
    return Trim(n.command).empty() ? u"no command is set (<command>)" : u"";
  if (Trim(n.url).empty()) return u"no address is set (<url>)";
  if (n.kind == TNotifierKind::Gotify && n.token.empty())
    return u"no application token is set (<token>)";
  // A line break would start a header of its own; the value may be a secret
  // and is never shown.
  const auto oneLine = [](std::u16string_view text) {
    return text.find_first_of(u"\r\n") == std::u16string_view::npos;
  };
  for (const std::u16string& header : n.headers) {
    const size_t colon = header.find(u':');
    if (colon == std::u16string::npos) return u"a header is not \"Name: value\"";
    const std::u16string name = Trim(header.substr(0, colon));
    if (name.empty() || !oneLine(header))
      return u"the header \"" + EscapeControls(name) + u"\" is not one line \"Name: value\"";
  }
  if (!oneLine(n.token)) return u"the token holds a line break";
  return u"";
}

void checkNotifierNames(std::span<const TNotifierConfig> notifiers) {
  std::set<std::u16string> seen;
  for (const TNotifierConfig& n : notifiers) {
    if (Trim(n.name).empty()) throw Exception(u"A notifier has no name");
    if (!seen.insert(n.name).second)
      throw Exception(u"Two notifiers are named \"" + EscapeControls(n.name) + u"\"");
  }
}

}  // namespace quorvex
