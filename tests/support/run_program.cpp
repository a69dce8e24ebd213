#include "tests/support/run_program.h"

#include <windows.h>

#include "tests/support/temp_dir.h"

namespace testing_support {

ProgramRun RunBinProgram(const std::wstring& program, const std::wstring& commandLine) {
    ProgramRun run;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    // A pipe that cannot be made shows as a program that printed nothing.
    CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    // Not the pipe: the child's first window starts Wine's desktop process,
    // which inherits the child's error handle and would hold the pipe open
    // for as long as the prefix lives.
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    const std::wstring path = BinDir() + program;
    std::wstring line = L"\"" + path + L"\" " + commandLine;
    PROCESS_INFORMATION process = {};
    const BOOL started = CreateProcessW(path.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
    if (!started) run.startError = GetLastError();
    CloseHandle(writeEnd);
    if (started) {
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read) run.output.append(buffer, read);
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        for (HANDLE h : {process.hThread, process.hProcess}) CloseHandle(h);
    }
    CloseHandle(readEnd);
    return run;
}

}  // namespace testing_support
