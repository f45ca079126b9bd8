#include <windows.h>

#include "platform/shared_library.h"

namespace quorvex {

void* LoadSharedLibrary(const std::string& file) {
  // No "missing DLL" box for a library that is only wanted when present.
  DWORD oldMode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
  // A library found by its path takes its own dependencies from its folder.
  const DWORD flags =
      file.find_first_of("\\/") != std::string::npos ? LOAD_WITH_ALTERED_SEARCH_PATH : 0;
  HMODULE library = LoadLibraryExA(file.c_str(), nullptr, flags);
  SetThreadErrorMode(oldMode, nullptr);
  return reinterpret_cast<void*>(library);
}

void* SharedLibrarySymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

}  // namespace quorvex
