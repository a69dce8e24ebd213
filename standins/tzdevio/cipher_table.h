#pragma once
// The cipher table the stand-in lists: built in, or replaced by the store's
// "ciphers.txt". Names only; the stand-in holds no cipher.
#include <cstdint>
#include <string>
#include <vector>

namespace tzdevio {

struct Cipher {
    std::string name;
    uint8_t flags = 0;  // 2: may not be chosen
};

std::vector<Cipher> CipherTable();

}  // namespace tzdevio
