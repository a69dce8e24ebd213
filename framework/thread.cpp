#include "framework/thread.h"

namespace fw {

namespace {
thread_local Thread* t_current = nullptr;
}

Thread::~Thread() = default;

bool Thread::Create(int priority) {
    handle_.reset(CreateThread(nullptr, 0, &Thread::Entry, this, CREATE_SUSPENDED, nullptr));
    if (!handle_) {
        delete this;
        return false;
    }
    SetThreadPriority(handle_.get(), priority);
    return true;
}

KernelHandle Thread::DuplicateThreadHandle() const {
    HANDLE copy = nullptr;
    const HANDLE process = GetCurrentProcess();
    if (!DuplicateHandle(process, handle_.get(), process, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) copy = nullptr;
    return KernelHandle(copy);
}

DWORD WINAPI Thread::Entry(void* self) {
    Thread* thread = static_cast<Thread*>(self);
    t_current = thread;
    const int code = thread->Run();
    t_current = nullptr;
    delete thread;
    return static_cast<DWORD>(code);
}

int Thread::Run() {
    if (!InitInstance()) return ExitInstance();
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return ExitInstance();
}

HWND CurrentMainWindow() { return t_current ? t_current->MainWindow() : nullptr; }

}  // namespace fw
