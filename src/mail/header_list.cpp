#include "mail/header_list.h"

#include <cstddef>

#include "platform/text.h"

namespace quorvex {

namespace {

bool isContinuation(std::u16string_view line) {
  return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

// A CR or LF that is not part of CR LF + space/tab becomes a space.
std::u16string neutraliseBareBreaks(std::u16string_view text) {
  std::u16string out(text);
  for (size_t i = 0; i < out.size(); ++i) {
    if (out[i] != '\r' && out[i] != '\n') continue;
    if (out[i] == '\r' && i + 2 < out.size() && out[i + 1] == '\n' &&
        (out[i + 2] == ' ' || out[i + 2] == '\t')) {
      i += 2;
      continue;
    }
    out[i] = u' ';
  }
  return out;
}

// Splits at CR LF, drops trailing blanks of every piece and empty pieces.
void appendPieces(std::u16string_view text, std::vector<std::u16string>& out) {
  size_t start = 0;
  while (true) {
    const size_t end = text.find(u"\r\n", start);
    std::u16string piece =
        TrimRight(text.substr(start, end == std::u16string_view::npos ? end : end - start));
    if (!piece.empty()) out.push_back(std::move(piece));
    if (end == std::u16string_view::npos) break;
    start = end + 2;
  }
}

}  // namespace

std::u16string WrapHeaderText(std::u16string_view text, std::u16string_view breakText,
                              std::u16string_view breakChars, long width) {
  // Positions count from 1, as in the rule this follows.
  const size_t len = text.size();
  auto at = [&](size_t i) { return text[i - 1]; };
  auto skippable = [](char16_t c) {
    return c == '\t' || c == ' ' || c == ',' || c == '\r' || c == '\n';
  };
  std::u16string result;
  result.reserve(len + len / 16 + breakText.size());
  long col = 1;
  size_t pos = 1, start = 1, brk = 0;
  bool inQuotes = false, existingBreak = false;
  while (pos <= len) {
    const char16_t c = at(pos);
    if (c >= 0xD800 && c <= 0xDBFF && pos < len && at(pos + 1) >= 0xDC00 && at(pos + 1) <= 0xDFFF) {
      ++pos;
      ++col;
    } else if (!breakText.empty() && c == breakText[0]) {
      if (!inQuotes) {
        existingBreak = StartsWithNoCase(text.substr(pos - 1), breakText);
        if (existingBreak) {
          pos += breakText.size() - 1;
          brk = pos;
        }
      }
    } else if (breakChars.find(c) != std::u16string_view::npos) {
      if (!inQuotes) brk = pos;
    } else if (c == '"') {
      inQuotes = !inQuotes;
    }
    ++pos;
    ++col;
    if (inQuotes) continue;
    if (existingBreak || (col > width && brk > start)) {
      col = static_cast<long>(pos - brk);
      result.append(text.substr(start - 1, brk - start + 1));
      if (c != '"') {
        while (pos <= len && skippable(at(pos))) ++pos;
        if (!existingBreak && pos < len) result.append(breakText);
      }
      start = brk + 1;
      existingBreak = false;
    }
  }
  if (start <= len) result.append(text.substr(start - 1));
  return result;
}

std::vector<std::u16string> SafeHeaderLines(const std::vector<std::u16string>& lines) {
  std::vector<std::u16string> out;
  out.reserve(lines.size());
  for (const auto& line : lines) appendPieces(neutraliseBareBreaks(line), out);
  return out;
}

std::u16string_view TQxHeaderList::LineName(std::u16string_view line) const {
  std::u16string separator = TrimRight(NameValueSeparator);
  if (separator.empty()) separator = u":";
  const size_t p = line.find(separator);
  return p == std::u16string_view::npos ? std::u16string_view() : line.substr(0, p);
}

long TQxHeaderList::IndexOfName(std::u16string_view name) const {
  for (size_t i = 0; i < FLines.size(); ++i)
    if (EqualsNoCase(LineName(FLines[i]), name)) return static_cast<long>(i);
  return -1;
}

void TQxHeaderList::deleteContinuationLines(size_t index) {
  size_t end = index + 1;
  while (end < FLines.size() && isContinuation(FLines[end])) ++end;
  FLines.erase(FLines.begin() + static_cast<ptrdiff_t>(index + 1),
               FLines.begin() + static_cast<ptrdiff_t>(end));
}

std::vector<std::u16string> TQxHeaderList::physicalLines(std::u16string_view line) const {
  if (FoldLines) return FoldHeaderLine(line);
  // Unfolded, the header stays one list line; its safe pieces are joined again.
  std::vector<std::u16string> pieces;
  appendPieces(neutraliseBareBreaks(line), pieces);
  std::u16string joined;
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) joined += u"\r\n";
    joined += pieces[i];
  }
  return {joined};
}

