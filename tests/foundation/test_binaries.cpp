// The built binaries as a host machine sees them: x86-64 PE images that
// import only system DLLs and the product's libraries, and a library that
// exports exactly the functions that exist, at their ordinals.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

// A PE file read from disk, its RVAs resolved through the section table.
class PeFile {
public:
    explicit PeFile(const std::wstring& path) : bytes_(testing_support::ReadFileBytes(path)) {
        if (bytes_.size() < sizeof(IMAGE_DOS_HEADER)) return;
        auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes_.data());
        if (dos->e_magic != IMAGE_DOS_SIGNATURE) return;
        nt_ = reinterpret_cast<const IMAGE_NT_HEADERS64*>(bytes_.data() + dos->e_lfanew);
        if (nt_->Signature != IMAGE_NT_SIGNATURE) nt_ = nullptr;
    }

    bool valid() const { return nt_ != nullptr; }
    WORD machine() const { return nt_->FileHeader.Machine; }
    WORD magic() const { return nt_->OptionalHeader.Magic; }

    // Per imported DLL (lower case), the ordinal of each import, or 0 for an
    // import by name.
    std::map<std::string, std::vector<DWORD>> Imports() const {
        std::map<std::string, std::vector<DWORD>> imports;
        auto* desc = At<IMAGE_IMPORT_DESCRIPTOR>(Directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress);
        for (; desc && desc->Name; ++desc) {
            std::string name = At<char>(desc->Name);
            std::transform(name.begin(), name.end(), name.begin(), ::tolower);
            std::vector<DWORD>& ordinals = imports[name];
            auto* thunk = At<IMAGE_THUNK_DATA64>(desc->OriginalFirstThunk ? desc->OriginalFirstThunk : desc->FirstThunk);
            for (; thunk && thunk->u1.AddressOfData; ++thunk)
                ordinals.push_back(IMAGE_SNAP_BY_ORDINAL64(thunk->u1.Ordinal) ? IMAGE_ORDINAL64(thunk->u1.Ordinal) : 0);
        }
        return imports;
    }

    struct Export {
        DWORD ordinal;
        std::string name;  // empty when exported by ordinal only
        bool operator<(const Export& o) const { return ordinal < o.ordinal; }
    };

    std::vector<Export> Exports() const {
        std::vector<Export> out;
        auto* dir = At<IMAGE_EXPORT_DIRECTORY>(Directory(IMAGE_DIRECTORY_ENTRY_EXPORT).VirtualAddress);
        if (!dir) return out;
        auto* functions = At<DWORD>(dir->AddressOfFunctions);
        auto* names = At<DWORD>(dir->AddressOfNames);
        auto* nameOrdinals = At<WORD>(dir->AddressOfNameOrdinals);
        for (DWORD i = 0; i < dir->NumberOfFunctions; ++i) {
            if (functions[i] == 0) continue;
            Export e{dir->Base + i, {}};
            for (DWORD j = 0; j < dir->NumberOfNames; ++j)
                if (nameOrdinals[j] == i) e.name = At<char>(names[j]);
            out.push_back(e);
        }
        return out;
    }

private:
    const IMAGE_DATA_DIRECTORY& Directory(int index) const { return nt_->OptionalHeader.DataDirectory[index]; }

    template <typename T>
    const T* At(DWORD rva) const {
        if (rva == 0) return nullptr;
        auto* section = IMAGE_FIRST_SECTION(nt_);
        for (WORD i = 0; i < nt_->FileHeader.NumberOfSections; ++i, ++section) {
            DWORD size = std::max(section->Misc.VirtualSize, section->SizeOfRawData);
            if (rva >= section->VirtualAddress && rva < section->VirtualAddress + size)
                return reinterpret_cast<const T*>(bytes_.data() + section->PointerToRawData +
                                                  (rva - section->VirtualAddress));
        }
        return nullptr;
    }

    std::string bytes_;
    const IMAGE_NT_HEADERS64* nt_ = nullptr;
};

