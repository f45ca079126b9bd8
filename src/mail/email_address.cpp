#include "mail/email_address.h"

#include "mail/header_encoding.h"
#include "platform/text.h"

namespace quorvex {

namespace {

constexpr std::u16string_view kAtextSigns = u"!#$%&'*+-/=?_`{}|~";

bool isAtext(char16_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         kAtextSigns.find(c) != std::u16string_view::npos;
}

// Backslash before every backslash and double quote.
std::u16string escapeQuoted(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size() + 2);
  for (char16_t c : text) {
    if (c == '\\' || c == '"') out += u'\\';
    out += c;
  }
  return out;
}

bool isEmptyEntry(const TQxEMailAddressItem& item) {
  const std::u16string text = Trim(item.Text());
  return text.empty() || text == u"<>";
}

}  // namespace

std::u16string TQxEMailAddressItem::QuotedAddressSpec() const {
  if (FAddress.empty()) return FName.empty() ? u"" : u"<>";
  const size_t at = FAddress.rfind(u'@');
  const std::u16string_view all(FAddress);
  const std::u16string_view local = at == std::u16string::npos ? all : all.substr(0, at);
  const std::u16string_view domain = at == std::u16string::npos ? u"" : all.substr(at);
  size_t k = 0;
  while (k < local.size() && isAtext(local[k])) ++k;
  if (k == local.size() || local[k] == '.')
    return FName.empty() ? FAddress : u"<" + FAddress + u">";
  return u"<\"" + escapeQuoted(local) + u"\"" + std::u16string(domain) + u">";
}

std::u16string TQxEMailAddressItem::Text() const {
  if (FName.empty() || EqualsNoCase(FName, FAddress)) return QuotedAddressSpec();
  bool plain = true;
  for (char16_t c : FName) plain = plain && (c == ' ' || isAtext(c));
  if (plain) return FName + u" " + QuotedAddressSpec();
  return u"\"" + escapeQuoted(FName) + u"\" " + QuotedAddressSpec();
}

void TQxEMailAddressItem::SetText(std::u16string_view text) {
  FAddress.clear();
  FName.clear();
  const std::u16string t = Trim(text);
  if (t.empty()) return;
  const bool hasAngle = t.find(u'<') != std::u16string::npos;
  const std::u16string_view firstSet = hasAngle ? u"(\"< \t" : u"(\" @\t";
  const size_t npos = std::u16string::npos;
  if (t.find_first_of(firstSet) == npos) {
    FAddress = t;
    return;
  }
  bool inQuotes = false, inAddress = false, inBrackets = false, afterAt = false;
  int depth = 0;
  size_t r = 0;  // start of the remaining text
  auto findFirst = [&](std::u16string_view set) { return t.find_first_of(set, r); };
  auto findLast = [&](std::u16string_view set) {
    const size_t p = t.find_last_of(set);
    return p == npos || p < r ? npos : p;
  };
  size_t p = findFirst(firstSet);
  while (p != npos) {
    const char16_t c = t[p];
    const std::u16string_view before = std::u16string_view(t).substr(r, p - r);
    const bool atStart = p == r;
    r = p + 1;
    switch (c) {
      case ' ':
      case '\t':
        if (atStart) break;
        if (afterAt) {
          FAddress += Trim(before);
        } else {
          FName += before;
          FName += c;
        }
        break;
      case '"':
        if (inQuotes) {
          (inBrackets ? FAddress : FName) += Trim(before);
          inQuotes = false;
        } else {
          // Text glued to the opening quote belongs to the same part.
          (inAddress ? FAddress : FName) += before;
          inQuotes = true;
        }
        break;
      case '(':
        ++depth;
        if (atStart) break;
        if (inAddress)
          FAddress += Trim(before);
        else if (depth == 1)
          FName += before;
        break;
      case ')':
        --depth;
        break;
      case '.':
        if (inBrackets) {
          FAddress += Trim(before);
          FAddress += u'.';
          while (r < t.size() && t[r] <= 32) ++r;
        } else {
          FAddress += before;
          FAddress += u'.';
        }
        break;
      case '<':
        FName += before;
        FName = Trim(FName);
        inAddress = inBrackets = true;
        break;
      case '>':
        inAddress = afterAt = false;
        FAddress += Trim(before);
        break;
      case '@':
        afterAt = true;
        if (!inAddress && inBrackets) {
          // A second address after one in brackets.
          FName += std::u16string_view(t).substr(p - before.size());
          return;
        }
        inAddress = true;
        FAddress += before;
        FAddress += u'@';
        break;
      case '\\':
        if (inQuotes) {
          std::u16string& target = inAddress ? FAddress : FName;
          target += before;
          if (p + 1 < t.size()) target += t[p + 1];
        }
        r = std::min(p + 2, t.size());
        break;
    }
    if (depth > 0)
      p = findFirst(u"()\\");
    else if (inQuotes)
      p = findLast(u"\"\\");
    else if (afterAt)
      p = findFirst(inBrackets ? u".>(" : u".( ");
    else if (inAddress)
      p = findFirst(u"\"(@>");
    else
      p = findFirst(u"(\"< @\t");
  }
  if (inAddress && !inBrackets) FAddress += Trim(std::u16string_view(t).substr(r));
}

