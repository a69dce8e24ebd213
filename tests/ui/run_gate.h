#pragma once
// Holds a run at a point of the test's choosing: every call the library makes
// to one imported function waits at the gate until the test opens it. While a
// thread of the run waits there the dialog cannot close, and the test plays
// the user on it.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>

#include "tests/support/iat_patch.h"
#include "tests/ui/ui_run.h"

namespace ui_test {

class RunGate {
public:
    enum Point {
        // The refresh thread's first wait (the library's Sleep calls): the
        // dialog stays up however fast the worker is; the worker runs on.
        kRefresh,
        // The worker's first act (TzRtl ordinal 1100): the run stays in the
        // running state, with nothing processed yet.
        kWorkerStart,
    };
    explicit RunGate(Point point);
    ~RunGate();
    RunGate(const RunGate&) = delete;
    RunGate& operator=(const RunGate&) = delete;

    // True once a call waits at the gate (within the driver's wait limit).
    bool WaitUntilReached() const;
    void Open();

private:
    const Point point_;
    std::optional<fault::ImportPatch> patch_;
};

// Runs `request` held at each of `points`: once a thread waits at the first,
// `user` plays on the progress dialog; then every gate opens.
RunEnd RunHeld(std::initializer_list<RunGate::Point> points, const docman::RunRequest& request,
               const std::function<void(HWND, RunGate& first)>& user);

// An empty request of `kind` held at the refresh thread's first wait.
void RunHeldOpen(uint32_t kind, const std::function<void(HWND)>& user);

}  // namespace ui_test
