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
  TQxEMailAddressList& FromList() { return _fromList; }
  TQxEMailAddressList& Recipients() { return _recipients; }
  TQxEMailAddressList& CCList() { return _ccList; }
  TQxEMailAddressList& BccList() { return _bccList; }
  TQxEMailAddressList& ReplyTo() { return _replyTo; }
  TQxEMailAddressItem& Sender() { return _sender; }
  TQxEMailAddressItem& ReceiptRecipient() { return _receiptRecipient; }

  const std::u16string& Subject() const { return _subject; }
  void SetSubject(std::u16string value) { _subject = std::move(value); }
  const std::u16string& Organization() const { return _organization; }
  void SetOrganization(std::u16string value) { _organization = std::move(value); }
  const std::u16string& References() const { return _references; }
  void SetReferences(std::u16string value) { _references = std::move(value); }
  // Both are kept in angle brackets.
  std::u16string InReplyTo() const;
  void SetInReplyTo(std::u16string_view value);
  const std::u16string& MsgId() const { return _msgId; }
  void SetMsgId(std::u16string_view value);
  const std::u16string& UID() const { return _uid; }
  void SetUID(std::u16string value) { _uid = std::move(value); }

  TDateTime Date() const { return _date; }
  void SetDate(TDateTime value) { _date = value; }
  // True exactly when Date is 0: the Date line then shows the time of sending.
  bool UseNowForDate() const { return _date == 0; }
  void SetUseNowForDate(bool value);

  TQxMessagePriority Priority() const { return _priority; }
  void SetPriority(TQxMessagePriority value) { _priority = value; }

  // Writing moves a charset parameter into CharSet.
  const std::u16string& ContentType() const { return _contentType; }
  void SetContentType(std::u16string_view value);
  const std::u16string& CharSet() const { return _charSet; }
  void SetCharSet(std::u16string value) { _charSet = std::move(value); }
  const std::u16string& ContentTransferEncoding() const { return _contentTransferEncoding; }
  void SetContentTransferEncoding(std::u16string value) {
    _contentTransferEncoding = std::move(value);
  }
  const std::u16string& ContentDisposition() const { return _contentDisposition; }
  void SetContentDisposition(std::u16string value) { _contentDisposition = std::move(value); }

  TQxMessageEncoding Encoding() const { return _encoding; }
  void SetEncoding(TQxMessageEncoding value);
  // "MIME" or "UUE", named by Encoding.
  const std::u16string& AttachmentEncoding() const { return _attachmentEncoding; }
  bool ConvertPreamble() const { return _convertPreamble; }
  void SetConvertPreamble(bool value) { _convertPreamble = value; }

  TQxStringList& NewsGroups() { return _newsGroups; }
  TQxHeaderList& Headers() { return _headers; }
  TQxHeaderList& ExtraHeaders() { return _extraHeaders; }
  const TQxHeaderList& LastGeneratedHeaders() const { return _lastGeneratedHeaders; }
  TQxStringList& Body() { return _body; }
  const TQxStringList& Body() const { return _body; }
  // The system builds no multipart messages.
  size_t MessagePartCount() const { return 0; }
  // Current MIME boundary, empty outside the MIME layout.
  std::u16string MIMEBoundary() const;

  bool NoEncode() const { return _noEncode; }
  void SetNoEncode(bool value) { _noEncode = value; }
  bool IsMsgSinglePartMime() const { return _isMsgSinglePartMime; }

  TQxInitializeISOEvent OnInitializeISO;

  // Source of the current time and zone offset (the system clock unless set).
  void SetClock(const TClock& clock) { _clock = &clock; }
  const TClock& Clock() const { return *_clock; }

  void InitializeISO(char16_t& letter, std::u16string& charset);
  // Rebuilds LastGeneratedHeaders from the message.
  void GenerateHeader();

  void Clear();
  void ClearHeader();
  void ClearBody();

 private:
  std::u16string GenerateBoundary();

  TQxEMailAddressList _fromList, _recipients, _ccList, _bccList, _replyTo;
  TQxEMailAddressItem _sender, _receiptRecipient;
  std::u16string _subject, _organization, _references, _inReplyTo, _msgId, _uid;
  TDateTime _date = 0;
  TQxMessagePriority _priority = mpNormal;
  std::u16string _contentType, _charSet, _contentTransferEncoding, _contentDisposition;
  TQxMessageEncoding _encoding = meDefault;
  std::u16string _attachmentEncoding = u"UUE";
  bool _convertPreamble = true;
  TQxStringList _newsGroups;
  TQxHeaderList _headers, _extraHeaders, _lastGeneratedHeaders;
  TQxStringList _body;
  std::vector<std::u16string> _boundaries;
  bool _noEncode = false;
  bool _isMsgSinglePartMime = false;
  bool _savingToFile = false;
  const TClock* _clock = &TClock::System();
};

}  // namespace quorvex
