// The library's manifest: its dialogs, created under the activation context
// built from it, get their controls from Common Controls 6 (the themed ones).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "framework/activation.h"
#include "tests/resources/resource_reader.h"

using namespace resources_test;

namespace {

INT_PTR CALLBACK PlainDialog(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// The file of the module whose code handles a window's messages. Comctl32 6
// reports version 5.81 under Wine, so its file is the reliable witness.
std::wstring WindowProcModule(HWND window) {
    auto proc = reinterpret_cast<LPCWSTR>(GetWindowLongPtrW(window, GWLP_WNDPROC));
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            proc, &module))
        return L"";
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    std::wstring file(path, length);
    for (wchar_t& c : file) c = towlower(c);
    return file;
}

TEST(Manifest, DialogControlsComeFromCommonControls6) {
    fw::ModuleActivation activation(Library());
    ASSERT_TRUE(activation.active()) << GetLastError();
    std::vector<BYTE> bytes = ResourceBytes(Library(), RT_DIALOG, 1000, kEnglish);
    ASSERT_FALSE(bytes.empty());
    HWND dialog = CreateDialogIndirectParamW(Library(), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), nullptr,
                                             PlainDialog, 0);
    ASSERT_NE(dialog, nullptr) << GetLastError();
    for (int id : {1031, 1033, 1005}) {
        const std::wstring owner = WindowProcModule(GetDlgItem(dialog, id));
        EXPECT_NE(owner.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6.0."), std::wstring::npos)
            << id << ": " << testing::internal::String::ShowWideCString(owner.c_str());
    }
    DestroyWindow(dialog);
}

}  // namespace
