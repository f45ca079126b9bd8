// Any bytes as a settings file: loading raises or reads, never crashes. Any
// text as a value: Save refuses it exactly when it holds a character XML
// cannot carry, and otherwise the file reads back the same value.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz_input.h"
#include "platform/exception.h"
#include "settings/settings.h"

using namespace quorvex;

namespace {

bool xmlCanHold(const std::u16string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;
      continue;
    }
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || (c >= 0xD800 && c <= 0xDFFF) ||
        c == 0xFFFE || c == 0xFFFF)
      return false;
  }
  return true;
}

// One file in a private temporary folder, reused by every run and removed at exit.
class TScratchFile {
 public:
  TScratchFile() {
    char folder[] = "/tmp/quorvex-fuzz-XXXXXX";
    if (!mkdtemp(folder)) abort();
    _folder = folder;
  }
  ~TScratchFile() {
    std::error_code ignored;
    std::filesystem::remove_all(_folder, ignored);
  }
  std::string path() const { return (_folder / "settings.xml").string(); }

 private:
  std::filesystem::path _folder;
};

const std::string& filePath() {
  static const TScratchFile file;
  static const std::string path = file.path();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = filePath();
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  TSettings read(fromUtf8(path));
  try {
    read.loadFromFile();
  } catch (const Exception&) {
  }

  const std::u16string text = fuzzing::TextFrom(data, size);
  TSettings written(fromUtf8(path));
  written.SetMsgText(text);
  written.SetSMTPHost(text);
  try {
    written.saveToFile();
  } catch (const Exception&) {
    fuzzing::Check(!xmlCanHold(text));
    return 0;
  }
  fuzzing::Check(xmlCanHold(text));
  TSettings back(fromUtf8(path));
  back.loadFromFile();
  fuzzing::Check(back.MsgText() == text && back.SMTPHost() == text);
  return 0;
}
