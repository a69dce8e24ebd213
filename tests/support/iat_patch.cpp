#include "tests/support/iat_patch.h"

#include <gtest/gtest.h>

namespace fault {

namespace {

template <typename T>
T* At(HMODULE module, DWORD rva) {
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + rva);
}

// Calls match(thunk) for each import of dll and collects the matching slots.
template <typename Match>
std::vector<void**> CollectSlots(HMODULE module, const char* dll, Match match) {
    std::vector<void**> found;
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(module);
    auto* nt = At<IMAGE_NT_HEADERS>(module, dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0) return found;
    for (auto* desc = At<IMAGE_IMPORT_DESCRIPTOR>(module, dir.VirtualAddress); desc->Name; ++desc) {
        if (_stricmp(At<char>(module, desc->Name), dll) != 0) continue;
        auto* names = At<IMAGE_THUNK_DATA>(module, desc->OriginalFirstThunk ? desc->OriginalFirstThunk : desc->FirstThunk);
        auto* slots = At<IMAGE_THUNK_DATA>(module, desc->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (match(*names)) found.push_back(reinterpret_cast<void**>(&slots->u1.Function));
        }
    }
    return found;
}

// Every import slot of module for dll!function: a mingw image may import one
// DLL through several descriptors.
std::vector<void**> FindImportSlots(HMODULE module, const char* dll, const char* function) {
    return CollectSlots(module, dll, [module, function](const IMAGE_THUNK_DATA& thunk) {
        if (IMAGE_SNAP_BY_ORDINAL(thunk.u1.Ordinal)) return false;
        auto* byName = At<IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(thunk.u1.AddressOfData));
        return strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0;
    });
}

std::vector<void**> FindImportSlots(HMODULE module, const char* dll, WORD ordinal) {
    return CollectSlots(module, dll, [ordinal](const IMAGE_THUNK_DATA& thunk) {
        return IMAGE_SNAP_BY_ORDINAL(thunk.u1.Ordinal) && IMAGE_ORDINAL(thunk.u1.Ordinal) == ordinal;
    });
}

void WriteSlot(void** slot, void* value) {
    DWORD old = 0;
    VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old);
    *slot = value;
    VirtualProtect(slot, sizeof(void*), old, &old);
}

}  // namespace

ImportPatch::ImportPatch(HMODULE module, const char* dll, const char* function, const void* hook) {
    Install(FindImportSlots(module, dll, function), hook);
    if (slots_.empty()) ADD_FAILURE() << "module does not import " << dll << "!" << function;
}

ImportPatch::ImportPatch(HMODULE module, const char* dll, WORD ordinal, const void* hook) {
    Install(FindImportSlots(module, dll, ordinal), hook);
    if (slots_.empty()) ADD_FAILURE() << "module does not import " << dll << " ordinal " << ordinal;
}

void ImportPatch::Install(std::vector<void**> slots, const void* hook) {
    slots_ = std::move(slots);
    for (void** slot : slots_) {
        originals_.push_back(*slot);
        WriteSlot(slot, const_cast<void*>(hook));
    }
}

ImportPatch::~ImportPatch() {
    for (size_t i = 0; i < slots_.size(); ++i) WriteSlot(slots_[i], originals_[i]);
}

}  // namespace fault
