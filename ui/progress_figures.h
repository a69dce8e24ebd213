#pragma once
// The arithmetic behind the time figures of the progress dialog.
#include <cstdint>

namespace oper {

// The run's working time in seconds: the wall time since the start less
// every pause, the one under way included, so that a pause stops the clock.
// Told the run state at every refresh, it sees a pause begin and end within
// one refresh period.
class RunClock {
public:
    void Start(int64_t now);
    int64_t ActiveSeconds(int64_t now, bool paused);

private:
    static constexpr int64_t kNotPaused = -1;
    int64_t start_ = 0;
    int64_t pausedSeconds_ = 0;
    int64_t pausedSince_ = kNotPaused;
};

// The estimate of the time left at position pos (1..200) after the given
// working seconds, ((200 - pos) / pos) x seconds in single precision and
// truncated; INT32_MIN when out of range (the caller then keeps its text).
int32_t SecondsLeft(uint32_t pos, int64_t activeSeconds);

}  // namespace oper
