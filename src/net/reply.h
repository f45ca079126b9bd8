#pragma once

#include <string>
#include <vector>

#include "platform/exception.h"

namespace quorvex {

class EQxReplyError : public EQxException {
 public:
  using EQxException::EQxException;
};

// A reply a peer refused with; ErrorCode is its numeric code.
class EQxReplyRFCError : public EQxReplyError {
 public:
  EQxReplyRFCError(int AErrorCode, std::u16string AReplyMessage)
      : EQxReplyError(std::move(AReplyMessage)), FErrorCode(AErrorCode) {}
  static EQxReplyRFCError CreateError(int AErrorCode, std::u16string AReplyMessage) {
    return EQxReplyRFCError(AErrorCode, std::move(AReplyMessage));
  }
  int ErrorCode() const noexcept { return FErrorCode; }

 private:
  int FErrorCode;
};

// The text lines of a reply, with the line-break conventions of wire text.
class TQxReplyText {
 public:
  const std::vector<std::u16string>& Lines() const { return FLines; }
  std::vector<std::u16string>& Lines() { return FLines; }
  bool Empty() const { return FLines.empty(); }
  // Every line followed by CR LF, the last one too.
  std::u16string Text() const;
  // Splits at CR LF, LF or CR; a final line break adds no empty line.
  void SetText(const std::u16string& AValue);

 private:
  std::vector<std::u16string> FLines;
};

// A numbered reply: a code and its text lines.
class TQxReply {
 public:
  virtual ~TQxReply() = default;

  const std::u16string& Code() const { return FCode; }
  // Raises "Reply Code is not valid: %s" for a code IsValidCode rejects;
  // a new code clears the text.
  void SetCode(const std::u16string& AValue);
  // The code as a number, 0 when it is none.
  int NumericCode() const;
  void SetNumericCode(int AValue);
  TQxReplyText& Text() { return FText; }
  const TQxReplyText& Text() const { return FText; }

  // The reply as wire lines, and parsing wire lines into it.
  virtual std::vector<std::u16string> FormattedReply() const = 0;
  virtual void SetFormattedReply(const std::vector<std::u16string>& ALines) = 0;
  // Whether ALine is the last line of a reply.
  virtual bool IsEndMarker(const std::u16string& ALine) const = 0;
  [[noreturn]] virtual void RaiseReplyError() const = 0;

  virtual void Clear();
  virtual bool IsValidCode(const std::u16string&) const { return true; }
  virtual bool ReplyExists() const;
  void SetReply(int ACode, const std::u16string& AText);
  void SetReply(const std::u16string& ACode, const std::u16string& AText);

 private:
  std::u16string FCode;
  TQxReplyText FText;
};

// The reply of the line-based Internet protocols: "250-more", "250 last".
class TQxReplyRFC : public TQxReply {
 public:
  std::vector<std::u16string> FormattedReply() const override;
  void SetFormattedReply(const std::vector<std::u16string>& ALines) override;
  // A line shorter than 4 characters, or with a space as its 4th, ends it.
  bool IsEndMarker(const std::u16string& ALine) const override;
  [[noreturn]] void RaiseReplyError() const override;
  // 100 to 999, or blank.
  bool IsValidCode(const std::u16string& ACode) const override;
  bool ReplyExists() const override;
};

}  // namespace quorvex
