#pragma once
// A whole run through ShowOperationStatus while a second thread plays the
// user on the dialogs it opens.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fileoper.h"
#include "host/request_block.h"

namespace ui_test {

constexpr wchar_t kCaption[] = L"Document Manager";
constexpr int kStatusList = 1031;
constexpr int kErrorList = 1032;

struct RunEnd {
    const OperationRequest* request = nullptr;  // gone with the run: an address to compare only
    uint64_t results[FILEOPER_RESULT_SLOTS] = {};
    uint32_t Low(int slot) const { return static_cast<uint32_t>(results[slot]); }
    uint32_t High(int slot) const { return static_cast<uint32_t>(results[slot] >> 32); }
};

// An encryption (kind 0) or decryption (1) of items; ENCRYPT_INFO is built
// for a file.
docman::RunRequest Request(uint32_t kind, uint32_t flags, const std::vector<std::wstring>& items,
                           const std::wstring& destination = L"");

// Runs the request; `user` runs on a second thread meanwhile and is joined
// before this returns.
RunEnd RunWithUser(const docman::RunRequest& request, const std::function<void()>& user);

}  // namespace ui_test
