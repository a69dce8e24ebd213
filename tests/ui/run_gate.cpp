#include "tests/ui/run_gate.h"

#include "tests/support/ui_driver.h"

namespace ui_test {

namespace {

HANDLE g_reached = nullptr;
HANDLE g_open = nullptr;

void WINAPI GatedSleep(DWORD milliseconds) {
    SetEvent(g_reached);
    WaitForSingleObject(g_open, INFINITE);
    fault::Real(&Sleep, "kernel32.dll", "Sleep")(milliseconds);
}

HMODULE Library() { return GetModuleHandleW(L"fileoper.dll"); }

}  // namespace

RunGate::RunGate()
    : patch_(Library(), "KERNEL32.dll", "Sleep", reinterpret_cast<const void*>(&GatedSleep)) {
    g_reached = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_open = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

RunGate::~RunGate() {
    Open();
    CloseHandle(g_reached);
    CloseHandle(g_open);
}

bool RunGate::WaitUntilReached() const { return WaitForSingleObject(g_reached, ui::kWaitLimitMs) == WAIT_OBJECT_0; }

void RunGate::Open() { SetEvent(g_open); }

}  // namespace ui_test
