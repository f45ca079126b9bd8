#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex {

// Where a notification goes: a chat or push service through its webhook, any
// service through a plain JSON webhook, or a program.
enum class TNotifierKind { Webhook, Slack, Teams, Discord, Ntfy, Gotify, Command };

// What a notification tells. Test is sent only when asked for (the window's
// Test button, --test-notify), whatever the notifier's events.
enum class TNotifyEvent { Down, Up, Reminder, Test };

// The word of settings.xml, the metrics and the webhook's JSON.
std::u16string_view kindWord(TNotifierKind kind);
std::optional<TNotifierKind> kindFromWord(std::u16string_view word);
std::u16string_view eventWord(TNotifyEvent event);

// The events a notifier wants, as a set of bits.
class TNotifyEvents {
 public:
  static TNotifyEvents all() { return TNotifyEvents(kDown | kUp | kReminder); }
  // "down,up,reminder" in any order, blanks around the words allowed; an
  // unknown or empty word raises Exception.
  static TNotifyEvents parse(std::u16string_view text);

  bool has(TNotifyEvent event) const;
  // The events in the fixed order down, up, reminder.
  std::u16string text() const;
  bool operator==(const TNotifyEvents&) const = default;

 private:
  static constexpr unsigned kDown = 1, kUp = 2, kReminder = 4;
  explicit TNotifyEvents(unsigned bits) : _bits(bits) {}
  unsigned _bits = 0;
};

// One <notifier> of settings.xml.
struct TNotifierConfig {
  std::u16string name;
  TNotifierKind kind = TNotifierKind::Webhook;
  TNotifyEvents events = TNotifyEvents::all();
  std::u16string url{};                   // the HTTP kinds
  std::vector<std::u16string> headers{};  // "Name: value", sent as they are
  std::u16string token{};                 // ntfy, gotify (and a bearer token for a webhook)
  std::u16string command{};               // the command kind: a program and its arguments
  std::u16string priority{};              // ntfy (1..5 or its words), gotify (0..10)
  std::u16string caFile{};  // a PEM file of the authorities to trust instead of the system's
  bool operator==(const TNotifierConfig&) const = default;
};

// What is missing or wrong for the notifier to send anything, in words;
// empty when it can send.
std::u16string notifierProblem(const TNotifierConfig& notifier);

// Raises Exception when two notifiers share a name (the command line and
// the metrics tell them apart by it) or a name is empty.
void checkNotifierNames(std::span<const TNotifierConfig> notifiers);

}  // namespace quorvex
