// Whole runs, one after another until killed (see test_run_crash.cpp):
//   run_crash_worker encrypt|wipe|decrypt|move SOURCE DESTINATION EVENT-HANDLE
// The inherited event is set when the first run meant to be killed begins.
// The filter model puts the bytes on disk as the filter would.
#include <windows.h>

#include <string>
#include <vector>

#include "fileoper.h"
#include "host/request_block.h"
#include "tests/support/filter_model.h"
#include "tests/support/product.h"

namespace {

std::vector<std::wstring> Items(const std::wstring& folder) {
    std::vector<std::wstring> items;
    for (const std::wstring& name : testing_support::ListFolder(folder)) items.push_back(folder + L"\\" + name);
    return items;
}

void Run(uint32_t kind, uint32_t flags, const std::wstring& from, const std::wstring& to = L"") {
    docman::RunRequest request;
    request.kind = kind;
    request.flags = flags | FILEOPER_CHOICE_CONTINUE | FILEOPER_FLAG_CLOSE_AT_END |
                    (to.empty() ? 0 : FILEOPER_FLAG_TO_DESTINATION | FILEOPER_FLAG_MOVE);
    request.destination = to;
    request.items = Items(from);
    BuildEncryptInfoW(nullptr, &request.info);
    if (!request.items.empty()) ShowOperationStatus(docman::AsRequest(docman::BuildRequestBlock(request)), nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) return 2;
    const std::wstring mode = argv[1], source = argv[2], destination = argv[3];
    HANDLE started = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(_wcstoui64(argv[4], nullptr, 10)));
    testing_support::FilterModel filter;
    const uint32_t wipe = mode == L"wipe" ? FILEOPER_FLAG_WIPE : 0;
    if (mode == L"decrypt") Run(0, 0, source);
    SetEvent(started);
    for (;;) {
        if (mode == L"move") {
            Run(0, 0, source, destination);
            Run(1, 0, destination, source);
        } else {
            if (mode != L"decrypt") Run(0, wipe, source);
            Run(1, 0, source);
            if (mode == L"decrypt") Run(0, 0, source);
        }
    }
}
