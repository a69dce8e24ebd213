// The boot file test behind code 20 of the in-place encryption.
#include <gtest/gtest.h>

#include <string>

#include "engine/system_guard.h"

namespace {

struct BootCase {
    const char* path;
    int expected;
};

// Boot file names in a drive root, any case, ".." resolved; streams always.
const BootCase kCases[] = {
    {"C:\\NTLDR", 1},           {"C:\\BOOTMGR.efi", 1},     {"c:\\boot.ini", 1},
    {"D:\\Ntdetect.com", 1},    {"C:\\bootsect.DOS", 1},    {"C:\\ntbootdd.sys", 1},
    {"C:\\bootmgr", 1},         {"C:\\a\\..\\a\\..\\ntldr", 1}, {"C:\\Windows\\NTLDR", 0},
    {"\\\\server\\share\\NTLDR", 0}, {"C:\\NTLDR.bak", 0},     {"C:\\bootmgr.efi.old", 0},
    {"C:\\report.txt", 0},      {"C:\\", 0},                {"C:\\data\\", 0},
    {"C:\\data\\file.txt:stream", 1}, {"C:\\file.txt:stream", 1},
};

TEST(BootFiles, AreRecognisedInDriveRootsOnlyAndStreamsAlways) {
    for (const BootCase& c : kCases) {
        EXPECT_EQ(oper::IsBootFileA(c.path), c.expected) << c.path;
        const std::string narrow = c.path;
        const std::wstring wide(narrow.begin(), narrow.end());
        EXPECT_EQ(oper::IsBootFileW(wide.c_str()), c.expected) << c.path;
    }
    // Beyond the narrow buffer a wide path is not one, wherever it leads.
    std::wstring wide = L"C:\\";
    for (int i = 0; i < 70; ++i) wide += L"a\\..\\";
    EXPECT_EQ(oper::IsBootFileW((wide + L"NTLDR").c_str()), 0);
}

}  // namespace
