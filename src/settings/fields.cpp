#include "settings/fields.h"

namespace quorvex {

namespace {

using enum TOptionType;

constexpr TFieldSpec kFields[] = {
    {TFieldId::Username, "username", u"Username", Text, u"", "edLogin"},
    {TFieldId::Password, "password", u"Password", Text, u"", "edPwd"},
    {TFieldId::RepeatPeriod, "repeat_period", u"RepeatPeriod", Integer, u"5"},
    {TFieldId::ConnectionTimeout, "conn_timeout", u"ConnectionTimeout", Integer, u"90"},
    {TFieldId::SMTPHost, "alerts/smtp_server/host", u"SMTPHost", Text, u"", "edSMTPHost"},
    {TFieldId::SMTPLogin, "alerts/smtp_server/login", u"SMTPLogin", Text, u"", "edSMTPLogin"},
    {TFieldId::SMTPPassword, "alerts/smtp_server/password", u"SMTPPassword", Text, u"",
     "edSMTPPassword"},
    {TFieldId::SMTPPort, "alerts/smtp_server/port", u"SMTPPort", Integer, u"0", "edSMTPPort"},
    {TFieldId::SMTPUseSSLTLS, "alerts/smtp_server/ssl_tls", u"SMTPUseSSLTLS", Boolean, u"false",
     "chbSSL"},
    {TFieldId::MsgFrom, "alerts/message/from", u"MsgFrom", Text, u"", "edMsgFrom"},
    {TFieldId::MsgCC, "alerts/message/cc", u"MsgCC", Text, u"", "edMsgCC"},
    {TFieldId::MsgSubject, "alerts/message/subject", u"MsgSubject", Text, u"", "edMsgSubject"},
    {TFieldId::MsgText, "alerts/message/text", u"MsgText", Text, u"", "mmMsgText"},
    {TFieldId::MsgTo, "alerts/message/to", u"MsgTo", Text, u"", "edMsgTo"},
};

static_assert(std::size(kFields) == static_cast<size_t>(TFieldId::Count));

constexpr bool tableInIdOrder() {
  for (size_t i = 0; i < std::size(kFields); ++i)
    if (static_cast<size_t>(kFields[i].id) != i) return false;
  return true;
}
static_assert(tableInIdOrder(), "rows of kFields follow TFieldId");

}  // namespace

std::span<const TFieldSpec> fieldTable() { return kFields; }

const TFieldSpec& fieldSpec(TFieldId id) { return kFields[static_cast<size_t>(id)]; }

std::string_view fieldElement(const TFieldSpec& spec) {
  const size_t slash = spec.path.rfind('/');
  return slash == std::string_view::npos ? spec.path : spec.path.substr(slash + 1);
}

std::string_view fieldContainer(const TFieldSpec& spec) {
  const size_t slash = spec.path.rfind('/');
  return slash == std::string_view::npos ? std::string_view() : spec.path.substr(0, slash);
}

}  // namespace quorvex
