#include "engine/user_data.h"

#include <shlobj.h>
#include <shlwapi.h>

#include "standins/tzrtl/tzrtl.h"

namespace oper {

bool UserDataPath(const wchar_t* name, wchar_t* path) {
    wchar_t relative[MAX_PATH];
    return SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path)) &&
           TzRtl_MakeVendorPathW(name, relative, 0) && PathAppendW(path, relative);
}

}  // namespace oper
