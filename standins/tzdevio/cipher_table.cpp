#include "cipher_table.h"

#include <cstdlib>
#include <sstream>

#include "mark_store.h"

namespace tzdevio {

namespace {

constexpr uint8_t kNotSelectable = 2;

// The first entry is a withdrawn cipher a host must skip.
const Cipher kBuiltInTable[] = {
    {"DES-56", kNotSelectable},
    {"AES-256", 0},
    {"AES-128", 0},
    {"SM4-128", 0},
    {"3DES-168", kNotSelectable},
};

std::string Trim(std::string s) {
    const char* space = " \t\r";
    s.erase(0, s.find_first_not_of(space));
    s.erase(s.find_last_not_of(space) + 1);
    return s;
}

// One entry a line: "name" or "name,flags"; '#' starts a comment line.
std::vector<Cipher> ParseTable(const std::string& text) {
    std::vector<Cipher> table;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#') continue;
        const size_t comma = line.find(',');
        Cipher cipher;
        cipher.name = Trim(line.substr(0, comma));
        if (comma != std::string::npos)
            cipher.flags = static_cast<uint8_t>(strtoul(line.c_str() + comma + 1, nullptr, 0));
        table.push_back(cipher);
    }
    return table;
}

}  // namespace

std::vector<Cipher> CipherTable() {
    std::string text;
    if (ReadSwitch(L"ciphers.txt", text)) return ParseTable(text);
    return std::vector<Cipher>(std::begin(kBuiltInTable), std::end(kBuiltInTable));
}

}  // namespace tzdevio
