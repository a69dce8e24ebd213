#pragma once
// Small services shared by every step of the worker: the ask step, the
// mapping between source and destination paths, the rows and the shared
// words of the item in work.
#include <windows.h>

#include <cstdint>
#include <string>

#include "operation/operation_state.h"

namespace oper {

class COperThread;

// Turns a failure code into an error choice: the request's preset, the
// remembered choice after Skip All, or the user's answer to the dialog.
// A failure that may not be repeated (repeatable false) is never answered
// with Retry.
uint32_t AskErrorChoice(COperThread& worker, uint32_t code, bool repeatable);

enum MapDirection : uint32_t { kToDestination = 0, kToSource = 1 };

// Replaces the leading source root (direction 0) or destination (direction
// 1) of path by the other one. The prefix is trusted, not compared.
uint32_t MapItemPath(uint32_t direction, const wchar_t* path, std::wstring* out);
std::wstring MapItemPath(uint32_t direction, const wchar_t* path);

inline RequestView Request() { return RequestView(g_state.request); }
inline bool HasFlag(uint32_t flag) { return (Request().Flags() & flag) != 0; }
inline bool CancelRequested() { return g_state.runState == kCancelRequested; }

// The run-state and percent words, as the file transforms take them.
inline uint32_t* RunStateWord() { return const_cast<uint32_t*>(&g_state.runState); }
inline uint32_t* PercentWord() { return const_cast<uint32_t*>(&g_state.currentItemPercent); }

void SetCurrentItemName(const wchar_t* path);
// The file in work is finished, whatever its outcome: its bytes count as done.
void CountCurrentItemDone();

// A row in the dialog's status or error list.
void AddRow(uint32_t code, uint32_t itemData, const wchar_t* text);

// Row item data: which rows the undo takes as folders and which files have
// a record of their own.
constexpr uint32_t kRowTopLevelInPlaceFile = 0x10000;
constexpr uint32_t kRowFile = 0;
constexpr uint32_t kRowFolder = 1;

// Event log entries: a folder's path (15, 16), or a file's attribute block
// followed by its path (20, 21).
enum EventId : uint32_t {
    kEventEncryptedPath = 15,
    kEventDecryptedPath = 16,
    kEventFileEncrypted = 20,
    kEventFileDecrypted = 21,
};

// Whether two paths name one existing file or folder, however they are
// spelled: by volume and file index, read while both are open (a freed index
// goes to the next new file at once).
bool IsSameObject(const wchar_t* a, const wchar_t* b);

// folder + a backslash unless it ends with one + name.
std::wstring JoinPath(const wchar_t* folder, const wchar_t* name);
// The "." and ".." entries of a folder listing.
bool IsDotEntry(const wchar_t* name);

// Codes that count as done: 0 and the restart-required result (negative as
// a signed value).
inline bool IsFailure(uint32_t code) { return static_cast<int32_t>(code) > 0; }

}  // namespace oper
