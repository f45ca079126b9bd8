#include "mail/body_encoders.h"

namespace quorvex {

namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kHex[] = "0123456789ABCDEF";

int base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string TQxEncoderMIME::Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                       (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += kBase64[(v >> 6) & 63];
    out += kBase64[v & 63];
  }
  const size_t rest = bytes.size() - i;
  if (rest > 0) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += rest == 2 ? kBase64[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string TQxDecoderMIME::Decode(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 4 * 3);
  unsigned v = 0;
  int bits = 0;
  for (char c : text) {
    const int d = base64Value(c);
    if (d < 0) continue;
    v = (v << 6) | static_cast<unsigned>(d);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((v >> bits) & 0xFF);
    }
  }
  return out;
}

std::vector<std::string> TQxEncoderQuotedPrintable::EncodeLine(std::string_view line) {
  std::vector<std::string> out(1);
  for (size_t i = 0; i < line.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(line[i]);
    std::string& current = out.back();
    const bool atLineStart = current.empty();
    const bool last = i + 1 == line.size();
    const bool literal = (b >= 33 && b <= 126 && b != '=' && !(b == '.' && atLineStart)) ||
                         ((b == ' ' || b == '\t') && !last);
    if (literal) {
      current += static_cast<char>(b);
    } else {
      current += '=';
      current += kHex[b >> 4];
      current += kHex[b & 15];
    }
    if (current.size() >= 70) {
      current += '=';
      out.emplace_back();
    }
  }
  return out;
}

std::vector<std::string> TQxMessageEncoderMIME::Encode(std::string_view bytes) {
  std::vector<std::string> lines;
  for (size_t i = 0; i < bytes.size(); i += 57)
    lines.push_back(TQxEncoderMIME::Encode(bytes.substr(i, 57)));
  return lines;
}

std::vector<std::string> TQxMessageEncoderQuotedPrintable::Encode(std::string_view bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find_first_of("\r\n", start);
    const size_t stop = end == std::string_view::npos ? bytes.size() : end;
    for (auto& piece : TQxEncoderQuotedPrintable::EncodeLine(bytes.substr(start, stop - start)))
      lines.push_back(std::move(piece));
    if (end == std::string_view::npos) break;
    start = end + (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n' ? 2 : 1);
  }
  return lines;
}

}  // namespace quorvex
