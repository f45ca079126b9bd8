#include "smtp/reply_smtp.h"

#include <climits>
#include <optional>

#include "platform/text.h"

namespace quorvex {

namespace {

// A whole number, sign allowed, that fits a signed 32-bit integer.
std::optional<long long> ReadNumber(std::u16string_view AText) {
  if (AText.size() > 11) return std::nullopt;
  return ParseWholeNumber(AText, INT_MIN, INT_MAX);
}

std::u16string_view FirstWord(std::u16string_view AText) {
  return AText.substr(0, AText.find(u' '));
}

struct TCodeParts {
  std::u16string_view Class, Subject, Details;
};

TCodeParts SplitCode(std::u16string_view AWord) {
  TCodeParts parts;
  const size_t dot = AWord.find(u'.');
  parts.Class = AWord.substr(0, dot);
  if (dot == std::u16string_view::npos) return parts;
  const std::u16string_view rest = AWord.substr(dot + 1);
  const size_t dot2 = rest.find(u'.');
  parts.Subject = rest.substr(0, dot2);
  if (dot2 != std::u16string_view::npos) parts.Details = rest.substr(dot2 + 1);
  return parts;
}

// The leading digits of a class such as "21" (only its first must be 2, 4 or 5).
std::uint32_t LeadingNumber(std::u16string_view AText) {
  std::uint32_t value = 0;
  for (char16_t c : AText) {
    if (c < u'0' || c > u'9' || value > 100000000) break;
    value = value * 10 + (c - u'0');
  }
  return value;
}

std::u16string Digits(std::uint32_t AValue, size_t AMost) {
  return u16(std::to_string(AValue)).substr(0, AMost);
}

}  // namespace

bool IsEnhancedCodeText(const std::u16string& AText) {
  if (Trim(AText).empty()) return true;
  const TCodeParts parts = SplitCode(FirstWord(AText));
  return !parts.Class.empty() &&
         std::u16string_view(u"245").find(parts.Class[0]) != std::u16string_view::npos &&
         ReadNumber(parts.Subject) && ReadNumber(parts.Details);
}

void TQxSMTPEnhancedCode::SetStatusClass(std::uint32_t AValue) {
  if (AValue != 2 && AValue != 4 && AValue != 5) throw EQxSMTPReplyInvalidClass();
  FStatusClass = AValue;
}

void TQxSMTPEnhancedCode::SetAvailable(bool AValue) {
  if (AValue && !FAvailable) {
    FStatusClass = 2;
    FSubject = 0;
    FDetails = 0;
  }
  FAvailable = AValue;
}

std::u16string TQxSMTPEnhancedCode::ReplyAsStr() const {
  if (!FAvailable) return {};
  return Digits(FStatusClass, 1) + u"." + Digits(FSubject, 3) + u"." + Digits(FDetails, 3);
}

void TQxSMTPEnhancedCode::SetReplyAsStr(const std::u16string& AValue) {
  if (!IsEnhancedCodeText(AValue)) throw EQxSMTPReplyInvalidReplyString();
  const std::u16string_view word = FirstWord(AValue);
  if (Trim(word).empty()) {
    FAvailable = false;
    return;
  }
  const TCodeParts parts = SplitCode(word);
  const long long subject = *ReadNumber(parts.Subject);
  const long long details = *ReadNumber(parts.Details);
  // A negative number fits no field: the reply then carries no enhanced code
  // rather than a wrong one.
  if (subject < 0 || details < 0) {
    FAvailable = false;
    return;
  }
  FStatusClass = LeadingNumber(parts.Class);
  FSubject = static_cast<std::uint32_t>(subject);
  FDetails = static_cast<std::uint32_t>(details);
  FAvailable = true;
}

EQxSMTPReplyError::EQxSMTPReplyError(int AErrCode, const TQxSMTPEnhancedCode& AEnhanced,
                                     std::u16string AReplyMessage)
    : EQxReplyRFCError(AErrCode, std::move(AReplyMessage)) {
  FEnhancedCode.SetReplyAsStr(AEnhanced.ReplyAsStr());
}

void TQxReplySMTP::SetFormattedReply(const std::vector<std::u16string>& ALines) {
  Clear();
  if (ALines.empty()) return;
  std::u16string code = Trim(ALines[0].substr(0, 4));
  if (code.size() == 4 && code[3] == u'-') code.resize(3);
  SetCode(code);
  for (const auto& line : ALines) {
    std::u16string text = line.size() > 4 ? line.substr(4) : std::u16string();
    if (IsEnhancedCodeText(text)) {
      const size_t space = text.find(u' ');
      FEnhancedCode.SetReplyAsStr(text.substr(0, space));
      text = space == std::u16string::npos ? std::u16string() : text.substr(space + 1);
    }
    Text().Lines().push_back(std::move(text));
  }
}

std::vector<std::u16string> TQxReplySMTP::FormattedReply() const {
  const auto& lines = Text().Lines();
  if (NumericCode() < 1) return lines;
  const std::u16string enhanced =
      FEnhancedCode.Available() ? FEnhancedCode.ReplyAsStr() + u" " : std::u16string();
  if (lines.empty())
    return {FEnhancedCode.Available() ? Code() + u" " + FEnhancedCode.ReplyAsStr() : Code()};
  std::vector<std::u16string> out;
  out.reserve(lines.size());
  for (size_t i = 0; i < lines.size(); ++i)
    out.push_back(Code() + (i + 1 < lines.size() ? u"-" : u" ") + enhanced + lines[i]);
  return out;
}

void TQxReplySMTP::RaiseReplyError() const {
  throw EQxSMTPReplyError::CreateError(NumericCode(), FEnhancedCode, Text().Text());
}

void TQxReplySMTP::SetEnhReply(int ANumericCode, const std::u16string& AEnhReply,
                               const std::u16string& AText) {
  SetReply(ANumericCode, AText);
  FEnhancedCode.SetReplyAsStr(AEnhReply);
}

}  // namespace quorvex
