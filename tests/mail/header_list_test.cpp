#include "mail/header_list.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace quorvex {
namespace {

using Lines = std::vector<std::u16string>;

std::u16string run(char16_t c, size_t n) { return std::u16string(n, c); }

TEST(FoldHeaderLine, CutsLongLinesAtBreakCharacters) {
  const std::u16string a20 = run('a', 20), b20 = run('b', 20);
  struct Case {
    const char* what;
    std::u16string line;
    Lines physical;
  };
  const Case cases[] = {
      {"79 characters stay one line",
       u"Subject: " + a20 + u" " + b20 + u" " + run('c', 28),
       {u"Subject: " + a20 + u" " + b20 + u" " + run('c', 28)}},
      {"80 characters are cut after the last space within 78",
       u"Subject: " + a20 + u" " + b20 + u" " + run('c', 29),
       {u"Subject: " + a20 + u" " + b20, u" " + run('c', 29)}},
      {"a comma on column 78 continues with two spaces",
       u"To: " + run('x', 73) + u", b@y",
       {u"To: " + run('x', 73) + u",", u"  b@y"}},
      {"a comma on column 77 continues with one space",
       u"To: " + run('x', 72) + u", b@y",
       {u"To: " + run('x', 72) + u",", u" b@y"}},
      {"a word longer than the width stays whole",
       u"Subject: " + run('x', 80),
       {u"Subject:", u" " + run('x', 80)}},
      {"no cut inside double quotes",
       u"To: \"" + run('n', 40) + u" " + run('m', 50) + u"\" <a@x>",
       {u"To: \"" + run('n', 40) + u" " + run('m', 50) + u"\"", u" <a@x>"}},
      {"an existing fold is kept and not doubled",
       u"Subject: one\r\n two",
       {u"Subject: one", u" two"}},
      {"a fold between encoded words",
       u"Subject: =?UTF-8?B?QQ==?=\r\n =?UTF-8?B?Qg==?=",
       {u"Subject: =?UTF-8?B?QQ==?=", u" =?UTF-8?B?Qg==?="}},
      {"no break when fewer than two characters follow",
       u"Subject: " + run('x', 80) + u" z",
       {u"Subject:", u" " + run('x', 80) + u" z"}},
      {"long lists are cut again and again",
       u"To: " + run('a', 50) + u"@x, " + run('b', 50) + u"@x, " + run('c', 50) + u"@x",
       {u"To: " + run('a', 50) + u"@x,", u" " + run('b', 50) + u"@x,",
        u" " + run('c', 50) + u"@x"}},
  };
  TQxHeaderList list;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(list.FoldHeaderLine(c.line), c.physical);
  }
}

// Whatever a value holds, it stays inside its own header: a CR or LF that is
// not a fold never starts a line, and no physical line is empty.
TEST(TQxHeaderList, TextCannotAddHeaderLinesOrEndTheHeader) {
  struct Case {
    std::u16string value;
    Lines lines;
  };
  const Case cases[] = {
      {u"vpn\r\nBcc: x Down!", {u"Subject: vpn  Bcc: x Down!", u"To: a@x"}},
      {u"vpn\nBcc: x", {u"Subject: vpn Bcc: x", u"To: a@x"}},
      {u"vpn\rBcc: x", {u"Subject: vpn Bcc: x", u"To: a@x"}},
      {u"a\r\n\r\nbody", {u"Subject: a    body", u"To: a@x"}},
      {u"a\r\n \r\n b", {u"Subject: a", u" b", u"To: a@x"}},
      {u"a\r\n\tb", {u"Subject: a", u"\tb", u"To: a@x"}},
      {u"\r\n", {u"Subject:", u"To: a@x"}},
  };
  for (bool fold : {true, false}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(toUtf8(c.value) + (fold ? " folded" : " unfolded"));
      TQxHeaderList list;
      list.FoldLines = fold;
      list.SetHeaderValue(u"Subject", u"old");
      list.AddValue(u"To", u"a@x");
      list.SetHeaderValue(u"Subject", c.value);
      if (fold) {
        EXPECT_EQ(list.Lines(), c.lines);
      } else {
        // Unfolded, a kept fold stays inside its one list line.
        EXPECT_EQ(SafeHeaderLines(list.Lines()), c.lines);
        EXPECT_EQ(list.Count(), 2u);
      }
    }
  }
  EXPECT_EQ(SafeHeaderLines({u"X: a\r\nBcc: b", u"", u"  ", u"Y: c\r\n d"}),
            (Lines{u"X: a  Bcc: b", u"Y: c", u" d"}));
}

