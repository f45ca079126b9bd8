#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "platform/text.h"
#include "settings/settings.h"

namespace quorvex::test {

// Every value the file carries, in UTF-8 for readable failures.
struct Values {
  std::string username, password;
  int32_t repeatPeriod = 0, connectionTimeout = 0;
  std::string smtpHost, smtpLogin, smtpPassword;
  int32_t smtpPort = 0;
  bool smtpUseSSLTLS = false;
  std::string msgFrom, msgCC, msgSubject, msgText, msgTo;

  bool operator==(const Values&) const = default;
};

inline void PrintTo(const Values& v, std::ostream* os) {
  *os << "{user=" << v.username << " pw=" << v.password << " repeat=" << v.repeatPeriod
      << " timeout=" << v.connectionTimeout << " host=" << v.smtpHost << " login=" << v.smtpLogin
      << " smtpPw=" << v.smtpPassword << " port=" << v.smtpPort << " ssl=" << v.smtpUseSSLTLS
      << " from=" << v.msgFrom << " cc=" << v.msgCC << " subject=" << v.msgSubject
      << " text=" << ::testing::PrintToString(v.msgText) << " to=" << v.msgTo << "}";
}

inline Values valuesOf(const TSettings& s) {
  return {toUtf8(s.Username()),     toUtf8(s.Password()), s.RepeatPeriod(),
          s.ConnectionTimeout(),    toUtf8(s.SMTPHost()), toUtf8(s.SMTPLogin()),
          toUtf8(s.SMTPPassword()), s.SMTPPort(),         s.SMTPUseSSLTLS(),
          toUtf8(s.MsgFrom()),      toUtf8(s.MsgCC()),    toUtf8(s.MsgSubject()),
          toUtf8(s.MsgText()),      toUtf8(s.MsgTo())};
}

// Sets everything that has a setter; the two read-only values keep theirs.
inline void assign(TSettings& s, const Values& v) {
  s.SetUsername(fromUtf8(v.username));
  s.SetPassword(fromUtf8(v.password));
  s.SetSMTPHost(fromUtf8(v.smtpHost));
  s.SetSMTPLogin(fromUtf8(v.smtpLogin));
  s.SetSMTPPassword(fromUtf8(v.smtpPassword));
  s.SetSMTPPort(v.smtpPort);
  s.SetSMTPUseSSLTLS(v.smtpUseSSLTLS);
  s.SetMsgFrom(fromUtf8(v.msgFrom));
  s.SetMsgCC(fromUtf8(v.msgCC));
  s.SetMsgSubject(fromUtf8(v.msgSubject));
  s.SetMsgText(fromUtf8(v.msgText));
  s.SetMsgTo(fromUtf8(v.msgTo));
}

// What a settings object holds before a load: defaults plus earlier values.
inline const Values kBefore = {"oldUser",  "oldPw",      5,         90,     "oldHost",
                               "oldLogin", "oldSmtpPw",  2525,      true,   "oldFrom",
                               "oldCC",    "oldSubject", "oldText", "oldTo"};

inline const char* const kFullFile =
    "<settings>\r\n"
    "  <username>alice</username>\r\n"
    "  <password>vpn&amp;pw</password>\r\n"
    "  <repeat_period>15</repeat_period>\r\n"
    "  <conn_timeout>60</conn_timeout>\r\n"
    "  <alerts>\r\n"
    "    <smtp_server>\r\n"
    "      <host>smtp.example.org</host>\r\n"
    "      <login>mailer</login>\r\n"
    "      <password>s3cret</password>\r\n"
    "      <port>587</port>\r\n"
    "      <ssl_tls>true</ssl_tls>\r\n"
    "    </smtp_server>\r\n"
    "    <message>\r\n"
    "      <from>monitor@example.org</from>\r\n"
    "      <cc>ops@example.org</cc>\r\n"
    "      <subject>&lt;serverName&gt; Down!</subject>\r\n"
    "      <text>Check it</text>\r\n"
    "      <to>admin@example.org</to>\r\n"
    "    </message>\r\n"
    "  </alerts>\r\n"
    "</settings>";

inline const Values kFullValues = {"alice",
                                   "vpn&pw",
                                   15,
                                   60,
                                   "smtp.example.org",
                                   "mailer",
                                   "s3cret",
                                   587,
                                   true,
                                   "monitor@example.org",
                                   "ops@example.org",
                                   "<serverName> Down!",
                                   "Check it",
                                   "admin@example.org"};

}  // namespace quorvex::test
