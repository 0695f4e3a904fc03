#pragma once

#include <windows.h>

// The performance counter, for timing stretches of a benchmark.
inline LARGE_INTEGER Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

inline double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

// The performance counter in seconds since an arbitrary start.
inline double NowSeconds()
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(Now().QuadPart) / double(frequency.QuadPart);
}
