#pragma once

#include "mail/message.h"
#include "net/explicit_tls_client.h"
#include "platform/text_encoding.h"

namespace quorvex {

// Writes a message onto its connection: the header lines, a blank line and
// the body, after the server has accepted DATA and before the final ".".
class TQxMessageClient : public TQxExplicitTLSClient {
 public:
  virtual void SendMsg(TQxMessage& AMsg, bool AHeadersOnly = false);
  // GenerateHeader, then the generated lines in one write.
  virtual void SendMessageHeader(TQxMessage& AMsg);
  // The blank line after the header and the body in its transfer form.
  virtual void SendMessageBody(TQxMessage& AMsg);
  // The lines with leading dots doubled, no end-of-data line.
  void WriteBodyText(const TQxStringList* ALines, const TEncoding* AEncoding);

 private:
  TQxIOHandler& Handler() const;
};

}  // namespace quorvex
