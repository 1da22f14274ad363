#pragma once

#include <ctime>

// CPU time used so far by the calling thread, in milliseconds. Called from the user-interface
// thread it measures the tool alone, without the simulated target's thread.
inline double threadCpuMs() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1.0e6;
}
