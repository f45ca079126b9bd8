// Parsing one address and writing it back.
#include "fuzz_input.h"
#include "mail/email_address.h"

using namespace quorvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string text = fuzzing::TextFrom(data, size);
  TQxEMailAddressItem item(text);
  const std::u16string display = item.Text();
  item.QuotedAddressSpec();
  item.User();
  item.Domain();
  FormatHeaderAddress(item, u'Q', u"ISO-8859-1", false);
  TQxEMailAddressItem again(display);
  return 0;
}
