#include "ui/preparation_scan.h"

#include <string>

#include "engine/long_path.h"
#include "engine/windows_dir.h"
#include "operation/operation_state.h"
#include "operation/run_dialog.h"
#include "ui/progress_dialog.h"

namespace oper {

namespace {

bool ScanStopped() { return g_state.runState == kCancelRequested || g_state.runState == kFinished; }

// An encryption in place leaves the system's own folder alone, so the scan
// does not count it either.
bool SkipsWindowsDirectory(const RequestView& request) {
    return request.Kind() == kKindEncrypt && !(request.Flags() & kFlagToDestination);
}

bool IsDots(const wchar_t* name) { return name[0] == L'.' && (!name[1] || (name[1] == L'.' && !name[2])); }

// One walk over a folder tree. The path and the find data are shared by all
// levels, so that a level of recursion holds only its find handle and two
// lengths: a tree thousands of folders deep fits the thread's default stack.
class FolderScan {
public:
    FolderScan(const wchar_t* folder, bool skipWindows) : path_(folder), skipWindows_(skipWindows) {}

    uint64_t Scan() {
        if (skipWindows_ && IsUnderWindowsDirectory(path_.c_str())) return 0;
        const size_t folderLength = path_.size();
        if (path_.empty() || path_.back() != L'\\') path_ += L'\\';
        const size_t entryStart = path_.size();
        path_ += L"*.*";
        const fw::FindHandle search = StartSearch();
        path_.resize(entryStart);
        uint64_t sum = 0;
        for (bool more = search.valid(); more && !ScanStopped(); more = FindNextFileW(search.get(), &found_)) {
            if (IsDots(found_.cFileName)) continue;
            ++g_state.fileTotal;
            if (found_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                path_ += found_.cFileName;
                sum += Scan();
                path_.resize(entryStart);
            } else {
                sum += RoundedSize(found_.nFileSizeHigh, found_.nFileSizeLow);
            }
        }
        path_.resize(folderLength);
        return sum;
    }

private:
    // The long form is built here rather than through the wrappers: the scan
    // must not touch the module error state the worker reports from.
    fw::FindHandle StartSearch() {
        const fw::HeapBlock<wchar_t> pattern = MakeLongPath(path_.c_str());
        if (!pattern) return fw::FindHandle();
        return fw::FindHandle(FindFirstFileW(pattern.get(), &found_));
    }

    std::wstring path_;
    WIN32_FIND_DATAW found_ = {};
    const bool skipWindows_;
};

uint64_t ItemSize(const wchar_t* item, const RequestView& request) {
    if (SkipsWindowsDirectory(request) && IsUnderWindowsDirectory(item)) return 0;
    const fw::HeapBlock<wchar_t> path = MakeLongPath(item);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!path || !GetFileAttributesExW(path.get(), GetFileExInfoStandard, &data)) return 0;
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return RoundedSize(data.nFileSizeHigh, data.nFileSizeLow);
    return (request.Flags() & kFlagNoDescent) ? 0 : ScanFolderSize(item);
}

}  // namespace

uint64_t ScanFolderSize(const wchar_t* folder) {
    return FolderScan(folder, SkipsWindowsDirectory(RequestView(g_state.request))).Scan();
}

// The notice is the scan's last act: the dialog cannot end before it has
// handled it, and the call waits for this thread before the dialog goes.
DWORD WINAPI PreparationScan(void* dialog) {
    const HWND window = static_cast<CDlgopstatus*>(dialog)->Window();
    const RequestView request(g_state.request);
    // A count of 0 or less means no items.
    if (g_state.request->itemCount > 0) g_state.fileTotal += static_cast<uint32_t>(g_state.request->itemCount);
    uint64_t sum = 0;
    bool stopped = false;
    request.ForEachItem([&](const wchar_t* item) {
        stopped = stopped || ScanStopped();
        if (!stopped) sum += ItemSize(item, request);
    });
    g_state.totalBytes = sum;
    PostMessageW(window, WM_OPER_NOTIFY, 0, 1);
    return 0;
}

}  // namespace oper
