#pragma once

#include <stdexcept>
#include <string>

namespace quorvex {

// Base of every error the system raises. The message is UTF-16 like all text
// inside the system; what() gives its UTF-8 form.
class Exception : public std::runtime_error {
 public:
  explicit Exception(std::u16string message);
  const std::u16string& Message() const noexcept { return _message; }
  // Where the error arose ("line 7, element <port>"), for a report that
  // needs more than the message; empty when not known.
  const std::u16string& Place() const noexcept { return _place; }
  void SetPlace(std::u16string place) { _place = std::move(place); }

 private:
  std::u16string _message;
  std::u16string _place;
};

// A text that does not convert to a number or a Boolean.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// A file that cannot be opened, read or written.
class EFileError : public Exception {
 public:
  using Exception::Exception;
};

// Base error of the network transport, the mail message and the SMTP client.
class EQxException : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace quorvex
