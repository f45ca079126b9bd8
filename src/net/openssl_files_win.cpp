#include <cstdlib>
#include <vector>

#include "net/openssl_library.h"
#include "platform/executable_path.h"
#include "platform/program_search.h"
#include "platform/registry.h"
#include "platform/shared_library.h"
#include "platform/text_encoding.h"

namespace quorvex {

const char* const kOpenSSLLibraryName = "libssl-3-x64.dll";
const char* const kOpenSSLCryptoName = "libcrypto-3-x64.dll";

namespace {

std::string withSeparator(std::string folder) {
  if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
  return folder;
}

// OpenVPN's folder as its installer records it: the key's default value.
std::string openvpnBinFolder() {
  const auto key =
      SystemRegistry()->openLocalMachineKey(u"\\SOFTWARE\\OpenVPN", TRegistryAccess::Read);
  if (!key) return {};
  const TRegistryValue value = key->readValue(u"");
  if (value.Kind != TRegistryValueKind::String || value.Text.empty()) return {};
  return withSeparator(TEncoding::System().GetBytes(value.Text)) + "bin";
}

}  // namespace

// Never the working folder: a library planted there must not be loaded.
void* LoadOpenSSLLibrary(const std::string& AName) {
  if (AName.find_first_of("\\/:") != std::string::npos) return LoadSharedLibrary(AName);
  std::vector<std::string> folders{FolderWithSeparator(ExecutablePath()), openvpnBinFolder()};
  for (const std::string& folder : programSearchFolders({})) folders.push_back(folder);
  for (const std::string& folder : folders) {
    if (folder.empty() || folder == ".") continue;
    if (void* library = LoadSharedLibrary(withSeparator(folder) + AName)) return library;
  }
  return nullptr;
}

}  // namespace quorvex
