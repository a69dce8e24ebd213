#pragma once
// The worker of an operation run: the whole run happens in its
// initialisation routine, on a thread of its own that the progress dialog
// starts and may suspend at any time (pause).
#include <windows.h>

#include <cstdint>

#include "framework/thread.h"

namespace oper {

class COperThread : public fw::Thread {
public:
    COperThread() = default;

protected:
    // Runs the whole request; always FALSE, so the thread ends afterwards.
    BOOL InitInstance() override;

private:
    uint32_t m_replaceAll = 0;
    uint32_t m_lastErrorChoice = 0;
};

}  // namespace oper
