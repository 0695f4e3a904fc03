#pragma once

#include <windows.h>

#include <cstdint>

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

// Microseconds of Unix time, the clock the scripts' tools (date, pactl) date things by.
inline std::int64_t UnixMicroseconds()
{
    FILETIME time{};
    GetSystemTimePreciseAsFileTime(&time);
    const std::uint64_t ticks = (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
    constexpr std::uint64_t kUnixEpoch = 116444736000000000;  // 100 ns units from 1601
    return static_cast<std::int64_t>((ticks - kUnixEpoch) / 10);
}