TEST(TQxHeaderList, SetsReplacesAndRemovesHeaders) {
  TQxHeaderList list;
  list.Add(u"subject: old");
  list.Add(u" continued");
  list.Add(u"From: a@x");
  list.SetHeaderValue(u"Subject", u"new");
  EXPECT_EQ(list.Lines(), (Lines{u"Subject: new", u"From: a@x"}));
  list.SetHeaderValue(u"Subject", u"x " + run('y', 80) + u" " + run('z', 80));
  EXPECT_EQ(list.Lines(),
            (Lines{u"Subject: x", u" " + run('y', 80), u" " + run('z', 80), u"From: a@x"}));
  EXPECT_EQ(list.GetHeaderValue(u"SUBJECT"), u"x " + run('y', 80) + u" " + run('z', 80));
  list.UnfoldLines = false;
  EXPECT_EQ(list.GetHeaderValue(u"Subject"), u"x");
  list.UnfoldLines = true;
  list.SetHeaderValue(u"Subject", u"");
  EXPECT_EQ(list.Lines(), (Lines{u"From: a@x"}));
  list.SetHeaderValue(u"Subject", u"again");
  EXPECT_EQ(list.Lines(), (Lines{u"From: a@x", u"Subject: again"}));
  EXPECT_EQ(list.IndexOfName(u"subJECT"), 1);
  EXPECT_EQ(list.IndexOfName(u"Subj"), -1);
  EXPECT_EQ(list.GetHeaderValue(u"Missing"), u"");
  list.SetHeaderValue(u"Missing", u"");
  EXPECT_EQ(list.Count(), 2u);
}

// A line starting with a tab continues its header just as one starting with
// a space does: it is read with it, and replaced or removed with it.
TEST(TQxHeaderList, TabContinuationBelongsToItsHeader) {
  TQxHeaderList list;
  list.Add(u"Subject: one");
  list.Add(u"\ttwo");
  list.Add(u" three");
  list.Add(u"\t four");
  list.Add(u"From: a@x");
  EXPECT_EQ(list.GetHeaderValue(u"Subject"), u"one two three four");
  TQxStringList values;
  list.Extract(u"Subject", values);
  EXPECT_EQ(values.Lines(), (Lines{u"one two three four"}));
  list.SetHeaderValue(u"Subject", u"new");
  EXPECT_EQ(list.Lines(), (Lines{u"Subject: new", u"From: a@x"}));
  list.Add(u"\tfolded");
  list.Add(u"To: b@x");
  list.SetHeaderValue(u"From", u"");
  EXPECT_EQ(list.Lines(), (Lines{u"Subject: new", u"To: b@x"}));
}

TEST(TQxHeaderList, AddsExtractsAndConverts) {
  TQxHeaderList list;
  list.AddValue(u"Received", u"one");
  list.AddValue(u"Received", u"two");
  list.AddValue(u"Received", u"");
  list.AddValue(u"", u"x");
  list.Add(u" Received: not a header");
  EXPECT_EQ(list.Lines(), (Lines{u"Received: one", u"Received: two", u" Received: not a header"}));
  TQxStringList values;
  list.Extract(u"received", values);
  EXPECT_EQ(values.Lines(), (Lines{u"one", u"two Received: not a header"}));

  TQxStringList std;
  std.Add(u"X-A=1=2");
  TQxHeaderList converted;
  converted.AddStdValues(std);
  EXPECT_EQ(converted.Lines(), (Lines{u"X-A: 1=2"}));
  TQxStringList back;
  converted.ConvertToStdValues(back);
  EXPECT_EQ(back.Lines(), (Lines{u"X-A=1=2"}));
}

TEST(TQxStringList, SplitsTextAtEveryLineBreak) {
  const std::pair<std::u16string, Lines> cases[] = {
      {u"a\r\nb\r\n", {u"a", u"b"}},
      {u"a\r\r\nb", {u"a", u"", u"b"}},
      {u"a\nb\rc", {u"a", u"b", u"c"}},
      {u"", {}},
      {u"\r\n", {u""}},
      {std::u16string(u"a\0b\nc", 5), {u"a"}},
  };
  for (const auto& [text, lines] : cases) {
    TQxStringList list;
    list.SetText(text);
    EXPECT_EQ(list.Lines(), lines) << toUtf8(text);
  }
}

}  // namespace
}  // namespace quorvex
