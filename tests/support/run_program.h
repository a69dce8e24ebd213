#pragma once
// Runs a program of the build's bin folder in a child process and collects
// what it prints: for checks that must cross a process boundary.
#include <string>

namespace testing_support {

struct ProgramRun {
    unsigned long exitCode = ~0ul;
    unsigned long startError = 0;  // GetLastError when the program did not start
    std::string output;            // stdout, UTF-8
};

// commandLine is everything after the program's name.
ProgramRun RunBinProgram(const std::wstring& program, const std::wstring& commandLine);

}  // namespace testing_support
