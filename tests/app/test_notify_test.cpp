// quorvex --test-notify [NAME]: the test notification through the notifiers
// of a settings file, against a local service.
#include "app/test_notify.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "platform/text.h"
#include "settings/settings.h"
#include "support/notify_service.h"
#include "support/temp_folder.h"
#include "support/tls_server.h"

namespace quorvex::test {
namespace {

using ::testing::MatchesRegex;

TEST(TestNotify, SendsThroughEveryNotifierOrTheOneNamed) {
  TNotifyService service;
  TempFolder folder("test-notify");
  const std::u16string file = folder.u16path("settings.xml");
  {
    TSettings settings(file);
    TNotifierConfig team{u"team", TNotifierKind::Webhook};
    team.url = fromUtf8(service.Url("/ok/hook/secret"));
    team.caFile = fromUtf8(TlsCaFiles().CaFile);
    TNotifierConfig gone{u"old room", TNotifierKind::Slack};
    gone.url = fromUtf8(service.Url("/gone/T0/secret"));
    gone.caFile = team.caFile;
    settings.SetNotifiers({team, gone});
    settings.saveToFile();
  }
  const auto run = [&](std::optional<std::u16string> name, std::string& out, std::string& err) {
    std::ostringstream o, e;
    const int code = runTestNotify(file, name, o, e);
    out = o.str();
    err = e.str();
    return code;
  };
  std::string out, err;
  EXPECT_EQ(run(std::nullopt, out, err), 1);
  EXPECT_THAT(out, MatchesRegex("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}\tteam test sent\n"));
  EXPECT_EQ(err, "quorvex: old room test not sent: " + service.Host() +
                     " answered HTTP 404: no_service\n");
  const auto requests = service.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_THAT(requests[0].at("body"), ::testing::HasSubstr(R"("event":"test")"));

  EXPECT_EQ(run(u"team", out, err), 0);
  EXPECT_THAT(out, ::testing::EndsWith("\tteam test sent\n"));
  EXPECT_EQ(err, "");
  EXPECT_EQ(service.Requests().size(), 3u);

  EXPECT_EQ(run(u"nobody", out, err), 1);
  EXPECT_EQ(err, "quorvex: no notifier is named \"nobody\"; there are: team, old room\n");

  TSettings none(folder.u16path("none.xml"));
  none.saveToFile();
  std::ostringstream o, e;
  EXPECT_EQ(runTestNotify(folder.u16path("none.xml"), std::nullopt, o, e), 1);
  EXPECT_EQ(e.str(), "quorvex: " + (folder / "none.xml") + " has no notifier (<notifiers>)\n");
  EXPECT_EQ(service.Requests().size(), 3u);
}

}  // namespace
}  // namespace quorvex::test
