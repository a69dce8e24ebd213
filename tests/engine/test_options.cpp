// The options in the real registry: defaults, the default user's fall-back,
// "any non-zero is 1", the machine's DefaultCipher, and values found nowhere.
#include <gtest/gtest.h>

#include <array>

#include "engine/options.h"
#include "exports/error_state.h"
#include "fileoper.h"
#include "tests/support/product.h"

namespace {

using testing_support::TestOptions;

constexpr wchar_t kCipherKey[] = L"System\\CurrentControlSet\\Services\\TzDorvan\\Parameters";
// The test's option key as the default user's.
const std::wstring kDefaultUserKey = L".Default\\" + std::wstring(TestOptions::kKey);

// EnableReadOnly, EnableSystem, RenameBeforeDelete, DecryptAfterReboot,
// DefaultCipher as loaded.
using Values = std::array<uint32_t, 5>;
Values Loaded() {
    const oper::OperOptions& o = const_cast<const oper::OperOptions&>(oper::g_options);
    return {o.enableReadOnly, o.enableSystem, o.renameBeforeDelete, o.decryptAfterReboot, o.defaultCipher};
}

void SetValue(HKEY root, const std::wstring& key, const wchar_t* name, DWORD value, DWORD type = REG_DWORD) {
    ASSERT_EQ(RegSetKeyValueW(root, key.c_str(), name, type, &value, sizeof value), ERROR_SUCCESS);
}
void MachineCipher(DWORD value) { SetValue(HKEY_LOCAL_MACHINE, kCipherKey, L"DefaultCipher", value); }

// The machine's DefaultCipher is absent during a test and put back
// afterwards; the user keys go, their defaults loaded again.
class Options : public ::testing::Test {
protected:
    void SetUp() override {
        DWORD size = sizeof savedCipher;
        hadCipher = RegGetValueW(HKEY_LOCAL_MACHINE, kCipherKey, L"DefaultCipher", RRF_RT_ANY, nullptr, &savedCipher,
                                 &size) == ERROR_SUCCESS;
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kCipherKey, L"DefaultCipher");
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_USERS, kDefaultUserKey.c_str());
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kCipherKey, L"DefaultCipher");
        if (hadCipher) MachineCipher(savedCipher);
    }

    DWORD savedCipher = 0;
    bool hadCipher = false;
    TestOptions options;
};

// Declared first: gtest runs a file's tests in order, and the defaults are
// the library's values as loaded. Setting changes only the masked options.
// Loading never touches the error state, always clears the reboot flag, and
// without a key path keeps the user options.
TEST_F(Options, DefaultsThenMaskedSettingsAndLoadsThatClearOnlyTheRebootFlag) {
    EXPECT_EQ(Loaded(), (Values{1, 1, 0, 0, 4}));
    EXPECT_EQ(IsRebootRequired(), 0u);
    EXPECT_EQ(options.Load(), 1);
    EXPECT_EQ(Loaded(), (Values{1, 1, 0, 0, 4}));
    EXPECT_EQ(SetOperOptions(2, 2), 1);
    EXPECT_EQ(Loaded(), (Values{1, 1, 1, 0, 4}));
    EXPECT_EQ(SetOperOptions(~2u, 1), 1);
    EXPECT_EQ(Loaded(), (Values{1, 1, 1, 1, 4}));
    MachineCipher(77);
    oper::g_options.rebootRequired = 1, oper::SetOperError(oper::kErrFreeSpace);
    EXPECT_EQ(LoadOperOptions(nullptr), 1);
    EXPECT_EQ(Loaded(), (Values{1, 1, 1, 1, 77}));
    EXPECT_EQ(IsRebootRequired(), 0u);
    oper::g_options.rebootRequired = 1;
    options.Load();
    EXPECT_EQ(IsRebootRequired(), 0u);
    EXPECT_EQ(GetOperErrorCode(), static_cast<uint32_t>(oper::kErrFreeSpace));
}

// Any non-zero value of any type is 1; the default user's value stands in
// for a missing one, and a value found nowhere keeps the current setting.
// DefaultCipher is the machine's raw number, without a fall-back.
TEST_F(Options, AnyNonZeroIsOneWithTheDefaultUserAsFallBackAndTheMachinesCipher) {
    SetOperOptions(3, 3);
    options.Set(L"EnableSystem", 7);
    options.Set(L"DefaultCipher", 9);
    SetValue(HKEY_CURRENT_USER, TestOptions::kKey, L"RenameBeforeDelete", 0x02000000, REG_BINARY);
    SetValue(HKEY_USERS, kDefaultUserKey, L"EnableReadOnly", 0);
    SetValue(HKEY_USERS, kDefaultUserKey, L"EnableSystem", 0);
    MachineCipher(0x12345678);
    options.Load();
    EXPECT_EQ(Loaded(), (Values{0, 1, 1, 1, 0x12345678}));
    options.Set(L"EnableSystem", 0);
    options.Set(L"RenameBeforeDelete", 0);
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kCipherKey, L"DefaultCipher");
    options.Load();
    EXPECT_EQ(Loaded(), (Values{0, 0, 0, 1, 0x12345678}));
}

}  // namespace
