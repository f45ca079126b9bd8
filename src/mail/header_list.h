#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mail/string_list.h"

namespace quorvex {

// Wraps text at breakChars so that lines stay within width where a break
// character allows it; never inside double quotes or a word. breakText is
// inserted at each cut; a breakText already present is kept as a cut.
std::u16string WrapHeaderText(std::u16string_view text, std::u16string_view breakText,
                              std::u16string_view breakChars, long width);

// The physical lines a list of header lines goes out as: a CR or LF that is
// not part of a fold (CR LF followed by a space or tab) becomes a space, and
// no line is empty, so no text can add a header line or end the header.
std::vector<std::u16string> SafeHeaderLines(const std::vector<std::u16string>& lines);

// Header lines "name: value" with their continuation lines.
class TQxHeaderList : public TQxStringList {
 public:
  std::u16string NameValueSeparator = u": ";
  bool UnfoldLines = true;
  bool FoldLines = true;
  long FoldLength = 78;

  // Index of the first line named `name` (without regard to case), or -1.
  long IndexOfName(std::u16string_view name) const;
  // Sets, replaces (in place) or, for an empty value, removes a header.
  void SetHeaderValue(std::u16string_view name, std::u16string_view value);
  std::u16string GetHeaderValue(std::u16string_view name) const;
  // Appends a header even when the name is present; nothing for an empty
  // name or value.
  void AddValue(std::u16string_view name, std::u16string_view value);
  void Extract(std::u16string_view name, TQxStringList& destination) const;
  std::vector<std::u16string> FoldHeaderLine(std::u16string_view line) const;
  // Lines "name=value" appended as headers, and headers as "name=value".
  void AddStdValues(const TQxStringList& source);
  void ConvertToStdValues(TQxStringList& destination) const;

  // Name of a line: its text before the first ":" (not trimmed).
  std::u16string_view LineName(std::u16string_view line) const;

 private:
  std::u16string valueAt(size_t index) const;
  void deleteContinuationLines(size_t index);
  std::vector<std::u16string> physicalLines(std::u16string_view line) const;
};

}  // namespace quorvex
