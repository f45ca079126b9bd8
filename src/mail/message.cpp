#include "mail/message.h"

#include <random>

#include "mail/header_encoding.h"
#include "mail/message_date.h"
#include "platform/text.h"

namespace quorvex {

namespace {

std::u16string inAngleBrackets(std::u16string_view value) {
  std::u16string out(value);
  if (out.empty()) return out;
  if (out.front() != '<') out.insert(out.begin(), u'<');
  if (out.back() != '>') out += u'>';
  return out;
}

bool isBlankText(const TQxStringList& lines) {
  for (const auto& line : lines.Lines())
    for (char16_t c : line)
      if (c != '\t' && c != '\n' && c != '\r' && c != ' ') return false;
  return true;
}

// A parameter value as a quoted string when it holds a special character.
std::u16string parameterValue(std::u16string_view value) {
  constexpr std::u16string_view kSpecials = u"()<>@,;:\\\"/[]?=";
  if (value.find_first_of(kSpecials) == std::u16string_view::npos) return std::u16string(value);
  std::u16string out = u"\"";
  for (char16_t c : value) {
    if (kSpecials.find(c) != std::u16string_view::npos) out += u'\\';
    out += c;
  }
  out += u'"';
  return out;
}

struct Parameter {
  std::u16string name, value;
  bool hasValue = false;
};

// "type/sub; name=value; name="quoted \" value"" into the type and its
// parameters.
std::u16string parseMediaType(std::u16string_view text, std::vector<Parameter>& parameters) {
  size_t i = text.find(u';');
  const std::u16string type = Trim(text.substr(0, i));
  while (i != std::u16string_view::npos && i < text.size()) {
    ++i;  // past ';'
    Parameter parameter;
    const size_t stop = text.find_first_of(u"=;", i);
    parameter.name = Trim(text.substr(i, stop == std::u16string_view::npos ? stop : stop - i));
    i = stop;
    if (i != std::u16string_view::npos && text[i] == '=') {
      parameter.hasValue = true;
      ++i;
      while (i < text.size() && text[i] <= 32) ++i;
      if (i < text.size() && text[i] == '"') {
        for (++i; i < text.size() && text[i] != '"'; ++i) {
          if (text[i] == '\\' && i + 1 < text.size()) ++i;
          parameter.value += text[i];
        }
        i = text.find(u';', i);
      } else {
        const size_t end = text.find(u';', i);
        parameter.value = Trim(text.substr(i, end == std::u16string_view::npos ? end : end - i));
        i = end;
      }
    }
    if (!parameter.name.empty() || parameter.hasValue) parameters.push_back(std::move(parameter));
  }
  return type;
}

}  // namespace

TQxMessage::TQxMessage() { Clear(); }

TQxEMailAddressItem& TQxMessage::From() {
  if (FFromList.Count() == 0) FFromList.Add();
  return FFromList[0];
}

std::u16string TQxMessage::InReplyTo() const { return inAngleBrackets(FInReplyTo); }
void TQxMessage::SetInReplyTo(std::u16string_view value) { FInReplyTo = inAngleBrackets(value); }
void TQxMessage::SetMsgId(std::u16string_view value) { FMsgId = inAngleBrackets(value); }

void TQxMessage::SetUseNowForDate(bool value) {
  if (value == UseNowForDate()) return;
  FDate = value ? 0 : FClock->Now();
}

void TQxMessage::SetContentType(std::u16string_view value) {
  if (value.empty()) {
    FContentType.clear();
    return;
  }
  std::vector<Parameter> parameters;
  std::u16string result = parseMediaType(value, parameters);
  for (const auto& parameter : parameters) {
    if (EqualsNoCase(parameter.name, u"charset")) {
      if (!parameter.value.empty()) FCharSet = parameter.value;
      continue;
    }
    result += u"; ";
    result += parameter.name;
    if (parameter.hasValue) {
      result += u'=';
      result += parameterValue(parameter.value);
    }
  }
  FContentType = std::move(result);
}

void TQxMessage::SetEncoding(TQxMessageEncoding value) {
  FEncoding = value;
  FAttachmentEncoding = value == meMIME ? u"MIME" : u"UUE";
}

std::u16string TQxMessage::MIMEBoundary() const {
  return FBoundaries.empty() ? u"" : FBoundaries.back();
}

std::u16string TQxMessage::GenerateBoundary() {
  static constexpr char kChars[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  std::random_device seed;
  std::mt19937 random(seed());
  std::uniform_int_distribution<int> pick(0, sizeof kChars - 2);
  std::u16string boundary;
  for (int i = 0; i < 34; ++i) boundary += static_cast<char16_t>(kChars[pick(random)]);
  const size_t at = std::uniform_int_distribution<size_t>(0, boundary.size() - 2)(random);
  boundary[at] = u'=';
  boundary[at + 1] = u'_';
  return boundary;
}

void TQxMessage::InitializeISO(char16_t& letter, std::u16string& charset) {
  letter = u'B';
  charset = DefaultHeaderCharSet();
  if (OnInitializeISO) OnInitializeISO(letter, charset);
}

void TQxMessage::GenerateHeader() {
  const size_t parts = MessagePartCount();
  if (FEncoding == meDefault) SetEncoding(parts > 0 ? meMIME : mePlainText);
  if (FEncoding == meMIME) {
    FBoundaries.clear();
    FBoundaries.push_back(GenerateBoundary());
    if (FContentType.empty()) SetContentType(u"text/plain");
  }
  char16_t letter = u'B';
  std::u16string charset;
  InitializeISO(letter, charset);

  TQxHeaderList& h = FLastGeneratedHeaders;
  h.Assign(FHeaders);
  FIsMsgSinglePartMime = FEncoding == meMIME && parts == 1 && isBlankText(FBody);

  h.SetHeaderValue(u"From", FormatHeaderAddresses(FFromList, letter, charset, true));
  h.SetHeaderValue(u"Subject", EncodeHeaderText(FSubject, u"", letter, charset));
  h.SetHeaderValue(u"To", FormatHeaderAddresses(FRecipients, letter, charset, false));
  h.SetHeaderValue(u"Cc", FormatHeaderAddresses(FCcList, letter, charset, false));
  h.SetHeaderValue(u"Bcc",
                   FSavingToFile ? FormatHeaderAddresses(FBccList, letter, charset, false) : u"");
  std::u16string groups;
  for (const auto& group : FNewsGroups.Lines()) {
    if (!groups.empty()) groups += u',';
    groups += group;
  }
  h.SetHeaderValue(u"Newsgroups", groups);

  if (FEncoding == mePlainText) {
    h.SetHeaderValue(u"Content-Transfer-Encoding", FContentTransferEncoding);
    std::u16string type = FContentType;
    if (!FContentType.empty() && !FCharSet.empty()) type += u"; charset=\"" + FCharSet + u"\"";
    h.SetHeaderValue(u"Content-Type", type);
  } else if (FIsMsgSinglePartMime) {
    h.SetHeaderValue(u"MIME-Version", u"1.0");
    h.SetHeaderValue(u"Content-Type", u"");
    h.SetHeaderValue(u"Content-Transfer-Encoding", u"");
    h.SetHeaderValue(u"Content-Disposition", u"");
  } else {
    if (!FContentType.empty()) {
      std::u16string type = FContentType;
      if (!FCharSet.empty()) type += u"; charset=\"" + FCharSet + u"\"";
      h.SetHeaderValue(u"Content-Type", type);
    }
    h.SetHeaderValue(u"MIME-Version", u"1.0");
    h.SetHeaderValue(u"Content-Transfer-Encoding", FContentTransferEncoding);
  }

  h.SetHeaderValue(u"Sender", FSender.Text());
  h.SetHeaderValue(u"Reply-To", FormatHeaderAddresses(FReplyTo, letter, charset, false));
  h.SetHeaderValue(u"Organization", EncodeHeaderText(FOrganization, u"", letter, charset));
  h.SetHeaderValue(u"Disposition-Notification-To",
                   FormatHeaderAddress(FReceiptRecipient, letter, charset, false));
  h.SetHeaderValue(u"References", FReferences);
  h.SetHeaderValue(u"Date", FormatMessageDate(UseNowForDate() ? FClock->Now() : FDate, *FClock));

  static constexpr const char16_t* kPriorityWords[] = {u"urgent", u"urgent", u"", u"non-urgent",
                                                       u"non-urgent"};
  if (FPriority == mpNormal) {
    h.SetHeaderValue(u"Priority", u"");
    h.SetHeaderValue(u"X-Priority", u"");
  } else {
    h.SetHeaderValue(u"Priority", kPriorityWords[FPriority]);
    h.SetHeaderValue(u"X-Priority", std::u16string(1, static_cast<char16_t>('1' + FPriority)));
  }
  h.SetHeaderValue(u"Message-Id", FSavingToFile ? FMsgId : u"");
  for (const auto& line : FExtraHeaders.Lines()) h.Add(line);
  // A message is never made a reply to itself from its own Message-ID.
  if (!FInReplyTo.empty()) h.SetHeaderValue(u"In-Reply-To", InReplyTo());
}

void TQxMessage::ClearHeader() {
  FCcList.Clear();
  FBccList.Clear();
  FFromList.Clear();
  FReplyTo.Clear();
  FRecipients.Clear();
  FNewsGroups.Clear();
  FHeaders.Clear();
  FExtraHeaders.Clear();
  FLastGeneratedHeaders.Clear();
  FBoundaries.clear();
  FDate = 0;
  FSubject.clear();
  FOrganization.clear();
  FReferences.clear();
  FCharSet.clear();
  FContentTransferEncoding.clear();
  FContentDisposition.clear();
  FMsgId.clear();
  FUid.clear();
  SetContentType(u"");
  FSender.SetText(u"");
  FReceiptRecipient.SetText(u"");
  FPriority = mpNormal;
  FEncoding = meDefault;
  FConvertPreamble = true;
  FSavingToFile = false;
  FIsMsgSinglePartMime = false;
}

void TQxMessage::ClearBody() { FBody.Clear(); }

void TQxMessage::Clear() {
  ClearHeader();
  ClearBody();
}

}  // namespace quorvex
