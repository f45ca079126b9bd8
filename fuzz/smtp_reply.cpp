// Reading SMTP replies off the wire: the bytes arrive through the line
// reader, reply after reply, until the input ends or a reply is refused.
#include <climits>

#include "fuzz_input.h"
#include "smtp/reply_smtp.h"
#include "smtp/smtp.h"
#include "support/memory_transport.h"

using namespace quorvex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the chunk size the transport delivers.
  test::TMemoryScript script(std::string(reinterpret_cast<const char*>(data) + 1, size - 1),
                             data[0] % 16 + 1);
  test::TMemoryHandler handler(script);
  TQxSMTP client;
  client.SetIOHandler(&handler);
  auto& reply = static_cast<TQxReplySMTP&>(client.LastCmdResult());
  for (int i = 0; i < 1000; ++i) {
    try {
      client.GetInternalResponse();
    } catch (const EQxException&) {
      break;  // end of input, an over-long line or an invalid code
    }
    const int code = reply.NumericCode();
    fuzzing::Check(reply.Code().empty() || (code >= 100 && code <= 999));
    fuzzing::Check(!reply.Text().Empty());
    // Rendering and parsing again keeps the code and the enhanced code (a
    // code written with a sign, "+250", reads as 250 but renders 4 wide).
    TQxReplySMTP again;
    again.SetFormattedReply(reply.FormattedReply());
    if (reply.Code().size() == 3) {
      fuzzing::Check(again.NumericCode() == code);
      fuzzing::Check(again.EnhancedCode().ReplyAsStr() == reply.EnhancedCode().ReplyAsStr() ||
                     !reply.EnhancedCode().Available());
    }
    if (reply.EnhancedCode().Available()) {
      TQxSMTPEnhancedCode copy;
      copy.SetReplyAsStr(reply.EnhancedCode().ReplyAsStr());
      fuzzing::Check(copy.ReplyAsStr() == reply.EnhancedCode().ReplyAsStr());
    }
    try {
      reply.RaiseReplyError();
    } catch (const EQxSMTPReplyError& e) {
      fuzzing::Check(e.ErrorCode() == code);
      fuzzing::Check(e.Message() == reply.Text().Text());
    }
  }
  client.SetIOHandler(nullptr);
  return 0;
}
