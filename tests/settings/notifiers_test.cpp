// The <notifiers> element of settings.xml: its layout, what it reads back as,
// and the files it refuses.
#include "settings/notifiers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/exception.h"
#include "platform/text.h"
#include "settings/settings.h"
#include "support/raises.h"
#include "support/temp_folder.h"

namespace quorvex {
namespace {

using test::readFile;
using test::TempFolder;

const std::string kHead =
    "<settings>\r\n"
    "  <username>alice</username>\r\n"
    "  <password>pw</password>\r\n"
    "  <repeat_period>5</repeat_period>\r\n"
    "  <conn_timeout>90</conn_timeout>\r\n"
    "  <alerts>\r\n"
    "    <smtp_server>\r\n"
    "      <host>smtp.example.org</host>\r\n"
    "      <login></login>\r\n"
    "      <password></password>\r\n"
    "      <port>25</port>\r\n"
    "      <ssl_tls>false</ssl_tls>\r\n"
    "    </smtp_server>\r\n"
    "    <message>\r\n"
    "      <from>monitor@example.org</from>\r\n"
    "      <cc></cc>\r\n"
    "      <subject>&lt;serverName&gt; Down!</subject>\r\n"
    "      <text>Check it</text>\r\n"
    "      <to>admin@example.org</to>\r\n"
    "    </message>\r\n"
    "  </alerts>\r\n";

const std::string kNotifiers =
    "  <notifiers>\r\n"
    "    <notifier name=\"team\" kind=\"slack\" events=\"down,up,reminder\">\r\n"
    "      <url>https://hooks.slack.example/services/T0/B0/secret</url>\r\n"
    "    </notifier>\r\n"
    "    <notifier name=\"a &quot;b&quot; &amp; &lt;c&gt;&#9;&#10;&#13;\" kind=\"webhook\" "
    "events=\"down\">\r\n"
    "      <url>https://hooks.example/q?a=1&amp;b=2</url>\r\n"
    "      <header>Authorization: Bearer t0k3n</header>\r\n"
    "      <header>X-Team: ops</header>\r\n"
    "      <ca_file>/etc/ssl/private-ca.pem</ca_file>\r\n"
    "    </notifier>\r\n"
    "    <notifier name=\"phone\" kind=\"ntfy\" events=\"up,reminder\">\r\n"
    "      <url>https://ntfy.example/vpn</url>\r\n"
    "      <token>tk_1</token>\r\n"
    "      <priority>urgent</priority>\r\n"
    "    </notifier>\r\n"
    "    <notifier name=\"script\" kind=\"command\" events=\"down,up,reminder\">\r\n"
    "      <command>/usr/local/bin/page \"on call\"</command>\r\n"
    "    </notifier>\r\n"
    "  </notifiers>\r\n";

std::vector<TNotifierConfig> kExpected() {
  TNotifierConfig team{u"team", TNotifierKind::Slack};
  team.url = u"https://hooks.slack.example/services/T0/B0/secret";
  TNotifierConfig odd{u"a \"b\" & <c>\t\n\r", TNotifierKind::Webhook,
                      TNotifyEvents::parse(u"down")};
  odd.url = u"https://hooks.example/q?a=1&b=2";
  odd.headers = {u"Authorization: Bearer t0k3n", u"X-Team: ops"};
  odd.caFile = u"/etc/ssl/private-ca.pem";
  TNotifierConfig phone{u"phone", TNotifierKind::Ntfy, TNotifyEvents::parse(u"reminder, up")};
  phone.url = u"https://ntfy.example/vpn";
  phone.token = u"tk_1";
  phone.priority = u"urgent";
  TNotifierConfig script{u"script", TNotifierKind::Command};
  script.command = u"/usr/local/bin/page \"on call\"";
  return {team, odd, phone, script};
}

TEST(Notifiers, ReadBackAndWrittenByteForByteAfterTheOptions) {
  const std::string options =
      "  <options>\r\n"
      "    <failure_threshold>2</failure_threshold>\r\n"
      "    <recovery_mail>true</recovery_mail>\r\n"
      "    <recovery_subject>&lt;serverName&gt; Up</recovery_subject>\r\n"
      "    <reminder_hours>0</reminder_hours>\r\n"
      "    <smtp_security>ssl_tls_box</smtp_security>\r\n"
      "    <verify_certificate>false</verify_certificate>\r\n"
      "    <ca_file></ca_file>\r\n"
      "    <full_tunnel>false</full_tunnel>\r\n"
      "  </options>\r\n";
  // With and without options before them.
  for (const std::string& middle : {options, std::string()}) {
    SCOPED_TRACE(middle.empty() ? "no options" : "options");
    TempFolder folder;
    const std::string file = kHead + middle + kNotifiers + "</settings>";
    const std::string path = folder.write("settings.xml", file);
    TSettings settings(fromUtf8(path));
    settings.loadFromFile();
    EXPECT_EQ(settings.Notifiers(), kExpected());
    settings.saveToFile();
    EXPECT_EQ(readFile(path), file);
  }
}

TEST(Notifiers, NoneLeavesTheFileAsItWas) {
  TempFolder folder;
  const std::string file = kHead + "</settings>";
  const std::string path = folder.write("settings.xml", file);
  TSettings settings(fromUtf8(path));
  settings.loadFromFile();
  EXPECT_TRUE(settings.Notifiers().empty());
  settings.saveToFile();
  EXPECT_EQ(readFile(path), file);
  // An empty element reads as none, and is not written back.
  const std::string emptyOne = kHead + "  <notifiers/>\r\n</settings>";
  folder.write("settings.xml", emptyOne);
  settings.loadFromFile();
  EXPECT_TRUE(settings.Notifiers().empty());
  settings.saveToFile();
  EXPECT_EQ(readFile(path), file);
}

TEST(Notifiers, DamagedElementsAreNamedWithTheirLine) {
  struct TCase {
    const char* what;
    std::string notifiers;
    std::u16string error;
    std::u16string place;
  };
  const std::string open = "<notifiers>\r\n";
  const std::string close = "</notifiers>";
  const TCase cases[] = {
      {"unknown kind", open + "<notifier name=\"x\" kind=\"pager\"/>" + close,
       u"The notifier kind \"pager\" is none of webhook, slack, teams, discord, ntfy, gotify and "
       u"command",
       u"line 23, element <notifier>"},
      {"no name", open + "<notifier kind=\"slack\"/>" + close,
       u"A <notifier> needs the attribute name", u"line 23, element <notifier>"},
      {"no kind", open + "<notifier name=\"x\"/>" + close, u"A <notifier> needs the attribute kind",
       u"line 23, element <notifier>"},
      {"unknown event",
       open + "<notifier name=\"x\" kind=\"slack\" events=\"down,sideways\"/>" + close,
       u"The events \"down,sideways\" are not a list of down, up and reminder",
       u"line 23, element <notifier>"},
      {"empty event list", open + "<notifier name=\"x\" kind=\"slack\" events=\"\"/>" + close,
       u"The events \"\" are not a list of down, up and reminder", u"line 23, element <notifier>"},
      {"same name twice",
       open + "<notifier name=\"x\" kind=\"slack\"/>\r\n<notifier name=\"x\" kind=\"ntfy\"/>" +
           close,
       u"Two notifiers are named \"x\"", u"line 22, element <notifiers>"},
      {"a header with an element in it",
       open + "<notifier name=\"x\" kind=\"webhook\">\r\n<header>A: <b/></header></notifier>" +
           close,
       u"Element \"header\" does not contain a single text node", u"line 24, element <header>"},
      {"a url with an element in it",
       open + "<notifier name=\"x\" kind=\"webhook\"><url><b/></url></notifier>" + close,
       u"Element \"url\" does not contain a single text node", u"line 23, element <url>"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    const std::string path = folder.write("settings.xml", kHead + c.notifiers + "</settings>");
    TSettings settings(fromUtf8(path));
    TNotifierConfig kept{u"kept", TNotifierKind::Discord};
    settings.SetNotifiers({kept});
    const auto raised = test::ReadRaised<Exception>(
        [&] { settings.loadFromFile(); },
        [](const Exception& e) { return std::make_pair(e.Message(), e.Place()); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->first, c.error);
    EXPECT_EQ(raised->second, c.place);
    // Values before the notifiers were read; the notifiers keep theirs.
    EXPECT_EQ(settings.MsgTo(), u"admin@example.org");
    EXPECT_EQ(settings.Notifiers(), std::vector<TNotifierConfig>{kept});
  }
}

TEST(Notifiers, SavingRefusesWhatCannotBeReadBack) {
  TempFolder folder;
  TSettings settings(folder.u16path("settings.xml"));
  TNotifierConfig a{u"a", TNotifierKind::Slack};
  settings.SetNotifiers({a, a});
  EXPECT_EQ(test::MessageOf<Exception>([&] { settings.saveToFile(); }),
            u"Two notifiers are named \"a\"");
  TNotifierConfig control{u"bell\x07", TNotifierKind::Slack};
  settings.SetNotifiers({control});
  EXPECT_EQ(test::MessageOf<Exception>([&] { settings.saveToFile(); }),
            u"The settings cannot be saved: The notifier's name holds the character U+0007, which "
            u"the settings file cannot hold");
  EXPECT_FALSE(std::filesystem::exists(folder / "settings.xml"));
}

TEST(Notifiers, WhatStopsANotifierIsSaidWithoutItsSecrets) {
  struct TCase {
    const char* what;
    TNotifierConfig notifier;
    std::u16string problem;
  };
  const auto with = [](TNotifierKind kind, auto change) {
    TNotifierConfig n{u"n", kind};
    n.url = u"https://example.org/hook";
    change(n);
    return n;
  };
  const auto same = [](TNotifierConfig&) {};
  const TCase cases[] = {
      {"a webhook", with(TNotifierKind::Webhook, same), u""},
      {"no url", with(TNotifierKind::Slack, [](auto& n) { n.url = u"  "; }),
       u"no address is set (<url>)"},
      {"gotify without token", with(TNotifierKind::Gotify, same),
       u"no application token is set (<token>)"},
      {"command without command", with(TNotifierKind::Command, same),
       u"no command is set (<command>)"},
      {"command", with(TNotifierKind::Command, [](auto& n) { n.command = u"/bin/true"; }), u""},
      {"header without colon: the text may be the secret",
       with(TNotifierKind::Webhook, [](auto& n) { n.headers = {u"Bearer secret"}; }),
       u"a header is not \"Name: value\""},
      {"header with a line break: the value is not shown",
       with(TNotifierKind::Webhook,
            [](auto& n) { n.headers = {u"X-Key: secret\r\nX-Other: forged"}; }),
       u"the header \"X-Key\" is not one line \"Name: value\""},
      {"header without name", with(TNotifierKind::Webhook, [](auto& n) { n.headers = {u": v"}; }),
       u"the header \"\" is not one line \"Name: value\""},
      {"token with a line break",
       with(TNotifierKind::Ntfy, [](auto& n) { n.token = u"tk\nX-Forged: 1"; }),
       u"the token holds a line break"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(notifierProblem(c.notifier), c.problem);
  }
}

}  // namespace
}  // namespace quorvex