// What a Windows machine has, and the product's own libraries.
const std::set<std::string> kAllowedImports = {
    "kernel32.dll", "msvcrt.dll",   "user32.dll",  "gdi32.dll",    "advapi32.dll",
    "shlwapi.dll",  "shell32.dll",  "rpcrt4.dll",  "comctl32.dll", "ole32.dll",
    "oleaut32.dll", "comdlg32.dll", "version.dll", "tzdevio.dll",  "tzrtl.dll",
    "tzevtlog.dll", "varendb.dll",  "api-ms-win-crt-runtime-l1-1-0.dll",
};

class Binaries : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(Binaries, AreX64ImagesImportingOnlySystemAndProductLibraries) {
    PeFile pe(testing_support::BinDir() + GetParam());
    ASSERT_TRUE(pe.valid());
    EXPECT_EQ(pe.machine(), IMAGE_FILE_MACHINE_AMD64);
    EXPECT_EQ(pe.magic(), IMAGE_NT_OPTIONAL_HDR64_MAGIC);
    for (const auto& dll : pe.Imports()) EXPECT_TRUE(kAllowedImports.count(dll.first)) << "imports " << dll.first;
}

INSTANTIATE_TEST_SUITE_P(Built, Binaries,
                         ::testing::Values(L"fileoper.dll", L"docman.exe", L"TzDevIo.dll", L"TzRtl.dll"));

// The driver's and the run-time library are bound by ordinal only, as a
// host machine provides them; the functions used are a subset of the ones
// the stand-ins export by ordinal only (their own test helpers have names).
TEST(ProductImports, AreBoundByOrdinalToExportsOfTheStandIns) {
    PeFile library(testing_support::BinDir() + L"fileoper.dll");
    ASSERT_TRUE(library.valid());
    const struct {
        const wchar_t* file;
        const char* dll;
        std::set<DWORD> ordinals;
    } cases[] = {{L"TzDevIo.dll", "tzdevio.dll", {160, 161, 170, 171, 180, 181, 200, 400, 402}},
                 {L"TzRtl.dll", "tzrtl.dll", {1100, 1120, 1121, 1200}}};
    for (const auto& c : cases) {
        PeFile standin(testing_support::BinDir() + c.file);
        ASSERT_TRUE(standin.valid());
        std::set<DWORD> exported;
        for (const PeFile::Export& e : standin.Exports())
            if (e.name.empty()) exported.insert(e.ordinal);
        EXPECT_EQ(exported, c.ordinals) << c.dll;
        const std::vector<DWORD> imported = library.Imports()[c.dll];
        EXPECT_FALSE(imported.empty()) << c.dll;
        for (DWORD ordinal : imported) EXPECT_TRUE(exported.count(ordinal)) << c.dll << " import " << ordinal;
    }
}

TEST(ExportTable, HoldsExactlyTheImplementedFunctionsByOrdinal) {
    PeFile pe(testing_support::BinDir() + L"fileoper.dll");
    ASSERT_TRUE(pe.valid());
    std::vector<PeFile::Export> exports = pe.Exports();
    std::sort(exports.begin(), exports.end());

    // Ordinal 1 alone carries a name; the rest are reached by ordinal only.
    const std::vector<PeFile::Export> expected = {
        {1, "ShowOperationStatus"}, {2, ""}, {3, ""},   {4, ""},   {5, ""},   {100, ""}, {101, ""}, {102, ""}, {103, ""},
        {104, ""}, {105, ""}, {110, ""}, {111, ""}, {120, ""}, {200, ""}, {201, ""}, {202, ""},
        {203, ""}, {204, ""}, {205, ""}, {210, ""}, {211, ""}, {220, ""},
    };
    ASSERT_EQ(exports.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(exports[i].ordinal, expected[i].ordinal);
        EXPECT_EQ(exports[i].name, expected[i].name) << "ordinal " << exports[i].ordinal;
    }
}

}  // namespace
