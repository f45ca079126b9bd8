#pragma once

#include <string>

namespace quorvex {

// A shared library loaded at run time by its file name or path (dlopen,
// LoadLibrary), with the system's error dialogs off; null when it cannot be
// loaded. Libraries stay loaded for the process's life.
void* LoadSharedLibrary(const std::string& file);
// An entry point of a loaded library, or null.
void* SharedLibrarySymbol(void* library, const char* name);

}  // namespace quorvex
