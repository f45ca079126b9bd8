#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvex {

// Base64 with the standard alphabet and "=" fill.
class TQxEncoderMIME {
 public:
  static std::string Encode(std::string_view bytes);
};

class TQxDecoderMIME {
 public:
  // Decodes groups of four characters; characters outside the alphabet are
  // skipped and a final incomplete group gives the bytes it holds.
  static std::string Decode(std::string_view text);
};

// Quoted-printable encoding of one source line (without its line end). Soft
// breaks "=" end every output line but the last.
class TQxEncoderQuotedPrintable {
 public:
  static std::vector<std::string> EncodeLine(std::string_view line);
};

// Base64 body: lines of 76 characters, one per 57 bytes, the last shorter.
class TQxMessageEncoderMIME {
 public:
  static std::vector<std::string> Encode(std::string_view bytes);
};

// Quoted-printable body: the bytes are read line by line (CR LF, lone CR or
// lone LF ends a line) and each line is encoded on its own.
class TQxMessageEncoderQuotedPrintable {
 public:
  static std::vector<std::string> Encode(std::string_view bytes);
};

}  // namespace quorvex
