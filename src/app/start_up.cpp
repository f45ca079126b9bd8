#include "app/start_up.h"

#include <sys/stat.h>

#include <string>

#include "platform/exception.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/text_encoding.h"
#include "settings/file_io.h"

namespace quorvex {

namespace {

std::u16string settingsProblem(const std::u16string& fileName, const Exception& e) {
  if (!e.Place().empty())
    return u"The settings file \"" + fileName + u"\" is damaged at " + e.Place() + u": " +
           WithFullStop(e.Message()) + u" The values from there on keep their defaults.";
  return WithFullStop(e.Message()) + u" Quorvex runs with the default settings.";
}

}  // namespace

std::u16string noServersText(const TSettings& settings) {
  struct stat st {};
  const bool missing = stat(settings.ConfigDirBytes().c_str(), &st) != 0 || !S_ISDIR(st.st_mode);
  return u"No client configurations in \"" + settings.ConfigDir() + u"\"" +
         (missing ? u" (the folder does not exist)" : u"") +
         u". To test configurations elsewhere, start Quorvex with QUORVEX_CONFIG_DIR set to "
         u"their folder.";
}

namespace {

// openvpn asks on the terminal when "auth-user-pass" names no file.
bool asksForLogin(const TSettings& settings, const TVPNServer& server) {
  if (!server.ReadError().empty()) return false;
  std::string bytes;
  try {
    bytes = readWholeFile(settings.ConfigDirBytes() + '/' + server.OVPNFileBytes(),
                          server.OVPNFilename());
  } catch (const Exception&) {
    return false;
  }
  const std::u16string text = TEncoding::System().GetString(bytes);
  size_t from = 0;
  while (from <= text.size()) {
    size_t end = text.find_first_of(u"\r\n", from);
    if (end == std::u16string::npos) end = text.size();
    if (Trim(std::u16string_view(text).substr(from, end - from)) == u"auth-user-pass") return true;
    from = end + 1;
  }
  return false;
}

}  // namespace

void discoverServers(TSettings& settings) { settings.init(); }

std::unique_ptr<TSettings> startUpSettings(const std::u16string& settingsPath,
                                           const IRegistry* registry, TStartUpStep* failedStep,
                                           TStartUpNotes* notes) {
  auto step = [failedStep](TStartUpStep current) {
    if (failedStep) *failedStep = current;
  };
  auto settings = std::make_unique<TSettings>(settingsPath);
  step(TStartUpStep::FindOpenVPN);
  if (registry)
    settings->loadFromRegistry(*registry);
  else
    settings->loadFromRegistry();
  try {
    settings->loadFromFile();
  } catch (const Exception& e) {
    // A missing or damaged settings file must not stop the start: defaults
    // stand, and the user is told.
    if (notes) {
      notes->lines.push_back(settingsProblem(settingsPath, e));
      notes->settingsUnreadable = dynamic_cast<const EFileError*>(&e) != nullptr;
    }
  } catch (const std::exception& e) {
    if (notes) notes->lines.push_back(WithFullStop(fromUtf8(e.what())));
  }
  settings->SetMsgSubject(u"<serverName> Down!");
  step(TStartUpStep::DiscoverServers);
  discoverServers(*settings);
  return settings;
}

std::u16string emptyLoginWarning(const TSettings& settings, const std::u16string& login) {
  if (!login.empty()) return u"";
  for (int i = 0; i < settings.ServerCount(); ++i) {
    if (asksForLogin(settings, settings.Servers(i)))
      return u"Warning: the Login is empty, and " + settings.Servers(i).OVPNFilename() +
             u" asks for a user name (auth-user-pass): its test will fail.";
  }
  return u"";
}

}  // namespace quorvex
