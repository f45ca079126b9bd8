// Splitting an address list text and formatting the entries for a header.
#include "fuzz_input.h"
#include "mail/email_address.h"

using namespace quorvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string text = fuzzing::TextFrom(data, size);
  TQxEMailAddressList list;
  list.SetEMailAddresses(text);
  const std::u16string display = list.EMailAddresses();
  FormatHeaderAddresses(list, u'B', u"UTF-8", true);
  // The display form is itself a list text.
  TQxEMailAddressList again;
  again.SetEMailAddresses(display);
  return 0;
}
