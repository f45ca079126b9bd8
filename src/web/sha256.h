#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace quorvex {

// The SHA-256 digest of the bytes (for the PKCE code challenge; the program
// binds OpenSSL only at run time, for TLS).
std::array<std::uint8_t, 32> sha256(std::string_view bytes);

}  // namespace quorvex
