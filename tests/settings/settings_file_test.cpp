#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>

#include "platform/exception.h"
#include "platform/text.h"
#include "settings/settings.h"
#include "settings_values.h"
#include "support/raises.h"
#include "support/temp_folder.h"

namespace quorvex {
namespace {

using test::assign;
using test::kBefore;
using test::kFullFile;
using test::kFullValues;
using test::readFile;
using test::TempFolder;
using test::Values;
using test::valuesOf;

struct LoadCase {
  const char* what;
  std::string file;
  std::function<void(Values&)> expect;  // applied to the starting values
  std::string error;                    // expected message, or empty
};

Values allEmpty() { return Values{}; }

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

TEST(SettingsFile, LoadsValuesAndStopsAtTheFirstError) {
  const auto alertsOnly = [](const std::string& inner) {
    return "<settings><conn_timeout>1</conn_timeout><alerts>" + inner + "</alerts></settings>";
  };
  const LoadCase cases[] = {
      {"full file", kFullFile, [](Values& v) { v = kFullValues; }, ""},
      {"empty root: no value keeps its default", "<settings/>", [](Values& v) { v = allEmpty(); },
       ""},
      {"another root name", replaceAll(kFullFile, "settings>", "config>"),
       [](Values& v) { v = kFullValues; }, ""},
      {"missing conn_timeout gives 0",
       "<settings><username>u</username><repeat_period>3</repeat_period></settings>",
       [](Values& v) {
         v = allEmpty();
         v.username = "u";
         v.repeatPeriod = 3;
       },
       ""},
      {"port not a number stops after the SMTP password", replaceAll(kFullFile, "587", "abc"),
       [](Values& v) {
         const Values old = v;
         v = kFullValues;
         v.smtpPort = old.smtpPort;
         v.smtpUseSSLTLS = old.smtpUseSSLTLS;
         v.msgFrom = old.msgFrom;
         v.msgCC = old.msgCC;
         v.msgSubject = old.msgSubject;
         v.msgText = old.msgText;
         v.msgTo = old.msgTo;
       },
       "''abc'' is not a valid integer value"},
      {"repeat_period not a number stops after the password",
       "<settings><username>u</username><password>p</password>"
       "<repeat_period>5x</repeat_period><conn_timeout>7</conn_timeout></settings>",
       [](Values& v) {
         v.connectionTimeout = 7;
         v.password = "p";
       },
       "''5x'' is not a valid integer value"},
      {"ssl_tls not a Boolean", alertsOnly("<smtp_server><ssl_tls>yes</ssl_tls></smtp_server>"),
       [](Values& v) {
         v.connectionTimeout = 1;
         v.password = v.username = "";
         v.repeatPeriod = 0;
         v.smtpHost = v.smtpLogin = v.smtpPassword = "";
         v.smtpPort = 0;
       },
       "''yes'' is not a valid boolean value"},
      {"value with a child element",
       "<settings><conn_timeout>8</conn_timeout><password><b>x</b></password></settings>",
       [](Values& v) { v.connectionTimeout = 8; },
       "Element \"password\" does not contain a single text node"},
      {"value with text and character data",
       "<settings><conn_timeout>x<![CDATA[1]]></conn_timeout></settings>", [](Values&) {},
       "Element \"conn_timeout\" does not contain a single text node"},
      {"value below the containers with a child element",
       alertsOnly("<smtp_server><host>h<b>x</b></host></smtp_server>"),
       [](Values& v) {
         v.connectionTimeout = 1;
         v.password = v.username = "";
         v.repeatPeriod = 0;
       },
       "Element \"host\" does not contain a single text node"},
      {"nested unknown elements are passed over",
       "<settings><conn_timeout>3</conn_timeout><x>" +
           replaceAll(std::string(200, '('), "(", "<a>") +
           replaceAll(std::string(200, ')'), ")", "</a>") + "</x></settings>",
       [](Values& v) {
         v = allEmpty();
         v.connectionTimeout = 3;
       },
       ""},
      {"value with a comment", "<settings><conn_timeout>1<!-- s --></conn_timeout></settings>",
       [](Values&) {}, "Element \"conn_timeout\" does not contain a single text node"},
      {"character data, empty elements, blanks kept",
       "<settings><username><![CDATA[<a&b>]]></username><password>  </password>"
       "<repeat_period/><conn_timeout></conn_timeout><alerts><message>"
       "<text>a\r\nb&#13;&#10;c</text><subject><![CDATA[]]></subject></message></alerts>"
       "</settings>",
       [](Values& v) {
         v = allEmpty();
         v.username = "<a&b>";
         v.password = "  ";
         v.msgText = "a\nb\r\nc";  // a raw CR LF is a line end to XML; a reference is kept
       },
       ""},
      {"names are case-sensitive and the first of a name counts",
       "<settings><Username>x</Username><username>first</username><username>second</username>"
       "</settings>",
       [](Values& v) {
         v = allEmpty();
         v.username = "first";
       },
       ""},
      {"missing message, containers in any order",
       alertsOnly("<message2/><smtp_server><host>h</host><port>-1</port></smtp_server>"),
       [](Values& v) {
         v = allEmpty();
         v.connectionTimeout = 1;
         v.smtpHost = "h";
         v.smtpPort = -1;
       },
       ""},
      {"byte-order mark, declaration, attributes and non-ASCII text",
       "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
       "<settings version=\"2\"><username kind=\"x\">Zo\xC3\xAB \xF0\x9F\x98\x80</username>"
       "</settings>\n",
       [](Values& v) {
         v = allEmpty();
         v.username = "Zo\xC3\xAB \xF0\x9F\x98\x80";
       },
       ""},
  };
  TempFolder folder;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = folder.write("settings.xml", c.file);
    TSettings settings(fromUtf8(path));
    assign(settings, kBefore);
    Values expected = kBefore;
    c.expect(expected);
    EXPECT_EQ(toUtf8(test::ErrorOf<Exception>([&] { settings.loadFromFile(); })), c.error);
    EXPECT_EQ(valuesOf(settings), expected);
  }
}

TEST(SettingsFile, BooleanForms) {
  const std::pair<const char*, bool> cases[] = {
      {"true", true}, {"false", false}, {"True", true}, {"FALSE", false},
      {"1", true},    {"0", false},     {"-3", true},   {"0.0", false},
  };
  TempFolder folder;
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    const std::string path =
        folder.write("s.xml", std::string("<s><alerts><smtp_server><ssl_tls>") + text +
                                  "</ssl_tls></smtp_server></alerts></s>");
    TSettings settings(fromUtf8(path));
    settings.SetSMTPUseSSLTLS(!expected);
    settings.loadFromFile();
    EXPECT_EQ(settings.SMTPUseSSLTLS(), expected);
  }
}