void TQxHeaderList::SetHeaderValue(std::u16string_view name, std::u16string_view value) {
  long found = IndexOfName(name);
  // Old continuation lines go with the old value, folded or not.
  if (value.empty()) {
    if (found >= 0) {
      deleteContinuationLines(static_cast<size_t>(found));
      Delete(static_cast<size_t>(found));
    }
    return;
  }
  if (found < 0) {
    FLines.emplace_back();
    found = static_cast<long>(FLines.size() - 1);
  }
  const size_t i = static_cast<size_t>(found);
  deleteContinuationLines(i);
  std::u16string line(name);
  line += NameValueSeparator;
  line += value;
  std::vector<std::u16string> pieces = physicalLines(line);
  if (pieces.empty()) {
    Delete(i);
    return;
  }
  FLines[i] = std::move(pieces[0]);
  FLines.insert(FLines.begin() + static_cast<ptrdiff_t>(i + 1),
                std::make_move_iterator(pieces.begin() + 1), std::make_move_iterator(pieces.end()));
}

std::u16string TQxHeaderList::valueAt(size_t index) const {
  const std::u16string& line = FLines[index];
  const size_t colon = line.find(u':');
  std::u16string value = colon == std::u16string::npos ? u"" : TrimLeft(line.substr(colon + 1));
  if (UnfoldLines)
    for (size_t k = index + 1; k < FLines.size() && isContinuation(FLines[k]); ++k) {
      value = Trim(value);
      value += u' ';
      value += Trim(FLines[k]);
    }
  return Trim(value);
}

std::u16string TQxHeaderList::GetHeaderValue(std::u16string_view name) const {
  const long i = IndexOfName(name);
  return i < 0 ? u"" : valueAt(static_cast<size_t>(i));
}

void TQxHeaderList::AddValue(std::u16string_view name, std::u16string_view value) {
  if (name.empty() || value.empty()) return;
  std::u16string line(name);
  line += NameValueSeparator;
  line += value;
  for (auto& piece : physicalLines(line)) FLines.push_back(std::move(piece));
}

void TQxHeaderList::Extract(std::u16string_view name, TQxStringList& destination) const {
  for (size_t i = 0; i < FLines.size(); ++i)
    if (EqualsNoCase(LineName(FLines[i]), name)) destination.Add(valueAt(i));
}

std::vector<std::u16string> TQxHeaderList::FoldHeaderLine(std::u16string_view line) const {
  const std::u16string wrapped =
      WrapHeaderText(neutraliseBareBreaks(line), u"\r\n ", u"\t ,", FoldLength);
  std::vector<std::u16string> pieces;
  appendPieces(wrapped, pieces);
  return pieces;
}

void TQxHeaderList::AddStdValues(const TQxStringList& source) {
  for (const auto& line : source.Lines()) {
    const size_t eq = line.find(u'=');
    if (eq == std::u16string::npos)
      Add(line);
    else
      Add(line.substr(0, eq) + NameValueSeparator + line.substr(eq + 1));
  }
}

void TQxHeaderList::ConvertToStdValues(TQxStringList& destination) const {
  for (const auto& line : FLines) {
    const size_t sep = line.find(NameValueSeparator);
    if (sep == std::u16string::npos)
      destination.Add(line);
    else
      destination.Add(line.substr(0, sep) + u"=" + line.substr(sep + NameValueSeparator.size()));
  }
}

}  // namespace quorvex
