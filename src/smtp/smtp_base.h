#pragma once

#include <functional>
#include <string>

#include "mail/email_address.h"
#include "mail/message.h"
#include "mail/message_client.h"

namespace quorvex {

class TQxSMTPBase;

// Asked for a refused recipient; VContinue true goes on with the others.
using TQxSMTPFailedRecipient =
    std::function<void(TQxSMTPBase& Sender, const std::u16string& AAddress,
                       const std::u16string& ACode, const std::u16string& AText, bool& VContinue)>;

// A value that would add a line (and so a command) to the SMTP dialogue.
class EQxSMTPLineBreak : public EQxException {
 public:
  using EQxException::EQxException;
};

// Raises EQxSMTPLineBreak naming AWhat when AValue holds a CR or LF.
void CheckNoLineBreak(const std::u16string& AValue, const char16_t* AWhat);

// The SMTP mail transaction over a connected session: RSET, MAIL FROM, one
// RCPT TO per recipient, DATA, the message and the final ".".
class TQxSMTPBase : public TQxMessageClient {
 public:
  TQxSMTPBase();

  const std::u16string& MailAgent() const { return FMailAgent; }
  void SetMailAgent(const std::u16string& AValue) { FMailAgent = AValue; }
  const std::u16string& HeloName() const { return FHeloName; }
  void SetHeloName(const std::u16string& AValue) { FHeloName = AValue; }
  bool PipeLine() const { return FPipeline; }
  // True also turns UseEhlo on.
  void SetPipeLine(bool AValue);
  bool UseEhlo() const { return FUseEhlo; }
  virtual void SetUseEhlo(bool AValue) { FUseEhlo = AValue; }
  bool UseVerp() const { return FUseVerp; }
  void SetUseVerp(bool AValue) { FUseVerp = AValue; }
  const std::u16string& VerpDelims() const { return FVerpDelims; }
  void SetVerpDelims(const std::u16string& AValue) { FVerpDelims = AValue; }
  TQxSMTPFailedRecipient OnFailedRecipient;

  // The server listed STARTTLS.
  bool SupportsTLS() override;

  // Every recipient of the message (To, CC, then BCC), sender from the
  // message.
  virtual void Send(TQxMessage& AMsg);
  virtual void Send(TQxMessage& AMsg, const TQxEMailAddressList& ARecipients);
  virtual void Send(TQxMessage& AMsg, const std::u16string& AFrom);
  virtual void Send(TQxMessage& AMsg, const TQxEMailAddressList& ARecipients,
                    const std::u16string& AFrom);

 protected:
  std::unique_ptr<TQxReply> CreateReply() const override;
  virtual void DeliverMessage(TQxMessage& AMsg, const std::u16string& AFrom,
                              const TQxEMailAddressList& ARecipients);
  void SendTransaction(TQxMessage& AMsg, const std::u16string& AFrom,
                       const TQxEMailAddressList& ARecipients);
  void SendRcptToList(const TQxEMailAddressList& AList);
  // The message text, then "." accepting 250 only.
  void SendMessageAndEnd(TQxMessage& AMsg);
  bool HasCapability(std::u16string_view AName) const;

  std::u16string FMailAgent;
  std::u16string FHeloName;
  bool FPipeline = false;
  bool FUseEhlo = true;
  bool FUseVerp = false;
  std::u16string FVerpDelims;

 private:
  // Refuses addresses that would break the dialogue, before anything is sent.
  void Deliver(TQxMessage& AMsg, const std::u16string& AFrom,
               const TQxEMailAddressList& ARecipients);
};

}  // namespace quorvex
