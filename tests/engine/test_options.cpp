// The options in the real registry: defaults, the default user's fall-back,
// "any non-zero is 1", the machine's DefaultCipher, and values found nowhere.
#include <gtest/gtest.h>
#include <windows.h>
#include <rpc.h>

#include <string>

#include "engine/options.h"
#include "exports/error_state.h"
#include "fileoper.h"

namespace {

constexpr wchar_t kCipherKey[] = L"System\\CurrentControlSet\\Services\\TzDorvan\\Parameters";

std::wstring UniqueKey() {
    UUID id;
    UuidCreate(&id);
    RPC_WSTR text = nullptr;
    UuidToStringW(&id, &text);
    std::wstring key = L"Software\\FileoperTests\\Options-" + std::wstring(reinterpret_cast<wchar_t*>(text));
    RpcStringFreeW(&text);
    return key;
}

std::string Narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

void SetValue(HKEY root, const std::wstring& key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(RegSetKeyValueW(root, key.c_str(), name, type, data, size), ERROR_SUCCESS);
}

void SetDword(HKEY root, const std::wstring& key, const wchar_t* name, DWORD value) {
    SetValue(root, key, name, REG_DWORD, &value, sizeof value);
}

void DeleteValue(HKEY root, const std::wstring& key, const wchar_t* name) { RegDeleteKeyValueW(root, key.c_str(), name); }

// A user option key of this test under HKEY_CURRENT_USER and under
// HKEY_USERS\.Default, both removed afterwards.
class OptionKeys {
public:
    ~OptionKeys() {
        RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
        RegDeleteTreeW(HKEY_USERS, defaultUser.c_str());
        RegDeleteKeyW(HKEY_USERS, defaultUser.c_str());
    }
    const std::wstring key = UniqueKey();
    const std::wstring defaultUser = L".Default\\" + key;
    const std::string path = Narrow(key);
};

// The machine's DefaultCipher as the test needs it, put back afterwards.
class MachineCipher {
public:
    MachineCipher() {
        DWORD size = sizeof saved_;
        hadValue_ = RegGetValueW(HKEY_LOCAL_MACHINE, kCipherKey, L"DefaultCipher", RRF_RT_ANY, nullptr, &saved_, &size) ==
                    ERROR_SUCCESS;
        DeleteValue(HKEY_LOCAL_MACHINE, kCipherKey, L"DefaultCipher");
    }
    ~MachineCipher() {
        if (hadValue_) {
            SetDword(HKEY_LOCAL_MACHINE, kCipherKey, L"DefaultCipher", saved_);
        } else {
            DeleteValue(HKEY_LOCAL_MACHINE, kCipherKey, L"DefaultCipher");
        }
    }
    void Set(DWORD value) { SetDword(HKEY_LOCAL_MACHINE, kCipherKey, L"DefaultCipher", value); }

private:
    DWORD saved_ = 0;
    bool hadValue_ = false;
};

const oper::OperOptions& Options() { return const_cast<const oper::OperOptions&>(oper::g_options); }

// Declared first: gtest runs a file's tests in order, and this one needs the
// library's values as loaded.
TEST(Options, AFreshLibraryAndAnEmptyRegistryGiveTheDefaults) {
    EXPECT_EQ(Options().enableReadOnly, 1u);
    EXPECT_EQ(Options().enableSystem, 1u);
    EXPECT_EQ(Options().renameBeforeDelete, 0u);
    EXPECT_EQ(Options().decryptAfterReboot, 0u);
    EXPECT_EQ(Options().defaultCipher, 4u);
    EXPECT_EQ(IsRebootRequired(), 0u);

    OptionKeys keys;
    MachineCipher cipher;
    EXPECT_EQ(LoadOperOptions(keys.path.c_str()), 1);
    EXPECT_EQ(Options().enableReadOnly, 1u);
    EXPECT_EQ(Options().enableSystem, 1u);
    EXPECT_EQ(Options().renameBeforeDelete, 0u);
    EXPECT_EQ(Options().decryptAfterReboot, 0u);
    EXPECT_EQ(Options().defaultCipher, 4u);
}

TEST(Options, AnyNonZeroValueOfAnyTypeIsOne) {
    OptionKeys keys;
    SetDword(HKEY_CURRENT_USER, keys.key, L"EnableSystem", 7);
    SetDword(HKEY_CURRENT_USER, keys.key, L"RenameBeforeDelete", 0x100);
    const BYTE binary[4] = {0, 0, 0, 2};
    SetValue(HKEY_CURRENT_USER, keys.key, L"DecryptAfterReboot", REG_BINARY, binary, sizeof binary);
    SetDword(HKEY_CURRENT_USER, keys.key, L"EnableReadOnly", 0);
    LoadOperOptions(keys.path.c_str());
    EXPECT_EQ(Options().enableSystem, 1u);
    EXPECT_EQ(Options().renameBeforeDelete, 1u);
    EXPECT_EQ(Options().decryptAfterReboot, 1u);
    EXPECT_EQ(Options().enableReadOnly, 0u);

    SetDword(HKEY_CURRENT_USER, keys.key, L"EnableSystem", 0);
    LoadOperOptions(keys.path.c_str());
    EXPECT_EQ(Options().enableSystem, 0u);
}

TEST(Options, TheDefaultUsersValueStandsInForAMissingOne) {
    OptionKeys keys;
    SetDword(HKEY_USERS, keys.defaultUser, L"EnableReadOnly", 0);
    SetDword(HKEY_USERS, keys.defaultUser, L"EnableSystem", 0);
    SetDword(HKEY_CURRENT_USER, keys.key, L"EnableSystem", 1);
    LoadOperOptions(keys.path.c_str());
    EXPECT_EQ(Options().enableReadOnly, 0u);
    EXPECT_EQ(Options().enableSystem, 1u) << "the user's own value wins";
}

TEST(Options, AValueFoundNowhereKeepsTheCurrentSetting) {
    OptionKeys keys;
    SetOperOptions(3, 3);
    SetDword(HKEY_CURRENT_USER, keys.key, L"EnableReadOnly", 0);
    LoadOperOptions(keys.path.c_str());
    DeleteValue(HKEY_CURRENT_USER, keys.key, L"EnableReadOnly");
    LoadOperOptions(keys.path.c_str());
    EXPECT_EQ(Options().enableReadOnly, 0u);
    EXPECT_EQ(Options().decryptAfterReboot, 1u);
    EXPECT_EQ(Options().renameBeforeDelete, 1u);

    SetDword(HKEY_CURRENT_USER, keys.key, L"EnableReadOnly", 1);
    SetDword(HKEY_CURRENT_USER, keys.key, L"RenameBeforeDelete", 0);
    SetDword(HKEY_CURRENT_USER, keys.key, L"DecryptAfterReboot", 0);
    LoadOperOptions(keys.path.c_str());
    EXPECT_EQ(Options().enableReadOnly, 1u);
    EXPECT_EQ(Options().decryptAfterReboot, 0u);
    EXPECT_EQ(Options().renameBeforeDelete, 0u);
}

TEST(Options, DefaultCipherIsTheMachinesRawNumberWithoutAUserFallback) {
    OptionKeys keys;
    MachineCipher cipher;
    SetDword(HKEY_CURRENT_USER, keys.key, L"DefaultCipher", 9);
    cipher.Set(0x12345678);
    LoadOperOptions(keys.path.c_str());
    EXPECT_EQ(Options().defaultCipher, 0x12345678u);

    DeleteValue(HKEY_LOCAL_MACHINE, kCipherKey, L"DefaultCipher");
    LoadOperOptions(keys.path.c_str());
    EXPECT_EQ(Options().defaultCipher, 0x12345678u) << "a missing value keeps the current one";
    cipher.Set(4);
    LoadOperOptions(keys.path.c_str());
    EXPECT_EQ(Options().defaultCipher, 4u);
}

TEST(Options, SetOperOptionsChangesOnlyTheMaskedOptions) {
    SetOperOptions(3, 0);
    EXPECT_EQ(SetOperOptions(2, 2), 1);
    EXPECT_EQ(Options().renameBeforeDelete, 1u);
    EXPECT_EQ(Options().decryptAfterReboot, 0u);

    EXPECT_EQ(SetOperOptions(3, 1), 1);
    EXPECT_EQ(Options().decryptAfterReboot, 1u);
    EXPECT_EQ(Options().renameBeforeDelete, 0u);

    const uint32_t enableReadOnly = Options().enableReadOnly;
    const uint32_t enableSystem = Options().enableSystem;
    SetOperOptions(~3u, ~0u);
    EXPECT_EQ(Options().decryptAfterReboot, 1u);
    EXPECT_EQ(Options().renameBeforeDelete, 0u);
    EXPECT_EQ(Options().enableReadOnly, enableReadOnly);
    EXPECT_EQ(Options().enableSystem, enableSystem);
}

TEST(Options, WithoutAKeyPathTheUserOptionsStayAndTheRestIsLoaded) {
    MachineCipher cipher;
    cipher.Set(77);
    SetOperOptions(3, 3);
    oper::g_options.rebootRequired = 1;
    EXPECT_EQ(LoadOperOptions(nullptr), 1);
    EXPECT_EQ(Options().decryptAfterReboot, 1u);
    EXPECT_EQ(Options().renameBeforeDelete, 1u);
    EXPECT_EQ(Options().defaultCipher, 77u);
    EXPECT_EQ(IsRebootRequired(), 0u);
    SetOperOptions(3, 0);
}

TEST(Options, LoadingClearsTheRebootFlagAndLeavesTheErrorStateAlone) {
    OptionKeys keys;
    oper::g_options.rebootRequired = 1;
    EXPECT_EQ(IsRebootRequired(), 1u);
    oper::SetOperError(oper::kErrFreeSpace);
    LoadOperOptions(keys.path.c_str());
    EXPECT_EQ(IsRebootRequired(), 0u);
    SetOperOptions(3, 3);
    EXPECT_EQ(GetOperErrorCode(), static_cast<uint32_t>(oper::kErrFreeSpace));
}

}  // namespace
