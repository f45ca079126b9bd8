#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "settings/options.h"

namespace quorvex {

// The values of settings.xml outside <options>: the VPN login, the two
// periods and the Alerts page's fields. Each is declared once, in
// fieldTable(): the file's reading and writing and the window's filling and
// saving walk that table, so a new field is one new row (and one enumerator
// here) beside its control on the page.
enum class TFieldId : size_t {
  Username,
  Password,
  RepeatPeriod,
  ConnectionTimeout,
  SMTPHost,
  SMTPLogin,
  SMTPPassword,
  SMTPPort,
  SMTPUseSSLTLS,
  MsgFrom,
  MsgCC,
  MsgSubject,
  MsgText,
  MsgTo,
  Count
};

struct TFieldSpec {
  TFieldId id;
  std::string_view path;          // below the root, "alerts/smtp_server/host"
  std::u16string_view property;   // the TSettings property, as messages name it
  TOptionType type;               // Text, Integer or Boolean
  std::u16string_view initial;    // in stored form, before the file is read
  std::string_view control = {};  // the window's control (its object name); empty: none
};

// In the order of the file.
std::span<const TFieldSpec> fieldTable();
const TFieldSpec& fieldSpec(TFieldId id);

// The element's name: the last step of the path.
std::string_view fieldElement(const TFieldSpec& spec);
// The containers above it: "alerts/smtp_server", or empty below the root.
std::string_view fieldContainer(const TFieldSpec& spec);

}  // namespace quorvex
