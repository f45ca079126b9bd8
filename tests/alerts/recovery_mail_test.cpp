#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "alerts/alert_mail.h"
#include "platform/text.h"
#include "settings/value_text.h"
#include "support/scripted_smtp_peer.h"

namespace quorvex {
namespace {

std::vector<std::string> Deliver(const std::u16string& ASubject) {
  test::TScriptedSMTPPeer peer({"S:220 mail.test", "C:*", "S:250 mail.test", "C:RSET", "S:250 OK",
                                "C:MAIL FROM: <a@x>", "S:250 OK", "C:RCPT TO:<ops@example.test>",
                                "S:250 OK", "C:DATA", "S:354 go ahead",
                                "M:", "S:250 2.0.0 queued"});
  TAlertMailFields fields;
  fields.MsgFrom = u"a@x";
  fields.MsgTo = u"ops@example.test";
  fields.MsgSubject = u"<serverName> Down!";
  fields.MsgText = u"the alert's text";
  fields.SMTPHost = u"127.0.0.1";
  fields.SMTPPort = int32ToText(peer.Port());
  if (!ASubject.empty()) fields.Options.SetText(TOptionId::RecoverySubject, ASubject);
  auto idSMTP = makeAlertSMTP();
  sendRecoveryMail(*idSMTP, fields, u"vpn <1>", std::chrono::seconds(3725),
                   TAlertMailWaits{3000, 3000});
  EXPECT_EQ(peer.Finish(), "");
  return peer.Messages().empty() ? std::vector<std::string>{} : peer.Messages()[0];
}

bool Has(const std::vector<std::string>& ALines, const std::string& ALine) {
  for (const auto& l : ALines)
    if (l == ALine) return true;
  return false;
}

TEST(RecoveryMail, SaysTheServerIsUpAndHowLongTheOutageLasted) {
  const auto standard = Deliver(u"");
  EXPECT_TRUE(Has(standard, "Subject: vpn <1> Up")) << ::testing::PrintToString(standard);
  EXPECT_TRUE(Has(standard, "vpn <1> is up again. The outage lasted 1 h 2 min."))
      << ::testing::PrintToString(standard);
  const auto own = Deliver(u"Back: <serverName> (<serverName>)");
  EXPECT_TRUE(Has(own, "Subject: Back: vpn <1> (vpn <1>)")) << ::testing::PrintToString(own);
}

}  // namespace
}  // namespace quorvex
