#pragma once

#include <ctime>

// CPU time used by the whole process so far, in milliseconds: compared with the wall time of a
// wait, it tells a wait that sleeps from one that spins a core.
inline double processCpuMs() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1.0e6;
}
