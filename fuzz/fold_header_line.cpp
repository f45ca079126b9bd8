// Folding keeps every visible character, never yields a line break inside a
// physical line or an empty line, and leaves lines of up to 79 characters whole.
#include "fuzz_input.h"
#include "mail/header_list.h"

using namespace quorvex;

namespace {

std::u16string visible(std::u16string_view text) {
  std::u16string out;
  for (char16_t c : text)
    if (c > 32) out += c;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string line = fuzzing::TextFrom(data, size);
  TQxHeaderList list;
  const std::vector<std::u16string> pieces = list.FoldHeaderLine(line);
  std::u16string joined;
  for (size_t i = 0; i < pieces.size(); ++i) {
    const std::u16string& piece = pieces[i];
    fuzzing::Check(!piece.empty());
    fuzzing::Check(piece.find_first_of(u"\r\n") == std::u16string::npos);
    if (i > 0) fuzzing::Check(piece[0] == ' ' || piece[0] == '\t');
    joined += piece;
  }
  fuzzing::Check(visible(joined) == visible(line));
  if (line.size() <= 79 && line.find_first_of(u"\r\n") == std::u16string::npos)
    fuzzing::Check(pieces.size() <= 1);

  list.SetHeaderValue(u"Subject", line);
  list.SetHeaderValue(u"To", line);
  list.GetHeaderValue(u"Subject");
  list.SetHeaderValue(u"Subject", u"");
  return 0;
}
