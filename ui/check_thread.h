#pragma once
// The refresh thread: redraws the run's figures every 200 ms until the run
// has ended or every byte is counted, then reports its end.
#include <cstdint>

#include "framework/thread.h"
#include "operation/operation_state.h"

namespace oper {

class CDlgopstatus;

class CCheckThread : public fw::Thread {
public:
    CCheckThread() = default;
    void SetDialog(CDlgopstatus* dialog) { m_pDialog = dialog; }

protected:
    // Runs the refresh loop; always FALSE, so the thread ends afterwards.
    BOOL InitInstance() override;

private:
    CDlgopstatus* m_pDialog = nullptr;
};

// The overall position on the 0..200 scale, in unsigned 64-bit arithmetic
// and exactly this order, so that the bar agrees with the byte counters.
uint32_t OverallPosition(const OperationState& state);

// The refresh loop, on the refresh thread.
void ComputeOverallPosition(CDlgopstatus* dialog);

}  // namespace oper
