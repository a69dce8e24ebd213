// The built binaries as a host machine sees them: x86-64 PE images that
// import only system DLLs and the product's libraries, and a library that
// exports exactly the functions that exist, at their ordinals.
#include <gtest/gtest.h>
#include <windows.h>

#include <dbghelp.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

// A PE file of build/bin as it lies on disk.
class PeFile {
public:
    explicit PeFile(const wchar_t* name) : bytes_(testing_support::ReadFileBytes(testing_support::BinDir() + name)) {
        nt_ = bytes_.size() > sizeof(IMAGE_DOS_HEADER) ? ImageNtHeader(&bytes_[0]) : nullptr;
    }
    const IMAGE_NT_HEADERS64* nt() const { return nt_; }

    // Per imported DLL (lower case), the ordinal of each import, or 0 for an
    // import by name.
    std::map<std::string, std::vector<DWORD>> Imports() {
        std::map<std::string, std::vector<DWORD>> imports;
        for (auto* d = Directory<IMAGE_IMPORT_DESCRIPTOR>(IMAGE_DIRECTORY_ENTRY_IMPORT); d && d->Name; ++d) {
            std::string name = At<char>(d->Name);
            std::transform(name.begin(), name.end(), name.begin(), ::tolower);
            for (auto* t = At<IMAGE_THUNK_DATA64>(d->OriginalFirstThunk); t && t->u1.AddressOfData; ++t)
                imports[name].push_back(IMAGE_SNAP_BY_ORDINAL64(t->u1.Ordinal) ? IMAGE_ORDINAL64(t->u1.Ordinal) : 0);
        }
        return imports;
    }

    // Ordinal to name; the name is empty for an export by ordinal only.
    std::map<DWORD, std::string> Exports() {
        std::map<DWORD, std::string> exports;
        const auto* dir = Directory<IMAGE_EXPORT_DIRECTORY>(IMAGE_DIRECTORY_ENTRY_EXPORT);
        if (!dir) return exports;
        for (DWORD i = 0; i < dir->NumberOfFunctions; ++i)
            if (At<DWORD>(dir->AddressOfFunctions)[i]) exports[dir->Base + i];
        for (DWORD j = 0; j < dir->NumberOfNames; ++j)
            exports[dir->Base + At<WORD>(dir->AddressOfNameOrdinals)[j]] = At<char>(At<DWORD>(dir->AddressOfNames)[j]);
        return exports;
    }

private:
    template <typename T>
    const T* At(DWORD rva) {
        return rva ? static_cast<const T*>(ImageRvaToVa(nt_, &bytes_[0], rva, nullptr)) : nullptr;
    }
    template <typename T>
    const T* Directory(USHORT entry) {
        ULONG size = 0;
        return static_cast<const T*>(ImageDirectoryEntryToData(&bytes_[0], FALSE, entry, &size));
    }

    std::string bytes_;
    IMAGE_NT_HEADERS64* nt_;
};

// What a Windows machine has, and the product's own libraries.
const std::set<std::string> kAllowedImports = {
    "kernel32.dll", "msvcrt.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shlwapi.dll", "shell32.dll", "rpcrt4.dll",
    "comctl32.dll", "ole32.dll", "oleaut32.dll", "comdlg32.dll", "version.dll", "api-ms-win-crt-runtime-l1-1-0.dll",
    "tzdevio.dll", "tzrtl.dll", "tzevtlog.dll", "varendb.dll"};

TEST(Binaries, AreX64ImagesImportingOnlySystemAndProductLibraries) {
    for (const wchar_t* name : {L"fileoper.dll", L"docman.exe", L"TzDevIo.dll", L"TzRtl.dll"}) {
        PeFile pe(name);
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        ASSERT_NE(pe.nt(), nullptr);
        EXPECT_EQ(std::make_pair(pe.nt()->FileHeader.Machine, pe.nt()->OptionalHeader.Magic),
                  std::make_pair(WORD(IMAGE_FILE_MACHINE_AMD64), WORD(IMAGE_NT_OPTIONAL_HDR64_MAGIC)));
        for (const auto& dll : pe.Imports()) EXPECT_TRUE(kAllowedImports.count(dll.first)) << "imports " << dll.first;
    }
}

// The driver's and the run-time library are bound by ordinal only, as a host
// machine provides them: the stand-ins' own test helpers have names, which a
// host's libraries lack.
TEST(ProductImports, AreBoundByOrdinalOnly) {
    PeFile library(L"fileoper.dll");
    ASSERT_NE(library.nt(), nullptr);
    auto imports = library.Imports();
    for (const char* dll : {"tzdevio.dll", "tzrtl.dll"}) {
        EXPECT_FALSE(imports[dll].empty()) << dll;
        for (DWORD ordinal : imports[dll]) EXPECT_NE(ordinal, 0u) << dll << " import by name";
    }
}

// Ordinal 1 alone carries a name; the rest are reached by ordinal only.
TEST(ExportTable, HoldsExactlyTheImplementedFunctionsByOrdinal) {
    std::map<DWORD, std::string> expected = {{1, "ShowOperationStatus"}};
    for (DWORD ordinal :
         {2, 3, 4, 5, 100, 101, 102, 103, 104, 105, 110, 111, 120, 200, 201, 202, 203, 204, 205, 210, 211, 220})
        expected[ordinal];
    EXPECT_EQ(PeFile(L"fileoper.dll").Exports(), expected);
}

}  // namespace
