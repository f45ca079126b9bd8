#pragma once

#include <string>

namespace quorvex {

// Turns a child's output bytes into text in the system's 8-bit code page. A
// zero byte would end the text in the memo, so it is dropped (the rest of the
// output matters more); a UTF-8 character cut between two reads waits for
// its rest.
class TConsoleOutputDecoder {
 public:
  std::u16string decode(std::string bytes);

 private:
  std::string _pending;  // start of a character whose rest has not arrived yet
};

}  // namespace quorvex
