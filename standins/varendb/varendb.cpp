#include "varendb.h"

CTzVarenDB::CTzVarenDB() : store_(nullptr) {}
CTzVarenDB::~CTzVarenDB() = default;
int CTzVarenDB::AddRecordItem(const wchar_t*, int) { return 1; }
int CTzVarenDB::DeleteRecordItemExW(const wchar_t*) { return 1; }
