#pragma once

// CPU-time and load readings the benchmarks share. On a busy machine wall time mostly measures the
// wait for a core; CPU time is the work itself.

#include <cstdlib>
#include <ctime>

namespace BenchClock {

/// CPU time of the calling thread, in ms.
inline double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

/// CPU time of the whole process (all threads, Qt's helpers included), in ms.
inline double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

/// The one-minute load average, or -1 when it cannot be read.
inline double loadAverage()
{
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

} // namespace BenchClock
