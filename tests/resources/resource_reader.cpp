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
    if (!found) return {};
    HGLOBAL loaded = LoadResource(module, found);
    const auto* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    if (!data) return {};
    return std::vector<BYTE>(data, data + SizeofResource(module, found));
}

namespace {

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
    if (IS_INTRESOURCE(name)) reinterpret_cast<std::vector<UINT>*>(param)->push_back(LOWORD(name));
    return TRUE;
}

// Strings come in blocks of 16: block b holds ids (b - 1) * 16 to b * 16 - 1,
// each as a length followed by that many UTF-16 units.
void ReadBlock(const std::vector<BYTE>& block, UINT blockId, std::map<UINT, std::wstring>& table) {
    size_t offset = 0;
    for (UINT i = 0; i < 16 && offset + 2 <= block.size(); ++i) {
        WORD length;
        memcpy(&length, block.data() + offset, 2);
        offset += 2;
        if (length == 0) continue;
        std::wstring text(length, L'\0');
        memcpy(text.data(), block.data() + offset, length * 2u);
        offset += length * 2u;
        table[(blockId - 1) * 16 + i] = text;
    }
}

// Reads a template field by field; reading past the end spoils the reader.
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
    void Styles(DWORD& style, DWORD& exStyle) {
        Get<DWORD>();
        exStyle = Get<DWORD>();
        style = Get<DWORD>();
    }

    void Box(short& x, short& y, short& cx, short& cy) {
        x = Get<short>();
        y = Get<short>();
        cx = Get<short>();
        cy = Get<short>();
    }
};

void ReadItem(Reader& r, DialogItem& item) {
    r.AlignDword();
    r.Styles(item.style, item.exStyle);
    r.Box(item.x, item.y, item.cx, item.cy);
    item.id = r.Get<DWORD>();
    item.cls = r.NameOrOrdinal();
    item.text = r.NameOrOrdinal();
    r.pos += r.Get<WORD>();  // creation data
}

}  // namespace

std::map<UINT, std::wstring> StringTable(HMODULE module, LANGID language) {
    std::vector<UINT> blocks;
    EnumResourceNamesW(module, RT_STRING, CollectName, reinterpret_cast<LONG_PTR>(&blocks));
    std::map<UINT, std::wstring> table;
    for (UINT block : blocks) ReadBlock(ResourceBytes(module, RT_STRING, block, language), block, table);
    return table;
}

int Mnemonics(const std::wstring& text) {
    int count = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'&') continue;
        if (i + 1 < text.size() && text[i + 1] == L'&')
            ++i;
        else
            ++count;
    }
    return count;
}

bool ParseDialog(const std::vector<BYTE>& bytes, DialogTemplate& dialog) {
    // An extended template starts with version 1 and the signature 0xFFFF.
    const WORD extendedStart[2] = {1, 0xFFFF};
    if (bytes.size() < 4 || memcmp(bytes.data(), extendedStart, 4) != 0) return false;
    Reader r{bytes, 4};
    r.Styles(dialog.style, dialog.exStyle);
    WORD count = r.Get<WORD>();
    r.Box(dialog.x, dialog.y, dialog.cx, dialog.cy);
    r.NameOrOrdinal();  // menu
    r.NameOrOrdinal();  // class
    dialog.caption = r.String();
    if (dialog.style & (DS_SETFONT | DS_SHELLFONT)) {
        dialog.pointSize = r.Get<WORD>();
        r.pos += 4;  // weight, italic, character set
        dialog.font = r.String();
    }
    dialog.items.resize(count);
    for (DialogItem& item : dialog.items) ReadItem(r, item);
    r.AlignDword();
    return r.ok && r.pos >= bytes.size();
}

}  // namespace resources_test
