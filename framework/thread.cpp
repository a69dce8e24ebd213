#include "framework/thread.h"

namespace fw {

namespace {

// The running Thread object of each thread, in a TLS slot rather than a
// thread_local: the C++ runtime allocates a thread_local's block on the
// thread's first use and ends the process when that allocation fails.
class CurrentThreadSlot {
public:
    CurrentThreadSlot() : index_(TlsAlloc()) {}
    ~CurrentThreadSlot() {
        if (index_ != TLS_OUT_OF_INDEXES) TlsFree(index_);
    }
    void Set(Thread* thread) const {
        if (index_ != TLS_OUT_OF_INDEXES) TlsSetValue(index_, thread);
    }
    Thread* Get() const {
        return index_ != TLS_OUT_OF_INDEXES ? static_cast<Thread*>(TlsGetValue(index_)) : nullptr;
    }

private:
    const DWORD index_;
};

const CurrentThreadSlot g_current;

}  // namespace

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
    g_current.Set(thread);
    const int code = thread->Run();
    g_current.Set(nullptr);
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

HWND CurrentMainWindow() {
    const Thread* current = g_current.Get();
    return current ? current->MainWindow() : nullptr;
}

}  // namespace fw