TEST(SettingsFile, WritesTheFixedLayout) {
  TempFolder folder;
  TSettings settings(folder.u16path("settings.xml"));
  assign(settings, {"Zo\xC3\xAB", "p&w<1>\"'", 0, 0, "smtp.example.org", "", "s3cret", 587, true,
                    "monitor@example.org", "", "<serverName> Down!", "Line 1\r\nLine 2\tend",
                    "admin@example.org"});
  settings.saveToFile();
  EXPECT_EQ(readFile(folder / "settings.xml"),
            "<settings>\r\n"
            "  <username>Zo\xC3\xAB</username>\r\n"
            "  <password>p&amp;w&lt;1&gt;\"'</password>\r\n"
            "  <repeat_period>5</repeat_period>\r\n"
            "  <conn_timeout>90</conn_timeout>\r\n"
            "  <alerts>\r\n"
            "    <smtp_server>\r\n"
            "      <host>smtp.example.org</host>\r\n"
            "      <login></login>\r\n"
            "      <password>s3cret</password>\r\n"
            "      <port>587</port>\r\n"
            "      <ssl_tls>true</ssl_tls>\r\n"
            "    </smtp_server>\r\n"
            "    <message>\r\n"
            "      <from>monitor@example.org</from>\r\n"
            "      <cc></cc>\r\n"
            "      <subject>&lt;serverName&gt; Down!</subject>\r\n"
            "      <text>Line 1&#13;\nLine 2\tend</text>\r\n"
            "      <to>admin@example.org</to>\r\n"
            "    </message>\r\n"
            "  </alerts>\r\n"
            "</settings>");
}

