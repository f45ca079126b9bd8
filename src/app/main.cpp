// Interim entry point: shows what start-up finds, then exits.
#include <cstdio>
#include <optional>
#include <string_view>

#include "platform/exception.h"
#include "platform/text_encoding.h"
#include "settings/settings.h"
#include "settings/settings_path.h"

namespace {

void print(std::FILE* stream, const std::u16string& line) {
  const std::string bytes = quorvex::TEncoding::System().GetBytes(line + u"\n");
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quorvex;
  const TEncoding& system = TEncoding::System();
  std::optional<std::u16string> explicitPath;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--settings" && i + 1 < argc) {
      explicitPath = system.GetString(argv[++i]);
    } else if (arg.starts_with("--settings=")) {
      explicitPath = system.GetString(arg.substr(11));
    } else {
      std::fprintf(stderr, "usage: %s [--settings FILE]\n", argv[0]);
      return 2;
    }
  }
  try {
    TSettings settings(settingsFilePath(explicitPath));
    print(stdout, u"Settings file: " + settings.FileName());
    settings.loadFromRegistry();
    try {
      settings.loadFromFile();
    } catch (const Exception&) {
      // A missing or damaged settings file leaves the defaults.
    }
    settings.init();
    print(stdout, u"OpenVPN configuration folder: " + settings.ConfigDir());
    for (int i = 0; i < settings.ServerCount(); ++i)
      print(stdout, settings.Servers(i).Name() + u"\t" + settings.Servers(i).OVPNFilename());
  } catch (const Exception& e) {
    print(stderr, e.Message());
    return 1;
  }
  return 0;
}
