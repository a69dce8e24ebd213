#pragma once
// The module-wide options that steer the file functions. Written by the
// host's thread before a run, read by the worker during it; plain words.
#include <cstdint>

namespace oper {

struct OperOptions {
    volatile uint32_t enableReadOnly;
    volatile uint32_t enableSystem;
    volatile uint32_t renameBeforeDelete;
    volatile uint32_t decryptAfterReboot;
    volatile uint32_t defaultCipher;
    volatile uint32_t rebootRequired;
};

extern OperOptions g_options;

}  // namespace oper
