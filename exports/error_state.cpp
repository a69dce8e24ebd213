#include "exports/error_state.h"

namespace {

// Written by whichever thread ran the last file function; read by the host
// after the call. Plain words by design: the last writer wins.
struct ModuleErrorState {
    volatile uint32_t code;
    volatile uint32_t systemError;
};

ModuleErrorState g_errorState = {0, 0};

}  // namespace

namespace oper {

void SetOperError(uint32_t code) {
    const DWORD systemError = GetLastError();
    g_errorState.code = code;
    g_errorState.systemError = systemError;
}

uint32_t GetSystemErrorCode() { return g_errorState.systemError; }

}  // namespace oper

extern "C" uint32_t WINAPI GetOperErrorCode() { return g_errorState.code; }
