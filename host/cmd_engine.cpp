// The file engine's commands: options, descriptors, folder marks, and the
// marks the driver's library reports.
#include <windows.h>
#include <shlwapi.h>

#include <cstring>
#include <string>

#include "host/commands.h"
#include "host/product_library.h"
#include "fileoper.h"

namespace docman {
namespace {

using LoadOperOptionsFn = int(WINAPI*)(const char*);
using IsRebootRequiredFn = uint32_t(WINAPI*)();
using BuildEncryptInfoWFn = BOOL(WINAPI*)(const wchar_t*, ENCRYPT_INFO*);
using EncryptFolderWFn = BOOL(WINAPI*)(const wchar_t*, ENCRYPT_INFO*);
using DecryptFolderWFn = BOOL(WINAPI*)(const wchar_t*);
using IsEncryptedWFn = int(WINAPI*)(const wchar_t*, int);
using ReadMarkWFn = int(WINAPI*)(const wchar_t*, ENCRYPT_INFO*, uint32_t*);
using StorePathWFn = uint32_t(WINAPI*)(wchar_t*, uint32_t);
using MakeVendorKeyAFn = int(WINAPI*)(const char*, char*);

constexpr WORD kLoadOperOptions = 3;
constexpr WORD kIsRebootRequired = 4;
constexpr WORD kDecryptFolderW = 211;
constexpr WORD kEncryptFolderW = 210;
constexpr WORD kBuildEncryptInfoW = 220;
constexpr WORD kDevIoIsEncryptedW = 161;
constexpr WORD kMakeVendorKeyA = 1120;
constexpr char kOptionsName[] = "TzVozAdu\\Option";
constexpr wchar_t kCipherKey[] = L"System\\CurrentControlSet\\Services\\TzDorvan\\Parameters";

std::wstring Hex(const uint8_t* bytes, size_t size) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring out;
    for (size_t i = 0; i < size; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out;
}

std::wstring CipherName(const ENCRYPT_INFO& info) {
    return Wide(std::string(info.cipherName, strnlen(info.cipherName, sizeof info.cipherName)));
}

void ShowDescriptor(Output& out, const ENCRYPT_INFO& info) {
    out.Field("size", static_cast<uint64_t>(info.size));
    out.Hex("flags", info.flags);
    out.Field("cipher_id", static_cast<uint64_t>(info.cipherId));
    out.Field("cipher", CipherName(info));
    out.Field("cipher_block", Hex(info.cipherBlock, sizeof info.cipherBlock));
    out.Field("device_block", Hex(info.deviceBlock, sizeof info.deviceBlock));
}

// Where a user option comes from: the user's key, the default user's, or
// nowhere (the library then keeps its current value).
bool ReadOption(HKEY root, const std::wstring& key, const wchar_t* name, DWORD& value) {
    DWORD size = sizeof value;
    return SHGetValueW(root, key.c_str(), name, nullptr, &value, &size) == ERROR_SUCCESS;
}

void ShowUserOption(Output& out, const std::wstring& key, const wchar_t* name) {
    DWORD value = 0;
    const char* source = "absent";
    if (ReadOption(HKEY_CURRENT_USER, key, name, value)) {
        source = "HKEY_CURRENT_USER";
    } else if (ReadOption(HKEY_USERS, L".Default\\" + key, name, value)) {
        source = "HKEY_USERS\\.Default";
    }
    out.Record();
    out.Field("option", name);
    out.Field("source", source);
    if (strcmp(source, "absent") != 0) out.Flag("value", value != 0);
}

std::string Ansi(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
    return out;
}

int Options(Invocation& inv) {
    if (inv.args.size() > 1) return kExitUsage;
    auto loadOperOptions = Require<LoadOperOptionsFn>(inv, kLoadOperOptions);
    auto isRebootRequired = Require<IsRebootRequiredFn>(inv, kIsRebootRequired);
    if (!loadOperOptions || !isRebootRequired) return kExitFailed;

    std::string key;
    if (!inv.args.empty()) {
        key = Ansi(inv.args[0]);
    } else {
        ProductLibrary rtl(L"TzRtl.dll");
        auto makeVendorKeyA = rtl.Get<MakeVendorKeyAFn>(MAKEINTRESOURCEA(kMakeVendorKeyA));
        char vendorKey[MAX_PATH];
        if (!makeVendorKeyA || !makeVendorKeyA(kOptionsName, vendorKey)) {
            inv.out.Field("error", L"cannot build the options key with TzRtl.dll");
            return kExitFailed;
        }
        key = vendorKey;
    }
    const std::wstring wideKey = inv.args.empty() ? std::wstring(key.begin(), key.end()) : inv.args[0];
    inv.out.Field("key", wideKey);
    inv.out.Field("loaded", static_cast<uint64_t>(loadOperOptions(key.c_str())));
    inv.out.Flag("reboot_required", isRebootRequired() != 0);
    for (const wchar_t* name : {L"EnableReadOnly", L"EnableSystem", L"RenameBeforeDelete", L"DecryptAfterReboot"})
        ShowUserOption(inv.out, wideKey, name);

    DWORD cipher = 0;
    inv.out.Record();
    inv.out.Field("option", "DefaultCipher");
    if (ReadOption(HKEY_LOCAL_MACHINE, kCipherKey, L"DefaultCipher", cipher)) {
        inv.out.Field("source", "HKEY_LOCAL_MACHINE");
        inv.out.Field("value", static_cast<uint64_t>(cipher));
    } else {
        inv.out.Field("source", "absent");
    }
    return kExitOk;
}

int BuildInfo(Invocation& inv) {
    if (inv.args.size() > 1) return kExitUsage;
    auto buildEncryptInfoW = Require<BuildEncryptInfoWFn>(inv, kBuildEncryptInfoW);
    if (!buildEncryptInfoW) return kExitFailed;
    ENCRYPT_INFO info = {};
    const BOOL built = buildEncryptInfoW(inv.args.empty() ? nullptr : inv.args[0].c_str(), &info);
    inv.out.Field("result", static_cast<uint64_t>(built));
    if (!built) return kExitFailed;
    ShowDescriptor(inv.out, info);
    return kExitOk;
}

int EncryptFolder(Invocation& inv) {
    if (inv.args.size() != 1) return kExitUsage;
    auto buildEncryptInfoW = Require<BuildEncryptInfoWFn>(inv, kBuildEncryptInfoW);
    auto encryptFolderW = Require<EncryptFolderWFn>(inv, kEncryptFolderW);
    if (!buildEncryptInfoW || !encryptFolderW) return kExitFailed;
    ENCRYPT_INFO info = {};
    if (!buildEncryptInfoW(inv.args[0].c_str(), &info)) {
        inv.out.Field("error", L"no descriptor: the driver lists no selectable cipher");
        return kExitFailed;
    }
    inv.out.Field("path", inv.args[0]);
    inv.out.Field("cipher", CipherName(info));
    return ReportCall(inv, encryptFolderW(inv.args[0].c_str(), &info));
}

int DecryptFolder(Invocation& inv) {
    if (inv.args.size() != 1) return kExitUsage;
    auto decryptFolderW = Require<DecryptFolderWFn>(inv, kDecryptFolderW);
    if (!decryptFolderW) return kExitFailed;
    inv.out.Field("path", inv.args[0]);
    return ReportCall(inv, decryptFolderW(inv.args[0].c_str()));
}

int Status(Invocation& inv) {
    if (inv.args.empty()) return kExitUsage;
    ProductLibrary devio(L"TzDevIo.dll");
    auto isEncryptedW = devio.Get<IsEncryptedWFn>(MAKEINTRESOURCEA(kDevIoIsEncryptedW));
    if (!isEncryptedW) {
        inv.out.Field("error", L"cannot load TzDevIo.dll");
        return kExitFailed;
    }
    // The stand-in also tells which store it reads and what a mark records.
    auto readMarkW = devio.Get<ReadMarkWFn>("TzDevIoReadMarkW");
    auto storePathW = devio.Get<StorePathWFn>("TzDevIoStorePathW");
    wchar_t store[MAX_PATH];
    if (storePathW && storePathW(store, MAX_PATH)) inv.out.Field("store", store);

    for (const std::wstring& path : inv.args) {
        inv.out.Record();
        inv.out.Field("path", path);
        inv.out.Flag("encrypted", isEncryptedW(path.c_str(), 0) != 0);
        ENCRYPT_INFO info = {};
        uint32_t isFolder = 0;
        if (!readMarkW || !readMarkW(path.c_str(), &info, &isFolder)) continue;
        inv.out.Field("object", isFolder ? "folder" : "file");
        inv.out.Field("cipher", CipherName(info));
        inv.out.Field("cipher_id", static_cast<uint64_t>(info.cipherId));
        inv.out.Hex("flags", info.flags);
    }
    return kExitOk;
}

CommandRegistration options({L"options", L"[KEY]", Options});
CommandRegistration buildInfo({L"build-info", L"[PATH]", BuildInfo});
CommandRegistration encryptFolder({L"encrypt-folder", L"PATH", EncryptFolder});
CommandRegistration decryptFolder({L"decrypt-folder", L"PATH", DecryptFolder});
CommandRegistration status({L"status", L"PATH...", Status});

}  // namespace
}  // namespace docman
