#pragma once

// The line reader's cases, shared by the in-memory transport and the TLS
// session tests: every case must give the same lines at every chunk size.

#include <set>
#include <string>
#include <vector>

#include "net/io_handler.h"
#include "net/net_errors.h"
#include "platform/text.h"

namespace quorvex::test {

inline const std::string kLong16384(16384, 'a');
inline const std::string kLong16385(16385, 'a');

// How a run of ReadLn calls ended.
struct TReadOutcome {
  std::vector<std::u16string> Lines;
  std::vector<bool> Split;
  std::string End;  // "closed", "timeout", "too long", or the error text
  int SocketErrors = 0;

  bool operator==(const TReadOutcome& AOther) const {
    return Lines == AOther.Lines && Split == AOther.Split && End == AOther.End;
  }
};

// Reads lines until the stream ends one way or another. A socket error
// AFailCode from the transport is counted and reading goes on once, as a
// caller might retry.
inline TReadOutcome ReadLines(TQxIOHandler& handler, int AFailCode = 0) {
  TReadOutcome outcome;
  for (int guard = 0; guard < 100000; ++guard) {
    try {
      std::u16string line = handler.ReadLn();
      if (handler.ReadLnTimedOut()) {
        outcome.End = "timeout";
        return outcome;
      }
      outcome.Lines.push_back(std::move(line));
      outcome.Split.push_back(handler.ReadLnSplit());
    } catch (const EQxConnClosedGracefully&) {
      outcome.End = "closed";
      return outcome;
    } catch (const EQxReadLnMaxLineLengthExceeded&) {
      outcome.End = "too long";
      return outcome;
    } catch (const EQxSocketError& e) {
      if (e.LastError() != AFailCode || ++outcome.SocketErrors > 1) {
        outcome.End = toUtf8(e.Message());
        return outcome;
      }
    }
  }
  outcome.End = "no end";
  return outcome;
}

struct TLineCase {
  const char* Name;
  std::string Input;
  bool CloseAtEnd;
  TQxMaxLineAction Action;
  std::vector<std::u16string> Lines;
  std::string End;
  std::vector<bool> Split = {};
};

inline std::vector<TLineCase> LineCases() {
  const std::u16string long16384(16384, u'a');
  return {
      {"CR LF", "250 OK\r\n", true, maException, {u"250 OK"}, "closed"},
      {"LF alone", "250 OK\n", true, maException, {u"250 OK"}, "closed"},
      {"CR CR LF keeps one CR", "a\r\r\n", true, maException, {u"a\r"}, "closed"},
      {"several lines",
       "one\ntwo\r\nthree\n",
       true,
       maException,
       {u"one", u"two", u"three"},
       "closed"},
      {"empty lines", "\n\r\n", true, maException, {u"", u""}, "closed"},
      {"CR alone is no terminator", "a\rb\n", true, maException, {u"a\rb"}, "closed"},
      {"unterminated line then close", "done\nabc", true, maException, {u"done"}, "closed"},
      {"unterminated line then silence", "done\nabc", false, maException, {u"done"}, "timeout"},
      {"longest line", kLong16384 + "\n", true, maException, {long16384}, "closed"},
      {"one byte too long", "x\n" + kLong16385 + "\n", true, maException, {u"x"}, "too long"},
      {"CR counts in the length", kLong16384 + "\r\n", true, maException, {}, "too long"},
      {"endless line refused before its end", kLong16385, false, maException, {}, "too long"},
      {"split at the limit",
       kLong16385 + "\n",
       true,
       maSplit,
       {long16384, u"a"},
       "closed",
       {true, false}},
      {"split without terminator",
       kLong16385 + "bc",
       false,
       maSplit,
       {long16384},
       "timeout",
       {true}},
  };
}

inline std::vector<int> ChunkSizes(size_t AInputLength) {
  std::set<int> sizes;
  for (int n = 1; n <= 64; ++n) sizes.insert(n);
  for (int n : {127, 1000, 4096, 16383, 16384, 16385, 16386, 32768})
    if (static_cast<size_t>(n) <= AInputLength + 1) sizes.insert(n);
  sizes.insert(static_cast<int>(AInputLength) + 1);
  if (AInputLength < 300) {
    for (int n = 1; n <= static_cast<int>(AInputLength) + 1; ++n) sizes.insert(n);
  }
  return {sizes.begin(), sizes.end()};
}

}  // namespace quorvex::test
