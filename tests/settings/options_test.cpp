#include <gtest/gtest.h>

#include <string>

#include "platform/exception.h"
#include "platform/text.h"
#include "settings/options.h"
#include "settings/settings.h"
#include "support/temp_folder.h"

namespace quorvex {
namespace {

using test::readFile;
using test::TempFolder;

// The layout every file had before the options existed, with default values.
const std::string kDefaultLayout =
    "<settings>\r\n"
    "  <username></username>\r\n"
    "  <password></password>\r\n"
    "  <repeat_period>5</repeat_period>\r\n"
    "  <conn_timeout>90</conn_timeout>\r\n"
    "  <alerts>\r\n"
    "    <smtp_server>\r\n"
    "      <host></host>\r\n"
    "      <login></login>\r\n"
    "      <password></password>\r\n"
    "      <port>0</port>\r\n"
    "      <ssl_tls>false</ssl_tls>\r\n"
    "    </smtp_server>\r\n"
    "    <message>\r\n"
    "      <from></from>\r\n"
    "      <cc></cc>\r\n"
    "      <subject></subject>\r\n"
    "      <text></text>\r\n"
    "      <to></to>\r\n"
    "    </message>\r\n"
    "  </alerts>\r\n"
    "</settings>";

std::string withoutEnd(const std::string& layout) {
  return layout.substr(0, layout.size() - std::string("\r\n</settings>").size());
}

TEST(Options, EveryOptionAtItsDefaultKeepsTheFileByteForByte) {
  TempFolder folder;
  TSettings settings(folder.u16path("settings.xml"));
  settings.saveToFile();
  EXPECT_EQ(readFile(folder / "settings.xml"), kDefaultLayout);

  // Set explicitly, in another spelling of the same value: still the default.
  TOptions options;
  options.SetText(TOptionId::FailureThreshold, u" 1 ");
  options.SetText(TOptionId::RecoveryMail, u"FALSE");
  options.SetText(TOptionId::ReminderHours, u"0");
  settings.SetOptions(options);
  settings.saveToFile();
  EXPECT_EQ(readFile(folder / "settings.xml"), kDefaultLayout);
}

TEST(Options, OneChangedOptionWritesThemAllAndReadsBack) {
  TempFolder folder;
  TSettings settings(folder.u16path("settings.xml"));
  TOptions options;
  options.SetText(TOptionId::FailureThreshold, u"3");
  options.SetText(TOptionId::RecoverySubject, u"<serverName> & co Up");
  settings.SetOptions(options);
  settings.saveToFile();
  EXPECT_EQ(readFile(folder / "settings.xml"),
            withoutEnd(kDefaultLayout) +
                "\r\n"
                "  <options>\r\n"
                "    <failure_threshold>3</failure_threshold>\r\n"
                "    <recovery_mail>false</recovery_mail>\r\n"
                "    <recovery_subject>&lt;serverName&gt; &amp; co Up</recovery_subject>\r\n"
                "    <reminder_hours>0</reminder_hours>\r\n"
                "    <smtp_security>ssl_tls_box</smtp_security>\r\n"
                "    <verify_certificate>false</verify_certificate>\r\n"
                "    <ca_file></ca_file>\r\n"
                "    <full_tunnel>false</full_tunnel>\r\n"
                "  </options>\r\n"
                "</settings>");

  TSettings again(folder.u16path("settings.xml"));
  again.loadFromFile();
  EXPECT_EQ(again.Options(), options);
  EXPECT_EQ(again.Options().Integer(TOptionId::FailureThreshold), 3);
}

TEST(Options, JobsIsWrittenOnlyWhenNotOne) {
  TempFolder folder;
  TSettings settings(folder.u16path("settings.xml"));
  TOptions options;
  options.SetText(TOptionId::Jobs, u"20");
  settings.SetOptions(options);
  settings.saveToFile();
  const std::string written = readFile(folder / "settings.xml");
  EXPECT_NE(written.find("    <full_tunnel>false</full_tunnel>\r\n"
                         "    <jobs>20</jobs>\r\n"
                         "  </options>\r\n"),
            std::string::npos)
      << written;
  TSettings again(folder.u16path("settings.xml"));
  again.loadFromFile();
  EXPECT_EQ(again.Options().Integer(TOptionId::Jobs), 20);

  // Back at 1: gone from the file, and with it the options element.
  options.SetText(TOptionId::Jobs, u"1");
  settings.SetOptions(options);
  settings.saveToFile();
  EXPECT_EQ(readFile(folder / "settings.xml"), kDefaultLayout);
}

TEST(Options, HistoryRetentionIsWrittenOnlyWhenNotNinetyDays) {
  TempFolder folder;
  TSettings settings(folder.u16path("settings.xml"));
  TOptions options;
  for (const char16_t* days : {u"0", u"36500", u"30"})
    options.SetText(TOptionId::HistoryRetentionDays, days);
  for (const char16_t* outside : {u"-1", u"36501"})
    EXPECT_THROW(options.SetText(TOptionId::HistoryRetentionDays, outside), Exception);
  settings.SetOptions(options);
  settings.saveToFile();
  const std::string written = readFile(folder / "settings.xml");
  EXPECT_NE(written.find("    <full_tunnel>false</full_tunnel>\r\n"
                         "    <history_retention_days>30</history_retention_days>\r\n"
                         "  </options>\r\n"),
            std::string::npos)
      << written;
  options.SetText(TOptionId::HistoryRetentionDays, u"90");
  settings.SetOptions(options);
  settings.saveToFile();
  EXPECT_EQ(readFile(folder / "settings.xml"), kDefaultLayout);
}

TEST(Options, EveryOptionRoundTripsAtAValueOtherThanItsDefault) {
  TempFolder folder;
  TSettings settings(folder.u16path("settings.xml"));
  TOptions options;
  for (const TOptionSpec& spec : optionTable()) {
    switch (spec.type) {
      case TOptionType::Boolean:
        options.SetText(spec.id, u"true");
        break;
      case TOptionType::Integer:
        options.SetText(spec.id, u"7");
        break;
      case TOptionType::Text:
        options.SetText(spec.id, u"/etc/ssl/\u00FCber ca.pem");
        break;
      case TOptionType::Choice:
        options.SetText(spec.id, spec.choices.back().value);
        break;
    }
    EXPECT_FALSE(options.isDefault(spec.id)) << spec.element;
  }
  settings.SetOptions(options);
  settings.saveToFile();
  TSettings again(folder.u16path("settings.xml"));
  again.SetOptions(TOptions());
  again.loadFromFile();
  EXPECT_EQ(again.Options(), options);
}

TEST(Options, OldFilesAndMissingElementsReadAsDefaults) {
  TempFolder folder;
  TOptions changed;
  changed.SetText(TOptionId::FullTunnel, u"true");
  changed.SetText(TOptionId::ReminderHours, u"4");

  const struct {
    const char* name;
    std::string file;
    int32_t reminder;
  } cases[] = {
      {"file of the old layout", kDefaultLayout, 0},
      {"empty options element", withoutEnd(kDefaultLayout) + "<options/></settings>", 0},
      {"empty value",
       withoutEnd(kDefaultLayout) + "<options><reminder_hours/></options></settings>", 0},
      {"one option only",
       withoutEnd(kDefaultLayout) + "<options><reminder_hours>12</reminder_hours></options>" +
           "</settings>",
       12},
      {"unknown elements are ignored",
       withoutEnd(kDefaultLayout) + "<options><later_option>x</later_option></options></settings>",
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder.write("settings.xml", c.file);
    TSettings settings(fromUtf8(path));
    settings.SetOptions(changed);
    settings.loadFromFile();
    EXPECT_EQ(settings.Options().Integer(TOptionId::ReminderHours), c.reminder);
    EXPECT_FALSE(settings.Options().Boolean(TOptionId::FullTunnel));
  }
}

TEST(Options, ValuesAreCheckedAtTheirBoundaries) {
  const struct {
    TOptionId id;
    const char16_t* text;
    const char* error;  // empty: accepted
  } cases[] = {
      {TOptionId::FailureThreshold, u"0",
       "The option failure_threshold must lie between 1 and 1000, not 0"},
      {TOptionId::FailureThreshold, u"1", ""},
      {TOptionId::FailureThreshold, u"1000", ""},
      {TOptionId::FailureThreshold, u"1001",
       "The option failure_threshold must lie between 1 and 1000, not 1001"},
      {TOptionId::FailureThreshold, u"two", "''two'' is not a valid integer value"},
      {TOptionId::ReminderHours, u"-1",
       "The option reminder_hours must lie between 0 and 8760, not -1"},
      {TOptionId::ReminderHours, u"8760", ""},
      {TOptionId::RecoveryMail, u"yes", "''yes'' is not a valid boolean value"},
      {TOptionId::RecoveryMail, u"True", ""},
      {TOptionId::SMTPSecurity, u"implicit_tls", ""},
      {TOptionId::Jobs, u"0", "The option jobs must lie between 1 and 10000, not 0"},
      {TOptionId::Jobs, u"1", ""},
      {TOptionId::Jobs, u"10000", ""},
      {TOptionId::Jobs, u"10001", "The option jobs must lie between 1 and 10000, not 10001"},
      {TOptionId::SMTPSecurity, u"Implicit_TLS",
       "''Implicit_TLS'' is not a value of the option smtp_security (one of ssl_tls_box, "
       "require_starttls, implicit_tls)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(toUtf8(c.text));
    TOptions options;
    const std::u16string before = options.Text(c.id);
    try {
      options.SetText(c.id, c.text);
      EXPECT_STREQ(c.error, "");
    } catch (const Exception& e) {
      EXPECT_EQ(toUtf8(e.Message()), c.error);
      EXPECT_EQ(options.Text(c.id), before);
    }
  }
}

TEST(Options, ABadValueInTheFileIsAnErrorAndKeepsTheOptionsAsTheyWere) {
  TempFolder folder;
  const std::string path = folder.write(
      "settings.xml", withoutEnd(kDefaultLayout) +
                          "<options><recovery_mail>true</recovery_mail>"
                          "<failure_threshold>0</failure_threshold></options></settings>");
  TSettings settings(fromUtf8(path));
  EXPECT_THROW(settings.loadFromFile(), Exception);
  EXPECT_TRUE(settings.Options().allDefault());
}

TEST(Options, TheManualDescribesEachOption) {
  const std::string manual = readFile(QUORVEX_SOURCE_DIR "/docs/manual.md");
  ASSERT_FALSE(manual.empty());
  for (const TOptionSpec& spec : optionTable()) {
    EXPECT_NE(manual.find("(`" + std::string(spec.element) + "`"), std::string::npos)
        << spec.element;
    for (const TOptionChoice& choice : spec.choices)
      EXPECT_NE(manual.find("(`" + toUtf8(choice.value) + "`"), std::string::npos)
          << toUtf8(choice.value);
  }
}

TEST(Options, TheTableNamesEachElementOnce) {
  for (const TOptionSpec& spec : optionTable()) {
    EXPECT_EQ(findOption(spec.element), &spec);
    EXPECT_FALSE(spec.caption.empty());
    EXPECT_FALSE(spec.help.empty());
  }
  EXPECT_EQ(findOption("nonsense"), nullptr);
}

}  // namespace
}  // namespace quorvex