TEST(SettingsFile, WhatIsWrittenReadsBackUnchanged) {
  TempFolder folder;
  const std::string path = folder.write("settings.xml",
                                        "<settings><repeat_period>-2147483648</repeat_period>"
                                        "<conn_timeout>2147483647</conn_timeout></settings>");
  const Values values = {" lead and trail ",
                         "   ",
                         -2147483648,
                         2147483647,
                         "h\xC3\xA9te",
                         "l]]>gin",
                         "<&>",
                         -25,
                         true,
                         "a@b",
                         "c@d; e@f",
                         "<serverName> Down!",
                         "one\r\ntwo\rthree\nfour five\t",
                         "\xF0\x9F\x98\x80@example.org"};
  TSettings first(fromUtf8(path));
  first.loadFromFile();
  assign(first, values);
  first.saveToFile();
  TSettings second(fromUtf8(path));
  second.loadFromFile();
  EXPECT_EQ(valuesOf(second), values);
}

// A document that is not well-formed is refused whole: nothing read from it
// is used, however much of it a lenient reader could make sense of.
TEST(SettingsFile, MalformedDocumentChangesNothing) {
  const auto withUser = [](const std::string& user) {
    return "<settings><conn_timeout>7</conn_timeout><username>" + user + "</username></settings>";
  };
  const std::pair<const char*, std::string> cases[] = {
      {"bare ampersand", withUser("a & b")},
      {"undefined entity", withUser("a&unknown;b")},
      {"reference without its semicolon", withUser("a&amp b")},
      {"text after the root's end tag", withUser("u") + "trailing"},
      {"element after the root's end tag", withUser("u") + "<settings/>"},
      {"invalid UTF-8 byte", withUser("caf\xE9")},
      {"overlong UTF-8", withUser("\xC0\xAF")},
      {"UTF-8 of a surrogate", withUser("\xED\xA0\x80")},
      {"UTF-8 of U+FFFE", withUser("\xEF\xBF\xBE")},
      {"raw U+0001", withUser("a\x01"
                              "b")},
      {"raw escape character", withUser("a\x1B[0m")},
      {"reference to U+0001", withUser("a&#1;b")},
      {"reference to NUL", withUser("a&#0;b")},
      {"reference to a surrogate", withUser("a&#xD800;b")},
      {"raw less-than sign", withUser("a<b")},
      {"]]> in text", withUser("a]]>b")},
      {"end tag of another case", "<settings><username>u</Username></settings>"},
      {"root never closed", "<settings><username>u</username>"},
      {"attribute without quotes", "<settings a=b><username>u</username></settings>"},
      {"attribute twice", "<settings a=\"1\" a=\"2\"><username>u</username></settings>"},
      {"two hyphens inside a comment", withUser("u<!-- a -- b -->")},
      {"declaration after blanks", "\n<?xml version=\"1.0\"?>" + withUser("u")},
      {"name starting with a digit", withUser("u") + "<1x/>"},
      {"document type with an entity", "<!DOCTYPE settings [<!ENTITY u \"x\">]>" + withUser("&u;")},
      {"document type with an external subset",
       "<!DOCTYPE settings SYSTEM \"/etc/passwd\">" + withUser("u")},
  };
  TempFolder folder;
  for (const auto& [what, file] : cases) {
    SCOPED_TRACE(what);
    const std::string path = folder.write("settings.xml", file);
    TSettings settings(fromUtf8(path));
    assign(settings, kBefore);
    try {
      settings.loadFromFile();
      ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
      const std::string message = toUtf8(e.Message());
      EXPECT_TRUE(
          message.starts_with("The settings file \"" + path + "\" is not well-formed XML: "))
          << message;
    }
    EXPECT_EQ(valuesOf(settings), kBefore);
  }
}

