#include <dlfcn.h>

#include "platform/shared_library.h"

namespace quorvex {

void* LoadSharedLibrary(const std::string& file) {
  return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* SharedLibrarySymbol(void* library, const char* name) { return dlsym(library, name); }

}  // namespace quorvex
