#include "tests/ui/run_gate.h"

#include <list>

#include "standins/tzrtl/tzrtl.h"
#include "tests/support/ui_driver.h"

namespace ui_test {

namespace {

constexpr WORD kGetThreadSetting = 1100;

// One pair of events per point, so that a test may hold both at once.
HANDLE g_reached[2] = {};
HANDLE g_open[2] = {};

void Wait(RunGate::Point point) {
    SetEvent(g_reached[point]);
    WaitForSingleObject(g_open[point], INFINITE);
}

// A yield (Sleep(0), which the C++ runtime's locks use in a test that links
// the library's code) passes: only real waits stop at the gate.
void WINAPI GatedSleep(DWORD milliseconds) {
    if (milliseconds != 0) Wait(RunGate::kRefresh);
    fault::Real(&Sleep, "kernel32.dll", "Sleep")(milliseconds);
}

uint32_t WINAPI GatedGetThreadSetting() {
    Wait(RunGate::kWorkerStart);
    return 0;
}

// The library's imports: fileoper.dll's, or the test's own when it links the
// library's code.
HMODULE Library() {
    const HMODULE library = GetModuleHandleW(L"fileoper.dll");
    return library ? library : GetModuleHandleW(nullptr);
}

}  // namespace

RunGate::RunGate(Point point) : point_(point) {
    g_reached[point] = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_open[point] = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (point == kRefresh)
        patch_.emplace(Library(), "KERNEL32.dll", "Sleep", reinterpret_cast<const void*>(&GatedSleep));
    else
        patch_.emplace(Library(), "TzRtl.dll", kGetThreadSetting, reinterpret_cast<const void*>(&GatedGetThreadSetting));
}

RunGate::~RunGate() {
    patch_.reset();
    Open();
    CloseHandle(g_reached[point_]);
    CloseHandle(g_open[point_]);
}

bool RunGate::WaitUntilReached() const {
    return WaitForSingleObject(g_reached[point_], ui::kWaitLimitMs) == WAIT_OBJECT_0;
}

void RunGate::Open() { SetEvent(g_open[point_]); }

RunEnd RunHeld(std::initializer_list<RunGate::Point> points, const docman::RunRequest& request,
               const std::function<void(HWND, RunGate& first)>& user) {
    std::list<RunGate> gates;
    for (RunGate::Point point : points) gates.emplace_back(point);
    return RunWithUser(request, [&] {
        const HWND dialog = gates.front().WaitUntilReached() ? ui::WaitForDialog(kCaption, kStatusList) : nullptr;
        if (dialog) user(dialog, gates.front());
        for (RunGate& gate : gates) gate.Open();
    });
}

void RunHeldOpen(uint32_t kind, const std::function<void(HWND)>& user) {
    RunHeld({RunGate::kRefresh}, Request(kind, FILEOPER_FLAG_CLOSE_AT_END, {}),
            [&](HWND dialog, RunGate&) { user(dialog); });
}

}  // namespace ui_test
