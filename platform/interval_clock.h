// Tells whether a short interval has passed since it was last restarted.
// It reads the performance counter, which on Windows (and under Wine) is
// answered in the calling process, with no trip to the kernel or a server,
// so it can be asked after every piece of long work.
#pragma once

#include "platform/os.h"

class IntervalClock {
public:
    explicit IntervalClock(unsigned milliseconds) {
        LARGE_INTEGER frequency{};
        os::QueryPerformanceFrequency(&frequency);
        m_ticks = frequency.QuadPart / 1000 * static_cast<LONGLONG>(milliseconds);
        Restart();
    }

    void Restart() { m_start = Now(); }
    bool Elapsed() const { return Now() - m_start >= m_ticks; }

private:
    static LONGLONG Now() {
        LARGE_INTEGER now{};
        os::QueryPerformanceCounter(&now);
        return now.QuadPart;
    }

    LONGLONG m_ticks = 0;
    LONGLONG m_start = 0;
};
