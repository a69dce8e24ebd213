// The options in the real registry: defaults, the default user's fall-back,
// "any non-zero is 1", the machine's DefaultCipher, and values found nowhere.
#include <gtest/gtest.h>
#include <windows.h>
#include <rpc.h>

#include <array>
#include <string>

#include "engine/options.h"
#include "exports/error_state.h"
#include "fileoper.h"

namespace {

constexpr wchar_t kCipherKey[] = L"System\\CurrentControlSet\\Services\\TzDorvan\\Parameters";

// EnableReadOnly, EnableSystem, RenameBeforeDelete, DecryptAfterReboot,
// DefaultCipher as loaded.
using Values = std::array<uint32_t, 5>;
Values Loaded() {
    const oper::OperOptions& o = const_cast<const oper::OperOptions&>(oper::g_options);
    return {o.enableReadOnly, o.enableSystem, o.renameBeforeDelete, o.decryptAfterReboot, o.defaultCipher};
}

void SetDword(HKEY root, const std::wstring& key, const wchar_t* name, DWORD value) {
    ASSERT_EQ(RegSetKeyValueW(root, key.c_str(), name, REG_DWORD, &value, sizeof value), ERROR_SUCCESS);
}

// A user option key of this test under HKEY_CURRENT_USER and under
// HKEY_USERS\.Default, both removed afterwards; and the machine's
// DefaultCipher, absent during the test and put back afterwards.
class Options : public ::testing::Test {
protected:
    void SetUp() override {
        UUID id;
        UuidCreate(&id);
        RPC_WSTR text = nullptr;
        UuidToStringW(&id, &text);
        key = L"Software\\FileoperTests\\Options-" + std::wstring(reinterpret_cast<wchar_t*>(text));
        RpcStringFreeW(&text);
        defaultUser = L".Default\\" + key;
        DWORD size = sizeof savedCipher;
        hadCipher = RegGetValueW(HKEY_LOCAL_MACHINE, kCipherKey, L"DefaultCipher", RRF_RT_ANY, nullptr, &savedCipher,
                                 &size) == ERROR_SUCCESS;
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kCipherKey, L"DefaultCipher");
    }
    // A value found nowhere keeps the loaded one: the defaults are loaded
    // explicitly before the keys go.
    void TearDown() override {
        for (const wchar_t* name : {L"EnableReadOnly", L"EnableSystem"}) User(name, 1);
        for (const wchar_t* name : {L"RenameBeforeDelete", L"DecryptAfterReboot"}) User(name, 0);
        Load();
        RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
        RegDeleteTreeW(HKEY_USERS, defaultUser.c_str());
        RegDeleteKeyW(HKEY_USERS, defaultUser.c_str());
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kCipherKey, L"DefaultCipher");
        if (hadCipher) SetDword(HKEY_LOCAL_MACHINE, kCipherKey, L"DefaultCipher", savedCipher);
    }

    void User(const wchar_t* name, DWORD value) { SetDword(HKEY_CURRENT_USER, key, name, value); }
    void MachineCipher(DWORD value) { SetDword(HKEY_LOCAL_MACHINE, kCipherKey, L"DefaultCipher", value); }
    int Load() { return LoadOperOptions(std::string(key.begin(), key.end()).c_str()); }

    std::wstring key, defaultUser;
    DWORD savedCipher = 0;
    bool hadCipher = false;
};

// Declared first: gtest runs a file's tests in order, and this one needs the
// library's values as loaded.
TEST_F(Options, AFreshLibraryAndAnEmptyRegistryGiveTheDefaults) {
    EXPECT_EQ(Loaded(), (Values{1, 1, 0, 0, 4}));
    EXPECT_EQ(IsRebootRequired(), 0u);
    EXPECT_EQ(Load(), 1);
    EXPECT_EQ(Loaded(), (Values{1, 1, 0, 0, 4}));
}

// Any non-zero value of any type is 1; the default user's value stands in
// for a missing one, and a value found nowhere keeps the current setting.
TEST_F(Options, UserValuesAnyNonZeroIsOneWithTheDefaultUserAsFallBack) {
    SetOperOptions(3, 3);
    User(L"EnableSystem", 7);
    const BYTE binary[4] = {0, 0, 0, 2};
    RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"RenameBeforeDelete", REG_BINARY, binary, sizeof binary);
    SetDword(HKEY_USERS, defaultUser, L"EnableReadOnly", 0);
    SetDword(HKEY_USERS, defaultUser, L"EnableSystem", 0);
    Load();
    EXPECT_EQ(Loaded(), (Values{0, 1, 1, 1, 4}));
    User(L"EnableSystem", 0);
    User(L"RenameBeforeDelete", 0);
    Load();
    EXPECT_EQ(Loaded(), (Values{0, 0, 0, 1, 4}));
}

TEST_F(Options, DefaultCipherIsTheMachinesRawNumberWithoutAUserFallback) {
    User(L"DefaultCipher", 9);
    MachineCipher(0x12345678);
    Load();
    EXPECT_EQ(Loaded()[4], 0x12345678u);
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kCipherKey, L"DefaultCipher");
    Load();
    EXPECT_EQ(Loaded()[4], 0x12345678u) << "a missing value keeps the current one";
    MachineCipher(4);
    Load();
    EXPECT_EQ(Loaded()[4], 4u);
}

// Setting changes only the masked options. Loading never touches the error
// state, always clears the reboot flag, and without a key path keeps the
// user options.
TEST_F(Options, SettingIsMaskedAndLoadingClearsTheRebootFlagOnly) {
    EXPECT_EQ(SetOperOptions(2, 2), 1);
    EXPECT_EQ(Loaded(), (Values{1, 1, 1, 0, 4}));
    EXPECT_EQ(SetOperOptions(~2u, 1), 1);
    EXPECT_EQ(Loaded(), (Values{1, 1, 1, 1, 4}));
    MachineCipher(77);
    oper::g_options.rebootRequired = 1;
    oper::SetOperError(oper::kErrFreeSpace);
    EXPECT_EQ(LoadOperOptions(nullptr), 1);
    EXPECT_EQ(Loaded(), (Values{1, 1, 1, 1, 77}));
    EXPECT_EQ(IsRebootRequired(), 0u);
    oper::g_options.rebootRequired = 1;
    Load();
    EXPECT_EQ(IsRebootRequired(), 0u);
    EXPECT_EQ(GetOperErrorCode(), static_cast<uint32_t>(oper::kErrFreeSpace));
}

}  // namespace
