#pragma once
// A private store for the TzDevIo stand-in, for the life of a test: marks,
// cipher table and switches of this process only, so that tests running in
// parallel never see each other's switches. Child processes inherit it.
#include <string>
#include <utility>
#include <vector>

#include "tests/support/temp_dir.h"

namespace testing_support {

class StandinStore {
public:
    StandinStore();
    ~StandinStore();
    StandinStore(const StandinStore&) = delete;
    StandinStore& operator=(const StandinStore&) = delete;

    const std::wstring& path() const { return dir_.path(); }

    // A switch file of the store ("ciphers.txt", "refuse-set.txt",
    // "refuse-clear.txt", "no-ciphers") with the given text.
    void SetSwitch(const std::wstring& name, const std::string& text);
    void RemoveSwitch(const std::wstring& name);

    // Starts recording the calls the stand-in receives; Calls() returns them
    // as (operation, path) in order.
    void RecordCalls();
    std::vector<std::pair<std::string, std::wstring>> Calls() const;

private:
    TempDir dir_;
    std::wstring previous_;
    bool hadPrevious_ = false;
};

inline std::string Utf8(const std::wstring& text) { return Narrow(text, CP_UTF8); }

}  // namespace testing_support
