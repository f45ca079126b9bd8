#include <gtest/gtest.h>

#include <windows.h>

#include "platform/registry.h"
#include "support/windows_registry.h"

namespace quorvex {
namespace {

using test::ScopedRegistryKey;

struct ValueCase {
  const char* what;
  const char* type;  // reg.exe's type name; null: the value is not written
  const char* data;
  TRegistryValueKind kind;
  std::u16string text;
};

class WindowsRegistryTest : public ::testing::Test {
 protected:
  ScopedRegistryKey key{"SOFTWARE\\QuorvexTest\\Values" + std::to_string(GetCurrentProcessId())};
  std::unique_ptr<IRegistry> registry = SystemRegistry();
};

TEST_F(WindowsRegistryTest, ReadsValuesWithTheirKind) {
  const ValueCase cases[] = {
      {"a string", "REG_SZ", "C:\\OpenVPN\\config", TRegistryValueKind::String,
       u"C:\\OpenVPN\\config"},
      {"an empty string", "REG_SZ", "", TRegistryValueKind::String, u""},
      {"an expandable string", "REG_EXPAND_SZ", "C:\\OpenVPN", TRegistryValueKind::ExpandString,
       u"C:\\OpenVPN"},
      {"a number is another kind", "REG_DWORD", "7", TRegistryValueKind::Other, u""},
      {"a missing value", nullptr, nullptr, TRegistryValueKind::Missing, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(key.create());
    if (c.type) {
      ASSERT_TRUE(key.set("config_dir", c.type, c.data));
    }
    const auto opened = registry->openLocalMachineKey(
        u"\\" + std::u16string(key.path().begin(), key.path().end()), TRegistryAccess::AllAccess);
    ASSERT_NE(opened, nullptr);
    const TRegistryValue value = opened->readValue(u"config_dir");
    EXPECT_EQ(value.Kind, c.kind);
    EXPECT_EQ(value.Text, c.text);
    ScopedRegistryKey again(key.path());  // clears the key for the next row
  }
}

// Written directly: the command interpreter would expand the variable on the
// way to reg.exe.
TEST_F(WindowsRegistryTest, ExpandableStringIsTakenAsStored) {
  ASSERT_TRUE(key.create());
  HKEY raw = nullptr;
  const std::wstring path(key.path().begin(), key.path().end());
  ASSERT_EQ(
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &raw),
      ERROR_SUCCESS);
  const wchar_t data[] = L"%ProgramFiles%\\OpenVPN\\config";
  ASSERT_EQ(RegSetValueExW(raw, L"config_dir", 0, REG_EXPAND_SZ,
                           reinterpret_cast<const BYTE*>(data), sizeof data),
            ERROR_SUCCESS);
  RegCloseKey(raw);
  const auto opened = registry->openLocalMachineKey(
      u"\\" + std::u16string(path.begin(), path.end()), TRegistryAccess::AllAccess);
  ASSERT_NE(opened, nullptr);
  const TRegistryValue value = opened->readValue(u"config_dir");
  EXPECT_EQ(value.Kind, TRegistryValueKind::ExpandString);
  EXPECT_EQ(value.Text, u"%ProgramFiles%\\OpenVPN\\config");
}

TEST_F(WindowsRegistryTest, KeysAreOpenedWithoutBeingCreated) {
  const std::u16string path = u"\\SOFTWARE\\QuorvexTest\\Absent" + std::u16string(u"") +
                              static_cast<char16_t>(u'0' + GetCurrentProcessId() % 10);
  EXPECT_EQ(registry->openLocalMachineKey(path, TRegistryAccess::Read), nullptr);
  EXPECT_EQ(registry->openLocalMachineKey(path, TRegistryAccess::AllAccess), nullptr);
  HKEY created = nullptr;
  EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, std::wstring(path.begin() + 1, path.end()).c_str(), 0,
                          KEY_READ | KEY_WOW64_64KEY, &created),
            ERROR_SUCCESS);
}

}  // namespace
}  // namespace quorvex
