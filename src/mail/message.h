#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mail/email_address.h"
#include "mail/header_list.h"
#include "mail/string_list.h"
#include "platform/clock.h"
#include "platform/date_time.h"

namespace quorvex {

enum TQxMessageEncoding { meDefault, meMIME, mePlainText };
enum TQxMessagePriority { mpHighest, mpHigh, mpNormal, mpLow, mpLowest };

// An e-mail message without parts: header fields, address lists and body
// lines, and the header lines generated from them.
class TQxMessage {
 public:
  // Receives the header-encoding letter and charset and may change them.
  using TQxInitializeISOEvent = std::function<void(char16_t& letter, std::u16string& charset)>;

  TQxMessage();
  TQxMessage(const TQxMessage&) = delete;
  TQxMessage& operator=(const TQxMessage&) = delete;

  // Entry 0 of FromList, added when the list is empty.
  TQxEMailAddressItem& From();
  TQxEMailAddressList& FromList() { return FFromList; }
  TQxEMailAddressList& Recipients() { return FRecipients; }
  TQxEMailAddressList& CCList() { return FCcList; }
  TQxEMailAddressList& BccList() { return FBccList; }
  TQxEMailAddressList& ReplyTo() { return FReplyTo; }
  TQxEMailAddressItem& Sender() { return FSender; }
  TQxEMailAddressItem& ReceiptRecipient() { return FReceiptRecipient; }

  const std::u16string& Subject() const { return FSubject; }
  void SetSubject(std::u16string value) { FSubject = std::move(value); }
  const std::u16string& Organization() const { return FOrganization; }
  void SetOrganization(std::u16string value) { FOrganization = std::move(value); }
  const std::u16string& References() const { return FReferences; }
  void SetReferences(std::u16string value) { FReferences = std::move(value); }
  // Both are kept in angle brackets.
  std::u16string InReplyTo() const;
  void SetInReplyTo(std::u16string_view value);
  const std::u16string& MsgId() const { return FMsgId; }
  void SetMsgId(std::u16string_view value);
  const std::u16string& UID() const { return FUid; }
  void SetUID(std::u16string value) { FUid = std::move(value); }

  TDateTime Date() const { return FDate; }
  void SetDate(TDateTime value) { FDate = value; }
  // True exactly when Date is 0: the Date line then shows the time of sending.
  bool UseNowForDate() const { return FDate == 0; }
  void SetUseNowForDate(bool value);

  TQxMessagePriority Priority() const { return FPriority; }
  void SetPriority(TQxMessagePriority value) { FPriority = value; }

  // Writing moves a charset parameter into CharSet.
  const std::u16string& ContentType() const { return FContentType; }
  void SetContentType(std::u16string_view value);
  const std::u16string& CharSet() const { return FCharSet; }
  void SetCharSet(std::u16string value) { FCharSet = std::move(value); }
  const std::u16string& ContentTransferEncoding() const { return FContentTransferEncoding; }
  void SetContentTransferEncoding(std::u16string value) {
    FContentTransferEncoding = std::move(value);
  }
  const std::u16string& ContentDisposition() const { return FContentDisposition; }
  void SetContentDisposition(std::u16string value) { FContentDisposition = std::move(value); }

  TQxMessageEncoding Encoding() const { return FEncoding; }
  void SetEncoding(TQxMessageEncoding value);
  // "MIME" or "UUE", named by Encoding.
  const std::u16string& AttachmentEncoding() const { return FAttachmentEncoding; }
  bool ConvertPreamble() const { return FConvertPreamble; }
  void SetConvertPreamble(bool value) { FConvertPreamble = value; }

  TQxStringList& NewsGroups() { return FNewsGroups; }
  TQxHeaderList& Headers() { return FHeaders; }
  TQxHeaderList& ExtraHeaders() { return FExtraHeaders; }
  const TQxHeaderList& LastGeneratedHeaders() const { return FLastGeneratedHeaders; }
  TQxStringList& Body() { return FBody; }
  const TQxStringList& Body() const { return FBody; }
  // The system builds no multipart messages.
  size_t MessagePartCount() const { return 0; }
  // Current MIME boundary, empty outside the MIME layout.
  std::u16string MIMEBoundary() const;

  bool NoEncode() const { return FNoEncode; }
  void SetNoEncode(bool value) { FNoEncode = value; }
  bool IsMsgSinglePartMime() const { return FIsMsgSinglePartMime; }

  TQxInitializeISOEvent OnInitializeISO;

  // Source of the current time and zone offset (the system clock unless set).
  void SetClock(const TClock& clock) { FClock = &clock; }
  const TClock& Clock() const { return *FClock; }

  void InitializeISO(char16_t& letter, std::u16string& charset);
  // Rebuilds LastGeneratedHeaders from the message.
  void GenerateHeader();

  void Clear();
  void ClearHeader();
  void ClearBody();

 private:
  std::u16string GenerateBoundary();

  TQxEMailAddressList FFromList, FRecipients, FCcList, FBccList, FReplyTo;
  TQxEMailAddressItem FSender, FReceiptRecipient;
  std::u16string FSubject, FOrganization, FReferences, FInReplyTo, FMsgId, FUid;
  TDateTime FDate = 0;
  TQxMessagePriority FPriority = mpNormal;
  std::u16string FContentType, FCharSet, FContentTransferEncoding, FContentDisposition;
  TQxMessageEncoding FEncoding = meDefault;
  std::u16string FAttachmentEncoding = u"UUE";
  bool FConvertPreamble = true;
  TQxStringList FNewsGroups;
  TQxHeaderList FHeaders, FExtraHeaders, FLastGeneratedHeaders;
  TQxStringList FBody;
  std::vector<std::u16string> FBoundaries;
  bool FNoEncode = false;
  bool FIsMsgSinglePartMime = false;
  bool FSavingToFile = false;
  const TClock* FClock = &TClock::System();
};

}  // namespace quorvex