std::u16string TQxEMailAddressItem::User() const {
  const size_t at = FAddress.rfind(u'@');
  return at == std::u16string::npos ? u"" : FAddress.substr(0, at);
}

void TQxEMailAddressItem::SetUser(std::u16string_view user) {
  const size_t at = FAddress.find(u'@');
  if (at == std::u16string::npos)
    FAddress = std::u16string(user) + u"@" + FAddress;
  else
    FAddress = std::u16string(user) + FAddress.substr(at);
}

std::u16string TQxEMailAddressItem::Domain() const {
  const size_t at = FAddress.rfind(u'@');
  return at == std::u16string::npos ? u"" : FAddress.substr(at + 1);
}

void TQxEMailAddressItem::SetDomain(std::u16string_view domain) {
  const size_t at = FAddress.find(u'@');
  if (at != std::u16string::npos) FAddress.erase(at);
  FAddress += u"@";
  FAddress += domain;
}

TQxEMailAddressItem& TQxEMailAddressList::Add() {
  FItems.push_back(std::make_unique<TQxEMailAddressItem>());
  return *FItems.back();
}

void TQxEMailAddressList::AddItems(const TQxEMailAddressList* list) {
  if (!list) return;
  // Counted first, so that adding a list to itself copies it once.
  for (size_t i = 0, n = list->FItems.size(); i < n; ++i) Add().Assign(*list->FItems[i]);
}

void TQxEMailAddressList::Delete(size_t index) {
  if (index < FItems.size()) FItems.erase(FItems.begin() + static_cast<ptrdiff_t>(index));
}

std::u16string TQxEMailAddressList::EMailAddresses() const {
  std::u16string out;
  for (size_t i = 0; i < FItems.size(); ++i) {
    if (i > 0) out += u", ";
    out += FItems[i]->Text();
  }
  return out;
}

void TQxEMailAddressList::FillTStrings(std::vector<std::u16string>& strings) const {
  for (const auto& item : FItems) strings.push_back(item->Text());
}

void TQxEMailAddressList::SetEMailAddresses(std::u16string_view text) {
  Clear();
  if (Trim(text).empty()) return;
  constexpr std::u16string_view kDelimiters = u":;(\", \t";
  const size_t npos = std::u16string_view::npos;
  if (text.find_first_of(kDelimiters) == npos) {
    Add().SetText(TrimLeft(text));
    return;
  }
  auto addChecked = [&](std::u16string_view entry) {
    TQxEMailAddressItem& item = Add();
    item.SetText(entry);
    if (isEmptyEntry(item)) FItems.pop_back();
  };
  std::u16string acc;
  bool inQuotes = false;
  int depth = 0;
  size_t r = 0;
  while (true) {
    const std::u16string_view set = depth > 0 ? u"()\\" : inQuotes ? u"\"\\" : kDelimiters;
    const size_t p = text.find_first_of(set, r);
    if (p == npos) break;
    const std::u16string_view before = text.substr(r, p - r);
    const char16_t c = text[p];
    r = p + 1;
    switch (c) {
      case ' ':
      case '\t':
        acc += text.substr(p - before.size(), before.size() + 1);
        break;
      case '"':
        acc += text.substr(p - before.size(), before.size() + 1);
        inQuotes = !inQuotes;
        break;
      case '(':
        acc += text.substr(p - before.size(), before.size() + 1);
        ++depth;
        break;
      case ')':
        acc += text.substr(p - before.size(), before.size() + 1);
        --depth;
        break;
      case '\\':
        r = std::min(p + 2, text.size());
        acc += text.substr(p - before.size(), r - (p - before.size()));
        break;
      case ',':
        acc += before;
        addChecked(acc);
        acc.clear();
        break;
      case ';':
        acc += before;
        if (!Trim(acc).empty()) {
          Add().SetText(TrimLeft(acc));
          acc.clear();
        }
        break;
      case ':':
        acc.clear();
        break;
    }
  }
  const std::u16string_view rest = text.substr(r);
  if (!Trim(acc).empty() || !Trim(rest).empty()) {
    acc += rest;
    addChecked(TrimLeft(acc));
  }
}

std::u16string FormatHeaderAddress(TQxEMailAddressItem& item, char16_t letter,
                                   std::u16string_view charset, bool nameFromAddress) {
  if (nameFromAddress && item.Name().empty()) item.SetName(item.Address());
  if (item.Name().empty()) return item.Address();
  bool needsEncoding = false;
  for (char16_t c : item.Name()) needsEncoding = needsEncoding || c < 32 || c >= 127;
  std::u16string display =
      needsEncoding ? EncodeHeaderText(item.Name(), kDisplayNameSpecials, letter, charset)
                    : u"\"" + escapeQuoted(item.Name()) + u"\"";
  return display + u" <" + item.Address() + u">";
}

std::u16string FormatHeaderAddresses(TQxEMailAddressList& list, char16_t letter,
                                     std::u16string_view charset, bool nameFromAddress) {
  std::u16string out;
  for (size_t i = 0; i < list.Count(); ++i) {
    if (i > 0) out += u", ";
    out += FormatHeaderAddress(list[i], letter, charset, nameFromAddress);
  }
  return out;
}

}  // namespace quorvex
