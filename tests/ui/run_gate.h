#pragma once
// Holds a run at a point of the user's choosing: every call the library makes
// to one imported function waits at the gate until the test opens it. The
// dialog then stays up (its threads have not all reported) while the test
// plays the user.
#include <windows.h>

#include "tests/support/iat_patch.h"

namespace ui_test {

class RunGate {
public:
    // Gates the library's calls of Sleep: the refresh thread's first wait,
    // so the dialog cannot close however fast the worker is (the dialog's
    // own thread never sleeps).
    RunGate();
    ~RunGate();
    RunGate(const RunGate&) = delete;
    RunGate& operator=(const RunGate&) = delete;

    // True once a call waits at the gate (within the wait limit).
    bool WaitUntilReached() const;
    void Open();

private:
    fault::ImportPatch patch_;
};

}  // namespace ui_test