// Every text property, by the name a refusal gives it.
const std::pair<const char*, void (TSettings::*)(std::u16string)> kTextProperties[] = {
    {"Username", &TSettings::SetUsername},
    {"Password", &TSettings::SetPassword},
    {"SMTPHost", &TSettings::SetSMTPHost},
    {"SMTPLogin", &TSettings::SetSMTPLogin},
    {"SMTPPassword", &TSettings::SetSMTPPassword},
    {"MsgFrom", &TSettings::SetMsgFrom},
    {"MsgCC", &TSettings::SetMsgCC},
    {"MsgSubject", &TSettings::SetMsgSubject},
    {"MsgText", &TSettings::SetMsgText},
    {"MsgTo", &TSettings::SetMsgTo},
};

TEST(SettingsFile, AwkwardValuesReadBackUnchanged) {
  const std::u16string cases[] = {
      u"\r",
      u"\t",
      u"\n",
      u"\r\n",
      u"\r\n\r\n",
      u"a\rb\r",
      u"\t\t",
      u" ",
      u" lead and trail ",
      u"&",
      u"<",
      u">",
      u"]]>",
      u"<![CDATA[x]]>",
      u"&amp;&#13;&unknown;",
      u"<!-- c --><?pi x?>",
      u"\"'",
      u"Zo\u00EB \u20AC \uFFFD",
      u"\u007F\u0085\u009F\u2028",  // legal in XML 1.0, kept as they are
      u"\uE000\uFFFD",
      u"\U0001F600 \U0010FFFF",
      u"line 1\r\nline 2\n\tline 3\r",
  };
  TempFolder folder;
  const std::u16string path = folder.u16path("settings.xml");
  for (const auto& value : cases) {
    SCOPED_TRACE(::testing::PrintToString(toUtf8(value)));
    TSettings written(path);
    for (const auto& [name, set] : kTextProperties) (written.*set)(value);
    written.saveToFile();
    TSettings read(path);
    read.loadFromFile();
    EXPECT_EQ(valuesOf(read), valuesOf(written));
  }
}

TEST(SettingsFile, ValueXmlCannotHoldIsRefusedAndNothingIsWritten) {
  const std::pair<std::u16string, const char*> characters[] = {
      {std::u16string(1, u'\0'), "U+0000"},
      {u"\x01", "U+0001"},
      {u"\b", "U+0008"},
      {u"\v", "U+000B"},
      {u"\f", "U+000C"},
      {u"\x1B", "U+001B"},
      {u"\x1F", "U+001F"},
      {u"\uFFFE", "U+FFFE"},
      {u"\uFFFF", "U+FFFF"},
      {std::u16string(1, char16_t(0xD83D)), "U+D83D"},         // high half alone
      {std::u16string(1, char16_t(0xDE00)) + u"x", "U+DE00"},  // low half alone
      {u"a" + std::u16string(1, char16_t(0xDE00)) + std::u16string(1, char16_t(0xD83D)), "U+DE00"},
  };
  TempFolder folder;
  const std::string path = folder.write("settings.xml", kFullFile);
  const auto refuses = [&](const char* property, void (TSettings::*set)(std::u16string),
                           const std::u16string& value, const char* code) {
    TSettings settings(fromUtf8(path));
    settings.loadFromFile();
    (settings.*set)(u"before " + value + u" after");
    EXPECT_EQ(toUtf8(test::MessageOf<Exception>([&] { settings.saveToFile(); })),
              std::string("The settings cannot be saved: ") + property + " holds the character " +
                  code + ", which the settings file cannot hold");
    EXPECT_EQ(readFile(path), kFullFile);
  };
  for (const auto& [value, code] : characters) {
    SCOPED_TRACE(code);
    refuses("MsgText", &TSettings::SetMsgText, value, code);
  }
  for (const auto& [property, set] : kTextProperties) {
    SCOPED_TRACE(property);
    refuses(property, set, u"\x01", "U+0001");
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                          std::filesystem::directory_iterator()),
            1)
      << "no temporary file is left behind";
}

}  // namespace
}  // namespace quorvex
