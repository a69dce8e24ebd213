#pragma once
// The TzDevIo stand-in's own costs: per call, and at process start with an
// empty and with a full store.
#include <string>

namespace bench {

// Runs the stand-in figures in folder (created if needed); marks: how many
// the full store holds. Returns 0, or 1 when a step failed.
int RunStandinBench(const std::wstring& folder, int marks);

// The child side: times the first query of a process against the store in
// the environment and prints the milliseconds.
int FirstCallChild(const std::wstring& path);

}  // namespace bench
