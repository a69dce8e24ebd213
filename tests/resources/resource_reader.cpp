#include "tests/resources/resource_reader.h"

#include <cstring>

namespace resources_test {

// Nothing here calls an export, so the linker drops the import: load the
// library as the host does, from the executable's folder.
HMODULE Library() {
    static HMODULE module = LoadLibraryW(L"fileoper.dll");
    return module;
}

std::vector<BYTE> ResourceBytes(HMODULE module, LPCWSTR type, UINT id, LANGID language) {
    HRSRC found = FindResourceExW(module, type, MAKEINTRESOURCEW(id), language);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const auto* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    return data ? std::vector<BYTE>(data, data + SizeofResource(module, found)) : std::vector<BYTE>();
}

namespace {

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
    if (IS_INTRESOURCE(name)) reinterpret_cast<std::vector<UINT>*>(param)->push_back(LOWORD(name));
    return TRUE;
}

// Reads resource data field by field; reading past the end spoils the reader.
struct Reader {
    const std::vector<BYTE>& bytes;
    size_t pos = 0;
    bool ok = true;

    template <typename T>
    T Get() {
        T value{};
        ok = ok && pos + sizeof(T) <= bytes.size();
        if (ok) memcpy(&value, bytes.data() + pos, sizeof(T));
        pos += sizeof(T);
        return value;
    }
    std::wstring String() {
        std::wstring s;
        for (wchar_t c = Get<wchar_t>(); ok && c; c = Get<wchar_t>()) s += c;
        return s;
    }
    // A name that is either 0xFFFF and an ordinal, or a string.
    std::wstring NameOrOrdinal() {
        if (Get<WORD>() == 0xFFFF) return L"#" + std::to_wstring(Get<WORD>());
        pos -= 2;
        return String();
    }
    void AlignDword() { pos = (pos + 3) & ~size_t(3); }
    // Extended templates put a help id first and the extended style before
    // the style, for the dialog and for its items alike.
    void Frame(Box& box) {
        Get<DWORD>();
        box.exStyle = Get<DWORD>();
        box.style = Get<DWORD>();
    }
    void Place(Box& box) {
        for (short& v : box.place) v = Get<short>();
    }
};

}  // namespace

// Strings come in blocks of 16: block b holds ids (b - 1) * 16 to b * 16 - 1,
// each as a length followed by that many UTF-16 units.
std::map<UINT, std::wstring> StringTable(HMODULE module, LANGID language) {
    std::vector<UINT> blocks;
    EnumResourceNamesW(module, RT_STRING, CollectName, reinterpret_cast<LONG_PTR>(&blocks));
    std::map<UINT, std::wstring> table;
    for (UINT block : blocks) {
        const std::vector<BYTE> bytes = ResourceBytes(module, RT_STRING, block, language);
        Reader r{bytes};
        for (UINT i = 0; i < 16 && r.ok; ++i) {
            std::wstring text(r.Get<WORD>(), L'\0');
            for (wchar_t& c : text) c = r.Get<wchar_t>();
            if (r.ok && !text.empty()) table[(block - 1) * 16 + i] = text;
        }
    }
    return table;
}

int Mnemonics(const std::wstring& text) {
    int count = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == L'&') count += i + 1 == text.size() || text[++i] != L'&';
    return count;
}

bool ParseDialog(const std::vector<BYTE>& bytes, DialogTemplate& dialog) {
    // An extended template starts with version 1 and the signature 0xFFFF.
    const WORD extendedStart[2] = {1, 0xFFFF};
    if (bytes.size() < 4 || memcmp(bytes.data(), extendedStart, 4) != 0) return false;
    Reader r{bytes, 4};
    r.Frame(dialog);
    dialog.items.resize(r.Get<WORD>());
    r.Place(dialog);
    r.NameOrOrdinal();  // menu
    r.NameOrOrdinal();  // class
    dialog.caption = r.String();
    if (dialog.style & (DS_SETFONT | DS_SHELLFONT)) {
        dialog.pointSize = r.Get<WORD>();
        r.pos += 4;  // weight, italic, character set
        dialog.font = r.String();
    }
    for (DialogItem& item : dialog.items) {
        r.AlignDword();
        r.Frame(item);
        r.Place(item);
        item.id = r.Get<DWORD>();
        item.cls = r.NameOrOrdinal();
        item.text = r.NameOrOrdinal();
        r.pos += r.Get<WORD>();  // creation data
    }
    r.AlignDword();
    return r.ok && r.pos >= bytes.size();
}

}  // namespace resources_test
