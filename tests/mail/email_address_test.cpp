#include "mail/email_address.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace quorvex {
namespace {

struct Entry {
  std::u16string address, name;
  bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Entry& e) {
  return out << "(" << toUtf8(e.address) << ", " << toUtf8(e.name) << ")";
}

std::vector<Entry> entriesOf(const TQxEMailAddressList& list) {
  std::vector<Entry> out;
  for (size_t i = 0; i < list.Count(); ++i) out.push_back({list[i].Address(), list[i].Name()});
  return out;
}

struct ListCase {
  std::u16string text;
  std::vector<Entry> entries;
  std::u16string header;
};

TEST(EMailAddressList, SplitsListTextsIntoEntries) {
  const ListCase cases[] = {
      {u"a@x", {{u"a@x", u""}}, u"a@x"},
      {u"a@x, b@y", {{u"a@x", u""}, {u"b@y", u""}}, u"a@x, b@y"},
      {u"a@x; b@y", {{u"a@x", u""}, {u"b@y", u""}}, u"a@x, b@y"},
      {u"a@x;b@y", {{u"a@x", u""}, {u"b@y", u""}}, u"a@x, b@y"},
      {u"Name <a@x>; b@y", {{u"a@x", u"Name"}, {u"b@y", u""}}, u"\"Name\" <a@x>, b@y"},
      {u"Ops Desk <od@x>", {{u"od@x", u"Ops Desk"}}, u"\"Ops Desk\" <od@x>"},
      {u"\"Desk, Ops\" <od@x>, b@y",
       {{u"od@x", u"Desk, Ops"}, {u"b@y", u""}},
       u"\"Desk, Ops\" <od@x>, b@y"},
      {u"od@x (Ops Desk)", {{u"od@x", u""}}, u"od@x"},
      {u"a@x (Note, with comma), b@y", {{u"a@x", u""}, {u"b@y", u""}}, u"a@x, b@y"},
      {u"Team: a@x, b@y;", {{u"a@x", u""}, {u"b@y", u""}}, u"a@x, b@y"},
      {u" , a@x,,", {{u"a@x", u""}}, u"a@x"},
      {u"a@x, <>, ", {{u"a@x", u""}}, u"a@x"},
      {u"<a@x>", {{u"a@x", u""}}, u"a@x"},
      {u"a@x b@y", {{u"a@xb@y", u""}}, u"a@xb@y"},
      {u"Ops Desk", {{u"", u"Ops "}}, u"\"Ops \" <>"},
      {u"<>", {{u"", u""}}, u""},
      {u"N. Ops <no@x>", {{u"no@x", u"N. Ops"}}, u"\"N. Ops\" <no@x>"},
      {u"\"a\\\"b\" <x@y>", {{u"x@y", u"a\\\"b"}}, u"\"a\\\\\\\"b\" <x@y>"},
      {u"<a@x . y>", {{u"a@x.y", u""}}, u"a@x.y"},
      {u"\"x;y\" <a@x>; \"p(q\" <b@y>",
       {{u"a@x", u"x;y"}, {u"b@y", u"p(q"}},
       u"\"x;y\" <a@x>, \"p(q\" <b@y>"},
      {u"B\u00FCro S\u00FCd <bs@x>",
       {{u"bs@x", u"B\u00FCro S\u00FCd"}},
       u"=?UTF-8?B?QsO8cm8gU8O8ZA==?= <bs@x>"},
      {u"", {}, u""},
      {u" \t ", {}, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(toUtf8(c.text));
    TQxEMailAddressList list;
    list.Add().SetAddress(u"old@entry");
    list.SetEMailAddresses(c.text);
    EXPECT_EQ(entriesOf(list), c.entries);
    EXPECT_EQ(FormatHeaderAddresses(list, 'B', u"UTF-8", false), c.header);
  }
}

TEST(EMailAddressItem, ParsesOneAddress) {
  const std::pair<std::u16string, Entry> cases[] = {
      {u"  a@x  ", {u"a@x", u""}},
      {u"<\"ops desk\"@x>", {u"ops desk@x", u""}},
      {u"first.last@x.y", {u"first.last@x.y", u""}},
      {u"Name <a@x> b@y", {u"a@x", u"Nameb@y"}},  // a second address after one in brackets
      {u"x\"y\" <a@x>", {u"a@x", u"xy"}},         // text glued to a quote is kept
      {u"(c) a@x", {u"a@x", u""}},
      {u"noat", {u"noat", u""}},
  };
  for (const auto& [text, entry] : cases) {
    SCOPED_TRACE(toUtf8(text));
    const TQxEMailAddressItem item(text);
    EXPECT_EQ((Entry{item.Address(), item.Name()}), entry);
  }
}

TEST(EMailAddressItem, WritesTextForDisplay) {
  struct Case {
    Entry entry;
    std::u16string text;
  };
  const Case cases[] = {
      {{u"a@x", u"A@X"}, u"<a@x>"},
      {{u"a@x", u"Ops Desk"}, u"Ops Desk <a@x>"},
      {{u"a@x", u"Desk, Ops"}, u"\"Desk, Ops\" <a@x>"},
      {{u"ops desk@x", u""}, u"<\"ops desk\"@x>"},
      {{u"a\"b@x", u"N"}, u"N <\"a\\\"b\"@x>"},
      {{u"first.last@x", u""}, u"first.last@x"},
      {{u"", u"N"}, u"N <>"},
      {{u"", u""}, u""},
      {{u"local", u"N"}, u"N <local>"},
  };
  for (const auto& c : cases) {
    TQxEMailAddressItem item;
    item.SetAddress(c.entry.address);
    item.SetName(c.entry.name);
    EXPECT_EQ(item.Text(), c.text) << c.entry;
  }
  // Display texts parse back to the entry they came from.
  for (const Entry& entry :
       {Entry{u"a@x", u"Ops Desk"}, Entry{u"a@x", u"Desk, Ops"}, Entry{u"first.last@x", u""}}) {
    TQxEMailAddressItem item;
    item.SetAddress(entry.address);
    item.SetName(entry.name);
    const TQxEMailAddressItem parsed(item.Text());
    EXPECT_EQ((Entry{parsed.Address(), parsed.Name()}), entry);
  }
  TQxEMailAddressList list;
  list.SetEMailAddresses(u"Ops Desk <a@x>, b@y");
  EXPECT_EQ(list.EMailAddresses(), u"Ops Desk <a@x>, b@y");
  std::vector<std::u16string> strings{u"kept"};
  list.FillTStrings(strings);
  EXPECT_EQ(strings, (std::vector<std::u16string>{u"kept", u"Ops Desk <a@x>", u"b@y"}));
}

TEST(EMailAddressItem, ReadsAndWritesUserAndDomain) {
  TQxEMailAddressItem item;
  item.SetAddress(u"a@b@x");
  EXPECT_EQ(item.User(), u"a@b");
  EXPECT_EQ(item.Domain(), u"x");
  item.SetUser(u"u");
  EXPECT_EQ(item.Address(), u"u@b@x");
  item.SetDomain(u"d");
  EXPECT_EQ(item.Address(), u"u@d");
  item.SetAddress(u"plain");
  EXPECT_EQ(item.User(), u"");
  EXPECT_EQ(item.Domain(), u"");
  item.SetUser(u"u");
  EXPECT_EQ(item.Address(), u"u@plain");
  item.SetAddress(u"plain");
  item.SetDomain(u"d");
  EXPECT_EQ(item.Address(), u"plain@d");
}

TEST(FormatHeaderAddress, QuotesOrEncodesTheName) {
  struct Case {
    Entry entry;
    bool nameFromAddress;
    std::u16string header;
    std::u16string nameAfter;
  };
  const Case cases[] = {
      {{u"bs@x", u"B\u00FCro S\u00FCd"},
       false,
       u"=?UTF-8?B?QsO8cm8gU8O8ZA==?= <bs@x>",
       u"B\u00FCro S\u00FCd"},
      {{u"me@x", u""}, true, u"\"me@x\" <me@x>", u"me@x"},
      {{u"me@x", u""}, false, u"me@x", u""},
      {{u"me@x", u"Me"}, true, u"\"Me\" <me@x>", u"Me"},
      {{u"me@x", u"a\\b\"c"}, false, u"\"a\\\\b\\\"c\" <me@x>", u"a\\b\"c"},
      // Specials of a display name are encoded inside encoded words.
      {{u"me@x", u"\u00FC (x)"}, false, u"=?UTF-8?B?w7wgKHgp?= <me@x>", u"\u00FC (x)"},
  };
  for (const auto& c : cases) {
    TQxEMailAddressItem item;
    item.SetAddress(c.entry.address);
    item.SetName(c.entry.name);
    EXPECT_EQ(FormatHeaderAddress(item, 'B', u"UTF-8", c.nameFromAddress), c.header) << c.entry;
    EXPECT_EQ(item.Name(), c.nameAfter);
  }
}

}  // namespace
}  // namespace quorvex

namespace quorvex {
namespace {

TEST(EMailAddressList, AddItemsCopiesEveryEntryOnce) {
  TQxEMailAddressList list, other;
  list.SetEMailAddresses(u"A <a@x>, b@y");
  other.AddItems(&list);
  other.AddItems(nullptr);
  list[0].SetName(u"changed");
  EXPECT_EQ(other.EMailAddresses(), u"A <a@x>, b@y");
  other.AddItems(&other);
  EXPECT_EQ(other.EMailAddresses(), u"A <a@x>, b@y, A <a@x>, b@y");
}

}  // namespace
}  // namespace quorvex
