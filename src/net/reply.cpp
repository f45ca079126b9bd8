#include "net/reply.h"

#include "platform/text.h"

namespace quorvex {

namespace {

// A decimal integer with an optional sign within [AMin, AMax]; none when
// AText is not one.
std::optional<long long> ToInt(const std::u16string& AText, long long AMin, long long AMax) {
  if (AText.size() > 11) return std::nullopt;
  return ParseWholeNumber(AText, AMin, AMax);
}

}  // namespace

std::u16string TQxReplyText::Text() const {
  std::u16string text;
  for (const auto& line : FLines) text += line + u"\r\n";
  return text;
}

void TQxReplyText::SetText(const std::u16string& AValue) {
  FLines.clear();
  size_t start = 0;
  while (start < AValue.size()) {
    size_t end = AValue.find_first_of(u"\r\n", start);
    if (end == std::u16string::npos) {
      FLines.push_back(AValue.substr(start));
      break;
    }
    FLines.push_back(AValue.substr(start, end - start));
    start = end +
            ((AValue[end] == u'\r' && end + 1 < AValue.size() && AValue[end + 1] == u'\n') ? 2 : 1);
  }
}

void TQxReply::SetCode(const std::u16string& AValue) {
  if (AValue == FCode) return;
  if (!IsValidCode(AValue)) throw EQxException(u"Reply Code is not valid: " + AValue);
  Clear();
  FCode = AValue;
}

int TQxReply::NumericCode() const {
  return static_cast<int>(ToInt(Trim(FCode), INT32_MIN, INT32_MAX).value_or(0));
}

void TQxReply::SetNumericCode(int AValue) { SetCode(u16(std::to_string(AValue))); }

void TQxReply::Clear() {
  FText.Lines().clear();
  FCode.clear();
}

bool TQxReply::ReplyExists() const { return true; }

void TQxReply::SetReply(int ACode, const std::u16string& AText) {
  SetNumericCode(ACode);
  FText.SetText(AText);
}

void TQxReply::SetReply(const std::u16string& ACode, const std::u16string& AText) {
  SetCode(ACode);
  FText.SetText(AText);
}

bool TQxReplyRFC::IsValidCode(const std::u16string& ACode) const {
  const std::u16string code = Trim(ACode);
  if (code.empty()) return true;
  return ToInt(code, 100, 999).has_value();
}

bool TQxReplyRFC::IsEndMarker(const std::u16string& ALine) const {
  return ALine.size() < 4 || ALine[3] == u' ';
}

void TQxReplyRFC::SetFormattedReply(const std::vector<std::u16string>& ALines) {
  Clear();
  if (ALines.empty()) return;
  SetCode(Trim(ALines[0].substr(0, 3)));
  for (const auto& line : ALines) Text().Lines().push_back(line.size() > 4 ? line.substr(4) : u"");
}

std::vector<std::u16string> TQxReplyRFC::FormattedReply() const {
  const auto& lines = Text().Lines();
  if (NumericCode() < 1) return lines;
  if (lines.empty()) return {Code()};
  std::vector<std::u16string> out;
  for (size_t i = 0; i < lines.size(); ++i)
    out.push_back(Code() + (i + 1 < lines.size() ? u"-" : u" ") + lines[i]);
  return out;
}

void TQxReplyRFC::RaiseReplyError() const {
  throw EQxReplyRFCError::CreateError(NumericCode(), Text().Text());
}

bool TQxReplyRFC::ReplyExists() const { return NumericCode() >= 1 || !Text().Empty(); }

}  // namespace quorvex
