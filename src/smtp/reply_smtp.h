#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/reply.h"
#include "platform/exception.h"

namespace quorvex {

// Malformed enhanced status codes assigned through the properties.
class EQxSMTPReply : public EQxException {
 public:
  using EQxException::EQxException;
};
class EQxSMTPReplyInvalidReplyString : public EQxSMTPReply {
 public:
  EQxSMTPReplyInvalidReplyString() : EQxSMTPReply(u"Invalid Reply String.") {}
};
class EQxSMTPReplyInvalidClass : public EQxSMTPReply {
 public:
  EQxSMTPReplyInvalidClass() : EQxSMTPReply(u"Invalid Reply Class.") {}
};

// Whether AText starts with an enhanced status code such as 2.1.0 (or is
// blank). Subject and detail must be plain digits.
bool IsEnhancedCodeText(const std::u16string& AText);

// The enhanced status code of an SMTP reply: class.subject.detail.
class TQxSMTPEnhancedCode {
 public:
  std::uint32_t StatusClass() const { return FStatusClass; }
  // 2, 4 or 5; anything else raises EQxSMTPReplyInvalidClass.
  void SetStatusClass(std::uint32_t AValue);
  std::uint32_t Subject() const { return FSubject; }
  void SetSubject(std::uint32_t AValue) { FSubject = AValue; }
  std::uint32_t Details() const { return FDetails; }
  void SetDetails(std::uint32_t AValue) { FDetails = AValue; }
  bool Available() const { return FAvailable; }
  // Becoming available starts from 2.0.0.
  void SetAvailable(bool AValue);
  // Empty when not available.
  std::u16string ReplyAsStr() const;
  // Takes the first word of AValue; a blank value makes the code not
  // available. Raises EQxSMTPReplyInvalidReplyString for other text.
  void SetReplyAsStr(const std::u16string& AValue);

  bool operator==(const TQxSMTPEnhancedCode&) const = default;

 private:
  std::uint32_t FStatusClass = 2;
  std::uint32_t FSubject = 0;
  std::uint32_t FDetails = 0;
  bool FAvailable = false;
};

// A refused SMTP reply: its code, enhanced code and text.
class EQxSMTPReplyError : public EQxReplyRFCError {
 public:
  EQxSMTPReplyError(int AErrCode, const TQxSMTPEnhancedCode& AEnhanced,
                    std::u16string AReplyMessage);
  static EQxSMTPReplyError CreateError(int AErrCode, const TQxSMTPEnhancedCode& AEnhanced,
                                       std::u16string AReplyMessage) {
    return EQxSMTPReplyError(AErrCode, AEnhanced, std::move(AReplyMessage));
  }
  const TQxSMTPEnhancedCode& EnhancedCode() const noexcept { return FEnhancedCode; }

 private:
  TQxSMTPEnhancedCode FEnhancedCode;
};

// An SMTP reply: the RFC reply with enhanced status codes cut from its text
// lines, the last one kept.
class TQxReplySMTP : public TQxReplyRFC {
 public:
  const TQxSMTPEnhancedCode& EnhancedCode() const { return FEnhancedCode; }
  TQxSMTPEnhancedCode& EnhancedCode() { return FEnhancedCode; }
  void SetEnhancedCode(const TQxSMTPEnhancedCode& AValue) { FEnhancedCode = AValue; }

  std::vector<std::u16string> FormattedReply() const override;
  // The code is the first line's; every line loses its first 4 characters
  // and a leading enhanced code. The enhanced code is not reset first.
  void SetFormattedReply(const std::vector<std::u16string>& ALines) override;
  [[noreturn]] void RaiseReplyError() const override;
  void SetEnhReply(int ANumericCode, const std::u16string& AEnhReply, const std::u16string& AText);

 private:
  TQxSMTPEnhancedCode FEnhancedCode;
};

}  // namespace quorvex
