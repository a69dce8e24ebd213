#pragma once
// The store: one folder holding a text record per mark, a hard link (pin) to
// every marked file, and the switches a test or user sets by creating files.
#include <windows.h>

#include <cstdint>
#include <string>

#include "fileoper.h"

namespace tzdevio {

// TZDEVIO_STORE if set, else %ProgramData%\TzDevIo.
std::wstring StoreFolder();
bool EnsureStore();

struct MarkRecord {
    bool folder = false;
    std::wstring markedPath;      // where the object was when marked
    uint64_t stamp = 0;           // folders: the access time that carries the mark
    uint64_t originalAccess = 0;  // folders: the access time before marking
    ENCRYPT_INFO info = {};
};

std::wstring PinPath(uint64_t id);
bool ReadRecord(uint64_t id, MarkRecord& record);
bool WriteRecord(uint64_t id, const MarkRecord& record);
void DeleteRecord(uint64_t id);

// Drops the marks of files deleted since, once per process and store.
void PruneDeletedFiles();

// A switch file of the store: its UTF-8 text, or false when it is absent.
bool ReadSwitch(const wchar_t* name, std::string& text);
// Whether the path list in switch `name` holds path (or "*").
bool SwitchListsPath(const wchar_t* name, const std::wstring& path);

std::string Utf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

}  // namespace tzdevio
