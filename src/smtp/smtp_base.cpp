#include "smtp/smtp_base.h"

#include <exception>

#include "platform/text.h"
#include "smtp/reply_smtp.h"

namespace quorvex {

namespace {

void AddAll(TQxEMailAddressList& ATarget, TQxMessage& AMsg) {
  ATarget.AddItems(&AMsg.Recipients());
  ATarget.AddItems(&AMsg.CCList());
  ATarget.AddItems(&AMsg.BccList());
}

}  // namespace

void CheckNoLineBreak(const std::u16string& AValue, const char16_t* AWhat) {
  if (AValue.find_first_of(u"\r\n") != std::u16string::npos)
    throw EQxSMTPLineBreak(std::u16string(AWhat) + u" contains a line break.");
}

TQxSMTPBase::TQxSMTPBase() = default;

std::unique_ptr<TQxReply> TQxSMTPBase::CreateReply() const {
  return std::make_unique<TQxReplySMTP>();
}

void TQxSMTPBase::SetPipeLine(bool AValue) {
  FPipeline = AValue;
  if (AValue) FUseEhlo = true;
}

bool TQxSMTPBase::HasCapability(std::u16string_view AName) const {
  for (const auto& line : FCapabilities)
    if (EqualsNoCase(line, AName)) return true;
  return false;
}

bool TQxSMTPBase::SupportsTLS() { return HasCapability(u"STARTTLS"); }

void TQxSMTPBase::Send(TQxMessage& AMsg) {
  TQxEMailAddressList recipients;
  AddAll(recipients, AMsg);
  Send(AMsg, recipients);
}

void TQxSMTPBase::Send(TQxMessage& AMsg, const TQxEMailAddressList& ARecipients) {
  std::u16string from = Trim(AMsg.Sender().Address());
  if (from.empty()) from = Trim(AMsg.From().Address());
  Deliver(AMsg, from, ARecipients);
}

void TQxSMTPBase::Send(TQxMessage& AMsg, const std::u16string& AFrom) {
  TQxEMailAddressList recipients;
  AddAll(recipients, AMsg);
  Send(AMsg, recipients, AFrom);
}

void TQxSMTPBase::Send(TQxMessage& AMsg, const TQxEMailAddressList& ARecipients,
                       const std::u16string& AFrom) {
  Deliver(AMsg, AFrom, ARecipients);
}

void TQxSMTPBase::Deliver(TQxMessage& AMsg, const std::u16string& AFrom,
                          const TQxEMailAddressList& ARecipients) {
  CheckNoLineBreak(AFrom, u"The sender address");
  for (size_t i = 0; i < ARecipients.Count(); ++i)
    CheckNoLineBreak(ARecipients[i].Address(), u"The recipient address");
  DeliverMessage(AMsg, AFrom, ARecipients);
}

void TQxSMTPBase::DeliverMessage(TQxMessage& AMsg, const std::u16string& AFrom,
                                 const TQxEMailAddressList& ARecipients) {
  // The pipelined transaction is not offered: every server gets the
  // one-command-at-a-time dialogue, which PIPELINING servers accept too.
  SendTransaction(AMsg, AFrom, ARecipients);
}

void TQxSMTPBase::SendTransaction(TQxMessage& AMsg, const std::u16string& AFrom,
                                  const TQxEMailAddressList& ARecipients) {
  std::u16string mailFrom = u"MAIL FROM: <" + AFrom + u">";
  if (FUseVerp) {
    mailFrom += HasCapability(u"VERP") ? u" VERP" : u" XVERP";
    if (!FVerpDelims.empty()) mailFrom += u"=" + FVerpDelims;
  }
  SendCmd(u"RSET");
  SendCmd(mailFrom, 250);
  try {
    SendRcptToList(ARecipients);
    SendCmd(u"DATA", 354);
    SendMessageAndEnd(AMsg);
  } catch (const EQxSMTPReplyError&) {
    // The server refused: leave the connection ready for the next message.
    // Transport errors skip this, the connection is no longer usable.
    const std::exception_ptr refusal = std::current_exception();
    SendCmd(u"RSET");
    std::rethrow_exception(refusal);
  }
}

void TQxSMTPBase::SendMessageAndEnd(TQxMessage& AMsg) {
  // The message and the "." line leave in one write: written piecemeal, each
  // small write after the first would wait for the server's delayed ACK.
  CheckHandlerAssigned();
  TQxIOHandler& io = *IOHandler();
  io.WriteBufferOpen();
  try {
    SendMsg(AMsg, false);
    io.WriteLn(u".");
    io.WriteBufferClose();
  } catch (...) {
    io.WriteBufferCancel();
    throw;
  }
  GetResponse(250);
}

void TQxSMTPBase::SendRcptToList(const TQxEMailAddressList& AList) {
  if (AList.Count() == 0) return;
  size_t refused = 0;
  bool stopped = false;
  for (size_t i = 0; i < AList.Count(); ++i) {
    const std::u16string& address = AList[i].Address();
    const TQxReplyCode code = SendCmd(u"RCPT TO:<" + address + u">");
    if (code == 250 || code == 251) continue;
    ++refused;
    bool go_on = false;
    if (OnFailedRecipient) {
      go_on = true;
      OnFailedRecipient(*this, address, LastCmdResult().Code(), LastCmdResult().Text().Text(),
                        go_on);
    }
    if (!go_on) {
      stopped = true;
      break;
    }
  }
  if (stopped || refused == AList.Count()) LastCmdResult().RaiseReplyError();
}

}  // namespace quorvex
