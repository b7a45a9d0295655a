#include "framework/RegistryKey.h"
#include "framework/SettingsStore.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const wchar_t* const testKey = L"Software\\Koravent\\VeltrixTest";

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

} // namespace

class RegistrySettings : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, testKey);
        store.Open(SettingsStore::REGISTRY, HKEY_CURRENT_USER, testKey, nullptr);
    }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, testKey); }
    SettingsStore store;
};

TEST_F(RegistrySettings, DefaultsWhenAbsent) {
    EXPECT_EQ(1u, store.ReadInt(L"AutoUpdate", 1));
    WString text;
    EXPECT_EQ(0, store.ReadString(L"LastCheckVersion", text, L"none"));
    EXPECT_STREQ(L"none", text.Buffer());
    EXPECT_EQ(0, store.ReadString(L"LastCheckVersion", text, nullptr));
    EXPECT_STREQ(L"", text.Buffer());
}

TEST_F(RegistrySettings, ValuesRoundTripThroughTheRealRegistry) {
    ASSERT_EQ(1, store.WriteInt(L"LastCheck", 1700000000u));
    ASSERT_EQ(1, store.WriteInt(L"AutoUpdate", 0xFFFFFFFFu));
    ASSERT_EQ(1, store.WriteString(L"LastCheckVersion", L"1.11"));
    EXPECT_EQ(1700000000u, store.ReadInt(L"LastCheck", 0));
    EXPECT_EQ(0xFFFFFFFFu, store.ReadInt(L"AutoUpdate", 1));
    WString text;
    EXPECT_EQ(1, store.ReadString(L"LastCheckVersion", text, nullptr));
    EXPECT_STREQ(L"1.11", text.Buffer());

    // Stored where other programs expect it: the value is a REG_DWORD in the key itself.
    DWORD type = 0, value = 0, size = sizeof(value);
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_CURRENT_USER, testKey, L"LastCheck", RRF_RT_ANY, &type, &value, &size));
    EXPECT_EQ((DWORD)REG_DWORD, type);

    ASSERT_EQ(1, store.WriteInt(L"Inner", 5, L"Sub"));
    EXPECT_EQ(5u, store.ReadInt(L"Inner", 0, L"Sub"));
    EXPECT_EQ(0u, store.ReadInt(L"Inner", 0));
}

TEST_F(RegistrySettings, IntegersAreReadRawWithoutTypeTest) {
    // A string of four bytes or fewer is taken as its raw bytes; a longer one gives the default.
    RegistryKey::WriteStringValue(HKEY_CURRENT_USER, testKey, L"Short", L"A");
    RegistryKey::WriteStringValue(HKEY_CURRENT_USER, testKey, L"Long", L"12345");
    EXPECT_EQ((DWORD)L'A', store.ReadInt(L"Short", 7));
    EXPECT_EQ(7u, store.ReadInt(L"Long", 7));
}

TEST_F(RegistrySettings, ReadStringGrowsForLongValues) {
    std::wstring longText(1000, L'v');
    RegistryKey::WriteStringValue(HKEY_CURRENT_USER, testKey, L"Big", longText.c_str());
    WString text;
    EXPECT_EQ(260u, text.Capacity());
    ASSERT_EQ(1, store.ReadString(L"Big", text, nullptr));
    EXPECT_EQ(longText, text.Buffer());
}

TEST_F(RegistrySettings, RegistryKeyReadsAndClosesCleanly) {
    RegistryKey key;
    EXPECT_EQ(1, key.Close()) << "closing with no key open is success";
    EXPECT_EQ(0, key.Open(HKEY_CURRENT_USER, L"Software\\Koravent\\NoSuchKeyAnywhere", 0));
    ASSERT_EQ(1, key.Create(HKEY_CURRENT_USER, testKey, KEY_WOW64_64KEY));
    ASSERT_EQ(1, key.WriteDword(L"D", 42));
    DWORD value = 0;
    ASSERT_EQ(1, key.ReadDword(L"D", &value));
    EXPECT_EQ(42u, value);
    value = 99;
    EXPECT_EQ(0, key.ReadDword(L"Missing", &value));
    EXPECT_EQ(99u, value) << "the target is written only on success";
    EXPECT_EQ(42u, RegistryKey::ReadDwordValue(HKEY_CURRENT_USER, testKey, L"D", 0, 0));
    EXPECT_EQ(1, key.Close());
    // The view bits are dropped where they do not apply, so the key still opens.
    EXPECT_EQ(1, key.Open(HKEY_CURRENT_USER, testKey, KEY_WOW64_32KEY));
}

class IniSettings : public ::testing::Test {
protected:
    void SetUp() override {
        path = ProgramFolder() + L"framework_tests.ini";
        DeleteFileW(path.c_str());
        store.Open(SettingsStore::INI_FILE, HKEY_CURRENT_USER, testKey, nullptr);
    }
    void TearDown() override { DeleteFileW(path.c_str()); }
    std::wstring path;
    SettingsStore store;
};

TEST_F(IniSettings, TheFileLivesBesideTheProgramWithItsName) {
    EXPECT_EQ(path, store.IniPath());
    ASSERT_EQ(1, store.WriteInt(L"AutoUpdate", 0));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path.c_str()));
    wchar_t text[32];
    GetPrivateProfileStringW(L"Settings", L"AutoUpdate", L"", text, 32, path.c_str());
    EXPECT_STREQ(L"0", text);
}

TEST_F(IniSettings, NumbersDefaultsAndMinusOne) {
    EXPECT_EQ(1u, store.ReadInt(L"AutoUpdate", 1));
    WritePrivateProfileStringW(L"Settings", L"Broken", L"not a number", path.c_str());
    WritePrivateProfileStringW(L"Settings", L"Partly", L"42abc", path.c_str());
    EXPECT_EQ(9u, store.ReadInt(L"Broken", 9));
    EXPECT_EQ(42u, store.ReadInt(L"Partly", 9));

    ASSERT_EQ(1, store.WriteInt(L"Minus", (DWORD)-1));
    wchar_t text[32];
    GetPrivateProfileStringW(L"Settings", L"Minus", L"", text, 32, path.c_str());
    EXPECT_STREQ(L"4294967295", text);
    EXPECT_EQ((DWORD)-1, store.ReadInt(L"Minus", 0));

    ASSERT_EQ(1, store.WriteInt(L"Inner", 3, L"Other"));
    EXPECT_EQ(3u, store.ReadInt(L"Inner", 0, L"Other"));
    EXPECT_EQ(0u, store.ReadInt(L"Inner", 0));
}

TEST_F(IniSettings, StringsGrowTheirBuffer) {
    WString text;
    EXPECT_EQ(1, store.ReadString(L"Missing", text, L"fallback"));
    EXPECT_STREQ(L"fallback", text.Buffer());
    std::wstring longText(1500, L's');
    ASSERT_EQ(1, store.WriteString(L"Long", longText.c_str()));
    WString target;
    ASSERT_EQ(1, store.ReadString(L"Long", target, nullptr));
    EXPECT_EQ(longText, target.Buffer());
}
