#pragma once
// The store: a text record per mark and a hard link (pin) to every marked
// file, spread over shard folders by the low bits of the object's index, and
// the switches a test or user sets by creating files.
#include <windows.h>

#include <cstdint>
#include <string>

#include "fileoper.h"

namespace tzdevio {

// The stand-ins' store (TZDEVIO_STORE if set, else %ProgramData%\TzDevIo).
std::wstring StoreFolder();

struct MarkRecord {
    bool folder = false;
    std::wstring markedPath;      // as the caller named the object when marking it
    uint64_t stamp = 0;           // folders: the access time that carries the mark
    uint64_t originalAccess = 0;  // folders: the access time before marking
    ENCRYPT_INFO info = {};
};

std::wstring PinPath(uint64_t id);
bool ReadRecord(uint64_t id, MarkRecord& record);
// replacing: a record that others may be reading is there already, so the
// new one is written beside it and moved over it; otherwise it is written in
// place, as nothing relies on it before the pin exists.
bool WriteRecord(uint64_t id, const MarkRecord& record, bool replacing);
void DeleteRecord(uint64_t id);

// Drops a file's mark: its pin first, then its record, so that a pin never
// lacks its record.
void DropFileMark(uint64_t id);

// Marked files this process set or saw: each is looked at once more after
// the next change, as a run that decrypts a file in place replaces it then.
void NoteMarkedFile(uint64_t id);
// Drops the marks of a few deleted files with every change: the noted ones
// first, then, once the process has made a number of changes, a sweep
// through the shards, so that the store lets go of deleted files' data
// without ever reading all of itself at once.
void DropSomeDeletedFiles();

// A switch file of the store: its UTF-8 text, or false when it is absent.
bool ReadSwitch(const wchar_t* name, std::string& text);
// Whether the path list in switch `name` holds path (or "*").
bool SwitchListsPath(const wchar_t* name, const std::wstring& path);

// Appends "operation<TAB>path" to the store's "calls.log" when that file
// exists: the paths exactly as the caller passed them.
void LogCall(const char* operation, const std::wstring& path);

std::string Utf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

}  // namespace tzdevio
