#pragma once
// Varendb, the product's record database library: one record per item that a
// run encrypted, deleted again when the item is decrypted or undone.
#include <windows.h>

#ifdef VARENDB_BUILD
#define VARENDB_API __declspec(dllexport)
#else
#define VARENDB_API __declspec(dllimport)
#endif

class VARENDB_API CTzVarenDB {
public:
    CTzVarenDB();
    ~CTzVarenDB();
    CTzVarenDB(const CTzVarenDB&) = delete;
    CTzVarenDB& operator=(const CTzVarenDB&) = delete;

    // Records path with a 0/1 value; non-zero when kept.
    int AddRecordItem(const wchar_t* path, int value);
    // Deletes the record of path; non-zero when the deletion was kept.
    int DeleteRecordItemExW(const wchar_t* path);

private:
    void* store_;
};
