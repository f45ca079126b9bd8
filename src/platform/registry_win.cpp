#include <windows.h>

#include "platform/registry.h"

namespace quorvex {

namespace {

std::wstring wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

class TWindowsKey final : public IRegistryKey {
 public:
  explicit TWindowsKey(HKEY key) : _key(key) {}
  ~TWindowsKey() override { RegCloseKey(_key); }
  TWindowsKey(const TWindowsKey&) = delete;
  TWindowsKey& operator=(const TWindowsKey&) = delete;

  TRegistryValue readValue(std::u16string_view name) const override {
    const std::wstring valueName = wide(name);
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(_key, valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
      return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ) return {TRegistryValueKind::Other, {}};
    // The value may change between the two calls; a larger one is asked again.
    std::wstring data;
    LONG rc;
    do {
      data.assign(size / sizeof(wchar_t) + 1, L'\0');
      size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
      rc = RegQueryValueExW(_key, valueName.c_str(), nullptr, &type,
                            reinterpret_cast<BYTE*>(data.data()), &size);
    } while (rc == ERROR_MORE_DATA);
    if (rc != ERROR_SUCCESS) return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ) return {TRegistryValueKind::Other, {}};
    // Stored strings need not end in a zero; the text ends at the first one.
    data.resize(size / sizeof(wchar_t));
    if (const size_t zero = data.find(L'\0'); zero != std::wstring::npos) data.resize(zero);
    // Taken as stored: an expandable string's variables are not expanded.
    return {type == REG_SZ ? TRegistryValueKind::String : TRegistryValueKind::ExpandString,
            std::u16string(data.begin(), data.end())};
  }

 private:
  HKEY _key;
};

class TWindowsRegistry final : public IRegistry {
 public:
  std::unique_ptr<IRegistryKey> openLocalMachineKey(std::u16string_view path,
                                                    TRegistryAccess access) const override {
    // Key paths are written from the root ("\SOFTWARE\..."); the system takes
    // them without the first separator.
    if (!path.empty() && path.front() == u'\\') path.remove_prefix(1);
    // The 64-bit view: OpenVPN for 64-bit Windows writes its keys there.
    const REGSAM rights =
        (access == TRegistryAccess::AllAccess ? KEY_ALL_ACCESS : KEY_READ) | KEY_WOW64_64KEY;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide(path).c_str(), 0, rights, &key) != ERROR_SUCCESS)
      return nullptr;
    return std::make_unique<TWindowsKey>(key);
  }
};

}  // namespace

std::unique_ptr<IRegistry> SystemRegistry() { return std::make_unique<TWindowsRegistry>(); }

}  // namespace quorvex
