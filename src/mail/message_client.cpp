#include "mail/message_client.h"

#include "mail/body_encoders.h"
#include "mail/header_encoding.h"
#include "platform/exception.h"
#include "platform/text.h"

namespace quorvex {

namespace {

// Body lines as wire lines: a CR or LF inside a line becomes a line break of
// its own, so that a "." it precedes is doubled like any other and can never
// end the data early.
TQxStrings bodyLines(const TQxStringList& lines) {
  TQxStrings out;
  out.reserve(lines.Count());
  for (const auto& line : lines.Lines()) {
    if (line.find_first_of(u"\r\n") == std::u16string::npos) {
      out.push_back(line);
      continue;
    }
    size_t start = 0;
    while (true) {
      const size_t end = line.find_first_of(u"\r\n", start);
      out.push_back(line.substr(start, end == std::u16string::npos ? end : end - start));
      if (end == std::u16string::npos) break;
      start = end + (line[end] == '\r' && end + 1 < line.size() && line[end + 1] == '\n' ? 2 : 1);
    }
  }
  return out;
}

bool isBlankBody(const TQxStringList& lines) {
  for (const auto& line : lines.Lines())
    if (!Trim(line).empty()) return false;
  return true;
}

}  // namespace

TQxIOHandler& TQxMessageClient::Handler() const {
  CheckHandlerAssigned();
  return *IOHandler();
}

void TQxMessageClient::SendMsg(TQxMessage& AMsg, bool AHeadersOnly) {
  if (AMsg.NoEncode()) {
    TQxIOHandler& io = Handler();
    io.Write(SafeHeaderLines(AMsg.Headers().Lines()));
    io.WriteLn();
    if (!AHeadersOnly) io.WriteRFCStrings(bodyLines(AMsg.Body()), false);
    return;
  }
  SendMessageHeader(AMsg);
  if (!AHeadersOnly) SendMessageBody(AMsg);
}

void TQxMessageClient::SendMessageHeader(TQxMessage& AMsg) {
  TQxIOHandler& io = Handler();
  AMsg.GenerateHeader();
  io.Write(SafeHeaderLines(AMsg.LastGeneratedHeaders().Lines()));
}

void TQxMessageClient::SendMessageBody(TQxMessage& AMsg) {
  TQxIOHandler& io = Handler();
  char16_t letter = u'B';
  std::u16string charset;
  AMsg.InitializeISO(letter, charset);

  const std::u16string& transfer = AMsg.ContentTransferEncoding();
  const bool base64 = EqualsNoCase(transfer, u"base64");
  if (!AMsg.IsMsgSinglePartMime() && (base64 || EqualsNoCase(transfer, u"quoted-printable"))) {
    if (AMsg.MessagePartCount() > 0)
      throw EQxException(
          u"Message parts cannot be used in a message which has a ContentTransferEncoding "
          u"value.");
    io.WriteLn();
    const auto encoding = CharSetTextEncoding(AMsg.CharSet());
    const std::string bytes = encoding->GetBytes(AMsg.Body().Text());
    const std::vector<std::string> encoded = base64
                                                 ? TQxMessageEncoderMIME::Encode(bytes)
                                                 : TQxMessageEncoderQuotedPrintable::Encode(bytes);
    TQxStrings lines;
    lines.reserve(encoded.size());
    for (const auto& line : encoded) lines.push_back(u16(line));
    io.WriteRFCStrings(lines, false);
    return;
  }

  io.WriteLn();
  if (AMsg.Encoding() != meMIME || !isBlankBody(AMsg.Body())) {
    const auto encoding = CharSetTextEncoding(AMsg.CharSet());
    WriteBodyText(&AMsg.Body(), encoding.get());
  }
  io.WriteLn();
}

void TQxMessageClient::WriteBodyText(const TQxStringList* ALines, const TEncoding* AEncoding) {
  TQxIOHandler& io = Handler();
  if (!ALines) throw EQxException(u"No body lines to write.");
  io.WriteRFCStrings(bodyLines(*ALines), false, AEncoding);
}

}  // namespace quorvex
