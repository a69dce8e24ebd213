#pragma once
// What docman sees of a run's progress dialog from the host's side: the rows
// of its two lists, read just before the dialog goes, and a scripted user
// that takes screenshots and answers what a person would answer.
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "framework/handles.h"

namespace docman {

struct ListRow {
    std::wstring item;
    std::wstring status;
};

// Reads the status and error lists of every progress dialog destroyed on the
// calling thread while it lives (a hook on the thread's window messages: the
// dialog runs modally inside ShowOperationStatus on this thread).
class RowCapture {
public:
    RowCapture();
    ~RowCapture();
    RowCapture(const RowCapture&) = delete;
    RowCapture& operator=(const RowCapture&) = delete;

    const std::vector<ListRow>& statusRows() const { return status_; }
    const std::vector<ListRow>& errorRows() const { return errors_; }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    void Read(HWND dialog);

    HHOOK hook_ = nullptr;
    std::vector<ListRow> status_;
    std::vector<ListRow> errors_;
};

// A second thread that watches the progress dialog of the run on the given
// thread: once the status list holds rows it pauses the run and resumes it
// (saving screenshotBase + "-mid.png" meanwhile); when the run has finished
// and the dialog stays open on its error list, it saves screenshotBase +
// "-end.png" and presses Close. An empty base takes no screenshots.
class ScriptedUser {
public:
    ScriptedUser(DWORD dialogThread, std::wstring screenshotBase);
    ~ScriptedUser();  // stops watching
    ScriptedUser(const ScriptedUser&) = delete;
    ScriptedUser& operator=(const ScriptedUser&) = delete;

    const std::vector<std::wstring>& saved() const { return saved_; }

private:
    static DWORD WINAPI Entry(void* self);
    void Watch();
    bool Save(HWND dialog, const wchar_t* suffix);

    DWORD dialogThread_;
    std::wstring base_;
    std::atomic<bool> stop_{false};
    std::vector<std::wstring> saved_;
    fw::KernelHandle thread_;
};

}  // namespace docman
