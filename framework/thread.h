#pragma once
// A thread object in the manner of the host's framework: created suspended
// with a priority, given a main window before it is resumed, runs its
// initialisation routine (a "failed" return ends the thread without a message
// loop) and deletes itself when the thread ends.
#include <windows.h>

#include "framework/handles.h"

namespace fw {

class Thread {
public:
    virtual ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Creates a T and its thread, suspended, at the given priority. nullptr
    // when the thread cannot be created (the object is then gone too).
    template <typename T>
    static T* BeginSuspended(int priority) {
        T* thread = new T();
        return thread->Create(priority) ? thread : nullptr;
    }

    // The window that the thread's messages go to; message boxes and dialogs
    // without a parent of their own are owned by it.
    void SetMainWindow(HWND window) { mainWindow_ = window; }
    HWND MainWindow() const { return mainWindow_; }

    // A handle of the thread's own that outlives the self-deleting object, so
    // that whoever suspends and resumes the thread never touches a deleted
    // object.
    KernelHandle DuplicateThreadHandle() const;

    DWORD Resume() { return ResumeThread(handle_.get()); }

protected:
    Thread() = default;
    // FALSE ends the thread at once (after ExitInstance); TRUE runs a message
    // loop until WM_QUIT.
    virtual BOOL InitInstance() = 0;
    virtual int ExitInstance() { return 0; }

private:
    bool Create(int priority);
    static DWORD WINAPI Entry(void* self);
    int Run();

    KernelHandle handle_;
    HWND volatile mainWindow_ = nullptr;
};

// The main window of the calling thread's Thread object, or null on a thread
// that no Thread object runs (the host's).
HWND CurrentMainWindow();

}  // namespace fw
