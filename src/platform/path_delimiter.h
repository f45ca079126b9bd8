#pragma once

namespace quorvex {

// The separator of folder and file names in paths.
#ifdef _WIN32
inline constexpr char kPathDelimByte = '\\';
#else
inline constexpr char kPathDelimByte = '/';
#endif

}  // namespace quorvex
