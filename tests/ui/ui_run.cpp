#include "tests/ui/ui_run.h"

#include <thread>

namespace ui_test {

docman::RunRequest Request(uint32_t kind, uint32_t flags, const std::vector<std::wstring>& items,
                           const std::wstring& destination) {
    docman::RunRequest request;
    request.kind = kind;
    request.flags = flags | (destination.empty() ? 0 : FILEOPER_FLAG_TO_DESTINATION);
    request.destination = destination;
    request.items = items;
    BuildEncryptInfoW(nullptr, &request.info);
    return request;
}

RunEnd RunWithUser(const docman::RunRequest& request, const std::function<void()>& user) {
    const std::vector<uint32_t> block = docman::BuildRequestBlock(request);
    std::thread person(user);
    RunEnd end;
    end.request = docman::AsRequest(block);
    ShowOperationStatus(end.request, end.results);
    person.join();
    return end;
}

}  // namespace ui_test
